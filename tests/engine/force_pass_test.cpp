#include "engine/force_pass.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>

#include "cut_test_job.h"
#include "engine/random.h"

using cut_test::Job;

namespace {

constexpr double kKf = 1e9;  // Pa
constexpr double kKn = 5e8;  // Pa

// A sharp tool whose edge frame lines up with the chip (no inclination,
// rake or chip flow angle) and average coefficients: the edge forces are
// h d Kf and h d Kn, so each gives back the chip thickness h.
struct ForcePassJob : Job {
  std::unique_ptr<RunContext> run = std::make_unique<RunContext>();
  ForcePassJob() {
    params->calc_type = 0;
    params->kf = kKf;
    params->kn = kKn;
    random_init(&run->random);
    run->constants = run_constants_of(params);
  }
  // The pass of step s in revolution r with the relative displacements x, z (m).
  void pass(int r, int s, double x, double z) {
    state->revolution = r;
    state->rel_disp_x[s] = x;
    state->rel_disp_z[s] = z;
    state->cutting_speed = 200;
    run->step_left_cut = 0;  // as the revolution loop clears it before each step
    force_pass(params, state, run.get(), s);
  }
  double chip() const { return state->edge_force_x / (params->depth_of_cut * kKf); }
};

}  // namespace

TEST(ForcePass, RigidStructuresCutAChipOfOneFeedAtEveryStep) {
  ForcePassJob job;
  const double feed = job.params->feed_per_rev;
  for (int r = 0; r < 3; ++r) {
    for (int s : {1, 2, 500, 34199}) {
      job.pass(r, s, 0, 0);
      EXPECT_DOUBLE_EQ(job.chip(), feed) << "revolution " << r << ", step " << s;
      EXPECT_DOUBLE_EQ(job.state->edge_force_y, feed * job.params->depth_of_cut * kKn);
      EXPECT_EQ(job.state->edge_force_z, 0.0);
      EXPECT_EQ(job.run->step_left_cut, 0);
      EXPECT_EQ(job.state->cut_surface[s], 0.0);
    }
  }
}

TEST(ForcePass, TheChipIsTheFeedLessTheToolsDisplacementPlusTheSurfaceLeftBefore) {
  const struct {
    double last;  // m, relative X displacement of the previous revolution's cut
    double now;   // m, relative X displacement of this one
  } cases[] = {{0, 5e-5}, {5e-5, 0}, {3e-5, 3e-5}, {-4e-5, 1e-5}, {1e-4, -1e-4}};
  for (const auto& c : cases) {
    ForcePassJob job;
    const double feed = job.params->feed_per_rev;
    job.pass(0, 7, c.last, 0);
    EXPECT_EQ(job.state->cut_surface[7], c.last);
    job.pass(1, 7, c.now, 0);
    EXPECT_DOUBLE_EQ(job.chip(), (feed - c.now) + c.last) << c.last << " then " << c.now;
    EXPECT_EQ(job.state->cut_surface[7], c.now);
  }
}

TEST(ForcePass, AToolOutOfTheCutAdvancesTheSurfaceByOneFeed) {
  ForcePassJob job;
  const double feed = job.params->feed_per_rev;
  // Pulled back by more than a feed: no chip, no edge force.
  job.pass(0, 3, 1.5 * feed, 0);
  EXPECT_EQ(job.run->step_left_cut, 1);
  EXPECT_EQ(job.state->edge_force_x, 0.0);
  EXPECT_EQ(job.state->edge_force_y, 0.0);
  EXPECT_EQ(job.state->edge_force_z, 0.0);
  EXPECT_EQ(job.state->cut_surface[3], feed);
  // Out again next revolution: the untouched surface moves on once more.
  job.pass(1, 3, 3.5 * feed, 0);
  EXPECT_EQ(job.run->step_left_cut, 1);
  EXPECT_EQ(job.state->cut_surface[3], 2 * feed);
  // Back at rest, the tool meets all the material the missed revolutions left.
  job.pass(2, 3, 0, 0);
  EXPECT_EQ(job.run->step_left_cut, 0);
  EXPECT_DOUBLE_EQ(job.chip(), 3 * feed);
  EXPECT_EQ(job.state->cut_surface[3], 0.0);
}

