// The run summary's verdict and frequency on the validation case, against
// the classical analytic limit: stable below the lobe bottom, chatter above
// it at the chatter frequency of the theory, the tool leaving the cut far above.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "sweep/limit.h"
#include "tests/sweep/sweep_support.h"

using test_support::read_file;
using test_support::run_command;
using test_support::ScratchDir;
using test_support::write_file;

namespace {

const std::string kValidation = CORVANEL_SOURCE_DIR "/examples/validation/";

// The validation job at rpm and depth (mm), 12 revolutions of which 2 are
// skipped; returns its run summary.
nlohmann::json run_validation(const ScratchDir& dir, double rpm, double depth_mm) {
  std::string job = read_file(kValidation + "validation.in");
  std::vector<std::string> lines = sweep_test::lines_of(job);
  lines[3] = std::to_string(rpm);
  lines[5] = std::to_string(depth_mm);
  lines[25] = "12";
  job.clear();
  for (const std::string& line : lines) job += line + "\n";
  write_file(dir.file("v.in"), job);
  write_file(dir.file("wear.db"), read_file(kValidation + "wear.db"));
  write_file(dir.file("kfkncfa.db"), read_file(kValidation + "kfkncfa.db"));
  const int code = run_command("cd '" + dir.path() + "' && '" CORVANEL_BINARY "' v . >/dev/null");
  EXPECT_EQ(code, 0);
  return nlohmann::json::parse(read_file(dir.file("v.summary.json")));
}

}  // namespace

TEST(RunSummary, VerdictAndFrequencyFollowTheAnalyticLimitAtALobeBottom) {
  std::string error;
  std::unique_ptr<LimitModel, void (*)(LimitModel*)> model(
      limit_create((kValidation + "validation.in").c_str(), (kValidation + "kfkncfa.db").c_str(),
                   &error),
      limit_free);
  ASSERT_TRUE(model) << error;
  const double rpm = 4046;
  const LimitPoint limit = limit_at_speed(model.get(), rpm);
  const double limit_mm = limit.depth * 1000;
  ASSERT_NEAR(limit_mm, 5.485, 0.01);
  struct Case {
    double factor;
    const char* verdict;
  } cases[] = {{0.9, "stable"}, {1.1, "chatter"}, {3.0, "tool-left-cut"}};
  for (const Case& c : cases) {
    ScratchDir dir;
    const nlohmann::json s = run_validation(dir, rpm, c.factor * limit_mm);
    EXPECT_EQ(s["verdict"]["class"], c.verdict) << c.factor << ": " << s["verdict"]["rule"];
    const double rate = s["verdict"]["growth_rate_per_revolution"];
    EXPECT_EQ(rate > 0, c.factor > 1) << c.factor;
    if (c.factor == 1.1) {
      // Chatter at the theory's frequency, to within one bin of the spectrum.
      const double f = s["vibration"]["dominant_frequency_Hz"];
      const double bin = s["vibration"]["frequency_resolution_Hz"];
      EXPECT_NEAR(f, limit.chatter_freq / (2 * 3.141592653589793), bin);
      EXPECT_EQ(s["vibration"]["nearest_mode"]["structure"], "tool");
    }
  }
}
