#include "engine/modal_response.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

namespace {

constexpr int kStepsPerRevolution =
    kGridSteps;                         // global step numbers advance by 34200 a revolution
constexpr double kRebaseLimit = 1e100;  // running integrals are rebased above this

// The four antiderivatives of one mode, written once for both the public
// functions and the step: e = e^(sigma s), c = cos(wd t), sn = sin(wd t).
struct ModeFreqs {
  double sigma;  // decay rate, 1/s
  double wd;     // damped frequency, rad/s
  double w;      // natural_freq_sq, rad^2/s^2
};

inline double g_cos(const ModeFreqs& f, double e, double c, double sn) {
  return e * (f.sigma * c + f.wd * sn) / f.w;
}

inline double g_sin(const ModeFreqs& f, double e, double c, double sn) {
  return e * (f.sigma * sn - f.wd * c) / f.w;
}

inline double h_sin(const ModeFreqs& f, double t, double gc, double gs) {
  return t * gs - f.sigma * gs / f.w + f.wd * gc / f.w;
}

inline double h_cos(const ModeFreqs& f, double t, double gc, double gs) {
  return t * gc - f.sigma * gc / f.w - f.wd * gs / f.w;
}

inline ModeFreqs freqs_of(const ModeResponse* r, int i) {
  return {r->decay_rate[i], r->damped_freq[i], r->natural_freq_sq[i]};
}

// One history pair and the force that drives one mode list.
struct ListDrive {
  const ModalMode* modes;
  int count;
  ModeResponse* response;
  double force;          // N, the force on this structure
  double relative_sign;  // +1 tool, -1 spindle-workpiece: relative = tool - workpiece
  double* relative;
  double* structure;
};

void respond_list(const ListDrive& d, SimState* state, int k) {
  if (d.modes == nullptr) return;
  const int count = std::min(d.count, kMaxModesPerDirection);
  for (int i = 0; i < count; ++i) {
    const double x = modal_mode_step(d.modes, state, d.response, d.force, k, i);
    const long long index = static_cast<long long>(k) + d.response->delay_steps[i];
    if (index < 0 || index >= state->capacity) continue;  // never past the histories
    modal_add_response(d.relative, d.structure, x, d.response->delay_steps[i], k,
                       d.relative_sign);
  }
}

}  // namespace

double modal_scaled_exp(double a, double b, int n) {
  if (n == 0) return a;  // also for an infinite b, where n b is not a number
  double p = static_cast<double>(n) * b;
  // Once a is 0, infinite or not a number, further factors cannot change the
  // result; stopping there also ends the loop for an infinite p.
  if (p > 0.0) {
    while (p > 300.0) {
      if (a == 0.0 || !std::isfinite(a)) return a;
      a *= std::exp(300.0);
      p -= 300.0;
    }
  } else {
    while (p < -300.0) {
      if (a == 0.0 || !std::isfinite(a)) return a;
      a *= std::exp(-300.0);
      p += 300.0;
    }
  }
  return std::exp(p) * a;
}

double modal_int_cos(const ModeResponse* response, double t, double s_exp, int i) {
  const ModeFreqs f = freqs_of(response, i);
  return g_cos(f, std::exp(f.sigma * s_exp), std::cos(f.wd * t), std::sin(f.wd * t));
}

double modal_int_sin(const ModeResponse* response, double t, double s_exp, int i) {
  const ModeFreqs f = freqs_of(response, i);
  return g_sin(f, std::exp(f.sigma * s_exp), std::cos(f.wd * t), std::sin(f.wd * t));
}

double modal_int_t_sin(const ModeResponse* response, double t, double s_exp, int i) {
  return h_sin(freqs_of(response, i), t, modal_int_cos(response, t, s_exp, i),
               modal_int_sin(response, t, s_exp, i));
}

double modal_int_t_cos(const ModeResponse* response, double t, double s_exp, int i) {
  return h_cos(freqs_of(response, i), t, modal_int_cos(response, t, s_exp, i),
               modal_int_sin(response, t, s_exp, i));
}

