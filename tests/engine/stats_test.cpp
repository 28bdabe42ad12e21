#include "engine/stats.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "model/params.h"
#include "model/state.h"
#include "results/summary.h"
#include "tests/support/records.h"
#include "tests/support/test_support.h"

namespace {

constexpr int kCapacity = 40000;

// A fresh job and state with the extremes reset, as the run leaves them
// before a revolution.
class Stats : public ::testing::Test {
 protected:
  void SetUp() override {
    params_ = test_support::new_params();
    state_ = test_support::new_state(kCapacity);
    state_reset_extremes(state_.get());
  }
  SimParams* job(int units) {
    params_->units = units;
    return params_.get();
  }
  SimState* s() { return state_.get(); }
  // The nine histories in summary order.
  double* hist(int q) {
    double* all[] = {s()->force_hist_x, s()->force_hist_y, s()->force_hist_z,
                     s()->sw_disp_x,    s()->sw_disp_y,    s()->sw_disp_z,
                     s()->tool_disp_x,  s()->tool_disp_y,  s()->tool_disp_z};
    return all[q];
  }
  void fill(int q, double value, int from = 0, int to = kGridSteps) {
    for (int i = from; i < to; ++i) hist(q)[i] = value;
  }

 private:
  test_support::Params params_;
  test_support::State state_;
};

}  // namespace

TEST_F(Stats, ConstantForceGivesItsMeanNoSpreadAndEqualExtremes) {
  fill(0, 2.5);
  s()->force_x = 2.5;
  for (int step = 0; step < kGridSteps; ++step) stats_update_extremes(s(), step);
  stats_revolution_summary(job(1), s(), kGridSteps);
  EXPECT_EQ(s()->force_x_mean, 2.5);
  EXPECT_EQ(s()->force_x_rms, 0.0);
  EXPECT_EQ(s()->force_x_max, 2.5);
  EXPECT_EQ(s()->force_x_min, 2.5);
  // The zero histories give zero ranges too.
  EXPECT_EQ(s()->tool_disp_z_max, 0.0);
  EXPECT_EQ(s()->tool_disp_z_min, 0.0);
}

TEST_F(Stats, EnglishConvertsEachValueBeforeTheSums) {
  fill(0, 4.4482);  // 1 lbf
  fill(4, 0.0254);  // 1 in
  stats_revolution_summary(job(0), s(), kGridSteps);
  EXPECT_EQ(s()->force_x_mean, 1.0);
  EXPECT_EQ(s()->force_x_rms, 0.0);
  EXPECT_EQ(s()->sw_disp_y_mean, 1.0);
  EXPECT_EQ(s()->sw_disp_y_rms, 0.0);
  // Metric keeps newtons and metres (up to the rounding of 34200 additions).
  stats_revolution_summary(job(1), s(), kGridSteps);
  EXPECT_NEAR(s()->force_x_mean, 4.4482, 1e-9);
  EXPECT_NEAR(s()->sw_disp_y_mean, 0.0254, 1e-12);
}

TEST_F(Stats, EachQuantityLandsInItsOwnFields) {
  for (int q = 0; q < 9; ++q) fill(q, 0.5 * (q + 1));
  hist(8)[7] = 100.0;  // only the tool's Z spreads
  stats_revolution_summary(job(1), s(), kGridSteps);
  const double means[] = {s()->force_x_mean,     s()->force_y_mean,     s()->force_z_mean,
                          s()->sw_disp_x_mean,   s()->sw_disp_y_mean,   s()->sw_disp_z_mean,
                          s()->tool_disp_x_mean, s()->tool_disp_y_mean, s()->tool_disp_z_mean};
  const double rms[] = {s()->force_x_rms,     s()->force_y_rms,     s()->force_z_rms,
                        s()->sw_disp_x_rms,   s()->sw_disp_y_rms,   s()->sw_disp_z_rms,
                        s()->tool_disp_x_rms, s()->tool_disp_y_rms, s()->tool_disp_z_rms};
  for (int q = 0; q < 8; ++q) {
    EXPECT_EQ(means[q], 0.5 * (q + 1)) << q;
    EXPECT_EQ(rms[q], 0.0) << q;
  }
  EXPECT_GT(rms[8], 0.5);
}

TEST_F(Stats, RmsIsTheDeviationFromTheMean) {
  // 13 and 7 alternate: mean 10, deviation 3 (the raw RMS would be about 10.44).
  for (int i = 0; i < kGridSteps; ++i) hist(7)[i] = i % 2 == 0 ? 13.0 : 7.0;
  stats_revolution_summary(job(1), s(), kGridSteps);
  EXPECT_EQ(s()->tool_disp_y_mean, 10.0);
  EXPECT_EQ(s()->tool_disp_y_rms, 3.0);
}

