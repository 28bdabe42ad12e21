#include "model/rounding.h"

#include <climits>
#include <cmath>

int round_half_away(double x) {
  if (std::isnan(x)) return 0;
  double magnitude = std::fabs(x);
  if (magnitude >= 2147483647.0) return x < 0 ? INT_MIN : INT_MAX;
  int whole = static_cast<int>(magnitude);  // truncation toward zero
  if (magnitude - whole >= 0.5) whole += 1;
  return x < 0 ? -whole : whole;
}
