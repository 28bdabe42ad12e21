#include "engine/cut_forces.h"

#include <gtest/gtest.h>

#include <cmath>

#include "cut_test_job.h"
#include "engine/random.h"

using cut_test::Job;
using cut_test::kDegree;

namespace {

// The edge of the worked example: Kf 1e9 Pa, Kn 2e9 Pa, inclination 5,
// normal rake 6 and chip flow angle 10 degrees.
void set_edge(SimParams* p) {
  p->kf = 1e9;
  p->kn = 2e9;
  p->inclination_angle = 5 * kDegree;
  p->normal_rake_angle = 6 * kDegree;
  p->chip_flow_angle = 10 * kDegree;
}

void set_wear_forces(SimParams* p) {
  p->wear_force_x_coef = 50;
  p->wear_force_x_feed_exp = 1.0;
  p->wear_force_x_depth_exp = 0.5;
  p->wear_force_y_coef = 30;
  p->wear_force_y_feed_exp = 0.5;
  p->wear_force_y_depth_exp = 0.2;
  p->wear_force_z_coef = 40;
  p->wear_force_z_feed_exp = 0.2;
  p->wear_force_z_depth_exp = 1.0;
}

// Run-level values as a run starts them.
struct RunValues {
  ForceReference reference{};
  RandomState random{};
  RunValues() { random_init(&random); }
};

}  // namespace

TEST(RandomSequence, StartsFromStateOneAndWrapsModulo2To32) {
  RandomState random;
  random_init(&random);
  EXPECT_EQ(random_draw(&random), 41);
  EXPECT_EQ(random_draw(&random), 18467);
  EXPECT_EQ(random_draw(&random), 6334);
  for (int i = 3; i < 999; ++i) random_draw(&random);
  EXPECT_EQ(random_draw(&random), 12249);  // the 1000th draw
  random_init(&random);
  EXPECT_EQ(random_draw(&random), 41);
}

TEST(EdgeForces, WorkedExampleAndItsRotation) {
  Job job;
  set_edge(job.params);
  cut_edge_forces(job.params, job.state, 0.0002, 0.002);  // 0.4 mm^2
  EXPECT_NEAR(job.state->edge_force_x, 308.1424, 1e-4);
  EXPECT_NEAR(job.state->edge_force_y, 839.6632, 1e-4);
  EXPECT_NEAR(job.state->edge_force_z, -3.736418, 1e-6);
  // Away from the capture step, with no reference, wear or damping, the
  // machine forces are the rotated edge forces.
  RunValues run;
  job.state->revolution = 1;
  cut_machine_forces(job.params, job.state, &run.reference, &run.random, 0, {0, 0}, 5);
  EXPECT_NEAR(job.state->force_x, 298.6097, 1e-4);
  EXPECT_NEAR(job.state->force_y, 839.6632, 1e-4);
  EXPECT_NEAR(job.state->force_z, 76.14401, 1e-5);

  job.params->inclination_angle = 0;
  job.params->normal_rake_angle = 0;
  job.params->chip_flow_angle = 0;
  cut_edge_forces(job.params, job.state, 0.0002, 0.002);
  EXPECT_DOUBLE_EQ(job.state->edge_force_x, 400);
  EXPECT_DOUBLE_EQ(job.state->edge_force_y, 800);
  EXPECT_EQ(job.state->edge_force_z, 0.0);
}

// A chip of no area carries no force, even where a zero thickness has made
// the coefficients infinite.
TEST(EdgeForces, ZeroAreaGivesExactlyZero) {
  Job job;
  set_edge(job.params);
  job.params->kf = HUGE_VAL;
  job.params->kn = HUGE_VAL;
  for (auto [h, depth] : {std::pair{0.0, 0.002}, std::pair{0.0002, 0.0}, std::pair{0.0, 0.0}}) {
    job.state->edge_force_x = job.state->edge_force_y = job.state->edge_force_z = 1;
    cut_edge_forces(job.params, job.state, h, depth);
    EXPECT_EQ(job.state->edge_force_x, 0.0);
    EXPECT_EQ(job.state->edge_force_y, 0.0);
    EXPECT_EQ(job.state->edge_force_z, 0.0);
  }
}

// Step 1 of revolution 0 captures the rotated forces before its own scatter;
// later steps scatter by the captured forces, not by their own.
TEST(MachineForces, ReferenceCaptureAndSharedScatterDraw) {
  Job job;
  set_edge(job.params);
  RunValues run;
  cut_edge_forces(job.params, job.state, 0.0002, 0.002);
  cut_machine_forces(job.params, job.state, &run.reference, &run.random, 0, {0, 0}, 1);
  EXPECT_DOUBLE_EQ(run.reference.x, 298.6097378906889);
  EXPECT_DOUBLE_EQ(run.reference.y, 839.6632144340474);
  EXPECT_DOUBLE_EQ(run.reference.z, 76.14401331120604);
  EXPECT_NEAR(job.state->force_x / run.reference.x, 0.9700751, 1e-7);
  EXPECT_NEAR(job.state->force_y / run.reference.y, 0.9700751, 1e-7);
  EXPECT_NEAR(job.state->force_z / run.reference.z, 0.9700751, 1e-7);
  EXPECT_DOUBLE_EQ(job.state->force_z, 73.86540946427763);

  // Step 2 draws the second number (18467) for all three axes.
  job.state->edge_force_x = 100;
  job.state->edge_force_y = 200;
  job.state->edge_force_z = -50;
  cut_machine_forces(job.params, job.state, &run.reference, &run.random, 0, {0, 0}, 2);
  EXPECT_DOUBLE_EQ(job.state->force_x, 110.67276652970426);
  EXPECT_DOUBLE_EQ(job.state->force_y, 203.20341497349162);
  EXPECT_DOUBLE_EQ(job.state->force_z, -22.12388834221111);
  EXPECT_DOUBLE_EQ(run.reference.x, 298.6097378906889);
  EXPECT_EQ(random_draw(&run.random), 6334);

  // Step 1 of a later revolution captures nothing.
  job.state->revolution = 1;
  cut_machine_forces(job.params, job.state, &run.reference, &run.random, 0, {0, 0}, 1);
  EXPECT_DOUBLE_EQ(run.reference.x, 298.6097378906889);
}

