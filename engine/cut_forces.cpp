#include "engine/cut_forces.h"

#include <cmath>

#include "model/units.h"

namespace {

constexpr double kScatterMid = 16383.5;    // middle of the draw range 0..32767
constexpr double kScatterFraction = 0.03;  // scatter of +-3 % of the reference forces

// Area of the worn flank in contact with the work for wear land vb (mm):
// the nose arc in mm^2, plus the straight-edge strip taken as metres times
// millimetres.
double worn_contact_area(const SimParams* params, double vb, double sin_k, double cos_k,
                         CutMemo* memo) {
  double r = params->nose_radius;
  double d = params->depth_of_cut;
  double f = params->feed_per_rev;
  double kappa = params->side_cutting_edge_angle;
  double nose_depth = r * (1 - sin_k);
  if (d < nose_depth) {
    auto acos_fn = [](double x) { return std::acos(x); };
    return 1000 * r * vb *
           (kHalfPi + memo_unary(&memo->worn_nose_arc, acos_fn, 1 - d / r) -
            memo_unary(&memo->worn_feed_arc, acos_fn, f / (2 * r)));
  }
  return 1000 * r * vb * (kHalfPi - kappa) + (d - nose_depth) * vb / cos_k;
}

// Wear-land force factor of one axis: constant times feed and depth (in)
// raised to their exponents.
double wear_force_factor(const SimParams* params, double coef, double feed_exp, double depth_exp,
                         CutMemo* memo, int axis) {
  return coef * memo_pow(&memo->wear_feed[axis], kInchesPerMetre * params->feed_per_rev, feed_exp) *
         memo_pow(&memo->wear_depth[axis], kInchesPerMetre * params->depth_of_cut, depth_exp);
}

// Wear-land force of one axis (N): factor times contact area times the
// reference force, switched by the cutting flag. Without a cut there is no
// force, even where the factor or the area of a zero feed or depth is
// infinite (a product that would be inf * 0).
double wear_force(double factor, double contact, double reference, double cutting) {
  const double force = factor * contact * reference * cutting;
  return cutting == 0 && !std::isfinite(force) ? 0.0 : force;
}

}  // namespace

void cut_edge_forces(const SimParams* params, SimState* state, double chip_thickness, double depth,
                     CutMemo* memo) {
  if (memo == nullptr) {
    CutMemo fresh{};  // without a run's memo every value is computed afresh
    return cut_edge_forces(params, state, chip_thickness, depth, &fresh);
  }
  if (params->process != 'T') return;
  double area = chip_thickness * depth;  // m^2
  if (area == 0) {
    // No chip, no force; the coefficients of a zero thickness may be
    // infinite (negative thickness exponent) and must not turn 0 into NaN.
    state->edge_force_x = 0.0;
    state->edge_force_y = 0.0;
    state->edge_force_z = 0.0;
    return;
  }
  double lambda = params->inclination_angle;
  double alpha = params->normal_rake_angle;
  double eta = params->chip_flow_angle;
  double kf = params->kf;
  double kn = params->kn;
  double sin_l, cos_l, sin_a, cos_a, sin_e, cos_e;
  memo_sincos(&memo->inclination, lambda, &sin_l, &cos_l);
  memo_sincos(&memo->rake, alpha, &sin_a, &cos_a);
  memo_sincos(&memo->chip_flow, eta, &sin_e, &cos_e);
  state->edge_force_x = area * (kf * cos_e * cos_a - kn * sin_a);
  state->edge_force_y = area * (kf * (sin_a * cos_l * cos_e + sin_l * sin_e) + kn * cos_a * cos_l);
  state->edge_force_z = area * (kf * (sin_e * cos_l - sin_a * sin_l * cos_e) - kn * cos_a * sin_l);
}

void cut_machine_forces(const SimParams* params, SimState* state, ForceReference* reference,
                        RandomState* random, double vb, const DampingForces& damping, int k,
                        CutMemo* memo) {
  if (memo == nullptr) {
    CutMemo fresh{};  // without a run's memo every value is computed afresh
    return cut_machine_forces(params, state, reference, random, vb, damping, k, &fresh);
  }
  if (params->process != 'T') return;
  double sin_k, cos_k;
  memo_sincos(&memo->side_edge, params->side_cutting_edge_angle, &sin_k, &cos_k);
  // Rotation about the shared Y axis by the side cutting edge angle.
  double fx = cos_k * state->edge_force_x - sin_k * state->edge_force_z;
  double fy = state->edge_force_y;
  double fz = sin_k * state->edge_force_x + cos_k * state->edge_force_z;

  double contact = worn_contact_area(params, vb, sin_k, cos_k, memo);
  double wx = wear_force_factor(params, params->wear_force_x_coef, params->wear_force_x_feed_exp,
                                params->wear_force_x_depth_exp, memo, 0);
  double wy = wear_force_factor(params, params->wear_force_y_coef, params->wear_force_y_feed_exp,
                                params->wear_force_y_depth_exp, memo, 1);
  double wz = wear_force_factor(params, params->wear_force_z_coef, params->wear_force_z_feed_exp,
                                params->wear_force_z_depth_exp, memo, 2);

  // The first step that computes forces sets the scale of the scatter and
  // of the wear-land force for the rest of the run.
  if (state->revolution == 0 && k == 1) *reference = {fx, fy, fz};
  double cutting = (fx != 0 && fy != 0 && fz != 0) ? 1.0 : 0.0;

  double ex = wear_force(wx, contact, reference->x, cutting);
  double ey = wear_force(wy, contact, reference->y, cutting);
  double ez = wear_force(wz, contact, reference->z, cutting);

  // One draw scatters all three axes together.
  double u = random_draw(random) - kScatterMid;
  fx += u * (kScatterFraction * reference->x / kScatterMid);
  fy += u * (kScatterFraction * reference->y / kScatterMid);
  fz += u * (kScatterFraction * reference->z / kScatterMid);

  state->force_x = ex + fx + damping.x;
  state->force_y = ey + fy;
  state->force_z = ez + fz + damping.z;
}
