#include "engine/run_constants.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>

#include "cut_test_job.h"
#include "engine/force_pass.h"
#include "model/fields.h"
#include "model/state.h"
#include "model/units.h"

using cut_test::Job;
using cut_test::kDegree;

// The worked job (feed 0.2 mm, depth 2 mm, nose radius 0.8 mm, side cutting
// edge angle 15 degrees) with every database number distinct, so that a
// power taken of the wrong base or to the wrong exponent shows.
TEST(RunConstants, AnglesNoseArcsAndPowersOfTheWorkedJob) {
  Job job;
  SimParams* p = job.params;
  p->inclination_angle = 5 * kDegree;
  p->normal_rake_angle = -6 * kDegree;
  p->cutting_edge_angle = 20 * kDegree;
  p->avg_chip_thickness = 0.00016;  // m
  double value = -0.75;
  for (const DatabaseNumber& number : kWearNumbers) p->*number.field = value += 0.25;
  for (const DatabaseNumber& number : kCoefficientNumbers) p->*number.field = value += 0.25;
  const RunConstants c = run_constants_of(p);

  EXPECT_DOUBLE_EQ(c.sin_edge, std::sin(20 * kDegree));  // the chip geometry's own angle
  EXPECT_DOUBLE_EQ(c.sin_side_edge, 0.25881904510252074);
  EXPECT_DOUBLE_EQ(c.cos_side_edge, 0.96592582628906831);
  EXPECT_DOUBLE_EQ(c.tan_side_edge, 0.26794919243112270);
  EXPECT_DOUBLE_EQ(c.sin_inclination, std::sin(5 * kDegree));
  EXPECT_DOUBLE_EQ(c.sin_rake, -std::sin(6 * kDegree));
  EXPECT_DOUBLE_EQ(c.cos_rake, std::cos(6 * kDegree));
  EXPECT_NEAR(c.nose_depth, 0.8e-3 * (1 - 0.25881904510252074), 1e-18);
  EXPECT_TRUE(std::isnan(c.nose_arc));  // 2 mm is past the nose: no arc of the depth alone
  EXPECT_DOUBLE_EQ(c.feed_arc, std::acos(0.125));

  const struct {
    const char* name;
    double value, expected;
  } powers[] = {
      {"Kf thickness", c.kf_thickness_power, std::pow(0.00016 / 0.0254, p->kf_thickness_exp)},
      {"Kn thickness", c.kn_thickness_power, std::pow(0.00016 / 0.0254, p->kn_thickness_exp)},
      {"chip flow depth", c.cfa_depth_power, std::pow(0.002 / 0.0254, p->cfa_depth_exp)},
      {"X wear feed", c.wear_feed_power[0], std::pow(39.37 * 0.0002, p->wear_force_x_feed_exp)},
      {"Y wear feed", c.wear_feed_power[1], std::pow(39.37 * 0.0002, p->wear_force_y_feed_exp)},
      {"Z wear feed", c.wear_feed_power[2], std::pow(39.37 * 0.0002, p->wear_force_z_feed_exp)},
      {"X wear depth", c.wear_depth_power[0], std::pow(39.37 * 0.002, p->wear_force_x_depth_exp)},
      {"Y wear depth", c.wear_depth_power[1], std::pow(39.37 * 0.002, p->wear_force_y_depth_exp)},
      {"Z wear depth", c.wear_depth_power[2], std::pow(39.37 * 0.002, p->wear_force_z_depth_exp)},
      {"wear rate depth", c.wear_rate_depth_power, std::pow(39.37 * 0.002, p->wear_rate_depth_exp)},
  };
  for (const auto& power : powers) EXPECT_DOUBLE_EQ(power.value, power.expected) << power.name;

  // The wear-land force factors, bit for bit the product the force stage took each step.
  const double coefs[3] = {p->wear_force_x_coef, p->wear_force_y_coef, p->wear_force_z_coef};
  for (int axis = 0; axis < 3; ++axis)
    EXPECT_EQ(c.wear_force_factor[axis],
              coefs[axis] * c.wear_feed_power[axis] * c.wear_depth_power[axis])
        << "axis " << axis;
  // The nose segment at the nominal depth: the depth of 2 mm is past the
  // nose, so the segment's height is the nose depth, and its half area is
  // that of a segment of height r (1 - sin 15 degrees) of a 0.8 mm circle.
  const double r = 0.8e-3, q = c.nose_depth;
  const double half_angle = std::acos((r - q) / r);
  EXPECT_NEAR(c.nose_half_segment,
              (r * r * half_angle - (r - q) * std::sqrt(2 * r * q - q * q)) / 2, 1e-15);
  EXPECT_EQ(c.nose_half_segment, force_pass_half_segment(r, q));
  // The flank contact over the whole nose arc: phi = 75 degrees, and the
  // resultants' angles theta1 = (phi sin + cos - 1) / sin, theta2 = (sin - phi cos) / (1 - cos).
  const double phi = M_PI / 2 - 15 * kDegree;
  const double theta1 = (phi * std::sin(phi) + std::cos(phi) - 1) / std::sin(phi);
  const double theta2 = (std::sin(phi) - phi * std::cos(phi)) / (1 - std::cos(phi));
  EXPECT_DOUBLE_EQ(c.edge_contact.sin_phi, std::sin(phi));
  EXPECT_DOUBLE_EQ(c.edge_contact.cos_theta1, std::cos(theta1));
  EXPECT_DOUBLE_EQ(c.edge_contact.sin_theta2, std::sin(theta2));
  EXPECT_NEAR(theta1, 0.54167, 1e-5);  // the Z resultant leans 31 degrees from Z

  // A depth within the nose: the arc it engages.
  p->depth_of_cut = 0.0003;
  EXPECT_DOUBLE_EQ(run_constants_of(p).nose_arc, std::acos(0.625));
}

