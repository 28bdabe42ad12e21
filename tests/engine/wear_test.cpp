#include "engine/wear.h"

#include <gtest/gtest.h>

#include <cmath>

#include "cut_test_job.h"

using cut_test::Job;

namespace {

// Wear constants of the cases below: VB 0.2 mm pressing with factor 1000.
constexpr double kVb = 0.2;  // mm

void set_wear(SimParams* p) {
  p->wear_factor = 1000;
  p->wear_breakin_amount = 0.1;
  p->wear_breakin_rate = -50;
  p->wear_rate_coef = 1e-3;
  p->wear_rate_speed_exp = 0.5;
  p->wear_rate_depth_exp = 0.2;
}

// Moves the tool between steps s - 1 and s by dz and dx (m).
void move(SimState* st, int s, double dz, double dx) {
  st->rel_disp_z[s] = st->rel_disp_z[s - 1] + dz;
  st->rel_disp_x[s] = st->rel_disp_x[s - 1] + dx;
}

}  // namespace

TEST(WearLand, BreakInCurveOnlyWithoutInitialWear) {
  Job job;
  set_wear(job.params);
  job.state->cut_angle = 360;  // t = 0.06 s at 1000 rev/min
  EXPECT_DOUBLE_EQ(wear_land_width(job.params, job.state), 0.0959457738779384);
  job.params->initial_wear = 0.05;
  EXPECT_DOUBLE_EQ(wear_land_width(job.params, job.state), 0.050924480714724794);
  // At the start of the run the land is the initial wear, or nothing.
  job.state->cut_angle = 0;
  EXPECT_EQ(wear_land_width(job.params, job.state), 0.05);
  job.params->initial_wear = 0;
  EXPECT_EQ(wear_land_width(job.params, job.state), 0.0);
}

// Independent evaluations of the two contact cases: the tool descends by
// 1e-7 m in Z and 2e-7 m in X over one grid step at 200 m/min.
TEST(ProcessDamping, NoseContactAndNoseAndEdgeContact) {
  Job job;
  set_wear(job.params);
  DampingMemory memory{};
  move(job.state, 10, -1e-7, -2e-7);
  DampingForces nose = damping_forces(job.params, job.state, &memory, 10, 0.0003, kVb);
  EXPECT_DOUBLE_EQ(nose.z, 0.3660609107310429);
  EXPECT_DOUBLE_EQ(nose.x, 0.20014383776989503);
  // Deeper than the nose depth: the straight-edge strip is the depth less
  // (1 - sin k) times the nose depth.
  DampingForces edge = damping_forces(job.params, job.state, &memory, 10, 0.002, kVb);
  EXPECT_DOUBLE_EQ(edge.z, 0.8085708519660717);
  EXPECT_DOUBLE_EQ(edge.x, 1.6090702339076866);
  // The grid step time ignores the angular increments.
  job.params->angular_increments = 4;
  job.state->steps_per_rev = 8550;
  edge = damping_forces(job.params, job.state, &memory, 10, 0.002, kVb);
  EXPECT_DOUBLE_EQ(edge.z, 0.8085708519660717);
}

TEST(ProcessDamping, OnlyMotionInTheNegativeDirectionDamps) {
  Job job;
  set_wear(job.params);
  DampingMemory memory{};
  move(job.state, 10, 1e-7, 0);  // away in Z, still in X
  for (double h_eff : {0.0003, 0.002}) {
    DampingForces f = damping_forces(job.params, job.state, &memory, 10, h_eff, kVb);
    EXPECT_EQ(f.z, 0.0);
    EXPECT_EQ(f.x, 0.0);
  }
  // Zero velocity gives zero slope even at zero cutting speed (no 0/0).
  job.state->cutting_speed = 0;
  DampingForces f = damping_forces(job.params, job.state, &memory, 10, 0.002, kVb);
  EXPECT_EQ(f.z, 0.0);
  EXPECT_EQ(f.x, 0.0);
  // Z descending, X moving away: only the Z slope acts.
  job.state->cutting_speed = 200;
  move(job.state, 10, -1e-7, 3e-7);
  f = damping_forces(job.params, job.state, &memory, 10, 0.002, kVb);
  EXPECT_DOUBLE_EQ(f.z, 0.2634578692556684);
  EXPECT_DOUBLE_EQ(f.x, 0.2743840393130693);
  // The first step of the run has no previous position.
  job.state->rel_disp_z[0] = -1e-6;
  f = damping_forces(job.params, job.state, &memory, 0, 0.002, kVb);
  EXPECT_EQ(f.z, 0.0);
  EXPECT_EQ(f.x, 0.0);
}

// Step 0 of a later revolution measures its velocity against step 34199 of
// the one before, and against 0 when that step never ran.
TEST(ProcessDamping, FirstStepOfARevolutionLooksBackToStep34199) {
  Job job;
  set_wear(job.params);
  DampingMemory memory{};
  job.state->rel_disp_z[34199] = -1e-7;
  job.state->rel_disp_x[34199] = 5e-8;
  damping_forces(job.params, job.state, &memory, 34199, 0.002, kVb);
  EXPECT_EQ(memory.last_rel_disp_z, -1e-7);
  EXPECT_EQ(memory.last_rel_disp_x, 5e-8);

  job.state->revolution = 1;
  job.state->rel_disp_z[0] = -4e-7;
  job.state->rel_disp_x[0] = -1e-7;
  DampingForces f = damping_forces(job.params, job.state, &memory, 0, 0.002, kVb);
  EXPECT_DOUBLE_EQ(f.z, 1.1992083447998079);
  EXPECT_DOUBLE_EQ(f.x, 1.824166763885171);

  DampingMemory fresh{};
  f = damping_forces(job.params, job.state, &fresh, 0, 0.002, kVb);
  EXPECT_DOUBLE_EQ(f.z, 1.3263879683778752);
  EXPECT_DOUBLE_EQ(f.x, 1.764879254549586);
}

// With no engagement the nose formulas would be 0/0; there is no flank
// contact, so the forces are exactly 0, and step 34199 is still recorded.
TEST(ProcessDamping, ZeroEffectiveDepthGivesZeroForces) {
  Job job;
  set_wear(job.params);
  DampingMemory memory{};
  job.state->rel_disp_z[34198] = 1e-7;
  job.state->rel_disp_z[34199] = -2e-7;
  job.state->rel_disp_x[34199] = -3e-7;
  DampingForces f = damping_forces(job.params, job.state, &memory, 34199, 0.0, kVb);
  EXPECT_EQ(f.z, 0.0);
  EXPECT_EQ(f.x, 0.0);
  EXPECT_EQ(memory.last_rel_disp_z, -2e-7);
  EXPECT_EQ(memory.last_rel_disp_x, -3e-7);
  // The same descent with a small engagement does damp.
  f = damping_forces(job.params, job.state, &memory, 34199, 1e-5, kVb);
  EXPECT_GT(f.z, 0.0);
  EXPECT_TRUE(std::isfinite(f.x));
}
