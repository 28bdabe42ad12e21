#include "engine/wear.h"

#include <cmath>

#include "model/units.h"

namespace {

ContactTrig contact_trig(double phi, CutMemo* memo) {
  ContactTrig t;
  memo_sincos(memo != nullptr ? &memo->contact_phi : nullptr, phi, &t.sin_phi, &t.cos_phi);
  double theta1 = (phi * t.sin_phi + t.cos_phi - 1) / t.sin_phi;
  double theta2 = (t.sin_phi - phi * t.cos_phi) / (1 - t.cos_phi);
  memo_sincos(memo != nullptr ? &memo->contact_theta1 : nullptr, theta1, &t.sin_theta1,
              &t.cos_theta1);
  memo_sincos(memo != nullptr ? &memo->contact_theta2 : nullptr, theta2, &t.sin_theta2,
              &t.cos_theta2);
  return t;
}

// Slope of the tool's descent: -v / (cutting speed in m/s), 0 for a velocity
// of 0 (also when the cutting speed is 0).
double descent_slope(double velocity, double speed_per_second) {
  if (velocity == 0) return 0.0;
  return -velocity / speed_per_second;
}

// Flank only on the nose arc (h_eff < nose depth).
DampingForces nose_contact(double k, double w, double r, double h_eff, double slope_z,
                           double slope_x, CutMemo* memo) {
  double phi = std::acos(1 - h_eff / r);
  // An engagement too thin to change 1 - h/r leaves no arc in contact: the
  // forces' limit is 0, where the resultant angles would be 0/0.
  if (phi == 0) return {0.0, 0.0};
  ContactTrig t = contact_trig(phi, memo);
  double pz = k * w * (r * t.sin_phi) * slope_z;
  double px = k * w * h_eff * slope_x;
  DampingForces forces;
  forces.z = t.cos_theta1 * pz + t.cos_theta2 * px;
  forces.x = t.sin_theta1 * pz + t.sin_theta2 * px;
  return forces;
}

// Flank on the whole nose arc and on part of the straight edge; t is the
// contact geometry of the whole arc, the run's own. With kappa the side
// cutting edge angle:
//   edge = (h_eff - (1 - sin kappa) nose_depth) / cos kappa
//   pz1 = k w (r sin phi) slope_z,      pz2 = k sin kappa w edge slope_z
//   px1 = k w r (1 - cos phi) slope_x,  px2 = k cos kappa w edge slope_x
// where the constants c hold every product of run values alone, each
// formed as the formula forms it.
DampingForces nose_and_edge_contact(const RunConstants& c, double k, double w, double r,
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

}  // namespace

ContactTrig wear_contact_trig(double phi) {
  return contact_trig(phi, nullptr);
}

double wear_land_width(const SimParams* params, const SimState* state,
                       const RunConstants* constants) {
  // s since the start of the run
  double t = state->cut_angle / (constants != nullptr ? constants->spindle_degrees_per_second
                                                      : 6 * params->spindle_rpm);
  double w0;                                                // mm
  if (params->initial_wear == 0) {
    w0 = params->wear_breakin_amount * (1 - std::exp(t * params->wear_breakin_rate));
  } else {
    w0 = params->initial_wear;
  }
  return w0 + params->wear_rate_coef *
                  std::pow(kFeetPerMetre * state->cutting_speed, params->wear_rate_speed_exp) *
                  (constants != nullptr ? constants->wear_rate_depth_power
                                        : std::pow(kInchesPerMetre * params->depth_of_cut,
                                                   params->wear_rate_depth_exp)) *
                  t;
}

DampingForces damping_forces(const SimParams* params, const SimState* state, DampingMemory* memory,
                             int s, double h_eff, double vb, const RunConstants* constants,
                             CutMemo* memo) {
  if (constants == nullptr) {
    const RunConstants fresh = run_constants_of(params);
    return damping_forces(params, state, memory, s, h_eff, vb, &fresh, memo);
  }
  // Time of one grid position, whatever the angular increments.
  double dt = constants->grid_step_time;  // s
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
  double slope_z = descent_slope(vz, speed_per_second);
  double slope_x = descent_slope(vx, speed_per_second);
  double w = vb * vb * 1000 / 2;
  double k = params->wear_factor;
  double r = params->nose_radius;
  if (h_eff < constants->nose_depth) return nose_contact(k, w, r, h_eff, slope_z, slope_x, memo);
  return nose_and_edge_contact(*constants, k, w, r, h_eff, slope_z, slope_x);
}