// The scatter per draw is kept for the reference forces it was made from:
// references changed between steps (signs, a zero, a tiny value, and back)
// scatter by their own, to the last bit of the written formula.
TEST(MachineForces, ScatterFollowsAChangedReferenceToTheLastBit) {
  Job job;
  set_edge(job.params);
  RunValues run;
  job.state->revolution = 1;  // no capture: the references below stand
  const RunConstants c = run_constants_of(job.params);
  const double refs[][3] = {{298.6097378906889, 839.6632144340474, 76.14401331120604},
                            {-5.0, 1e-300, 0.0},
                            {298.6097378906889, 839.6632144340474, 76.14401331120604},
                            {298.6097378906889, -0.0, 76.14401331120605}};
  for (const auto& ref : refs) {
    run.reference.x = ref[0];
    run.reference.y = ref[1];
    run.reference.z = ref[2];
    job.state->edge_force_x = 100;
    job.state->edge_force_y = 200;
    job.state->edge_force_z = -50;
    RandomState next = run.random;
    const double u = random_draw(&next) - 16383.5;
    cut_machine_forces(job.params, job.state, &run.reference, &run.random, 0, {0, 0}, 5);
    const MachineForce f = cut_machine_axes(100, 200, -50, c.sin_side_edge, c.cos_side_edge);
    EXPECT_EQ(job.state->force_x, f.x + u * (kScatterFraction * ref[0] / 16383.5)) << ref[0];
    EXPECT_EQ(job.state->force_y, f.y + u * (kScatterFraction * ref[1] / 16383.5)) << ref[1];
    EXPECT_EQ(job.state->force_z, f.z + u * (kScatterFraction * ref[2] / 16383.5)) << ref[2];
  }
}

// Wear-land force: worn area with the factor 1000 on the nose arc only,
// feed and depth in inches by 39.37; damping added to X and Z.
TEST(MachineForces, WearLandForceInBothContactCasesWithDamping) {
  Job job;
  set_edge(job.params);
  set_wear_forces(job.params);
  cut_edge_forces(job.params, job.state, 0.0002, 0.002);
  {
    RunValues run;  // depth 2 mm: nose arc and straight edge
    cut_machine_forces(job.params, job.state, &run.reference, &run.random, 0.2, {7.0, 3.0}, 1);
    EXPECT_DOUBLE_EQ(job.state->force_x, 299.5926421054534);
    EXPECT_DOUBLE_EQ(job.state->force_y, 1096.5210158990637);
    EXPECT_DOUBLE_EQ(job.state->force_z, 99.95482188662908);
  }
  {
    RunValues run;  // depth 0.3 mm: within the nose arc
    job.params->depth_of_cut = 0.0003;
    cut_machine_forces(job.params, job.state, &run.reference, &run.random, 0.2, {7.0, 3.0}, 1);
    EXPECT_DOUBLE_EQ(job.state->force_x, 294.7610219272667);
    EXPECT_DOUBLE_EQ(job.state->force_y, 964.8242536496424);
    EXPECT_DOUBLE_EQ(job.state->force_z, 83.0957136220416);
  }
}

// A zero rotated Z force means no cut: no wear-land force on any axis,
// while the scatter and the damping forces still apply.
TEST(MachineForces, ZeroZForceClearsTheCuttingFlag) {
  Job job;
  set_wear_forces(job.params);
  job.params->side_cutting_edge_angle = 0;
  job.state->edge_force_x = 300;
  job.state->edge_force_y = 800;
  job.state->edge_force_z = 0;
  RunValues run;
  cut_machine_forces(job.params, job.state, &run.reference, &run.random, 0.2, {7.0, 3.0}, 1);
  EXPECT_DOUBLE_EQ(job.state->force_x, 294.0225226599933);
  EXPECT_DOUBLE_EQ(job.state->force_y, 776.0600604266488);
  EXPECT_EQ(job.state->force_z, 7.0);
}

TEST(MachineForces, OtherProcessesLeaveAllForcesUntouched) {
  Job job;
  set_edge(job.params);
  job.params->process = 'M';
  SimState* st = job.state;
  st->edge_force_x = 1, st->edge_force_y = 2, st->edge_force_z = 3;
  st->force_x = 4, st->force_y = 5, st->force_z = 6;
  RunValues run;
  cut_edge_forces(job.params, st, 0.0002, 0.002);
  cut_machine_forces(job.params, st, &run.reference, &run.random, 0.2, {7.0, 3.0}, 1);
  EXPECT_EQ(st->edge_force_x, 1.0);
  EXPECT_EQ(st->edge_force_y, 2.0);
  EXPECT_EQ(st->edge_force_z, 3.0);
  EXPECT_EQ(st->force_x, 4.0);
  EXPECT_EQ(st->force_y, 5.0);
  EXPECT_EQ(st->force_z, 6.0);
  EXPECT_EQ(run.reference.x, 0.0);
}