TEST_F(Stats, SumsRunOverTheFirstNEntriesInIndexOrder) {
  // Half a revolution of 2 N and unwritten zeros behind it; what lies at n
  // and beyond belongs to later revolutions.
  fill(1, 2.0, 0, kGridSteps / 2);
  fill(1, 1000.0, kGridSteps, kCapacity);
  // 1e17 first: every following 1.0 is lost in the running sum, which an
  // order other than 0, 1, 2, ... (or a compensated sum) would keep.
  hist(3)[0] = 1e17;
  fill(3, 1.0, 1, kGridSteps);
  stats_revolution_summary(job(1), s(), kGridSteps);
  EXPECT_EQ(s()->force_y_mean, 1.0);
  EXPECT_EQ(s()->force_y_rms, 1.0);
  EXPECT_EQ(s()->sw_disp_x_mean, 1e17 / kGridSteps);
}

TEST_F(Stats, ExtremeComparisonsAreStrict) {
  s()->force_z = 0.0;
  stats_update_extremes(s(), 0);
  s()->force_z = -0.0;  // equal to 0.0: neither extreme takes it
  stats_update_extremes(s(), 1);
  EXPECT_FALSE(std::signbit(s()->force_z_max));
  EXPECT_FALSE(std::signbit(s()->force_z_min));
  s()->force_z = 3.0;
  stats_update_extremes(s(), 2);
  s()->force_z = -4.0;
  stats_update_extremes(s(), 3);
  EXPECT_EQ(s()->force_z_max, 3.0);
  EXPECT_EQ(s()->force_z_min, -4.0);
}

TEST_F(Stats, ExtremesReadTheStepsDisplacements) {
  s()->sw_disp_x[5] = 2e-6;
  s()->tool_disp_z[5] = -3e-6;
  s()->tool_disp_x[6] = 1e-6;
  stats_update_extremes(s(), 5);
  stats_update_extremes(s(), 6);
  EXPECT_EQ(s()->sw_disp_x_max, 2e-6);
  EXPECT_EQ(s()->sw_disp_x_min, 0.0);
  EXPECT_EQ(s()->tool_disp_z_min, -3e-6);
  EXPECT_EQ(s()->tool_disp_z_max, 0.0);
  EXPECT_EQ(s()->tool_disp_x_max, 1e-6);
  EXPECT_EQ(s()->tool_disp_x_min, 0.0);
}

TEST_F(Stats, NanReachesTheMinimumOnly) {
  s()->force_x = 1.0;
  stats_update_extremes(s(), 0);
  s()->force_x = std::numeric_limits<double>::quiet_NaN();
  stats_update_extremes(s(), 1);
  EXPECT_EQ(s()->force_x_max, 1.0);
  EXPECT_TRUE(std::isnan(s()->force_x_min));
}

TEST_F(Stats, RevolutionWithoutStepsKeepsTheResetExtremes) {
  stats_revolution_summary(job(0), s(), kGridSteps);
  EXPECT_EQ(s()->force_x_max, -3.4028234663852886e38);
  EXPECT_EQ(s()->force_y_min, 3.4028234663852886e38);
  EXPECT_EQ(s()->sw_disp_z_max, -3.4028234663852886e38);
  EXPECT_EQ(s()->tool_disp_x_min, 3.4028234663852886e38);
  EXPECT_EQ(s()->tool_disp_z_max, -3.4028234663852886e38);
  EXPECT_EQ(s()->force_z_mean, 0.0);
}

TEST_F(Stats, CountsOutsideTheHistoriesKeepThePreviousSummary) {
  fill(0, 2.5);
  stats_revolution_summary(job(1), s(), kGridSteps);
  stats_revolution_summary(job(1), s(), 0);
  stats_revolution_summary(job(1), s(), kCapacity + 1);
  EXPECT_EQ(s()->force_x_mean, 2.5);
  stats_update_extremes(s(), -1);
  stats_update_extremes(s(), kCapacity);
  EXPECT_EQ(s()->force_x_max, -3.4028234663852886e38);
}

TEST_F(Stats, EnglishRmsLineOfASwingingForce) {
  // Force X swings between -22.241 N and 22.241 N (±5 lbf) every step.
  for (int step = 0; step < kGridSteps; ++step) {
    s()->force_x = step % 2 == 0 ? 22.241 : -22.241;
    s()->force_hist_x[step] = s()->force_x;
    stats_update_extremes(s(), step);
  }
  stats_revolution_summary(job(0), s(), kGridSteps);
  test_support::ScratchDir dir;
  const std::string path = dir.file("cut.rms");
  FILE* out = std::fopen(path.c_str(), "w");
  ASSERT_NE(out, nullptr);
  summary_write_rms(out, s(), 0);
  summary_write_ave(out, s());
  std::fclose(out);
  EXPECT_EQ(test_support::read_file(path),
            "10.000000 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000 "
            "5.000000 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000\n"
            "0.000000 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000\n");
}
