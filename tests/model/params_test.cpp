#include "model/params.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "model/units.h"

TEST(Params, NewRecordHasTheDefaults) {
  SimParams* p = params_create();
  ASSERT_NE(p, nullptr);
  EXPECT_STREQ(p->title, "");
  EXPECT_STREQ(p->workpiece_material, "");
  EXPECT_STREQ(p->insert_material, "");
  EXPECT_STREQ(p->database_file, "kfkncfa.db");
  EXPECT_EQ(p->output_flags, 0xffffu);
  EXPECT_EQ(p->spindle_rpm, 0.0);
  EXPECT_EQ(p->initial_wear, 0.0);
  EXPECT_EQ(p->angular_increments, 0);
  EXPECT_EQ(p->spindle_modes.x_modes, nullptr);
  EXPECT_EQ(p->tool_modes.z_count, 0);
  EXPECT_EQ(p->runout, nullptr);
  for (uint32_t bit : {1u, 2u, 4u, 8u}) EXPECT_EQ(params_output_enabled(p, bit), bit);
  params_free(p);
  params_free(nullptr);
}

TEST(Params, DatabaseNameKeepsAtMost63Characters) {
  SimParams* p = params_create();
  std::string name(70, 'd');
  params_set_database_file(p, name.c_str());
  EXPECT_EQ(std::strlen(p->database_file), 63u);
  EXPECT_EQ(std::string(p->database_file), name.substr(0, 63));
  params_free(p);
}

TEST(Params, OutputFlagsCombine) {
  SimParams* p = params_create();
  p->output_flags = 0;
  EXPECT_EQ(params_enable_output(p, OUTPUT_RMS), p);
  EXPECT_EQ(params_output_enabled(p, OUTPUT_AVERAGES | OUTPUT_RMS), 8u);
  EXPECT_EQ(params_output_enabled(p, OUTPUT_SERIES), 0u);
  params_free(p);
}

TEST(Params, ModeListsResizeAndRefuseNegativeCounts) {
  SimParams* p = params_create();
  ModalSet& set = p->spindle_modes;
  ASSERT_EQ(params_resize_modes(&set.x_modes, &set.x_count, 2), 1);
  EXPECT_EQ(set.x_count, 2);
  EXPECT_EQ(set.x_modes[1].stiffness, 0.0);
  EXPECT_EQ(params_resize_modes(&set.y_modes, &set.y_count, 0), 1);
  EXPECT_EQ(set.y_modes, nullptr);
  EXPECT_EQ(params_resize_modes(&set.z_modes, &set.z_count, -1), 0);
  EXPECT_EQ(set.z_count, 0);
  params_free(p);  // the sanitizers check that everything is released
}

// The English and metric conversions, with the numbers a hand calculation gives.
TEST(Units, EnglishJobReachesSi) {
  SimParams* p = params_create();
  p->units = 0;
  p->feed_per_rev = 0.004;
  p->initial_wear = 0.002;
  p->kf = 100.0;
  params_resize_modes(&p->tool_modes.y_modes, &p->tool_modes.y_count, 1);
  p->tool_modes.y_modes[0] = {0.01, 0.05, 50000.0, -30.0};
  units_normalise(p);
  EXPECT_DOUBLE_EQ(p->feed_per_rev, 0.0001016);
  EXPECT_EQ(p->initial_wear, 0.050800000000000005);
  EXPECT_DOUBLE_EQ(p->kf, 689475.5);
  EXPECT_EQ(p->tool_modes.y_modes[0].mass, 1.751259842519685);
  EXPECT_EQ(p->tool_modes.y_modes[0].stiffness, 8756299.212598424);
  EXPECT_EQ(p->tool_modes.y_modes[0].modal_angle, -30.0);
  EXPECT_EQ(p->tool_modes.y_modes[0].damping_ratio, 0.05);
  params_free(p);
}

TEST(Units, MetricJobReachesSiAndAnyNonZeroUnitsIsMetric) {
  for (int units : {1, 2}) {
    SimParams* p = params_create();
    p->units = units;
    p->feed_per_rev = 0.1;
    p->initial_wear = 0.05;
    p->kn = 2000.0;
    params_resize_modes(&p->spindle_modes.z_modes, &p->spindle_modes.z_count, 1);
    p->spindle_modes.z_modes[0] = {2.0, 0.03, 20000.0, 0.0};
    units_normalise(p);
    EXPECT_EQ(p->feed_per_rev, 0.1 / 1000.0);
    EXPECT_EQ(p->initial_wear, 0.05);
    EXPECT_EQ(p->kn, 2e9);
    EXPECT_EQ(p->spindle_modes.z_modes[0].mass, 2.0);
    EXPECT_EQ(p->spindle_modes.z_modes[0].stiffness, 20000000.0);
    params_free(p);
  }
}

TEST(Units, AnglesGoToRadiansOnce) {
  SimParams* p = params_create();
  p->side_cutting_edge_angle = 30.0;
  p->inclination_angle = 5.0;
  p->spare_angle1 = 1.0;
  EXPECT_EQ(units_angles_to_radians(p), p);
  EXPECT_EQ(p->side_cutting_edge_angle, 0.5235987755982988);
  EXPECT_EQ(p->inclination_angle, 5.0 * 0.017453292519943295);
  EXPECT_EQ(p->spare_angle1, 0.017453292519943295);
  EXPECT_EQ(p->spindle_rpm, 0.0);
  params_free(p);
}

TEST(Units, ScaleModeCanLeaveTheMass) {
  ModalMode m{3.0, 0.1, 10.0, 45.0};
  units_scale_mode(&m, 2.0, 1);
  EXPECT_EQ(m.mass, 3.0);
  EXPECT_EQ(m.stiffness, 20.0);
  units_scale_mode(&m, 2.0, 0);
  EXPECT_EQ(m.mass, 6.0);
  EXPECT_EQ(m.stiffness, 40.0);
}