// The products of run values that the steps take from the constants must be
// bit for bit those the step formulas form (in their written order), for a
// depth past the nose and one within it (whose worn contact angle differs).
TEST(RunConstants, StepProductsAreThoseOfTheWrittenFormulas) {
  Job job;
  SimParams* p = job.params;
  double value = 0.1;
  for (const DatabaseNumber& number : kWearNumbers) p->*number.field = value += 0.37;
  for (const DatabaseNumber& number : kCoefficientNumbers) p->*number.field = value += 0.37;
  p->spindle_rpm = 733;
  for (const double depth : {0.002, 0.0003}) {
    p->depth_of_cut = depth;
    const RunConstants c = run_constants_of(p);
    const double r = p->nose_radius, d = depth, kappa = p->side_cutting_edge_angle;
    const double sin_k = c.sin_side_edge, cos_k = c.cos_side_edge;
    const double contact = d < c.nose_depth ? kHalfPi + c.nose_arc - c.feed_arc : kHalfPi - kappa;
    const struct {
      const char* name;
      double constant, formula;
    } products[] = {
        {"quarter disc", c.nose_quarter_disc, kPi * (r * r) / 4},
        {"half square", c.nose_half_square, (r * r) / 2},
        {"diameter", c.nose_diameter, 2 * r},
        {"contact radius", c.contact_radius, 1000 * r},
        {"contact angle", c.contact_angle, contact},
        {"edge strip", c.edge_strip_depth, d - c.nose_depth},
        {"degrees a second", c.spindle_degrees_per_second, 6 * p->spindle_rpm},
        {"grid step time", c.grid_step_time, kGridStepDegrees / (6 * p->spindle_rpm)},
        {"edge start", c.edge_start_depth, (1 - sin_k) * c.nose_depth},
        {"damping Z", c.damping_edge_z, p->wear_factor * sin_k},
        {"damping X", c.damping_edge_x, p->wear_factor * cos_k},
        {"Z arm", c.edge_contact_z_arm, r * c.edge_contact.sin_phi},
        {"X share", c.edge_contact_x_share, 1 - c.edge_contact.cos_phi},
        {"Kf", c.kf_average_factor, kPsi * p->kf_coef * c.kf_thickness_power},
        {"Kn", c.kn_average_factor, kPsi * p->kn_coef * c.kn_thickness_power},
        {"chip flow", c.cfa_average_factor, kDegToRad * p->cfa_coef * c.cfa_depth_power},
    };
    for (const auto& product : products) {
      EXPECT_EQ(std::bit_cast<uint64_t>(product.constant), std::bit_cast<uint64_t>(product.formula))
          << product.name << " at depth " << depth;
      EXPECT_TRUE(std::isfinite(product.constant)) << product.name << " at depth " << depth;
    }
    // The half segment from the constants is the function's own.
    for (const double q : {0.0, 1e-7, 0.3e-3, c.nose_depth, r}) {
      const double own = c.nose_quarter_disc -
                         ((r - q) / 2) * std::sqrt(c.nose_diameter * q - q * q) -
                         c.nose_half_square * std::asin((r - q) / r);
      EXPECT_EQ(std::bit_cast<uint64_t>(own),
                std::bit_cast<uint64_t>(force_pass_half_segment(r, q)))
          << "q " << q;
    }
  }
}
