// Flank wear land growth and the process-damping forces of the worn flank.
#pragma once

#include <cmath>

#include "engine/libm.h"
#include "engine/memo.h"
#include "engine/run_constants.h"
#include "model/params.h"
#include "model/state.h"
#include "model/units.h"

// Relative displacements at step 34199 of the previous revolution (m), kept
// for the whole run.
struct DampingMemory {
  double last_rel_disp_x;
  double last_rel_disp_z;
};

// Process-damping forces of one pass, N.
struct DampingForces {
  double z;  // added to force_z
  double x;  // added to force_x
};

// The contact geometry's sines and cosines for a nose arc of angle phi (rad).
ContactTrig wear_contact_trig(double phi);

// Flank wear land width VB at the state's cut angle, mm. constants null
// computes them from the job.
double wear_land_width(const SimParams* params, const SimState* state,
                       const RunConstants* constants = nullptr);

// Damping forces of step s for effective depth h_eff (m) and wear land vb
// (mm); records the step-34199 displacements in memory. constants null
// computes them from the job; memo (may be null) saves the contact angles'
// sines and cosines, which repeat while the engagement stays put.
DampingForces damping_forces(const SimParams* params, const SimState* state, DampingMemory* memory,
                             int s, double h_eff, double vb,
                             const RunConstants* constants = nullptr, CutMemo* memo = nullptr);

// The damping forces of a flank only on the nose arc (h_eff < nose depth):
// factor k, w = vb^2 1000 / 2, nose radius r (m), effective depth h_eff (m)
// and the descent slopes; memo (may be null) saves the contact angles'
// sines and cosines.
DampingForces wear_nose_contact(double k, double w, double r, double h_eff, double slope_z,
                                double slope_x, CutMemo* memo);

// The step's forms, inline, with the run's constants c: the engine's steps
// call these, the functions above call them with constants of their own.

// wear_land_width with the constants c.
[[gnu::always_inline]] inline double wear_land_width_run(const SimParams* params,
                                                         const SimState* state,
                                                         const RunConstants& c) {
  double t = state->cut_angle / c.spindle_degrees_per_second;  // s since the start of the run
  double w0;                                                   // mm
  if (params->initial_wear == 0) {
    w0 = params->wear_breakin_amount * (1 - libm_exp(t * params->wear_breakin_rate));
  } else {
    w0 = params->initial_wear;
  }
  return w0 + params->wear_rate_coef *
                  libm_pow(kFeetPerMetre * state->cutting_speed, params->wear_rate_speed_exp) *
                  c.wear_rate_depth_power * t;
}

// Slope of the tool's descent: -velocity (m/s) / speed_per_second (the
// cutting speed in m/s), 0 for a velocity of 0 (also when the speed is 0).
inline double wear_descent_slope(double velocity, double speed_per_second) {
  if (velocity == 0) return 0.0;
  return -velocity / speed_per_second;
}

// Flank on the whole nose arc and on part of the straight edge; t is the
// contact geometry of the whole arc, the run's own. With kappa the side
// cutting edge angle:
//   edge = (h_eff - (1 - sin kappa) nose_depth) / cos kappa
//   pz1 = k w (r sin phi) slope_z,      pz2 = k sin kappa w edge slope_z
//   px1 = k w r (1 - cos phi) slope_x,  px2 = k cos kappa w edge slope_x
// where the constants c hold every product of run values alone, each
// formed as the formula forms it.
inline DampingForces wear_nose_and_edge_contact(const RunConstants& c, double k, double w, double r,
                                                double h_eff, double slope_z, double slope_x) {
  const ContactTrig& t = c.edge_contact;
  const double sin_kappa = c.sin_side_edge;
  const double cos_kappa = c.cos_side_edge;
  double edge = (h_eff - c.edge_start_depth) / cos_kappa;  // straight-edge length, m
  double pz1 = k * w * c.edge_contact_z_arm * slope_z;
  double pz2 = c.damping_edge_z * w * edge * slope_z;
  double px1 = k * w * r * c.edge_contact_x_share * slope_x;
  double px2 = c.damping_edge_x * w * edge * slope_x;
  DampingForces forces;
  forces.z = t.cos_theta1 * pz1 + sin_kappa * pz2 + t.cos_theta2 * px1 + sin_kappa * px2;
  forces.x = t.sin_theta1 * pz1 + cos_kappa * pz2 + t.sin_theta2 * px1 + cos_kappa * px2;
  return forces;
}

// damping_forces with the constants c.
[[gnu::always_inline]] inline DampingForces damping_forces_run(
    const SimParams* params, const SimState* state, DampingMemory* memory, int s, double h_eff,
    double vb, const RunConstants& c, CutMemo* memo) {
  // Time of one grid position, whatever the angular increments.
  double dt = c.grid_step_time;  // s
  if (s == kLastGridStep) {
    memory->last_rel_disp_z = state->rel_disp_z[kLastGridStep];
    memory->last_rel_disp_x = state->rel_disp_x[kLastGridStep];
  }
  double vz = 0;  // m/s
  double vx = 0;  // m/s
  if (s > 0) {
    vz = (state->rel_disp_z[s] - state->rel_disp_z[s - 1]) / dt;
    vx = (state->rel_disp_x[s] - state->rel_disp_x[s - 1]) / dt;
  } else if (state->revolution > 0) {
    vz = (state->rel_disp_z[0] - memory->last_rel_disp_z) / dt;
    vx = (state->rel_disp_x[0] - memory->last_rel_disp_x) / dt;
  }
  // Only a tool moving in the negative direction presses its flank in: a
  // velocity that is not negative (a NaN among them) counts as 0.
  if (!(vz < 0)) vz = 0;
  if (!(vx < 0)) vx = 0;
  // Out of engagement there is no flank contact (and the nose formulas
  // would be 0/0).
  if (h_eff == 0) return {0.0, 0.0};
  const double speed_per_second = state->cutting_speed / 60;  // m/s
  double slope_z = wear_descent_slope(vz, speed_per_second);
  double slope_x = wear_descent_slope(vx, speed_per_second);
  double w = vb * vb * 1000 / 2;
  double k = params->wear_factor;
  double r = params->nose_radius;
  if (h_eff < c.nose_depth) return wear_nose_contact(k, w, r, h_eff, slope_z, slope_x, memo);
  return wear_nose_and_edge_contact(c, k, w, r, h_eff, slope_z, slope_x);
}
