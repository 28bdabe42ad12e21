#include "results/format.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
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

// value (finite, below 1e12 in magnitude) as "%.<precision>f" for a
// precision of 1 to 9, exactly: the double is m 2^-shift, so value 10^p is
// m 10^p 2^-shift, whose quotient and remainder in 128-bit integers round
// to nearest with ties to even, as printf does in the default rounding mode.
// Returns the characters written at first, or 0 when they do not fit.
int fixed_digits(char* first, char* last, double value, int precision) {
  static constexpr uint32_t kPowers[] = {1,      10,      100,      1000,      10000,
                                         100000, 1000000, 10000000, 100000000, 1000000000};
  const uint64_t bits = std::bit_cast<uint64_t>(value);
  const int biased = static_cast<int>(bits >> 52 & 0x7ff);
  const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
  const uint64_t m = biased == 0 ? fraction : fraction | uint64_t{1} << 52;
  const int shift = biased == 0 ? 1074 : 1075 - biased;  // value = m 2^-shift, shift > 12 here
  const uint32_t scale = kPowers[precision];
  const unsigned __int128 n = static_cast<unsigned __int128>(m) * scale;  // below 2^83
  uint64_t q = 0;
  if (shift < 84) {
    q = static_cast<uint64_t>(n >> shift);
    const unsigned __int128 rest = n & ((static_cast<unsigned __int128>(1) << shift) - 1);
    const unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
    if (rest > half || (rest == half && (q & 1) != 0)) ++q;
  }  // else value 10^p is below 2^82 2^-84: it rounds to 0
  char digits[32];
  int count = 0;
  uint64_t whole = q / scale;
  uint32_t part = static_cast<uint32_t>(q % scale);
  for (int i = 0; i < precision; ++i, part /= 10)
    digits[count++] = static_cast<char>('0' + part % 10);
  digits[count++] = '.';
  do {
    digits[count++] = static_cast<char>('0' + whole % 10);
    whole /= 10;
  } while (whole != 0);
  const int length = count + static_cast<int>(bits >> 63);
  if (last - first < length) return 0;
  char* out = first;
  if (bits >> 63) *out++ = '-';  // printf's sign, "-0.000000" included
  while (count > 0) *out++ = digits[--count];
  return length;
}

}  // namespace

void format_begin(FormatRow* row) {
  row->length = 0;
  row->failed = 0;
}

void format_fixed(FormatRow* row, double value, int precision, int width) {
  if (!row->failed && std::isfinite(value) && std::fabs(value) < 1e12 && precision >= 1 &&
      precision <= 9) {
    const int start = row->length;
    const int length =
        fixed_digits(row->text + start, row->text + kFormatRowSize, value, precision);
    if (length == 0) {
      row->failed = 1;
      return;
    }
    row->length += length;
    pad_left(row, start, width);
    return;
  }
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
