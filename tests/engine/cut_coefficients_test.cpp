#include "engine/cut_coefficients.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "cut_test_job.h"
#include "tests/support/test_support.h"

using cut_test::Job;
using cut_test::kDegree;

namespace {

// Power-law constants (English units) of the instantaneous cases.
void set_constants(SimParams* p) {
  p->kf_coef = 100000;
  p->kf_thickness_exp = -0.3;
  p->kf_speed_exp = -0.1;
  p->kn_coef = 200000;
  p->kn_thickness_exp = -0.25;
  p->kn_speed_exp = -0.05;
  p->cfa_coef = 10;
  p->cfa_depth_exp = 0.2;
  p->cfa_speed_exp = 0.05;
}

}  // namespace

// The nose arc meets the straight edge at r (1 - sin 15) = 0.592945 mm; the
// engaged length switches formula there and both agree at that depth.
TEST(ChipGeometry, EngagedLengthSwitchesAtTheNoseDepth) {
  const double r = 0.0008, angle = 15 * kDegree;
  const double nose_depth = r * (1 - std::sin(angle));
  EXPECT_NEAR(nose_depth, 0.592945e-3, 1e-9);
  EXPECT_NEAR(chip_engaged_length(0.002, r, angle), 2.503888e-3, 1e-9);
  EXPECT_NEAR(chip_engaged_length(0.0003, r, angle), 0.716532e-3, 1e-9);
  EXPECT_DOUBLE_EQ(chip_engaged_length(0.0003, r, angle), r * std::acos(0.625));
  // Depth exactly at the nose depth takes the nose-only formula.
  EXPECT_EQ(chip_engaged_length(nose_depth, r, angle), r * std::acos(1 - nose_depth / r));
  EXPECT_NEAR(chip_engaged_length(nose_depth, r, angle), r * (1.5707963267948966 - angle), 1e-15);
  // Any consistent length unit: the same tool in inches.
  EXPECT_NEAR(chip_engaged_length(0.002 / 0.0254, r / 0.0254, angle) * 0.0254, 2.503888e-3, 1e-9);
}

TEST(ChipGeometry, AverageChipUsesTheCuttingEdgeAngle) {
  Job job;
  EXPECT_NEAR(chip_average_thickness(job.params), 0.159752e-3, 1e-9);
  job.params->depth_of_cut = 0.0003;
  EXPECT_NEAR(chip_average_thickness(job.params), 0.0837367e-3, 1e-10);
  // The side cutting edge angle is only copied over by the coefficient update.
  job.params->side_cutting_edge_angle = 45 * kDegree;
  EXPECT_NEAR(chip_average_thickness(job.params), 0.0837367e-3, 1e-10);
  // A negative feed still gives a thickness (absolute value).
  job.params->feed_per_rev = -0.0002;
  EXPECT_NEAR(chip_average_thickness(job.params), 0.0837367e-3, 1e-10);
}

TEST(ChipGeometry, ZeroDepthGivesZeroAverageChip) {
  Job job;
  job.params->depth_of_cut = 0;
  double h = chip_average_thickness(job.params);
  EXPECT_EQ(h, 0.0);
  EXPECT_FALSE(std::signbit(h));
}

// Above the nose radius the nominal feed sets the area, so the step's chip
// thickness has no effect; the psi factor comes after the power laws.
TEST(InstantCoefficients, DepthAboveNoseRadiusUsesTheNominalFeed) {
  Job job;
  set_constants(job.params);
  job.params->avg_chip_thickness = 1.25e-4;
  cut_coefficients_instant(job.params, job.state, 0.00015, 0.002);
  EXPECT_DOUBLE_EQ(job.params->kf, 1649050437.6168942);
  EXPECT_DOUBLE_EQ(job.params->kn, 3540342286.729332);
  EXPECT_DOUBLE_EQ(job.params->chip_flow_angle, 0.14520025365556863);
  cut_coefficients_instant(job.params, job.state, 0.00025, 0.002);
  EXPECT_DOUBLE_EQ(job.params->kf, 1649050437.6168942);
  EXPECT_DOUBLE_EQ(job.params->kn, 3540342286.729332);
  // Neither the average chip nor the edge angle is touched.
  EXPECT_EQ(job.params->avg_chip_thickness, 1.25e-4);
  EXPECT_EQ(job.params->cutting_edge_angle, 15 * kDegree);
}

// At a depth equal to the nose radius the step's chip sets the area, and the
// edge length uses cutting_edge_angle (here 20 degrees, the side angle 15).
TEST(InstantCoefficients, DepthEqualToNoseRadiusUsesTheStepChip) {
  Job job;
  set_constants(job.params);
  job.params->cutting_edge_angle = 20 * kDegree;
  cut_coefficients_instant(job.params, job.state, 0.00015, 0.0008);
  EXPECT_DOUBLE_EQ(job.params->kf, 1929773946.0174584);
  EXPECT_DOUBLE_EQ(job.params->kn, 4035887037.698173);
  EXPECT_DOUBLE_EQ(job.params->chip_flow_angle, 0.12088693689650917);
  double kf_thin = job.params->kf;
  cut_coefficients_instant(job.params, job.state, 0.00025, 0.0008);
  EXPECT_LT(job.params->kf, kf_thin);  // thicker chip, smaller specific force
}

