// The invariant of the intake, tried on random jobs: every job the program
// accepts writes only finite numbers into its result files. Jobs are drawn
// across the whole range the intake accepts (both unit systems, both
// calculation types, modes in every direction, increments from 1 to 34200,
// feeds and depths from zero to their limits, edge angles up to +-89
// degrees, runs up to the last revolution before the centre), written as job
// files and run through the program's driver in batch mode.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "app/app.h"
#include "app/jobfile.h"
#include "engine/run.h"
#include "tests/support/records.h"
#include "tests/support/test_support.h"

using test_support::ScratchDir;
using test_support::WorkingDir;
using test_support::write_file;

namespace {

// A real pair's wear constants (a break-in that settles); its coefficient
// rows (thickness exponents below zero) are written at every edge angle.
const char kWear[] =
    "STEEL CARB 3.0e4 0.05 -0.02 2.72e-12 3.0 0.4 1.32 0.0 0.2 0.634 0.0 0.2 1.32 0.0 0.2\n";

class Draw {
 public:
  explicit Draw(unsigned seed) : engine_(seed) {}
  double uniform(double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(engine_);
  }
  double log_uniform(double low, double high) {
    return std::exp(uniform(std::log(low), std::log(high)));
  }
  int integer(int low, int high) { return std::uniform_int_distribution<int>(low, high)(engine_); }
  bool chance(double p) { return uniform(0, 1) < p; }

 private:
  std::mt19937 engine_;
};

void draw_modes(Draw& d, ModalMode** modes, int32_t* count) {
  const int n = d.chance(0.4) ? 0 : d.integer(1, 2);
  params_resize_modes(modes, count, n);
  for (int i = 0; i < n; ++i) {
    (*modes)[i] = {d.log_uniform(0.05, 50), d.uniform(0.005, 0.3), d.log_uniform(1e3, 1e6),
                   d.uniform(-180, 180)};
  }
}

void draw_set(Draw& d, ModalSet* set) {
  draw_modes(d, &set->x_modes, &set->x_count);
  draw_modes(d, &set->y_modes, &set->y_count);
  draw_modes(d, &set->z_modes, &set->z_count);
}

// A job inside the intake's ranges; lengths drawn in mm and stated in the
// job's unit system.
void draw_job(Draw& d, SimParams* p) {
  std::snprintf(p->title, sizeof p->title, "%s", "Drawn");
  std::snprintf(p->workpiece_material, sizeof p->workpiece_material, "%s", "STEEL");
  std::snprintf(p->insert_material, sizeof p->insert_material, "%s", "CARB");
  p->process = 'T';
  p->units = d.integer(0, 1);
  const double unit = p->units != 0 ? 1.0 : 25.4;  // mm per entered length unit
  p->calc_type = d.integer(0, 1);
  p->spindle_rpm = d.log_uniform(1, 1e5);
  const double nose = d.log_uniform(0.05, 50);
  p->nose_radius = nose / unit;
  const double feed_pick = d.uniform(0, 1);
  p->feed_per_rev = feed_pick < 0.1   ? 0
                    : feed_pick < 0.2 ? 2 * p->nose_radius
                                      : d.uniform(0, 2 * nose) / unit;
  p->depth_of_cut = d.chance(0.1) ? 0 : d.log_uniform(0.001, 100) / unit;
  p->initial_wear = d.chance(0.5) ? 0 : d.uniform(0, 1) / unit;
  p->inclination_angle = d.uniform(-180, 180);
  p->normal_rake_angle = d.uniform(-180, 180);
  p->side_cutting_edge_angle = d.chance(0.2) ? (d.chance(0.5) ? 89 : -89) : d.integer(-89, 89);
  p->workpiece_radius = d.log_uniform(0.5, 5000) / unit;
  draw_set(d, &p->spindle_modes);
  draw_set(d, &p->tool_modes);
  // Short runs: at most about 3000 steps, a few of them at full resolution.
  p->revs_total = d.integer(1, 3);
  const int fewest = 34200 * p->revs_total / 3000 + 1;
  p->angular_increments = d.chance(0.02) ? 1 : d.integer(fewest, 34200);
  p->revs_skipped = d.integer(0, p->revs_total);
  // Now and then a workpiece small enough that the run ends just short of the centre.
  long long fits = 0;
  long long centre = 0;
  if (d.chance(0.1) && intake_travel(p, 34200 / p->angular_increments, &fits, &centre) &&
      fits >= 1 && fits < p->revs_total) {
    p->revs_total = static_cast<int>(fits);
  }
}

}  // namespace

TEST(Invariant, AcceptedRandomJobsWriteOnlyFiniteNumbers) {
  ScratchDir dir;
  WorkingDir here(dir.path());
  write_file("wear.db", kWear);
  write_file("kfkncfa.db", test_support::steel_rows_at_every_angle(
                               "53100 -0.35 -0.12 142500 -0.25 -0.07 18.0 0.0 0.0"));
  Draw d(20261208);
  int accepted = 0;
  int finished = 0;
  int refused = 0;
  int stopped = 0;
  for (int i = 0; i < 600 && accepted < 250; ++i) {
    const test_support::Params drawn = test_support::new_params();
    draw_job(d, drawn.get());
    ASSERT_EQ(jobfile_write(drawn.get(), "job.in"), 1);
    // The job as the program reads it (numbers to six decimals).
    const test_support::Params read = test_support::new_params();
    ASSERT_EQ(jobfile_read(read.get(), "job.in"), 1);
    std::string error;
    const bool ok = sim_check_job(read.get(), "./job", &error) == 1;
    if (!ok) {
      // Mostly a mode whose decay over a long step leaves the doubles (slow
      // spindles, coarse increments); now and then a feed that six decimals
      // take past the nose diameter.
      ++refused;
      continue;
    }
    ++accepted;
    std::fflush(stdout);
    const int result = app_run("job", ".", nullptr);
    const std::string fault = test_support::non_finite_result("job");
    EXPECT_EQ(fault, "") << "job " << i << "\n" << test_support::read_file("job.in");
    if (result == 1) {
      ++finished;
    } else {
      ++stopped;
      if (std::getenv("CORVANEL_KEEP_STOPPED") != nullptr) {
        write_file(std::string(std::getenv("CORVANEL_KEEP_STOPPED")) + "/stopped" +
                       std::to_string(i) + ".in",
                   test_support::read_file("job.in"));
      }
    }
  }
  std::printf("%d accepted (%d finished, %d stopped at a runaway), %d refused\n", accepted,
              finished, stopped, refused);
  EXPECT_EQ(accepted, 250);
  // A runaway (process damping at a crawling cutting speed, chatter over
  // long steps) is stopped by the run's guard; it stays the exception.
  EXPECT_GT(finished, accepted * 9 / 10);
}
