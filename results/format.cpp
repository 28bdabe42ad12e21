#include "results/format.h"

#include <charconv>
#include <cstring>

namespace {

// Moves the last `length` characters at `start` right so that they fill
// `width`, with spaces before them, as printf pads a right-aligned number.
void pad_left(FormatRow* row, int start, int width) {
  const int length = row->length - start;
  if (length >= width) return;
  const int pad = width - length;
  if (row->length + pad > kFormatRowSize) {
    row->failed = 1;
    return;
  }
  std::memmove(row->text + start + pad, row->text + start, static_cast<size_t>(length));
  std::memset(row->text + start, ' ', static_cast<size_t>(pad));
  row->length += pad;
}

// Appends the result of a to_chars call on the free part of the row.
template <typename Convert>
void append(FormatRow* row, int width, Convert convert) {
  if (row->failed) return;
  const int start = row->length;
  char* first = row->text + start;
  const std::to_chars_result r = convert(first, row->text + kFormatRowSize);
  if (r.ec != std::errc()) {
    row->failed = 1;
    return;
  }
  row->length = static_cast<int>(r.ptr - row->text);
  pad_left(row, start, width);
}

}  // namespace

void format_begin(FormatRow* row) {
  row->length = 0;
  row->failed = 0;
}

void format_fixed(FormatRow* row, double value, int precision, int width) {
  append(row, width, [&](char* first, char* last) {
    return std::to_chars(first, last, value, std::chars_format::fixed, precision);
  });
}

void format_exp(FormatRow* row, double value) {
  append(row, 0, [&](char* first, char* last) {
    return std::to_chars(first, last, value, std::chars_format::scientific, 6);
  });
}

void format_int(FormatRow* row, int value, int width) {
  append(row, width, [&](char* first, char* last) { return std::to_chars(first, last, value); });
}

void format_text(FormatRow* row, const char* text) {
  if (row->failed) return;
  const size_t length = std::strlen(text);
  if (static_cast<size_t>(row->length) + length > static_cast<size_t>(kFormatRowSize)) {
    row->failed = 1;
    return;
  }
  std::memcpy(row->text + row->length, text, length);
  row->length += static_cast<int>(length);
}

int format_write(const FormatRow* row, FILE* out) {
  if (row->failed || out == nullptr) return 0;
  return std::fwrite(row->text, 1, static_cast<size_t>(row->length), out) ==
         static_cast<size_t>(row->length);
}
