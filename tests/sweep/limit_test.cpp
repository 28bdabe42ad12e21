// The analytic stability limit: a single mode against the textbook minimum
// 2 k zeta (1 + zeta) / Ks and its lobe speeds, the directional coefficient
// from the force model, and both structures adding to the relative compliance.
#include "sweep/limit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "tests/sweep/sweep_support.h"

using test_support::ScratchDir;
using test_support::write_file;

namespace {

using Model = std::unique_ptr<LimitModel, void (*)(LimitModel*)>;

Model load(const std::string& job, const std::string& database) {
  std::string error;
  Model m(limit_create(job.c_str(), database.c_str(), &error), limit_free);
  EXPECT_TRUE(m) << error;
  return m;
}

Model validation_model() {
  const std::string dir = std::string(CORVANEL_SOURCE_DIR) + "/examples/validation/";
  return load(dir + "validation.in", dir + "kfkncfa.db");
}

constexpr double kPi = 3.141592653589793;
constexpr double kStiffness = 2.26e8, kZeta = 0.012, kKs = 1e9;  // N/m, -, Pa

}  // namespace

TEST(Limit, SingleToolModeReachesTheTextbookMinimumAtTheLobeBottoms) {
  const Model m = validation_model();
  ASSERT_TRUE(m);
  EXPECT_NEAR(limit_directional_coefficient(m.get(), 6000, 5e-3) / kKs, 1, 1e-12);
  const double textbook = 2 * kStiffness * kZeta * (1 + kZeta) / kKs;  // 5.489 mm
  const auto bottoms = limit_bottoms(m.get(), 3500, 9000);
  ASSERT_EQ(bottoms.size(), 3u);
  const double speeds[] = {8664, 5516, 4046};  // rpm, lobes 1, 2 and 3
  for (int j = 0; j < 3; ++j) {
    EXPECT_EQ(bottoms[j].lobe, j + 1);
    EXPECT_NEAR(bottoms[j].rpm, speeds[j], 2) << j;
    // The one-step modal delay shifts the phase by well under a milliradian.
    EXPECT_NEAR(bottoms[j].depth / textbook, 1, 1e-3) << j;
    // Chatter a little above the natural frequency, where Re G is lowest.
    EXPECT_NEAR(bottoms[j].chatter_freq / (2 * kPi * 250), std::sqrt(1 + 2 * kZeta), 2e-3);
    const LimitPoint p = limit_at_speed(m.get(), bottoms[j].rpm);
    EXPECT_NEAR(p.depth / bottoms[j].depth, 1, 1e-6);
    EXPECT_EQ(p.lobe, j + 1);
  }
  // Between two lobes the limit rises well above the bottoms.
  EXPECT_GT(limit_at_speed(m.get(), 7000).depth, 3 * textbook);
}

TEST(Limit, LobeSpeedsFollowThePhaseOfTheFrf) {
  const Model m = validation_model();
  ASSERT_TRUE(m);
  // At resonance G = -i / (2 k zeta): phase -90 degrees, so eps = 2 pi and
  // lobe j is j + 1 whole waves a revolution.
  const double wn = 2 * kPi * 250;
  const std::complex<double> g(0, -1 / (2 * kStiffness * kZeta));
  for (int j = 0; j < 4; ++j) EXPECT_NEAR(limit_lobe_speed(g, wn, j), 60 * 250.0 / (j + 1), 1e-9);
  // The model's FRF: static compliance 1/k, and -i/(2 k zeta) at resonance
  // behind the phase of the one-step modal delay.
  EXPECT_NEAR(std::real(limit_frf(m.get(), 1e-3, 6000)) * kStiffness, 1, 1e-9);
  ASSERT_EQ(m->modes.size(), 1u);
  const double w = m->modes[0].natural_freq;  // 250 Hz but for the mass's six decimals
  EXPECT_NEAR(w / wn, 1, 1e-9);
  const std::complex<double> at_wn = limit_frf(m.get(), w, 6000) * (2 * kStiffness * kZeta);
  const double step_phase = w * 60 / (34200 * 6000.0);
  EXPECT_NEAR(std::abs(at_wn), 1, 1e-9);
  EXPECT_NEAR(std::arg(at_wn), -kPi / 2 - step_phase, 1e-9);
}

