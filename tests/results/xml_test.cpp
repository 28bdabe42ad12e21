// The one escaper of the XML and HTML writers, and the report's bounded form.
#include "results/xml.h"

#include <gtest/gtest.h>

#include "results/html.h"

TEST(XmlEscape, ReservedCharactersBecomeEntitiesAndControlsBlanks) {
  const struct Case {
    std::string_view text, escaped;
  } cases[] = {
      {"R&D <b>\"x\" 'y'", "R&amp;D &lt;b&gt;&quot;x&quot; &#39;y&#39;"},
      {"tab\tnew\nline", "tab\tnew\nline"},
      {std::string_view("a\0b\x1f\r", 5), "a b  "},
      {"\xc3\xa9t\xc3\xa9", "\xc3\xa9t\xc3\xa9"},  // UTF-8 passes through
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(xml_escape(c.text), c.escaped) << c.text;
}

TEST(XmlEscape, TheReportKeepsApostrophesAndCutsAtAWholeEntity) {
  char buf[kHtmlEscapedTextSize];
  ASSERT_EQ(html_escape("it's <a&b>", buf, sizeof buf), 1);
  EXPECT_STREQ(buf, "it's &lt;a&amp;b&gt;");
  char small[8];
  EXPECT_EQ(html_escape("ab&cd", small, sizeof small), 0);
  EXPECT_STREQ(small, "ab&amp;");
  EXPECT_EQ(html_escape("abc&", small, 7), 0);
  EXPECT_STREQ(small, "abc");
}
