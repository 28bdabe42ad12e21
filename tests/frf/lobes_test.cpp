// The stability limit from FRFs: the sweep's limit taken from a sampled
// receptance and from fitted modes, against the validation case's exact
// mode (k = 2.26e8 N/m, zeta = 0.012, fn = 250 Hz) at its three lobe bottoms.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "frf/fit.h"
#include "frf/synth.h"
#include "sweep/limit.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;
const std::vector<SynthMode> kValidationMode = {{250.0, 0.012, 2.26e8}};

using Model = std::unique_ptr<LimitModel, void (*)(LimitModel*)>;

Model validation_model() {
  const std::string dir = std::string(CORVANEL_SOURCE_DIR) + "/examples/validation/";
  std::string error;
  Model m(limit_create((dir + "validation.in").c_str(), (dir + "kfkncfa.db").c_str(), &error),
          limit_free);
  EXPECT_TRUE(m) << error;
  return m;
}

TEST(FrfLobes, FittedModesGiveTheExactLobeBottomsWithinTwoPercent) {
  const Model m = validation_model();
  ASSERT_TRUE(m);
  const std::vector<LimitBottom> exact = limit_bottoms(m.get(), 3500, 9000);
  ASSERT_EQ(exact.size(), 3u);
  double worst = 0.0;
  for (unsigned seed = 1; seed <= 5; ++seed) {
    const FrfData frf = synth_frf(kValidationMode, 50.0, 1000.0, 0.25, 0.02, 0.005, seed);
    FitResult fit;
    std::string error;
    ASSERT_TRUE(fit_modes({frf}, FitOptions{0, 0, 0, 0, 5}, &fit, &error)) << error;
    std::vector<ModalMode> modes;
    for (const FittedMode& f : fit.modes)
      modes.push_back({f.mass, f.damping_ratio, f.stiffness, 0.0});
    limit_use_modes(m.get(), modes);
    const std::vector<LimitBottom> got = limit_bottoms(m.get(), 3500, 9000);
    ASSERT_EQ(got.size(), 3u) << "seed " << seed;
    for (size_t j = 0; j < 3; ++j) {
      EXPECT_EQ(got[j].lobe, exact[j].lobe);
      const double depth = got[j].depth / exact[j].depth - 1.0;
      EXPECT_NEAR(depth, 0.0, 0.02) << "seed " << seed << " lobe " << exact[j].lobe;
      EXPECT_NEAR(got[j].rpm / exact[j].rpm, 1.0, 0.005) << "seed " << seed;
      worst = std::max(worst, std::fabs(depth));
    }
  }
  std::printf("lobe bottoms from fitted modes: largest depth difference %.3f %% over 5 seeds\n",
              100.0 * worst);
}

TEST(FrfLobes, ASampledReceptanceGivesTheLimitOfItsModes) {
  const Model m = validation_model();
  ASSERT_TRUE(m);
  const std::vector<LimitBottom> exact = limit_bottoms(m.get(), 3500, 9000);
  const LimitPoint exact_at = limit_at_speed(m.get(), 6100);
  // The noiseless receptance every 0.25 Hz, as a measurement would sample it.
  const FrfData frf = synth_frf(kValidationMode, 50.0, 1000.0, 0.25, 0.0, 0.0, 1);
  std::vector<double> omega;
  for (double f : frf.freq) omega.push_back(kTwoPi * f);
  std::string error;
  ASSERT_TRUE(limit_use_table(m.get(), omega, frf.value, &error)) << error;
  const std::vector<LimitBottom> got = limit_bottoms(m.get(), 3500, 9000);
  ASSERT_EQ(got.size(), 3u);
  for (size_t j = 0; j < 3; ++j) {
    EXPECT_NEAR(got[j].depth / exact[j].depth, 1.0, 2e-3) << j;
    EXPECT_NEAR(got[j].rpm / exact[j].rpm, 1.0, 1e-3) << j;
  }
  EXPECT_NEAR(limit_at_speed(m.get(), 6100).depth / exact_at.depth, 1.0, 2e-3);
  // A table that is not increasing, or too short, is refused.
  EXPECT_FALSE(limit_use_table(m.get(), {10.0, 10.0}, {1.0, 1.0}, &error));
  EXPECT_FALSE(limit_use_table(m.get(), {10.0}, {1.0}, &error));
}

}  // namespace
