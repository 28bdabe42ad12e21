// Configure-time check: the C library's errno-free exp and pow entries
// (engine/libm.h) exist and return what exp and pow return, bit for bit,
// on values around overflow, underflow, the domain's edges and ordinary ones.
#include <cstring>
#include <limits>

#include "engine/libm.h"

static bool same(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

int main() {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double xs[] = {0.0,  -0.0,  1e-300, -1.5, 0.5, 709.78, 709.79,    -745.2, -745.1,
                       1e10, -1e10, inf,    -inf, nan, 3.7,    -0.012345, 2.0,    0.1};
  for (double x : xs) {
    if (!same(std::exp(x), libm_exp(x))) return 1;
    for (double y : xs)
      if (!same(std::pow(x, y), libm_pow(x, y))) return 1;
  }
  return 0;
}
