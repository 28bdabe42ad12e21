#include "engine/cut_coefficients.h"

#include <cmath>

namespace {

constexpr double kInch = 0.0254;             // m per inch
constexpr double kFoot = 0.3048;             // m per foot
constexpr double kPsi = 6894.755;            // Pa per psi
constexpr double kDegree = 0.017453292519943295;  // rad per degree
constexpr double kHalfPi = 1.5707963267948966;

// Kf or Kn in psi from the constant (psi), the chip thickness h (in) and
// the cutting speed v (ft/min); the caller turns it into pascals.
double coefficient_psi(double coef, double h, double h_exp, double v, double v_exp) {
  return coef * std::pow(h, h_exp) * std::pow(v, v_exp);
}

// Chip flow angle (rad) from the constant (degrees), the depth d (in) and
// the cutting speed v (ft/min).
double chip_flow(const SimParams* params, double d, double v) {
  return kDegree * params->cfa_coef * std::pow(d, params->cfa_depth_exp) *
         std::pow(v, params->cfa_speed_exp);
}

}  // namespace

double chip_engaged_length(double depth, double nose_radius, double edge_angle) {
  double nose_depth = nose_radius * (1 - std::sin(edge_angle));
  if (nose_depth < depth) {
    // Nose arc up to the straight edge, then the straight edge.
    return (depth - nose_depth) / std::cos(edge_angle) + (kHalfPi - edge_angle) * nose_radius;
  }
  return nose_radius * std::acos(1 - depth / nose_radius);  // the nose arc alone
}

double chip_average_thickness(const SimParams* params) {
  double depth = params->depth_of_cut;
  // No depth, no chip: the ratio below would be 0/0, its limit is 0.
  if (depth == 0) return 0.0;
  double length = chip_engaged_length(depth, params->nose_radius, params->cutting_edge_angle);
  return std::fabs(params->feed_per_rev * depth / length);
}

int cut_coefficients_average(SimParams* params, const SimState* state, const MatDb* db) {
  if (params->process == 'T') params->cutting_edge_angle = params->side_cutting_edge_angle;
  params->avg_chip_thickness = chip_average_thickness(params);
  int found = db != nullptr ? matdb_lookup_loaded(db, params) : matdb_lookup(params);
  if (!found) return 0;
  double h = params->avg_chip_thickness / kInch;  // in
  double d = params->depth_of_cut / kInch;        // in
  double v = state->cutting_speed / kFoot;        // ft/min
  params->kf = kPsi * params->kf_coef * std::pow(h, params->kf_thickness_exp) *
               std::pow(v, params->kf_speed_exp);
  params->kn = kPsi * params->kn_coef * std::pow(h, params->kn_thickness_exp) *
               std::pow(v, params->kn_speed_exp);
  params->chip_flow_angle = chip_flow(params, d, v);
  return 1;
}

void cut_coefficients_instant(SimParams* params, const SimState* state, double chip_thickness,
                              double depth) {
  double a = chip_thickness / kInch;            // in
  double b = depth / kInch;                     // in
  double f = params->feed_per_rev / kInch;      // in
  double r = params->nose_radius / kInch;       // in
  // Below the straight edge the step's chip shapes the area; once the depth
  // passes the nose radius the nominal feed is taken instead.
  double area = b > r ? f * b : a * b;          // in^2
  double length = chip_engaged_length(b, r, params->cutting_edge_angle);  // in
  double h = area / length;                     // in; NaN for a zero depth (0/0)
  double v = state->cutting_speed / kFoot;      // ft/min
  if (h >= 0) {
    params->kf = coefficient_psi(params->kf_coef, h, params->kf_thickness_exp, v,
                                 params->kf_speed_exp);
    params->kn = coefficient_psi(params->kn_coef, h, params->kn_thickness_exp, v,
                                 params->kn_speed_exp);
  } else {
    params->kf = 0;
    params->kn = 0;
  }
  params->chip_flow_angle = chip_flow(params, b, v);
  params->kf *= kPsi;
  params->kn *= kPsi;
}