TEST(InstantCoefficients, ZeroOrNegativeChipGivesZeroCoefficientsButAFlowAngle) {
  Job job;
  set_constants(job.params);
  job.params->cfa_depth_exp = 0;  // keeps the flow angle nonzero at zero depth
  job.params->kf = 5e8;
  job.params->kn = 6e8;
  job.params->chip_flow_angle = 123;
  cut_coefficients_instant(job.params, job.state, 0.0002, 0.0);  // 0/0 thickness
  EXPECT_EQ(job.params->kf, 0.0);
  EXPECT_EQ(job.params->kn, 0.0);
  EXPECT_DOUBLE_EQ(job.params->chip_flow_angle, 0.24139491601451527);

  job.params->kf = 5e8;
  job.params->chip_flow_angle = 123;
  cut_coefficients_instant(job.params, job.state, -0.0001, 0.0005);  // negative thickness
  EXPECT_EQ(job.params->kf, 0.0);
  EXPECT_EQ(job.params->kn, 0.0);
  EXPECT_DOUBLE_EQ(job.params->chip_flow_angle, 0.24139491601451527);
}

namespace {

// A database pair for STEEL on CARBIDE at 15 degrees, with the constants
// of set_constants, in the working directory `dir`.
void write_databases(const test_support::ScratchDir& dir) {
  test_support::write_file(
      dir.file("wear.db"),
      "STEEL CARBIDE 1000 0.1 -50 1e-3 0.5 0.2 50 1 0.5 30 0.5 0.2 40 0.2 1\n");
  std::string row = "STEEL";
  row.resize(16, ' ');
  row += "CARBIDE";
  row.resize(48, ' ');
  row += "15 100000 -0.3 -0.1 200000 -0.25 -0.05 10 0.2 0.05\n";
  test_support::write_file(dir.file("kfkncfa.db"), row);
}

void set_materials(SimParams* p) {
  std::snprintf(p->workpiece_material, kParamsTextSize, "%s", "STEEL");
  std::snprintf(p->insert_material, kParamsTextSize, "%s", "CARBIDE");
}

}  // namespace

// The update copies the side cutting edge angle for turning, keys the
// lookup on it and evaluates the power laws from the average chip; loaded
// files and re-read files give the same record.
TEST(AverageCoefficients, LookupAndPowerLawsFromTheAverageChip) {
  test_support::ScratchDir dir;
  write_databases(dir);
  test_support::WorkingDir here(dir.path());
  Job job;
  set_materials(job.params);
  job.params->cutting_edge_angle = 0;
  ASSERT_EQ(cut_coefficients_average(job.params, job.state, nullptr), 1);
  EXPECT_EQ(job.params->cutting_edge_angle, 15 * kDegree);
  EXPECT_NEAR(job.params->avg_chip_thickness, 0.159752e-3, 1e-9);
  EXPECT_DOUBLE_EQ(job.params->kf, 1649050437.616894);
  EXPECT_DOUBLE_EQ(job.params->kn, 3540342286.729332);
  EXPECT_DOUBLE_EQ(job.params->chip_flow_angle, 0.14520025365556863);
  EXPECT_EQ(job.params->wear_factor, 1000.0);

  Job loaded;
  set_materials(loaded.params);
  MatDb* db = matdb_load(loaded.params);
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(cut_coefficients_average(loaded.params, loaded.state, db), 1);
  EXPECT_EQ(loaded.params->kf, job.params->kf);
  EXPECT_EQ(loaded.params->kn, job.params->kn);
  EXPECT_EQ(loaded.params->chip_flow_angle, job.params->chip_flow_angle);
  matdb_free(db);
}

// A failed lookup keeps the coefficients but still renews the average chip;
// only turning overwrites the edge angle.
TEST(AverageCoefficients, FailedLookupKeepsTheCoefficients) {
  test_support::ScratchDir dir;
  write_databases(dir);
  test_support::WorkingDir here(dir.path());
  Job job;
  set_materials(job.params);
  job.params->process = 'M';
  job.params->cutting_edge_angle = 30 * kDegree;  // no row at 30 degrees
  job.params->kf = 1, job.params->kn = 2, job.params->chip_flow_angle = 3;
  EXPECT_EQ(cut_coefficients_average(job.params, job.state, nullptr), 0);
  EXPECT_EQ(job.params->cutting_edge_angle, 30 * kDegree);
  EXPECT_EQ(job.params->kf, 1.0);
  EXPECT_EQ(job.params->kn, 2.0);
  EXPECT_EQ(job.params->chip_flow_angle, 3.0);
  EXPECT_EQ(job.params->avg_chip_thickness, chip_average_thickness(job.params));
  EXPECT_GT(job.params->avg_chip_thickness, 0.0);

  std::snprintf(job.params->insert_material, kParamsTextSize, "%s", "CERAMIC");
  job.params->process = 'T';
  EXPECT_EQ(cut_coefficients_average(job.params, job.state, nullptr), 0);
  EXPECT_EQ(job.params->cutting_edge_angle, 15 * kDegree);
  EXPECT_EQ(job.params->kf, 1.0);
}