TEST(Limit, DirectionalCoefficientIsTheXForceOfTheNominalChip) {
  ScratchDir dir;
  // Inclination 5, rake 6, side cutting edge 15 degrees; Kf 1e9 Pa, Kn 2e9 Pa,
  // chip flow angle 10 degrees: the nominal chip of 0.2 x 2 mm pushes 298.6097 N along X.
  write_file(dir.file("job.in"),
             "Angles\nT\n1\n1000\n0.2\n2\n0\n5\n6\n15\n50\n0.8\nSTEEL\nCARB\n0\n"
             "0\n0\n0\n1\n1\n0.05\n1000\n0\n0\n0\n2\n0\n1\n");
  write_file(dir.file("db"),
             "STEEL           CARB                             15 145037.78596918963 0 0 "
             "290075.57193837926 0 0 10 0 0\n");
  const Model m = load(dir.file("job.in"), dir.file("db"));
  ASSERT_TRUE(m);
  EXPECT_TRUE(limit_has_coefficients(m.get()));
  EXPECT_NEAR(limit_nominal_force(m.get(), 1000, 2e-3), 298.6097, 1e-4);
  EXPECT_NEAR(limit_directional_coefficient(m.get(), 3000, 2e-3) * 0.4e-6, 298.6097, 1e-4);
}

TEST(Limit, AWorkpieceModeGivesTheSameLimitAsTheSameToolMode) {
  // Both compliances add in the relative motion, so the validation case's
  // tool mode typed into the spindle-workpiece block has the same lobes.
  ScratchDir dir;
  const std::string head =
      "Spindle\nT\n1\n6000\n0.1\n5\n0\n0\n0\n0\n50\n0.8\nSWEEPSTEEL\nSWEEPTOOL\n0\n";
  const std::string mode = "1\n91.594350\n0.012\n226000\n0\n0\n0\n";
  write_file(dir.file("sw.in"), head + mode + "0\n0\n0\n20\n2\n1\n");
  write_file(dir.file("tool.in"), head + "0\n0\n0\n" + mode + "20\n2\n1\n");
  write_file(dir.file("db"), sweep_test::kCoefficientDb);
  const Model sw = load(dir.file("sw.in"), dir.file("db"));
  const Model tool = load(dir.file("tool.in"), dir.file("db"));
  ASSERT_TRUE(sw && tool);
  const auto sw_bottoms = limit_bottoms(sw.get(), 3500, 9000);
  const auto tool_bottoms = limit_bottoms(tool.get(), 3500, 9000);
  ASSERT_EQ(sw_bottoms.size(), 3u);
  ASSERT_EQ(tool_bottoms.size(), 3u);
  for (size_t j = 0; j < 3; ++j) {
    EXPECT_EQ(sw_bottoms[j].rpm, tool_bottoms[j].rpm) << j;
    EXPECT_EQ(sw_bottoms[j].depth, tool_bottoms[j].depth) << j;
    EXPECT_NEAR(sw_bottoms[j].depth / (2 * kStiffness * kZeta * (1 + kZeta) / kKs), 1, 1e-3);
    EXPECT_GT(sw_bottoms[j].chatter_freq, 2 * kPi * 250);  // above resonance, as for the tool
  }
  for (double rpm : {4000.0, 6100.0, 7700.0}) {
    EXPECT_EQ(limit_at_speed(sw.get(), rpm).depth, limit_at_speed(tool.get(), rpm).depth) << rpm;
  }
}

TEST(Limit, WithoutModesOrCoefficientsThereIsNoLimit) {
  ScratchDir dir;
  write_file(dir.file("job.in"),
             "Rigid\nT\n1\n1000\n0.1\n2\n0\n0\n0\n0\n50\n0.8\nSWEEPSTEEL\n"
             "SWEEPTOOL\n0\n0\n0\n0\n0\n0\n0\n2\n0\n1\n");
  write_file(dir.file("db"), sweep_test::kCoefficientDb);
  const Model rigid = load(dir.file("job.in"), dir.file("db"));
  ASSERT_TRUE(rigid);
  EXPECT_TRUE(std::isinf(limit_at_speed(rigid.get(), 5000).depth));
  EXPECT_TRUE(limit_bottoms(rigid.get(), 1000, 9000).empty());
  write_file(dir.file("other"),
             "OTHER           TOOL                              0 1 0 0 1 0 0 0 0 0\n");
  const std::string job = std::string(CORVANEL_SOURCE_DIR) + "/examples/validation/validation.in";
  const Model bare = load(job, dir.file("other"));
  ASSERT_TRUE(bare);
  EXPECT_FALSE(limit_has_coefficients(bare.get()));
  EXPECT_TRUE(std::isinf(limit_at_speed(bare.get(), 5000).depth));
  std::string error;
  EXPECT_EQ(limit_create(job.c_str(), dir.file("missing").c_str(), &error), nullptr);
  EXPECT_NE(error.find("cannot read the coefficient database"), std::string::npos) << error;
}
