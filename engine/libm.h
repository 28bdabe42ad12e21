// exp and pow of the C library, entered past the wrappers that only set
// errno. glibc's exp and pow call their implementation and then look at the
// result to set errno on overflow or a domain error; the value they return
// is the implementation's, bit for bit. The implementation has kept a
// second, errno-free entry since glibc 2.15 (__exp_finite, __pow_finite).
// The engine never reads errno after them, and the wrapper's look costs as
// much as a sixth of the exponential. Where the build found no such entry
// (another C library), these are std::exp and std::pow.
#pragma once

#include <cmath>

#if CORVANEL_LIBM_FINITE_ENTRIES
extern "C" double corvanel_libm_exp(double);
extern "C" double corvanel_libm_pow(double, double);
__asm__(".symver corvanel_libm_exp, __exp_finite@GLIBC_2.15");
__asm__(".symver corvanel_libm_pow, __pow_finite@GLIBC_2.15");
#endif

// e to the power x.
inline double libm_exp(double x) {
#if CORVANEL_LIBM_FINITE_ENTRIES
  return corvanel_libm_exp(x);
#else
  return std::exp(x);
#endif
}

// base to the power exponent.
inline double libm_pow(double base, double exponent) {
#if CORVANEL_LIBM_FINITE_ENTRIES
  return corvanel_libm_pow(base, exponent);
#else
  return std::pow(base, exponent);
#endif
}
