// The run's verdict: the growth rate of the relative X vibration with the
// force scatter taken out, the rules that decide, the scatter's own
// vibration, and the dominant frequency of a vibration signal.
#include "engine/verdict.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "engine/modal_params.h"
#include "engine/modal_response.h"
#include "engine/spectrum.h"
#include "model/params.h"
#include "model/state.h"
#include "tests/support/records.h"

namespace {

std::vector<double> geometric(double first, double ratio, int count) {
  std::vector<double> v;
  for (int i = 0; i < count; ++i) v.push_back(first * std::pow(ratio, i));
  return v;
}

}  // namespace

TEST(VerdictGrowth, IsTheSlopeOfTheLogVibrationWithTheScatterTakenOut) {
  // Without scatter: ln of a geometric sequence is a line of slope ln(ratio).
  const VerdictGrowth g = verdict_growth(geometric(1e-6, 1.05, 12), 0.0);
  EXPECT_NEAR(g.rate, std::log(1.05), 1e-12);
  EXPECT_NEAR(g.rate_sd, 0.0, 1e-12);
  // A decay riding on the scatter's floor: sqrt(floor^2 + decay^2) recovers the decay.
  std::vector<double> v;
  const double floor = 2e-7;
  for (double d : geometric(1e-6, 0.9, 10)) v.push_back(std::hypot(floor, d));
  EXPECT_NEAR(verdict_growth(v, floor).rate, std::log(0.9), 1e-9);
  // Vibration inside the floor counts as a fifth of it: flat, rate 0.
  EXPECT_EQ(verdict_growth({1e-7, 1.5e-7, 0.5e-7, 2e-7}, floor).rate, 0.0);
  EXPECT_TRUE(std::isnan(verdict_growth({1e-6}, 0.0).rate));
  EXPECT_TRUE(std::isnan(verdict_growth({1e-6, 2e-6}, 0.0).rate_sd));
}

TEST(VerdictDecide, EachRuleDecidesItsCase) {
  std::vector<double> beat;  // flat with an alternating beat: no trend
  for (int i = 0; i < 12; ++i) beat.push_back(i % 2 ? 1.1e-6 : 0.9e-6);
  struct Case {
    const char* name;
    std::vector<double> vibration;
    int left_cut;
    VerdictClass expected;
  } cases[] = {
      {"grows", geometric(1e-6, 1.03, 15), 0, VERDICT_CHATTER},
      {"decays", geometric(1e-6, 0.97, 15), 0, VERDICT_STABLE},
      {"left the cut", geometric(1e-6, 0.97, 15), 1, VERDICT_TOOL_LEFT_CUT},
      {"inside the scatter", geometric(1e-8, 1.1, 5), 0, VERDICT_STABLE},
      {"no trend", beat, 0, VERDICT_UNDECIDED},
      {"two revolutions", {1e-6, 2e-6}, 0, VERDICT_UNDECIDED},
      {"none recorded", {}, 0, VERDICT_UNDECIDED},
  };
  for (const Case& c : cases) {
    const Verdict v = verdict_decide(c.vibration, 1e-8, c.left_cut);
    EXPECT_EQ(v.cls, c.expected) << c.name << ": " << v.rule;
    EXPECT_NE(std::string(v.rule), "") << c.name;
  }
  EXPECT_STREQ(verdict_name(VERDICT_TOOL_LEFT_CUT), "tool-left-cut");
}

TEST(VerdictScatterFloor, MatchesTheVibrationThatRandomForcesKeepUp) {
  // One stiff, well damped tool X mode driven by the engine's integration
  // with uniform random forces of +-3 % of 1000 N: the RMS displacement
  // about its mean is the floor.
  const test_support::Params job = test_support::new_params();
  const test_support::State state = test_support::new_state();
  SimParams* p = job.get();
  SimState* s = state.get();
  p->process = 'T';
  p->spindle_rpm = 1000.0;
  s->steps_per_rev = kGridSteps;
  test_support::set_modes(&p->tool_modes, 'x', {{1.0, 0.3, 1e8, 0.0}});
  modal_prepare(p, s);
  const double floor = verdict_scatter_floor(p, s, 1000.0);
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> scatter(-30.0, 30.0);
  double sum = 0, sum_sq = 0;
  int count = 0;
  for (int r = 0; r < 4; ++r) {
    s->revolution = r;
    for (int k = 0; k < kGridSteps; ++k) {
      s->force_x = 1000.0 + scatter(random);
      modal_respond(p, s, k);
      if (r > 0) {
        const double x = s->tool_disp_x[k + 1];
        sum += x;
        sum_sq += x * x;
        ++count;
      }
    }
    std::copy(s->tool_disp_x + kGridSteps, s->tool_disp_x + kHistoryCapacity, s->tool_disp_x);
    std::copy(s->rel_disp_x + kGridSteps, s->rel_disp_x + kHistoryCapacity, s->rel_disp_x);
  }
  const double mean = sum / count;
  const double rms = std::sqrt(sum_sq / count - mean * mean);
  EXPECT_NEAR(mean / 1e-5, 1.0, 1e-3);  // the static deflection F / k
  EXPECT_NEAR(rms / floor, 1.0, 0.1);
}

