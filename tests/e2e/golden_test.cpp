// Determinism: whole runs of two short jobs must reproduce stored result
// files byte for byte. The files were written by the straightforward
// evaluation of every formula; regenerate them only on purpose (with the
// reason in the commit) by running this test with CORVANEL_WRITE_GOLDEN=1.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/run_job.h"

using test_support::read_file;
using test_support::ScratchDir;
using test_support::write_file;

namespace {

const std::string kGoldenDir = CORVANEL_SOURCE_DIR "/tests/e2e/golden/";
const char* const kResultSuffixes[] = {".dat",    ".fx.dat", ".fy.dat", ".fz.dat", ".sx.dat",
                                       ".sy.dat", ".sz.dat", ".wx.dat", ".wy.dat", ".wz.dat",
                                       ".rms",    ".ave",    ".rpt",    ".html"};

void check_job(const std::string& job) {
  ScratchDir dir;
  write_file(dir.file(job + ".in"), read_file(kGoldenDir + job + ".in"));
  write_file(dir.file("wear.db"), read_file(CORVANEL_SOURCE_DIR "/examples/wear.db"));
  write_file(dir.file("kfkncfa.db"), read_file(CORVANEL_SOURCE_DIR "/examples/kfkncfa.db"));
  auto outcome = test_support::run_program(dir.path(), job + " .");
  ASSERT_EQ(outcome.exit_code, 0) << outcome.err;
  const bool regenerate = std::getenv("CORVANEL_WRITE_GOLDEN") != nullptr;
  for (const char* suffix : kResultSuffixes) {
    const std::string produced = read_file(dir.file(job + suffix));
    const std::string golden_path = kGoldenDir + job + suffix;
    if (regenerate) {
      write_file(golden_path, produced);
      continue;
    }
    ASSERT_TRUE(test_support::file_exists(golden_path)) << golden_path;
    EXPECT_TRUE(produced == read_file(golden_path))
        << job << suffix << " differs from the stored file";
  }
}

}  // namespace

TEST(Golden, MetricJobWithAverageCoefficientsIsReproducedExactly) {
  check_job("metric");
}

TEST(Golden, EnglishJobWithInstantaneousCoefficientsIsReproducedExactly) {
  check_job("english");
}

// A job without spindle-workpiece modes: its files were stored before the
// workpiece's displacement entered the relative motion with its own sign,
// which must leave jobs without workpiece modes unchanged to the last digit.
TEST(Golden, ToolOnlyJobIsReproducedExactly) {
  check_job("toolonly");
}
