// Remembered results of the elementary functions for arguments that repeat
// from step to step: a cutting speed shared by two laws in one step, or an
// angle that stays put while the cut does. A remembered
// value is used only for bit-identical arguments, so every result is exactly
// that of the call it saves. A null memo always calls the function.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

#include "engine/libm.h"

struct PowMemo {
  uint64_t base_bits;
  uint64_t exponent_bits;
  double value;
  int valid;
};

struct TrigMemo {
  uint64_t angle_bits;
  double sin_value;
  double cos_value;
  int valid;
};

// One argument of one function (acos, tan, exp ...).
struct UnaryMemo {
  uint64_t arg_bits;
  double value;
  int valid;
};

// libm_pow(base, exponent).
inline double memo_pow(PowMemo* memo, double base, double exponent) {
  if (memo == nullptr) return libm_pow(base, exponent);
  const uint64_t base_bits = std::bit_cast<uint64_t>(base);
  const uint64_t exponent_bits = std::bit_cast<uint64_t>(exponent);
  if (!memo->valid || memo->base_bits != base_bits || memo->exponent_bits != exponent_bits) {
    *memo = {base_bits, exponent_bits, libm_pow(base, exponent), 1};
  }
  return memo->value;
}

// std::sin(angle) and std::cos(angle), angle in rad.
inline void memo_sincos(TrigMemo* memo, double angle, double* sin_out, double* cos_out) {
  if (memo == nullptr) {
    *sin_out = std::sin(angle);
    *cos_out = std::cos(angle);
    return;
  }
  const uint64_t bits = std::bit_cast<uint64_t>(angle);
  if (!memo->valid || memo->angle_bits != bits) {
    *memo = {bits, std::sin(angle), std::cos(angle), 1};
  }
  *sin_out = memo->sin_value;
  *cos_out = memo->cos_value;
}

// fn(x) for a function that depends on its argument alone.
inline double memo_unary(UnaryMemo* memo, double (*fn)(double), double x) {
  if (memo == nullptr) return fn(x);
  const uint64_t bits = std::bit_cast<uint64_t>(x);
  if (!memo->valid || memo->arg_bits != bits) *memo = {bits, fn(x), 1};
  return memo->value;
}

// The memos of the cutting stages of one run, for the values that change
// from step to step but often repeat (the constants of a run are in
// RunConstants): one per call site.
struct CutMemo {
  PowMemo kf_speed, kn_speed, cfa_speed;  // v^exponent, shared by the average and step's chip
  TrigMemo chip_flow;                     // the chip flow angle of the edge forces
  TrigMemo contact_phi, contact_theta1, contact_theta2;  // flank contact of the damping
};