namespace {

// Integrals over one step of F(tau) e^(sigma (tau - t0)) cos/sin(wd tau).
struct StepIntegrals {
  double delta_a, delta_b;
  double cos_t1, sin_t1;  // cos(wd t1), sin(wd t1), reused for the displacement
};

bool same_bits(double a, double b) {
  return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
}

// True when the memo was written for these constants.
bool memo_matches(const ModeStepMemo& m, const ModeFreqs& f, double dt) {
  return m.valid && same_bits(m.damped_freq, f.wd) && same_bits(m.decay_rate, f.sigma) &&
         same_bits(m.time_step, dt);
}

StepIntegrals step_integrals(const ModeFreqs& f, double dt, int n, double t0, double t1, double f0,
                             double g, ModeStepMemo* memo) {
  // Exponents measured from t0 (s = 0 at t0, s = dt at t1); each
  // antiderivative's sine, cosine and exponential is evaluated once. The
  // start of a step is the end of the one before: its sine and cosine, and
  // the growth over one step, are those the memo kept.
  StepIntegrals out;
  out.cos_t1 = std::cos(f.wd * t1);
  out.sin_t1 = std::sin(f.wd * t1);
  const bool known = memo_matches(*memo, f, dt);
  double c0, s0;
  if (known && memo->end_step == n) {
    c0 = memo->cos_end;
    s0 = memo->sin_end;
  } else {
    c0 = std::cos(f.wd * t0);
    s0 = std::sin(f.wd * t0);
  }
  const double e1 = known ? memo->growth : std::exp(f.sigma * dt);
  *memo = {1, n + 1, f.wd, f.sigma, dt, out.cos_t1, out.sin_t1, e1};
  const double e0 = 1.0;  // e^(sigma * 0), exactly
  const double gc1 = g_cos(f, e1, out.cos_t1, out.sin_t1);
  const double gs1 = g_sin(f, e1, out.cos_t1, out.sin_t1);
  const double gc0 = g_cos(f, e0, c0, s0), gs0 = g_sin(f, e0, c0, s0);
  const double gc = gc1 - gc0;
  const double gs = gs1 - gs0;
  const double hs = h_sin(f, t1, gc1, gs1) - h_sin(f, t0, gc0, gs0);
  const double hc = h_cos(f, t1, gc1, gs1) - h_cos(f, t0, gc0, gs0);
  out.delta_a = f0 * gc + g * hc;
  out.delta_b = f0 * gs + g * hs;
  return out;
}

// Refers the running integrals to step n: A e^(-sigma dt (n - ref)), and ref = n.
void rebase(ModeResponse* r, int i, double dt, double sigma, int n) {
  r->integral_cos[i] = modal_scaled_exp(r->integral_cos[i], -dt * sigma, n - r->ref_step[i]);
  r->integral_sin[i] = modal_scaled_exp(r->integral_sin[i], -dt * sigma, n - r->ref_step[i]);
  r->ref_step[i] = n;
}

// modal_scaled_exp of two values with the same b and n: one exponential
// serves both whenever the scaling needs no steps of e^300.
void scaled_exp_pair(double a1, double a2, double b, int n, double* out1, double* out2) {
  const double p = static_cast<double>(n) * b;
  if (n != 0 && p >= -300.0 && p <= 300.0) {
    const double e = std::exp(p);
    *out1 = e * a1;
    *out2 = e * a2;
    return;
  }
  *out1 = modal_scaled_exp(a1, b, n);
  *out2 = modal_scaled_exp(a2, b, n);
}

// Adds the step's integrals, referred to the reference step, to A and B.
void accumulate(ModeResponse* r, int i, double dt, double sigma, int n, const StepIntegrals& st) {
  const double a = r->integral_cos[i];
  const double b = r->integral_sin[i];
  double add_a, add_b;
  scaled_exp_pair(st.delta_a, st.delta_b, dt * sigma, n - r->ref_step[i], &add_a, &add_b);
  r->integral_cos[i] += add_a;
  r->integral_sin[i] += add_b;
  if (std::isfinite(a) && std::isfinite(b) && std::isfinite(st.delta_a) &&
      std::isfinite(st.delta_b) &&
      !(std::isfinite(r->integral_cos[i]) && std::isfinite(r->integral_sin[i]))) {
    // A long free gap since the last rebase (coarse angular increments leave
    // most of each revolution's time unstepped) made e^(sigma dt (n - ref))
    // overflow: rebase to this step first and add the integrals unscaled.
    r->integral_cos[i] = a;
    r->integral_sin[i] = b;
    rebase(r, i, dt, sigma, n);
    r->integral_cos[i] += modal_scaled_exp(st.delta_a, dt * sigma, 0);
    r->integral_sin[i] += modal_scaled_exp(st.delta_b, dt * sigma, 0);
  }
}

// (sin(wd t1) A - cos(wd t1) B) / (mass wd), before the reference decay.
double unscaled_displacement(const ModeResponse* r, int i, double mass, const StepIntegrals& st) {
  return (st.sin_t1 * r->integral_cos[i] - st.cos_t1 * r->integral_sin[i]) /
         (mass * r->damped_freq[i]);
}

}  // namespace