TEST(ForcePass, AnAxialChangeCorrectsTheChipAndTheEffectiveDepthFollowsTheTool) {
  const double z = 1e-4;  // m
  // The tool moved 0.1 mm out of the cut: the depth shrinks to 1.9 mm and
  // the nose area it gives up comes off the chip thickness. Moved 0.1 mm
  // into it: the depth grows to 2.1 mm and the chip gains.
  for (const double sign : {1.0, -1.0}) {
    ForcePassJob job;
    const double feed = job.params->feed_per_rev;
    const double depth = job.params->depth_of_cut - sign * z;
    job.pass(0, 9, 0, sign * z);
    const double h = job.state->edge_force_x / (depth * kKf);
    if (sign > 0) {
      EXPECT_GT(h, 0.0);
      EXPECT_LT(h, feed);
    } else {
      EXPECT_GT(h, feed);
      EXPECT_LT(h, 2 * feed);
    }
    EXPECT_EQ(job.run->prev_rel_disp_z[9], sign * z);
    // The same axial position a revolution later is no change: one feed
    // again over the same effective depth.
    job.pass(1, 9, 0, sign * z);
    EXPECT_DOUBLE_EQ(job.state->edge_force_x / (depth * kKf), feed) << sign;
  }
  // Beyond the whole depth there is nothing left to cut.
  ForcePassJob job;
  job.pass(0, 9, 0, 2 * job.params->depth_of_cut);
  EXPECT_EQ(job.state->edge_force_x, 0.0);
  EXPECT_EQ(job.state->edge_force_y, 0.0);
}

TEST(ForcePass, SurfaceIndexIsTheGridPositionOfTheStep) {
  const struct {
    int increments, step, index;
  } cases[] = {{1, 0, 0}, {1, 34199, 34199}, {2, 2, 1}, {2, 3, 2}, {4, 5, 1}, {4, 6, 2}};
  Job job;
  for (const auto& c : cases) {
    job.params->angular_increments = c.increments;
    EXPECT_EQ(force_pass_surface_index(job.params, c.step), c.index)
        << c.increments << " increments, step " << c.step;
  }
}

// The chip of a pass with an axial change is, bit for bit, the plain
// evaluation of the correction with force_pass_half_segment: small and
// large changes either way, and changes past the nose depth, whose segment
// of negative height makes the chip not a number (the pass takes it as out
// of the cut, and the chip's bits are still the plain evaluation's).
TEST(ForcePass, TheAxiallyCorrectedChipIsThePlainEvaluationsToTheBit) {
  const double changes[] = {1e-6, -1e-6, 1e-4, -1e-4, 3e-4, -5e-4, 7e-4, -9e-4};  // m
  for (const double dz : changes) {
    ForcePassJob job;
    const SimParams* p = job.params;
    const RunConstants& c = job.run->constants;
    job.pass(0, 9, 0, 0);
    const double x = 2e-6;  // m, relative X displacement of the second pass
    job.pass(1, 9, x, dz);
    const double a = p->depth_of_cut, r = p->nose_radius, nd = c.nose_depth;
    const double e = std::fabs(dz);
    const auto half = [r](double q) { return force_pass_half_segment(r, q); };
    double delta;
    if (dz < 0) {
      const double reach = nd + dz;
      const double a1 = a <= reach ? a : reach;
      double area = std::fabs(half(a1) + half(e) - half(a1 + e));
      if (a > reach) area += std::fabs(c.tan_side_edge * (a - reach) * e);
      delta = -area / a;
    } else {
      const double a2 = a <= nd ? a : nd;
      double area = std::fabs(half(a2 - e) + half(e) - half(a2));
      if (a > nd) area += std::fabs(c.tan_side_edge * ((a - dz) - nd) * e);
      delta = area / (a - e);
    }
    const double chip = (p->feed_per_rev - x - delta) + 0.0;
    EXPECT_EQ(std::bit_cast<uint64_t>(job.state->chip_thickness), std::bit_cast<uint64_t>(chip))
        << "axial change " << dz << ": " << job.state->chip_thickness << " against " << chip;
    EXPECT_EQ(std::isnan(chip), dz == 7e-4 || dz == -9e-4) << dz;
    EXPECT_EQ(job.run->step_left_cut, std::isnan(chip) ? 1 : 0) << dz;
  }
}
