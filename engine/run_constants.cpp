#include "engine/run_constants.h"

#include <cmath>

#include "engine/force_pass.h"
#include "engine/libm.h"
#include "engine/wear.h"
#include "model/state.h"
#include "model/units.h"

RunConstants run_constants_of(const SimParams* p) {
  RunConstants c{};
  c.sin_edge = std::sin(p->cutting_edge_angle);
  c.cos_edge = std::cos(p->cutting_edge_angle);
  const double kappa = p->side_cutting_edge_angle;
  c.sin_side_edge = std::sin(kappa);
  c.cos_side_edge = std::cos(kappa);
  c.tan_side_edge = std::tan(kappa);
  c.sin_inclination = std::sin(p->inclination_angle);
  c.cos_inclination = std::cos(p->inclination_angle);
  c.sin_rake = std::sin(p->normal_rake_angle);
  c.cos_rake = std::cos(p->normal_rake_angle);

  const double r = p->nose_radius;
  const double d = p->depth_of_cut;
  c.nose_depth = r * (1 - c.sin_side_edge);
  c.nose_arc = std::acos(1 - d / r);
  c.feed_arc = std::acos(p->feed_per_rev / (2 * r));
  c.nose_half_segment = force_pass_half_segment(r, d <= c.nose_depth ? d : c.nose_depth);
  c.edge_contact = wear_contact_trig(kHalfPi - kappa);
  c.nose_quarter_disc = kPi * (r * r) / 4;
  c.nose_half_square = (r * r) / 2;
  c.nose_diameter = 2 * r;
  c.contact_radius = 1000 * r;
  c.contact_angle = d < c.nose_depth ? kHalfPi + c.nose_arc - c.feed_arc : kHalfPi - kappa;
  c.edge_strip_depth = d - c.nose_depth;
  c.spindle_degrees_per_second = 6 * p->spindle_rpm;
  c.grid_step_time = kGridStepDegrees / (6 * p->spindle_rpm);
  c.edge_start_depth = (1 - c.sin_side_edge) * c.nose_depth;
  c.damping_edge_z = p->wear_factor * c.sin_side_edge;
  c.damping_edge_x = p->wear_factor * c.cos_side_edge;
  c.edge_contact_z_arm = r * c.edge_contact.sin_phi;
  c.edge_contact_x_share = 1 - c.edge_contact.cos_phi;

  // The coefficient laws take inches; the wear laws convert with their own factor.
  const double h = p->avg_chip_thickness / kInch;
  c.kf_thickness_power = libm_pow(h, p->kf_thickness_exp);
  c.kn_thickness_power = libm_pow(h, p->kn_thickness_exp);
  c.cfa_depth_power = libm_pow(d / kInch, p->cfa_depth_exp);
  c.kf_average_factor = kPsi * p->kf_coef * c.kf_thickness_power;
  c.kn_average_factor = kPsi * p->kn_coef * c.kn_thickness_power;
  c.cfa_average_factor = kDegToRad * p->cfa_coef * c.cfa_depth_power;
  const double feed_in = kInchesPerMetre * p->feed_per_rev;
  const double depth_in = kInchesPerMetre * d;
  const double feed_exp[3] = {p->wear_force_x_feed_exp, p->wear_force_y_feed_exp,
                              p->wear_force_z_feed_exp};
  const double depth_exp[3] = {p->wear_force_x_depth_exp, p->wear_force_y_depth_exp,
                               p->wear_force_z_depth_exp};
  for (int axis = 0; axis < 3; ++axis) {
    c.wear_feed_power[axis] = libm_pow(feed_in, feed_exp[axis]);
    c.wear_depth_power[axis] = libm_pow(depth_in, depth_exp[axis]);
  }
  c.wear_rate_depth_power = libm_pow(depth_in, p->wear_rate_depth_exp);
  const double coef[3] = {p->wear_force_x_coef, p->wear_force_y_coef, p->wear_force_z_coef};
  for (int axis = 0; axis < 3; ++axis)
    c.wear_force_factor[axis] = coef[axis] * c.wear_feed_power[axis] * c.wear_depth_power[axis];
  return c;
}
