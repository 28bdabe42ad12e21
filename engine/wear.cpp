#include "engine/wear.h"

#include <cmath>

namespace {

constexpr double kHalfPi = 1.5707963267948966;
constexpr double kFeetPerMetre = 3.28084;
constexpr double kInchesPerMetre = 39.37;
constexpr int kLastGridStep = 34199;  // last position of the fixed angular grid
constexpr double kGridStepDegrees = 360.0 / 34200;

// Contact angles of the flank pressure resultants for a nose arc of angle
// phi (rad): theta1 for the Z slope, theta2 for the X slope.
struct ContactAngles {
  double theta1;
  double theta2;
};

ContactAngles contact_angles(double phi) {
  double sin_phi = std::sin(phi);
  double cos_phi = std::cos(phi);
  return {(phi * sin_phi + cos_phi - 1) / sin_phi, (sin_phi - phi * cos_phi) / (1 - cos_phi)};
}

// Slope of the tool's descent: -v / (cutting speed in m/s), 0 for a velocity
// of 0 (also when the cutting speed is 0).
double descent_slope(double velocity, double cutting_speed) {
  if (velocity == 0) return 0.0;
  return -velocity / (cutting_speed / 60);
}

// Flank only on the nose arc (h_eff < nose depth).
DampingForces nose_contact(double k, double w, double r, double h_eff, double slope_z,
                           double slope_x) {
  double phi = std::acos(1 - h_eff / r);
  double pz = k * w * (r * std::sin(phi)) * slope_z;
  double px = k * w * h_eff * slope_x;
  ContactAngles angles = contact_angles(phi);
  DampingForces forces;
  forces.z = std::cos(angles.theta1) * pz + std::cos(angles.theta2) * px;
  forces.x = std::sin(angles.theta1) * pz + std::sin(angles.theta2) * px;
  return forces;
}

// Flank on the whole nose arc and on part of the straight edge.
DampingForces nose_and_edge_contact(double k, double w, double r, double kappa, double nose_depth,
                                    double h_eff, double slope_z, double slope_x) {
  double phi = kHalfPi - kappa;
  ContactAngles angles = contact_angles(phi);
  double sin_kappa = std::sin(kappa);
  double cos_kappa = std::cos(kappa);
  double edge = (h_eff - (1 - sin_kappa) * nose_depth) / cos_kappa;  // straight-edge length, m
  double pz1 = k * w * (r * std::sin(phi)) * slope_z;
  double pz2 = k * sin_kappa * w * edge * slope_z;
  double px1 = k * w * r * (1 - std::cos(phi)) * slope_x;
  double px2 = k * cos_kappa * w * edge * slope_x;
  DampingForces forces;
  forces.z = std::cos(angles.theta1) * pz1 + sin_kappa * pz2 + std::cos(angles.theta2) * px1 +
             sin_kappa * px2;
  forces.x = std::sin(angles.theta1) * pz1 + cos_kappa * pz2 + std::sin(angles.theta2) * px1 +
             cos_kappa * px2;
  return forces;
}

}  // namespace

double wear_land_width(const SimParams* params, const SimState* state) {
  double t = state->cut_angle / (6 * params->spindle_rpm);  // s since the start of the run
  double w0;                                               // mm
  if (params->initial_wear == 0) {
    w0 = params->wear_breakin_amount * (1 - std::exp(t * params->wear_breakin_rate));
  } else {
    w0 = params->initial_wear;
  }
  return w0 + params->wear_rate_coef *
                  std::pow(kFeetPerMetre * state->cutting_speed, params->wear_rate_speed_exp) *
                  std::pow(kInchesPerMetre * params->depth_of_cut, params->wear_rate_depth_exp) *
                  t;
}

DampingForces damping_forces(const SimParams* params, const SimState* state,
                             DampingMemory* memory, int s, double h_eff, double vb) {
  // Time of one grid position, whatever the angular increments.
  double dt = kGridStepDegrees / (6 * params->spindle_rpm);  // s
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
  // Only a tool moving in the negative direction presses its flank in.
  if (vz >= 0) vz = 0;
  if (vx >= 0) vx = 0;
  // Out of engagement there is no flank contact (and the nose formulas
  // would be 0/0).
  if (h_eff == 0) return {0.0, 0.0};
  double slope_z = descent_slope(vz, state->cutting_speed);
  double slope_x = descent_slope(vx, state->cutting_speed);
  double w = vb * vb * 1000 / 2;
  double k = params->wear_factor;
  double r = params->nose_radius;
  double kappa = params->side_cutting_edge_angle;
  double nose_depth = r * (1 - std::sin(kappa));
  if (h_eff < nose_depth) return nose_contact(k, w, r, h_eff, slope_z, slope_x);
  return nose_and_edge_contact(k, w, r, kappa, nose_depth, h_eff, slope_z, slope_x);
}
