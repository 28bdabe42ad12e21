// The engine's exp and pow return what the C library's exp and pow return,
// bit for bit, over a million arguments of every kind: ordinary values, the
// edges of overflow and underflow, subnormals, zeros, infinities, NaN and
// random bit patterns.
#include "engine/libm.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

uint64_t next(uint64_t* s) {
  *s ^= *s << 13, *s ^= *s >> 7, *s ^= *s << 17;
  return *s;
}

}  // namespace

TEST(Libm, ExpAndPowAgreeWithTheLibraryBitForBit) {
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<double> special = {0.0,
                                 -0.0,
                                 1.0,
                                 -1.0,
                                 0.5,
                                 2.0,
                                 709.782712893384,
                                 709.79,
                                 -745.13,
                                 -745.14,
                                 -708.4,
                                 1e-310,
                                 -1e-310,
                                 1e300,
                                 -1e300,
                                 inf,
                                 -inf,
                                 std::numeric_limits<double>::quiet_NaN()};
  uint64_t s = 0x9e3779b97f4a7c15u;
  for (int i = 0; i < 1000000; ++i) {
    const uint64_t bits = next(&s);
    // Half random bit patterns, half the engine's range of arguments.
    const double x = i % 2 == 0 ? std::bit_cast<double>(bits)
                                : (static_cast<double>(bits >> 11) * 0x1p-53 - 0.5) * 1400.0;
    const double e = std::exp(x), f = libm_exp(x);
    ASSERT_EQ(std::bit_cast<uint64_t>(e), std::bit_cast<uint64_t>(f)) << "exp " << x;
    const double base = i % 3 == 0 ? std::bit_cast<double>(next(&s))
                                   : static_cast<double>(next(&s) >> 11) * 0x1p-53 * 500.0;
    const double exponent = (static_cast<double>(next(&s) >> 11) * 0x1p-53 - 0.5) * 4.0;
    const double p = std::pow(base, exponent), q = libm_pow(base, exponent);
    ASSERT_EQ(std::bit_cast<uint64_t>(p), std::bit_cast<uint64_t>(q))
        << "pow " << base << " " << exponent;
  }
  for (double x : special) {
    EXPECT_EQ(std::bit_cast<uint64_t>(std::exp(x)), std::bit_cast<uint64_t>(libm_exp(x))) << x;
    for (double y : special)
      EXPECT_EQ(std::bit_cast<uint64_t>(std::pow(x, y)), std::bit_cast<uint64_t>(libm_pow(x, y)))
          << x << " " << y;
  }
}