double modal_mode_step(const ModalMode* modes, const SimState* state, ModeResponse* r, double force,
                       int k, int i) {
  const double dt = state->time_step;
  const int n = k + kStepsPerRevolution * state->revolution;
  double t0 = 0.0;
  double t1 = dt;
  if (k == 0 && state->revolution == 0) {
    r->integral_cos[i] = 0.0;
    r->integral_sin[i] = 0.0;
    r->prev_force[i] = 0.0;
  } else {
    t0 = static_cast<double>(n) * dt;
    t1 = static_cast<double>(n + 1) * dt;
  }
  // Force linear across the step: F0 + g tau, from prev_force at t0 to force at t1.
  const double g = (force - r->prev_force[i]) / dt;
  const double f0 = r->prev_force[i] - t0 * g;
  const ModeFreqs f = freqs_of(r, i);
  const StepIntegrals st = step_integrals(f, dt, n, t0, t1, f0, g, &r->memo[i]);

  // Signed test: a large negative integral does not rebase.
  if (r->integral_cos[i] > kRebaseLimit || r->integral_sin[i] > kRebaseLimit)
    rebase(r, i, dt, f.sigma, n);
  accumulate(r, i, dt, f.sigma, n, st);
  r->prev_force[i] = force;

  // Displacement at t1, referred back from t_ref = ref_step * dt.
  double x0 = unscaled_displacement(r, i, modes[i].mass, st);
  if (!std::isfinite(x0) && std::isfinite(r->integral_cos[i]) &&
      std::isfinite(r->integral_sin[i])) {
    // Integrals near the top of the double range over a small mass times
    // frequency: refer them to this step so that x0 stays representable.
    rebase(r, i, dt, f.sigma, n);
    x0 = unscaled_displacement(r, i, modes[i].mass, st);
  }
  if (n + 1 > r->ref_step[i]) return modal_scaled_exp(x0, -f.sigma * dt, n + 1 - r->ref_step[i]);
  return modal_scaled_exp(x0, f.sigma * dt, r->ref_step[i] - n - 1);
}

void modal_add_response(double* relative, double* structure, double x, int delay, int k,
                        double relative_sign) {
  // Negation is exact, so the workpiece's term is subtracted to the last bit.
  relative[k + delay] += relative_sign * x;
  structure[k + delay] += x;
}

void modal_respond(const SimParams* params, SimState* state, int k) {
  const ModalSet& sw = params->spindle_modes;
  const ModalSet& tool = params->tool_modes;
  // The spindle-workpiece structure takes the reaction, the tool the force
  // itself. Each structure's own history holds its displacement in machine
  // axes; the relative history holds the tool's minus the workpiece's, so
  // both compliances add (two springs in series).
  const ListDrive drives[] = {
      {sw.x_modes, sw.x_count, state->sw_modes_x, -state->force_x, -1.0, state->rel_disp_x,
       state->sw_disp_x},
      {sw.y_modes, sw.y_count, state->sw_modes_y, -state->force_y, -1.0, state->rel_disp_y,
       state->sw_disp_y},
      {sw.z_modes, sw.z_count, state->sw_modes_z, -state->force_z, -1.0, state->rel_disp_z,
       state->sw_disp_z},
      {tool.x_modes, tool.x_count, state->tool_modes_x, state->force_x, +1.0, state->rel_disp_x,
       state->tool_disp_x},
      {tool.y_modes, tool.y_count, state->tool_modes_y, state->force_y, +1.0, state->rel_disp_y,
       state->tool_disp_y},
      {tool.z_modes, tool.z_count, state->tool_modes_z, state->force_z, +1.0, state->rel_disp_z,
       state->tool_disp_z},
  };
  for (const ListDrive& d : drives) respond_list(d, state, k);
}
