// Text for XML and HTML documents: the characters markup reserves as
// entities. Header only, so that programs which link no result writers (the
// plotter) escape alike.
#pragma once

#include <string>
#include <string_view>

// The entity of a character that markup reserves: &amp; &lt; &gt; &quot;
// and, when apostrophe is set, &#39;; null for any other character.
inline const char* xml_entity(char c, bool apostrophe) {
  switch (c) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '"':
      return "&quot;";
    case '\'':
      return apostrophe ? "&#39;" : nullptr;
    default:
      return nullptr;
  }
}

// Text with &, <, >, " and ' as entities, and the control characters that
// XML 1.0 forbids (codes below 32 but tab and newline) as blanks.
inline std::string xml_escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (const char* entity = xml_entity(c, true)) {
      out += entity;
    } else if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n') {
      out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}
