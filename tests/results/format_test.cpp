// The to_chars rows against snprintf: every conversion the result rows use
// must give printf's characters for every double, special values included.
#include "results/format.h"

#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

// One printf conversion and the to_chars call that must match it.
struct Conversion {
  const char* format;
  void (*append)(FormatRow*, double);
};

const Conversion kConversions[] = {
    {"%lf", [](FormatRow* row, double v) { format_fixed(row, v, 6, 0); }},
    {"%1f", [](FormatRow* row, double v) { format_fixed(row, v, 6, 1); }},
    {"%e", [](FormatRow* row, double v) { format_exp(row, v); }},
    {"%10.4lf", [](FormatRow* row, double v) { format_fixed(row, v, 4, 10); }},
};

std::string printf_text(const char* format, double value) {
  char text[512];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string row_text(const Conversion& c, double value) {
  FormatRow row;
  format_begin(&row);
  c.append(&row, value);
  EXPECT_EQ(row.failed, 0) << c.format << " " << value;
  return std::string(row.text, static_cast<size_t>(row.length));
}

// Appends v and the three doubles on either side of it.
void add_neighbours(std::vector<double>* values, double v) {
  double below = v, above = v;
  values->push_back(v);
  for (int i = 0; i < 3; ++i) {
    below = std::nextafter(below, -INFINITY);
    above = std::nextafter(above, INFINITY);
    values->push_back(below);
    values->push_back(above);
  }
}

// The values of the comparison: specials, random bit patterns, decimal
// rounding boundaries of 4, 6 and 7 significant places with their
// neighbours, exact binary ties, and the cut angles the engine prints.
std::vector<double> test_values() {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> v = {0.0,
                           -0.0,
                           kInf,
                           -kInf,
                           nan,
                           -nan,
                           std::bit_cast<double>(uint64_t{0x7ff8000000000123}),
                           std::numeric_limits<double>::denorm_min(),
                           std::numeric_limits<double>::min(),
                           std::numeric_limits<double>::max(),
                           -std::numeric_limits<double>::max()};
  std::mt19937_64 random(20261208);
  for (int i = 0; i < 60000; ++i) v.push_back(std::bit_cast<double>(random()));
  // Moderate magnitudes, where most printed digits are significant.
  std::uniform_real_distribution<double> exponent(-12.0, 12.0);
  for (int i = 0; i < 60000; ++i) {
    const double x = std::pow(10.0, exponent(random));
    v.push_back(i % 2 ? x : -x);
  }
  // Halfway points of the last printed place, and their neighbours.
  std::uniform_int_distribution<int64_t> digits(0, 99999999);
  for (int i = 0; i < 6000; ++i) {
    const double m = static_cast<double>(digits(random)) + 0.5;
    add_neighbours(&v, m / 1e6);                            // "%lf"
    add_neighbours(&v, -m / 1e4);                           // "%10.4lf"
    add_neighbours(&v, m * std::pow(10.0, (i % 40) - 27));  // "%e", seven significant digits
  }
  // Exact ties: n / 128 ends in a 5 at the seventh decimal, n / 32 at the
  // fifth, and an odd eight-digit integer ending in 5 at the eighth digit.
  for (int n = -40000; n <= 40000; n += 3) {
    v.push_back(n / 128.0);
    v.push_back(n / 32.0);
  }
  for (int n = 10000005; n < 10400000; n += 20) v.push_back(static_cast<double>(n));
  // The cut angles: s 360 / 34200 plus the whole revolutions' degrees.
  for (int64_t r : {0, 1, 2, 7, 19, 250, 62790}) {
    const double revolution_degrees = static_cast<double>(r * 3600) / 10.0;
    for (int s = 0; s < 34200; s += r == 0 ? 1 : 7)
      v.push_back(s * (360.0 / 34200) + revolution_degrees);
  }
  return v;
}

}  // namespace

TEST(FormatNumbers, EveryConversionGivesPrintfsCharacters) {
  const std::vector<double> values = test_values();
  ASSERT_GT(values.size(), 250000u);
  for (const Conversion& c : kConversions) {
    int mismatches = 0;
    for (double value : values) {
      const std::string expected = printf_text(c.format, value);
      const std::string produced = row_text(c, value);
      if (produced != expected && ++mismatches <= 5) {
        ADD_FAILURE() << c.format << " of " << std::bit_cast<uint64_t>(value) << ": \"" << produced
                      << "\" instead of \"" << expected << "\"";
      }
    }
    EXPECT_EQ(mismatches, 0) << c.format;
  }
}

TEST(FormatNumbers, IntegersMatchPercentFourD) {
  std::vector<int> values = {0,   1,    -1,   9,     10,    99,      100,
                             999, 1000, -999, -1000, 34199, INT_MAX, INT_MIN};
  std::mt19937 random(7);
  for (int i = 0; i < 20000; ++i) values.push_back(static_cast<int>(random()));
  for (int value : values) {
    for (int width : {0, 4}) {
      char expected[32];
      std::snprintf(expected, sizeof expected, width == 4 ? "%4d" : "%d", value);
      FormatRow row;
      format_begin(&row);
      format_int(&row, value, width);
      EXPECT_EQ(std::string(row.text, static_cast<size_t>(row.length)), expected) << width;
    }
  }
}

TEST(FormatRow, AWholeMainRowOfLargestValuesFitsAndIsWritten) {
  // Four numbers of 309 integer digits: the widest row the series write.
  FormatRow row;
  format_begin(&row);
  format_int(&row, INT_MIN, 4);
  for (int i = 0; i < 4; ++i) {
    format_text(&row, " ");
    format_fixed(&row, -std::numeric_limits<double>::max(), 6, 10);
  }
  format_text(&row, " \n");
  EXPECT_EQ(row.failed, 0);
  char expected[kFormatRowSize];
  const double big = -std::numeric_limits<double>::max();
  std::snprintf(expected, sizeof expected, "%4d %10.6lf %10.6lf %10.6lf %10.6lf \n", INT_MIN, big,
                big, big, big);
  EXPECT_EQ(std::string(row.text, static_cast<size_t>(row.length)), expected);
  EXPECT_EQ(format_write(&row, nullptr), 0);
}

TEST(FormatRow, AFullRowRefusesMoreAndIsNotWritten) {
  FormatRow row;
  format_begin(&row);
  const std::string line(kFormatRowSize - 3, 'x');
  format_text(&row, line.c_str());
  format_fixed(&row, 123.0, 4, 10);  // 10 characters do not fit in 3
  EXPECT_EQ(row.failed, 1);
  std::FILE* sink = std::tmpfile();
  ASSERT_NE(sink, nullptr);
  EXPECT_EQ(format_write(&row, sink), 0);
  EXPECT_EQ(std::ftell(sink), 0);
  std::fclose(sink);
}
