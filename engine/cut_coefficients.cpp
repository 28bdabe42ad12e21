#include "engine/cut_coefficients.h"

#include <cmath>

#include "model/units.h"

namespace {

// Kf or Kn in psi from the constant (psi), the chip thickness h (in) and
// the cutting speed v (ft/min); the caller turns it into pascals.
double coefficient_psi(double coef, double h, double h_exp, double v, double v_exp,
                       PowMemo* v_memo) {
  return coef * std::pow(h, h_exp) * memo_pow(v_memo, v, v_exp);
}

// Chip flow angle (rad) from the constant (degrees), the depth d (in) and
// the cutting speed v (ft/min).
double chip_flow(const SimParams* params, double d, double v, PowMemo* d_memo, PowMemo* v_memo) {
  return kDegToRad * params->cfa_coef * memo_pow(d_memo, d, params->cfa_depth_exp) *
         memo_pow(v_memo, v, params->cfa_speed_exp);
}

double engaged_length(double depth, double nose_radius, double edge_angle, TrigMemo* edge,
                      UnaryMemo* nose_arc) {
  double sin_edge, cos_edge;
  memo_sincos(edge, edge_angle, &sin_edge, &cos_edge);
  double nose_depth = nose_radius * (1 - sin_edge);
  if (nose_depth < depth) {
    // Nose arc up to the straight edge, then the straight edge.
    return (depth - nose_depth) / cos_edge + (kHalfPi - edge_angle) * nose_radius;
  }
  // The nose arc alone.
  return nose_radius *
         memo_unary(
             nose_arc, [](double x) { return std::acos(x); }, 1 - depth / nose_radius);
}

double average_thickness(const SimParams* params, CutMemo* memo) {
  double depth = params->depth_of_cut;
  // No depth, no chip: the ratio below would be 0/0, its limit is 0.
  if (depth == 0) return 0.0;
  double length = engaged_length(depth, params->nose_radius, params->cutting_edge_angle,
                                 &memo->edge_angle, &memo->engaged_nose_arc);
  return std::fabs(params->feed_per_rev * depth / length);
}

}  // namespace

double chip_engaged_length(double depth, double nose_radius, double edge_angle) {
  return engaged_length(depth, nose_radius, edge_angle, nullptr, nullptr);
}

double chip_average_thickness(const SimParams* params) {
  CutMemo fresh{};
  return average_thickness(params, &fresh);
}

int cut_coefficients_average(SimParams* params, const SimState* state, const MatDb* db,
                             CutMemo* memo) {
  if (memo == nullptr) {
    CutMemo fresh{};  // without a run's memo every value is computed afresh
    return cut_coefficients_average(params, state, db, &fresh);
  }
  if (params->process == 'T') params->cutting_edge_angle = params->side_cutting_edge_angle;
  params->avg_chip_thickness = average_thickness(params, memo);
  int found = db != nullptr ? matdb_lookup_loaded(db, params) : matdb_lookup(params);
  if (!found) return 0;
  double h = params->avg_chip_thickness / kInch;  // in
  double d = params->depth_of_cut / kInch;        // in
  double v = state->cutting_speed / kFoot;        // ft/min
  params->kf = kPsi * params->kf_coef * memo_pow(&memo->kf_thickness, h, params->kf_thickness_exp) *
               memo_pow(&memo->kf_speed, v, params->kf_speed_exp);
  params->kn = kPsi * params->kn_coef * memo_pow(&memo->kn_thickness, h, params->kn_thickness_exp) *
               memo_pow(&memo->kn_speed, v, params->kn_speed_exp);
  params->chip_flow_angle = chip_flow(params, d, v, &memo->cfa_depth, &memo->cfa_speed);
  return 1;
}

void cut_coefficients_instant(SimParams* params, const SimState* state, double chip_thickness,
                              double depth, CutMemo* memo) {
  if (memo == nullptr) {
    CutMemo fresh{};  // without a run's memo every value is computed afresh
    return cut_coefficients_instant(params, state, chip_thickness, depth, &fresh);
  }
  double a = chip_thickness / kInch;        // in
  double b = depth / kInch;                 // in
  double f = params->feed_per_rev / kInch;  // in
  double r = params->nose_radius / kInch;   // in
  // Below the straight edge the step's chip shapes the area; once the depth
  // passes the nose radius the nominal feed is taken instead.
  double area = b > r ? f * b : a * b;  // in^2
  double length =
      engaged_length(b, r, params->cutting_edge_angle, &memo->edge_angle, nullptr);  // in
  double h = area / length;                 // in; NaN for a zero depth (0/0)
  double v = state->cutting_speed / kFoot;  // ft/min
  if (h >= 0) {
    params->kf = coefficient_psi(params->kf_coef, h, params->kf_thickness_exp, v,
                                 params->kf_speed_exp, &memo->kf_speed);
    params->kn = coefficient_psi(params->kn_coef, h, params->kn_thickness_exp, v,
                                 params->kn_speed_exp, &memo->kn_speed);
  } else {
    params->kf = 0;
    params->kn = 0;
  }
  // The step's depth changes from step to step: no memo for its power.
  params->chip_flow_angle = chip_flow(params, b, v, nullptr, &memo->cfa_speed);
  params->kf *= kPsi;
  params->kn *= kPsi;
}
