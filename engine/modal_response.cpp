#include "engine/modal_response.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "engine/libm.h"
#include "engine/modal_batch.h"
#include "engine/modal_step.h"

namespace {

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

}  // namespace

double modal_scaled_exp(double a, double b, int n) {
  if (n == 0) return a;  // also for an infinite b, where n b is not a number
  double p = static_cast<double>(n) * b;
  // Once a is 0, infinite or not a number, further factors cannot change the
  // result; stopping there also ends the loop for an infinite p.
  if (p > 0.0) {
    while (p > 300.0) {
      if (a == 0.0 || !std::isfinite(a)) return a;
      a *= libm_exp(300.0);
      p -= 300.0;
    }
  } else {
    while (p < -300.0) {
      if (a == 0.0 || !std::isfinite(a)) return a;
      a *= libm_exp(-300.0);
      p += 300.0;
    }
  }
  return libm_exp(p) * a;
}

double modal_int_cos(const ModeResponse* response, double t, double s_exp, int i) {
  const ModeFreqs f = freqs_of(response, i);
  return g_cos(f, libm_exp(f.sigma * s_exp), std::cos(f.wd * t), std::sin(f.wd * t));
}

double modal_int_sin(const ModeResponse* response, double t, double s_exp, int i) {
  const ModeFreqs f = freqs_of(response, i);
  return g_sin(f, libm_exp(f.sigma * s_exp), std::cos(f.wd * t), std::sin(f.wd * t));
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
};

// The step's integrals from its trigonometric values (modal_step_trig);
// exponents measured from t0 (s = 0 at t0, s = dt at t1).
StepIntegrals step_integrals(const ModeFreqs& f, double t0, double t1, double f0, double g,
                             const ModeStepTrig& trig) {
  StepIntegrals out;
  const double c1 = trig.cos_end, s1 = trig.sin_end;
  const double c0 = trig.cos_start, s0 = trig.sin_start;
  const double e1 = trig.growth;
  const double e0 = 1.0;  // e^(sigma * 0), exactly
  const double gc1 = g_cos(f, e1, c1, s1);
  const double gs1 = g_sin(f, e1, c1, s1);
  const double gc0 = g_cos(f, e0, c0, s0), gs0 = g_sin(f, e0, c0, s0);
  const double gc = gc1 - gc0;
  const double gs = gs1 - gs0;
  const double hs = h_sin(f, t1, gc1, gs1) - h_sin(f, t0, gc0, gs0);
  const double hc = h_cos(f, t1, gc1, gs1) - h_cos(f, t0, gc0, gs0);
  out.delta_a = f0 * gc + g * hc;
  out.delta_b = f0 * gs + g * hs;
  return out;
}

}  // namespace

double modal_mode_step(const ModalMode* modes, const SimState* state, ModeResponse* r, double force,
                       int k, int i) {
  const double dt = state->time_step;
  const ModeStepTimes tm = modal_step_times(state, k);
  if (tm.first) {
    r->integral_cos[i] = 0.0;
    r->integral_sin[i] = 0.0;
    r->prev_force[i] = 0.0;
  }
  // Force linear across the step: F0 + g tau, from prev_force at t0 to force at t1.
  const double g = (force - r->prev_force[i]) / dt;
  const double f0 = r->prev_force[i] - tm.t0 * g;
  const ModeStepTrig trig = modal_step_trig(r, i, dt, tm.n, tm.t0, tm.t1);
  const StepIntegrals st = step_integrals(freqs_of(r, i), tm.t0, tm.t1, f0, g, trig);
  modal_step_accumulate(r, i, dt, tm.n, st.delta_a, st.delta_b);
  r->prev_force[i] = force;
  const double x0 = modal_step_unscaled(r, i, modes[i].mass, trig);
  return modal_step_finish(r, i, modes[i].mass, dt, tm.n, trig, x0);
}

void modal_add_response(double* relative, double* structure, double x, int delay, int k,
                        double relative_sign) {
  // Negation is exact, so the workpiece's term is subtracted to the last bit.
  relative[k + delay] += relative_sign * x;
  structure[k + delay] += x;
}

void modal_drives(const SimParams* params, SimState* state, ModalDrive drives[kModalLists]) {
  const ModalSet& sw = params->spindle_modes;
  const ModalSet& tool = params->tool_modes;
  // The spindle-workpiece structure takes the reaction, the tool the force
  // itself. Each structure's own history holds its displacement in machine
  // axes; the relative history holds the tool's minus the workpiece's, so
  // both compliances add (two springs in series).
  drives[0] = {sw.x_modes, sw.x_count,        state->sw_modes_x, -state->force_x,
               -1.0,       state->rel_disp_x, state->sw_disp_x};
  drives[1] = {sw.y_modes, sw.y_count,        state->sw_modes_y, -state->force_y,
               -1.0,       state->rel_disp_y, state->sw_disp_y};
  drives[2] = {sw.z_modes, sw.z_count,        state->sw_modes_z, -state->force_z,
               -1.0,       state->rel_disp_z, state->sw_disp_z};
  drives[3] = {tool.x_modes, tool.x_count,      state->tool_modes_x, state->force_x,
               +1.0,         state->rel_disp_x, state->tool_disp_x};
  drives[4] = {tool.y_modes, tool.y_count,      state->tool_modes_y, state->force_y,
               +1.0,         state->rel_disp_y, state->tool_disp_y};
  drives[5] = {tool.z_modes, tool.z_count,      state->tool_modes_z, state->force_z,
               +1.0,         state->rel_disp_z, state->tool_disp_z};
}

namespace {

void respond_scalar(SimState* state, const ModalDrive* drives, int k) {
  for (int l = 0; l < kModalLists; ++l) {
    const ModalDrive& d = drives[l];
    if (d.modes == nullptr) continue;
    const int count = std::min(d.count, kMaxModesPerDirection);
    for (int i = 0; i < count; ++i) {
      const double x = modal_mode_step(d.modes, state, d.response, d.force, k, i);
      modal_step_place(d, state, x, d.response->delay_steps[i], k);
    }
  }
}

}  // namespace

void modal_respond_scalar(const SimParams* params, SimState* state, int k) {
  modal_batch_release(state);  // the workspaces hold every running value
  ModalDrive drives[kModalLists];
  modal_drives(params, state, drives);
  respond_scalar(state, drives, k);
}

namespace {

// The step of modes whose lanes do not go on from the last step: the drives
// built, the lanes laid out and loaded anew. Apart from modal_respond, whose
// usual step then saves nothing that this one needs.
[[gnu::noinline]] void respond_anew(const SimParams* params, SimState* state, int k) {
  ModalDrive drives[kModalLists];
  modal_drives(params, state, drives);
  if (!modal_batch_respond_drives(state, drives, k, 4, 2)) respond_scalar(state, drives, k);
}

}  // namespace

void modal_respond(const SimParams* params, SimState* state, int k) {
  // A lone mode has no other mode to share its registers with: its scalar
  // step is the quicker one (and the same to the last bit). Lanes that go on
  // from the last step need no drives built. Width 4 asks for the widest
  // kernel the processor runs.
  if (modal_batch_continue(params, state, k, 4)) return;
  respond_anew(params, state, k);
}
