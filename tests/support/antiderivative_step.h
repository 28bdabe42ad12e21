// One mode's step written out from the public antiderivatives of
// engine/modal_response.h, each taken whole at both ends of the step (its own
// exponential, sine and cosine): the plain evaluation of the step's formulas
// in their written order, as a second opinion for the tests and as the plain
// run of the benchmarks.
#pragma once

#include <cmath>

#include "engine/modal_response.h"

namespace test_support {

// The running values of one mode between its steps.
struct AntiderivativeMode {
  double a = 0.0, b = 0.0;  // running integrals with cos and sin
  double prev = 0.0;        // N, force at the previous step
  int ref = 0;              // global step the integrals are referred to
};

// Step k of the revolution of mode i of the workspace r (its constants
// only) under force (N), mass in kg and dt in s; returns the displacement (m).
inline double antiderivative_step(AntiderivativeMode* m, const ModeResponse* r, int i, double mass,
                                  double dt, double force, int k, int revolution) {
  const int n = k + 34200 * revolution;
  double t0 = n * dt, t1 = (n + 1) * dt;
  if (k == 0 && revolution == 0) m->a = m->b = m->prev = 0.0, t0 = 0.0, t1 = dt;
  const double g = (force - m->prev) / dt, f0 = m->prev - t0 * g;
  const double gc = modal_int_cos(r, t1, dt, i) - modal_int_cos(r, t0, 0.0, i);
  const double gs = modal_int_sin(r, t1, dt, i) - modal_int_sin(r, t0, 0.0, i);
  const double hs = modal_int_t_sin(r, t1, dt, i) - modal_int_t_sin(r, t0, 0.0, i);
  const double hc = modal_int_t_cos(r, t1, dt, i) - modal_int_t_cos(r, t0, 0.0, i);
  const double da = f0 * gc + g * hc, db = f0 * gs + g * hs;
  const double sigma = r->decay_rate[i], wd = r->damped_freq[i];
  if (m->a > 1e100 || m->b > 1e100) {
    m->a = modal_scaled_exp(m->a, -dt * sigma, n - m->ref);
    m->b = modal_scaled_exp(m->b, -dt * sigma, n - m->ref);
    m->ref = n;
  }
  m->a += modal_scaled_exp(da, dt * sigma, n - m->ref);
  m->b += modal_scaled_exp(db, dt * sigma, n - m->ref);
  m->prev = force;
  const double x0 = (std::sin(wd * t1) * m->a - std::cos(wd * t1) * m->b) / (mass * wd);
  if (n + 1 > m->ref) return modal_scaled_exp(x0, -sigma * dt, n + 1 - m->ref);
  return modal_scaled_exp(x0, sigma * dt, m->ref - n - 1);
}

}  // namespace test_support
