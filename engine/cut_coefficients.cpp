#include "engine/cut_coefficients.h"

#include <cmath>

#include "engine/libm.h"
#include "model/units.h"

namespace {

// Chip flow angle (rad) from the constant (degrees), the depth power (d in
// inches to its exponent) and the cutting speed v (ft/min).
double chip_flow(const SimParams* params, double depth_power, double v, PowMemo* v_memo) {
  // pow(v, 0) is 1 for every v (a NaN too), and the law is then speed-independent.
  const double speed_power =
      params->cfa_speed_exp == 0 ? 1.0 : memo_pow(v_memo, v, params->cfa_speed_exp);
  return kDegToRad * params->cfa_coef * depth_power * speed_power;
}

// Engaged edge length with the sine and cosine of the edge angle given;
// nose_arc (null: computed) is acos(1 - depth / nose_radius).
double engaged_length(double depth, double nose_radius, double edge_angle, double sin_edge,
                      double cos_edge, const double* nose_arc) {
  double nose_depth = nose_radius * (1 - sin_edge);
  if (nose_depth < depth) {
    // Nose arc up to the straight edge, then the straight edge.
    return (depth - nose_depth) / cos_edge + (kHalfPi - edge_angle) * nose_radius;
  }
  // The nose arc alone.
  return nose_radius * (nose_arc != nullptr ? *nose_arc : std::acos(1 - depth / nose_radius));
}

}  // namespace

double chip_engaged_length(double depth, double nose_radius, double edge_angle) {
  return engaged_length(depth, nose_radius, edge_angle, std::sin(edge_angle), std::cos(edge_angle),
                        nullptr);
}

double chip_average_thickness(const SimParams* params) {
  double depth = params->depth_of_cut;
  // No depth, no chip: the ratio below would be 0/0, its limit is 0.
  if (depth == 0) return 0.0;
  double length = chip_engaged_length(depth, params->nose_radius, params->cutting_edge_angle);
  return std::fabs(params->feed_per_rev * depth / length);
}

int cut_coefficients_lookup(SimParams* params, const MatDb* db) {
  if (params->process == 'T') params->cutting_edge_angle = params->side_cutting_edge_angle;
  params->avg_chip_thickness = chip_average_thickness(params);
  return db != nullptr ? matdb_lookup_loaded(db, params) : matdb_lookup(params);
}

int cut_coefficients_average(SimParams* params, const SimState* state, const MatDb* db) {
  if (!cut_coefficients_lookup(params, db)) return 0;
  cut_coefficients_at_speed(params, state, run_constants_of(params));
  return 1;
}

void cut_coefficients_instant(SimParams* params, const SimState* state, double chip_thickness,
                              double depth, const RunConstants* constants, CutMemo* memo) {
  if (constants == nullptr) {
    const RunConstants fresh = run_constants_of(params);
    return cut_coefficients_instant(params, state, chip_thickness, depth, &fresh, memo);
  }
  double a = chip_thickness / kInch;        // in
  double b = depth / kInch;                 // in
  double f = params->feed_per_rev / kInch;  // in
  double r = params->nose_radius / kInch;   // in
  // Below the straight edge the step's chip shapes the area; once the depth
  // passes the nose radius the nominal feed is taken instead.
  double area = b > r ? f * b : a * b;  // in^2
  double length = engaged_length(b, r, params->cutting_edge_angle, constants->sin_edge,
                                 constants->cos_edge, nullptr);  // in
  double h = area / length;                                      // in; NaN for a zero depth (0/0)
  double v = state->cutting_speed / kFoot;                       // ft/min
  if (h >= 0) {
    params->kf = params->kf_coef * libm_pow(h, params->kf_thickness_exp) *
                 memo_pow(cut_coefficients_memo(memo, &CutMemo::kf_speed), v, params->kf_speed_exp);
    params->kn = params->kn_coef * libm_pow(h, params->kn_thickness_exp) *
                 memo_pow(cut_coefficients_memo(memo, &CutMemo::kn_speed), v, params->kn_speed_exp);
  } else {
    params->kf = 0;
    params->kn = 0;
  }
  // The step's depth changes from step to step: its power is not a constant.
  params->chip_flow_angle = chip_flow(params, libm_pow(b, params->cfa_depth_exp), v,
                                      cut_coefficients_memo(memo, &CutMemo::cfa_speed));
  params->kf *= kPsi;
  params->kn *= kPsi;
}
