// --until-decided: the run ends after the first recorded revolution whose
// verdict can no longer change, with every result file whole up to it, and
// the summary names the revolution and the rule.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/support/run_job.h"

using test_support::read_file;
using test_support::ScratchDir;
using test_support::write_file;

namespace {

// The validation job (one tool X mode, Ks 1000 N/mm^2) at 4046 rpm, depth
// in mm, with the given revolutions in all and skipped.
std::string validation_job(const std::string& depth, int revolutions, int skipped) {
  std::vector<std::string> lines =
      test_support::lines_of(read_file(CORVANEL_SOURCE_DIR "/examples/validation/validation.in"));
  lines[3] = "4046.000000";
  lines[5] = depth;
  lines[lines.size() - 3] = std::to_string(revolutions);
  lines[lines.size() - 2] = std::to_string(skipped);
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  return text;
}

struct Runs {
  ScratchDir dir;
  test_support::Outcome full, decided;
};

// The same job run plainly (in full/) and with --until-decided (in decided/).
void run_both(Runs* r, const std::string& job) {
  for (const char* db : {"kfkncfa.db", "wear.db"})
    write_file(r->dir.file(db),
               read_file(std::string(CORVANEL_SOURCE_DIR "/examples/validation/") + db));
  test_support::run_command("mkdir -p " + r->dir.file("full") + " " + r->dir.file("decided"));
  write_file(r->dir.file("full/job.in"), job);
  write_file(r->dir.file("decided/job.in"), job);
  r->full = test_support::run_program(r->dir.path(), "job full");
  r->decided = test_support::run_program(r->dir.path(), "--until-decided job decided");
  ASSERT_EQ(r->full.exit_code, 0) << r->full.err;
  ASSERT_EQ(r->decided.exit_code, 0) << r->decided.err;
}

nlohmann::json summary(const Runs& r, const char* folder) {
  return nlohmann::json::parse(read_file(r.dir.file(std::string(folder) + "/job.summary.json")));
}

}  // namespace

TEST(UntilDecided, AGrowingRunStopsWithItsFilesWholeUpToTheRevolution) {
  Runs r;
  run_both(&r, validation_job("8.000000", 20, 2));
  const nlohmann::json full = summary(r, "full"), decided = summary(r, "decided");
  EXPECT_EQ(decided["verdict"]["class"], full["verdict"]["class"]);
  EXPECT_EQ(decided["verdict"]["class"], "chatter");
  EXPECT_EQ(decided["verdict"]["stop_rule"], "grown");
  const int stopped = decided["verdict"]["stopped_at_revolution"].get<int>();
  EXPECT_GE(stopped, 6);
  EXPECT_LT(stopped, 20);
  EXPECT_FALSE(full["verdict"].contains("stopped_at_revolution"));
  EXPECT_FALSE(full["verdict"].contains("stop_rule"));
  // The revolutions run are the full run's, row for row.
  for (const char* suffix : {".rms", ".ave"}) {
    const auto whole =
        test_support::lines_of(read_file(r.dir.file(std::string("full/job") + suffix)));
    const auto cut =
        test_support::lines_of(read_file(r.dir.file(std::string("decided/job") + suffix)));
    ASSERT_EQ(cut.size(), size_t(stopped - 2)) << suffix;
    for (size_t i = 0; i < cut.size(); ++i) EXPECT_EQ(cut[i], whole[i]) << suffix << " row " << i;
  }
  EXPECT_EQ(decided["revolutions"].size(), size_t(stopped - 2));
  // The console: the same revolution lines, then one line saying where and why.
  const auto out = test_support::lines_of(r.decided.out);
  const auto whole_out = test_support::lines_of(r.full.out);
  ASSERT_EQ(out.size(), size_t(stopped) + 1);
  for (int i = 0; i < stopped; ++i) EXPECT_EQ(out[size_t(i)], whole_out[size_t(i)]);
  EXPECT_EQ(out.back().rfind("Stopped after revolution " + std::to_string(stopped) +
                                 " of 20: the "
                                 "vibration grew",
                             0),
            0u)
      << out.back();
  EXPECT_EQ(read_file(r.dir.file("decided/job.rpt")), read_file(r.dir.file("full/job.rpt")));
}

TEST(UntilDecided, ARunTooShortToDecideEarlyRunsToItsEndAndSaysSo) {
  Runs r;
  run_both(&r, validation_job("8.000000", 5, 2));  // 3 recorded revolutions: no rule applies
  const nlohmann::json full = summary(r, "full"), decided = summary(r, "decided");
  EXPECT_EQ(decided["verdict"]["stopped_at_revolution"], 5);
  EXPECT_EQ(decided["verdict"]["stop_rule"], "none");
  EXPECT_EQ(decided["revolutions"], full["revolutions"]);
  EXPECT_EQ(r.decided.out, r.full.out);
}
