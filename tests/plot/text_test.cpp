// Text of a run on its way into gnuplot scripts, SVG and HTML.
#include "plot/text.h"

#include <gtest/gtest.h>

#include "plot/gnuplot.h"
#include "plot/page.h"

TEST(TextClean, KeepsValidUtf8AndBlanksWhatXmlRefuses) {
  EXPECT_EQ(text_clean("Ø100 bar, 5 µm"), "Ø100 bar, 5 µm");
  EXPECT_EQ(text_clean("tab\there\x7f\x01"), "tab here  ");
  EXPECT_EQ(text_clean("Latin-1 \xd8"
                       "100"),
            "Latin-1  100");  // a lone lead byte
  EXPECT_EQ(text_clean("\xc0\xaf|\xed\xa0\x80|\xf4\x90\x80\x80"),
            "  |   |    ");  // overlong, surrogate, > U+10FFFF
  EXPECT_EQ(text_clean("cut at end \xe2\x82"), "cut at end   ");
  EXPECT_EQ(text_clean("\xf0\x9f\x94\xa7"), "\xf0\x9f\x94\xa7");  // four bytes
}

TEST(GnuplotText, StringsAndPathsCannotEscapeTheirQuotes) {
  EXPECT_EQ(gnuplot_quote("O'Brien \\n \"x\""), "'O''Brien \\n \"x\"'");
  EXPECT_EQ(gnuplot_quote("two\nlines"), "'two lines'");
  // A leading '<' would make gnuplot run a command; '-' and '+' are special files.
  EXPECT_EQ(gnuplot_path("<rm -rf x.dat"), "'./<rm -rf x.dat'");
  EXPECT_EQ(gnuplot_path("-"), "'./-'");
  EXPECT_EQ(gnuplot_path("runs/it's.dat"), "'./runs/it''s.dat'");
  EXPECT_EQ(gnuplot_path("/tmp/a b.dat"), "'/tmp/a b.dat'");
}

TEST(PageText, EscapesEntitiesAndEncodesFileNames) {
  EXPECT_EQ(page_escape("<b>\"R&D\"</b> 'x'"),
            "&lt;b&gt;&quot;R&amp;D&quot;&lt;/b&gt; &#39;x&#39;");
  EXPECT_EQ(page_url("my run #2?.forces.svg"), "my%20run%20%232%3F.forces.svg");
  EXPECT_EQ(page_url("javascript:x\"y"), "javascript%3Ax%22y");
  EXPECT_EQ(page_url("A-z_0.9~"), "A-z_0.9~");
}

TEST(PageParameters, FollowTheSectionsAndModesOfTheReport) {
  RunFiles run;
  run.report_lines = {"",
                      "Process : Face Turning ",
                      "",
                      "Tool Modal Data",
                      "Y - Direction",
                      "Modal Mass\t\t:     0.6000 [kg]",
                      "Damping Ratio\t\t:     0.0500",
                      "Modal Mass\t\t:     0.1500 [kg]",
                      "Z - Direction",
                      "Note\t: a < b & c"};
  EXPECT_EQ(page_parameters(run),
            "<h2>Job parameters</h2>\n"
            "<table>\n<tr><td>Process</td><td class=\"value\">Face Turning</td></tr>\n</table>\n"
            "<h3>Tool Modal Data</h3>\n<h4>Y - Direction</h4>\n<table>\n"
            "<tr><th class=\"mode\" colspan=\"2\">Mode 1</th></tr>\n"
            "<tr><td>Modal Mass</td><td class=\"value\">0.6000 [kg]</td></tr>\n"
            "<tr><td>Damping Ratio</td><td class=\"value\">0.0500</td></tr>\n"
            "<tr><th class=\"mode\" colspan=\"2\">Mode 2</th></tr>\n"
            "<tr><td>Modal Mass</td><td class=\"value\">0.1500 [kg]</td></tr>\n</table>\n"
            "<h4>Z - Direction</h4>\n"
            "<table>\n<tr><td>Note</td><td class=\"value\">a &lt; b &amp; c</td></tr>\n</table>\n");
}
