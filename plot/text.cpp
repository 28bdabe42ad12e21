#include "plot/text.h"

namespace {

// Length of the valid UTF-8 sequence starting at text[at], 0 when there is none.
size_t utf8_length(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  size_t length;
  unsigned min_code;
  if (lead < 0x80) return 1;
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2, min_code = 0x80;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3, min_code = 0x800;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4, min_code = 0x10000;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  unsigned code = lead & (0x7f >> length);
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xc0) != 0x80) return 0;
    code = (code << 6) | (byte(at + i) & 0x3f);
  }
  // Overlong forms, UTF-16 surrogates and code points past U+10FFFF are invalid.
  if (code < min_code || (code >= 0xd800 && code <= 0xdfff) || code > 0x10ffff) return 0;
  return length;
}

}  // namespace

std::string text_clean(std::string_view text) {
  std::string clean;
  clean.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const size_t length = utf8_length(text, at);
    const unsigned char c = static_cast<unsigned char>(text[at]);
    if (length == 0 || c < 0x20 || c == 0x7f) {
      clean += ' ';
      ++at;
    } else {
      clean.append(text.substr(at, length));
      at += length;
    }
  }
  return clean;
}

std::string_view text_trim(std::string_view text) {
  const char* const blanks = " \t\r";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}
