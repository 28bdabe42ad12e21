// The stages of one mode's step, shared by the scalar step (modal_mode_step)
// and the packed one (modal_batch_respond) and inlined into both: the step's
// times, its sines, cosines and growth through the memo, the accumulation of
// the running integrals and the referral of the displacement.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

#include "engine/libm.h"
#include "engine/modal_response.h"

inline constexpr double kModalRebaseLimit = 1e100;  // running integrals are rebased above this

// The step's global number and the times of its start and end.
struct ModeStepTimes {
  int n;      // global step number, k + 34200 revolution
  int first;  // 1 at the run's first step, where every mode starts from rest
  double t0;  // s, start of the step
  double t1;  // s, end of the step
};

// The trigonometric and exponential values of one mode's step.
struct ModeStepTrig {
  double cos_end, sin_end;      // cos(wd t1), sin(wd t1)
  double cos_start, sin_start;  // cos(wd t0), sin(wd t0)
  double growth;                // e^(sigma dt)
};

// Number and times (s) of step k of the state's revolution.
inline ModeStepTimes modal_step_times(const SimState* state, int k) {
  const double dt = state->time_step;
  const int n = k + kGridSteps * state->revolution;
  if (k == 0 && state->revolution == 0) return {n, 1, 0.0, dt};
  return {n, 0, static_cast<double>(n) * dt, static_cast<double>(n + 1) * dt};
}

// True when mode i's memo was written for its constants and time step dt (s).
inline bool modal_step_memo_matches(const ModeResponse* r, int i, double dt) {
  const ModeStepMemo& m = r->memo[i];
  return m.valid &&
         std::bit_cast<uint64_t>(m.damped_freq) == std::bit_cast<uint64_t>(r->damped_freq[i]) &&
         std::bit_cast<uint64_t>(m.decay_rate) == std::bit_cast<uint64_t>(r->decay_rate[i]) &&
         std::bit_cast<uint64_t>(m.time_step) == std::bit_cast<uint64_t>(dt);
}

// cos and sin of wd t1 and wd t0 (s) and e^(sigma dt) of mode i at global step
// n. The start of a step is the end of the one before: its sine and cosine,
// and the growth over one step, are those the memo kept (which it updates).
[[gnu::always_inline]] inline ModeStepTrig modal_step_trig(ModeResponse* r, int i, double dt, int n,
                                                           double t0, double t1) {
  const double wd = r->damped_freq[i], sigma = r->decay_rate[i];
  ModeStepMemo* memo = &r->memo[i];
  ModeStepTrig out;
  out.cos_end = std::cos(wd * t1);
  out.sin_end = std::sin(wd * t1);
  const bool known = modal_step_memo_matches(r, i, dt);
  if (known && memo->end_step == n) {
    out.cos_start = memo->cos_end;
    out.sin_start = memo->sin_end;
  } else {
    out.cos_start = std::cos(wd * t0);
    out.sin_start = std::sin(wd * t0);
  }
  out.growth = known ? memo->growth : libm_exp(sigma * dt);
  *memo = {1, n + 1, wd, sigma, dt, out.cos_end, out.sin_end, out.growth};
  return out;
}

// modal_scaled_exp(a, b, n), with the single exponential of the usual case inline.
inline double modal_step_scaled_exp(double a, double b, int n) {
  const double p = static_cast<double>(n) * b;
  if (n != 0 && p >= -300.0 && p <= 300.0) return libm_exp(p) * a;
  return modal_scaled_exp(a, b, n);
}

// Refers mode i's running integrals to step n: A e^(-sigma dt (n - ref)), and ref = n.
inline void modal_step_rebase(ModeResponse* r, int i, double dt, double sigma, int n) {
  r->integral_cos[i] = modal_scaled_exp(r->integral_cos[i], -dt * sigma, n - r->ref_step[i]);
  r->integral_sin[i] = modal_scaled_exp(r->integral_sin[i], -dt * sigma, n - r->ref_step[i]);
  r->ref_step[i] = n;
}

// Mode i's running integrals after a step.
struct ModeIntegrals {
  double cos_part;  // integral_cos
  double sin_part;  // integral_sin
};

