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

// "00" to "99": the two digits of each number below 100.
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

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
  const uint64_t whole = q / scale;
  uint32_t part = static_cast<uint32_t>(q % scale);
  // The whole part's digits, then the point and the fraction's precision
  // digits written from the right, two at a time.
  char whole_digits[24];
  const int whole_length = static_cast<int>(
      std::to_chars(whole_digits, whole_digits + sizeof whole_digits, whole).ptr - whole_digits);
  const int negative = static_cast<int>(bits >> 63);
  const int length = negative + whole_length + 1 + precision;
  if (last - first < length) return 0;
  char* out = first;
  if (negative) *out++ = '-';  // printf's sign, "-0.000000" included
  std::memcpy(out, whole_digits, static_cast<size_t>(whole_length));
  out += whole_length;
  *out++ = '.';
  int i = precision;
  for (; i >= 2; i -= 2, part /= 100) std::memcpy(out + i - 2, kDigitPairs + 2 * (part % 100), 2);
  if (i == 1) out[0] = static_cast<char>('0' + part % 10);
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