TEST(Spectrum, FindsTheFrequencyAndAmplitudeOfTheDominantSinusoid) {
  // 0.2 s of a 634.3 Hz vibration of 1 um on a drifting static deflection,
  // sampled at 20 kHz, with a weaker 2757 Hz component and noise.
  const double dt = 5e-5;
  std::vector<double> x;
  std::mt19937_64 random(3);
  std::normal_distribution<double> noise(0.0, 5e-8);
  for (int i = 0; i < 4000; ++i) {
    const double t = i * dt;
    x.push_back(2e-5 + 3e-6 * t + 1e-6 * std::sin(6.283185307179586 * 634.3 * t) +
                3e-7 * std::sin(6.283185307179586 * 2757 * t) + noise(random));
  }
  const SpectrumPeak peak = spectrum_dominant(x, dt);
  EXPECT_DOUBLE_EQ(peak.resolution, 5.0);
  EXPECT_NEAR(peak.frequency, 634.3, peak.resolution / 2);
  EXPECT_NEAR(peak.amplitude / 1e-6, 1.0, 0.2);
  std::vector<double> amplitudes;
  double resolution = 0;
  EXPECT_EQ(spectrum_amplitudes({1.0, 2.0}, dt, &amplitudes, &resolution), 0);
  EXPECT_EQ(spectrum_dominant(std::vector<double>(100, 1.0), dt).frequency, 0.0);
}

TEST(VerdictSettled, StopsOnlyWhenTheVerdictCanNoLongerChange) {
  const double floor = 1e-8, contact = verdict_contact_vibration(1e-4);  // feed 0.1 mm
  std::vector<double> beat;  // flat with an alternating beat: no trend
  for (int i = 0; i < 8; ++i) beat.push_back(i % 2 ? 1.1e-6 : 0.9e-6);
  std::vector<double> slow;  // grows 1 % a revolution: too little over 3 revolutions
  for (double v : geometric(1e-6, 1.01, 8)) slow.push_back(v);
  struct Case {
    const char* name;
    std::vector<double> vibration;
    int left_cut, left;
    VerdictStop expected;
  } cases[] = {
      {"left the cut in the first recorded revolution", {1e-6}, 1, 10, VERDICT_STOP_LEFT_CUT},
      {"grows 5 % a revolution, far from contact", geometric(1e-6, 1.05, 6), 0, 10,
       VERDICT_STOP_GROWN},
      // 1e-6 * 1.05^5 * 1.05^60 = 2.4e-5 m, over half the 3.5e-5 m of losing contact.
      {"grows 5 % a revolution, may yet leave the cut", geometric(1e-6, 1.05, 6), 0, 60,
       VERDICT_GOES_ON},
      {"grows too little over the span", slow, 0, 10, VERDICT_GOES_ON},
      {"decays 5 % a revolution", geometric(1e-6, 0.95, 6), 0, 10, VERDICT_STOP_DECAYED},
      {"decayed into the scatter", geometric(1e-7, 0.5, 6), 0, 10, VERDICT_STOP_DECAYED},
      {"no trend", beat, 0, 10, VERDICT_GOES_ON},
      {"three revolutions only", geometric(1e-6, 1.2, 3), 0, 10, VERDICT_GOES_ON},
      {"the last revolution: the run ends by itself", geometric(1e-6, 1.2, 8), 0, 0,
       VERDICT_GOES_ON},
  };
  for (const Case& c : cases) {
    const VerdictStop stop = verdict_settled(c.vibration, floor, c.left_cut, c.left, contact);
    EXPECT_EQ(stop, c.expected) << c.name;
    // A stop never contradicts the verdict of the revolutions so far.
    const VerdictClass now = verdict_decide(c.vibration, floor, c.left_cut).cls;
    if (stop == VERDICT_STOP_GROWN) {
      EXPECT_EQ(now, VERDICT_CHATTER) << c.name;
    }
    if (stop == VERDICT_STOP_DECAYED) {
      EXPECT_EQ(now, VERDICT_STABLE) << c.name;
    }
  }
  EXPECT_NEAR(contact, 1e-4 / std::sqrt(8.0), 1e-18);
  EXPECT_STREQ(verdict_stop_name(VERDICT_STOP_GROWN), "grown");
  EXPECT_STREQ(verdict_stop_name(VERDICT_GOES_ON), "none");
}