// Rebases mode i's integrals when one is above the limit, then adds the step's
// integrals delta_cos and delta_sin (referred to t = n dt, dt in s) to them;
// returns the new integrals (handed over in registers, not read back).
[[gnu::always_inline]] inline ModeIntegrals modal_step_accumulate(ModeResponse* r, int i, double dt,
                                                                  int n, double delta_cos,
                                                                  double delta_sin) {
  const double sigma = r->decay_rate[i];
  // Signed test: a large negative integral does not rebase.
  if (r->integral_cos[i] > kModalRebaseLimit || r->integral_sin[i] > kModalRebaseLimit)
    modal_step_rebase(r, i, dt, sigma, n);
  const double a = r->integral_cos[i];
  const double b = r->integral_sin[i];
  // One exponential serves both integrals whenever the scaling needs no steps of e^300.
  const int gap = n - r->ref_step[i];
  const double p = static_cast<double>(gap) * (dt * sigma);
  ModeIntegrals out;
  if (gap != 0 && p >= -300.0 && p <= 300.0) {
    const double e = libm_exp(p);
    out = {a + e * delta_cos, b + e * delta_sin};
  } else {
    out = {a + modal_scaled_exp(delta_cos, dt * sigma, gap),
           b + modal_scaled_exp(delta_sin, dt * sigma, gap)};
  }
  if (std::isfinite(a) && std::isfinite(b) && std::isfinite(delta_cos) &&
      std::isfinite(delta_sin) && !(std::isfinite(out.cos_part) && std::isfinite(out.sin_part))) {
    // A long free gap since the last rebase (coarse angular increments leave
    // most of each revolution's time unstepped) made e^(sigma dt (n - ref))
    // overflow: rebase to this step first and add the integrals unscaled.
    modal_step_rebase(r, i, dt, sigma, n);
    out = {r->integral_cos[i] + modal_scaled_exp(delta_cos, dt * sigma, 0),
           r->integral_sin[i] + modal_scaled_exp(delta_sin, dt * sigma, 0)};
  }
  r->integral_cos[i] = out.cos_part;
  r->integral_sin[i] = out.sin_part;
  return out;
}

// (sin(wd t1) A - cos(wd t1) B) / (mass wd) of mode i (mass in kg), before the reference decay.
inline double modal_step_unscaled(const ModeResponse* r, int i, double mass,
                                  const ModeStepTrig& trig) {
  return (trig.sin_end * r->integral_cos[i] - trig.cos_end * r->integral_sin[i]) /
         (mass * r->damped_freq[i]);
}

// Mode i's displacement (m) at the end of step n from x0, its value before the
// reference decay (rebasing when x0 overflowed); mass in kg, dt in s.
[[gnu::always_inline]] inline double modal_step_finish(ModeResponse* r, int i, double mass,
                                                       double dt, int n, const ModeStepTrig& trig,
                                                       double x0) {
  const double sigma = r->decay_rate[i];
  if (!std::isfinite(x0) && std::isfinite(r->integral_cos[i]) &&
      std::isfinite(r->integral_sin[i])) {
    // Integrals near the top of the double range over a small mass times
    // frequency: refer them to this step so that x0 stays representable.
    modal_step_rebase(r, i, dt, sigma, n);
    x0 = modal_step_unscaled(r, i, mass, trig);
  }
  // Displacement at t1, referred back from t_ref = ref_step * dt.
  if (n + 1 > r->ref_step[i]) return modal_step_scaled_exp(x0, -sigma * dt, n + 1 - r->ref_step[i]);
  return modal_step_scaled_exp(x0, sigma * dt, r->ref_step[i] - n - 1);
}

// Adds x (m) to both histories of the drive at k + delay and raises the
// state's history_end; an index outside the histories is skipped.
inline void modal_step_place(const ModalDrive& drive, SimState* state, double x, int delay, int k) {
  const long long index = static_cast<long long>(k) + delay;
  if (index < 0 || index >= state->capacity) return;  // never past the histories
  // Negation is exact, so the workpiece's term is subtracted to the last bit.
  drive.relative[index] += drive.relative_sign * x;
  drive.structure[index] += x;
  if (index >= state->history_end) state->history_end = static_cast<int32_t>(index + 1);
}
