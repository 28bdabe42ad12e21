// The stability limit of the validation case drawn from fitted modes: the
// tool's measured FRF is synthesised from its exact mode with noise, fitted,
// and the lobe bottoms from the fitted mode must fall within 2 % of those
// from the exact mode, in depth and in speed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <numbers>

#include "frf/fit.h"
#include "frf/synth.h"
#include "sweep/limit.h"

TEST(FitLobes, BottomsFromFittedModesMatchTheExactOnesWithinTwoPercent) {
  const std::string dir = std::string(CORVANEL_SOURCE_DIR) + "/examples/validation/";
  std::string error;
  std::unique_ptr<LimitModel, void (*)(LimitModel*)> model(
      limit_create((dir + "validation.in").c_str(), (dir + "kfkncfa.db").c_str(), &error),
      limit_free);
  ASSERT_TRUE(model) << error;
  ASSERT_EQ(model->modes.size(), 1u);
  const LimitMode exact = model->modes[0];
  const std::vector<LimitBottom> truth = limit_bottoms(model.get(), 3500, 9000);
  ASSERT_EQ(truth.size(), 3u);

  const double wn = exact.natural_freq;
  const SynthMode mode{wn / (2 * std::numbers::pi), exact.decay_rate / wn, exact.mass * wn * wn};
  double worst_depth = 0, worst_rpm = 0;
  for (unsigned seed = 1; seed <= 5; ++seed) {
    const FrfData frf = synth_frf({mode}, 100, 500, 0.25, 0.02, 0.005, seed);
    FitResult fit{};
    ASSERT_EQ(fit_modes({frf}, {150, 400, 2, 16, 5}, &fit, &error), 1) << error;
    ASSERT_EQ(fit.modes.size(), 1u);
    model->modes.clear();
    for (const FittedMode& m : fit.modes) {
      const double w = 2 * std::numbers::pi * m.natural_freq;
      model->modes.push_back({m.mass, m.damping_ratio * w, w, w * w, exact.modal_angle});
    }
    const std::vector<LimitBottom> fitted = limit_bottoms(model.get(), 3500, 9000);
    ASSERT_EQ(fitted.size(), 3u) << "seed " << seed;
    for (size_t j = 0; j < 3; ++j) {
      EXPECT_EQ(fitted[j].lobe, truth[j].lobe);
      const double depth = std::abs(fitted[j].depth / truth[j].depth - 1);
      const double rpm = std::abs(fitted[j].rpm / truth[j].rpm - 1);
      EXPECT_LT(depth, 0.02) << "seed " << seed << ", lobe " << truth[j].lobe;
      EXPECT_LT(rpm, 0.02) << "seed " << seed << ", lobe " << truth[j].lobe;
      worst_depth = std::max(worst_depth, depth);
      worst_rpm = std::max(worst_rpm, rpm);
    }
  }
  std::printf(
      "validation case, lobe bottoms from fitted modes over 5 seeds: largest depth error %.3f %%, "
      "largest speed error %.4f %%\n",
      100 * worst_depth, 100 * worst_rpm);
}
