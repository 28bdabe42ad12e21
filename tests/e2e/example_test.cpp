// The shipped example job runs as the README says and gives plausible forces.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/run_job.h"

using test_support::read_file;
using test_support::ScratchDir;
using test_support::write_file;

TEST(Example, DemoJobGivesTheMeanForcesItsReadmeStates) {
  ScratchDir dir;
  for (const char* name : {"demo.in", "wear.db", "kfkncfa.db"}) {
    write_file(dir.file(name), read_file(std::string(CORVANEL_SOURCE_DIR "/examples/") + name));
  }
  auto outcome = test_support::run_program(dir.path(), "demo .");
  ASSERT_EQ(outcome.exit_code, 0) << outcome.err;
  EXPECT_EQ(outcome.err, "");
  auto lines = test_support::lines_of(read_file(dir.file("demo.ave")));
  ASSERT_EQ(lines.size(), 10u);  // 12 revolutions, 2 skipped
  for (const auto& line : lines) {
    auto means = test_support::numbers_of(line);
    ASSERT_EQ(means.size(), 9u);
    EXPECT_GT(means[0], 250.0);
    EXPECT_LT(means[0], 310.0);
    EXPECT_GT(means[1], 900.0);
    EXPECT_LT(means[1], 1000.0);
    EXPECT_GT(means[2], 150.0);
    EXPECT_LT(means[2], 200.0);
  }
}
