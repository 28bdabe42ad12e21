// The built program with options in front: they are taken off before the
// arguments are counted, and an unknown one stops before any file is written.
#include <gtest/gtest.h>

#include "tests/support/run_job.h"

using test_support::file_exists;
using test_support::ScratchDir;

TEST(CommandLine, OptionsAreTakenOffBeforeTheArgumentsAreCounted) {
  ScratchDir dir;
  test_support::write_job(dir.path(), "job", test_support::Job{});
  // "--" ends the options: the count sees JOB DIR, a batch run.
  auto batch = test_support::run_program(dir.path(), "-- job .");
  EXPECT_EQ(batch.exit_code, 0) << batch.err;
  EXPECT_TRUE(file_exists(dir.file("job.rpt")));
  EXPECT_TRUE(file_exists(dir.file("job.html")));
  // A single argument after "--" is ignored: the dialogue, here with no input.
  auto dialogue = test_support::run_program(dir.path(), "-- job");
  EXPECT_EQ(dialogue.exit_code, 1);
  EXPECT_EQ(dialogue.out.rfind("Corvanel\nVersion 1.0\nUsing Brisolt Version 1.00\n", 0), 0u)
      << dialogue.out;
}

TEST(CommandLine, AnUnknownOptionWritesNothing) {
  ScratchDir dir;
  test_support::write_job(dir.path(), "job", test_support::Job{});
  auto outcome = test_support::run_program(dir.path(), "--fast job .");
  EXPECT_EQ(outcome.exit_code, 2);
  EXPECT_EQ(outcome.out, "");
  EXPECT_NE(outcome.err.find("corvanel: The following argument was not expected: --fast"),
            std::string::npos)
      << outcome.err;
  EXPECT_FALSE(file_exists(dir.file("job.rpt")));
  EXPECT_FALSE(file_exists(dir.file("output.rpt")));
}

TEST(CommandLine, VersionNamesTheProgramAndTheEngine) {
  ScratchDir dir;
  auto outcome = test_support::run_program(dir.path(), "--version");
  EXPECT_EQ(outcome.exit_code, 0);
  EXPECT_EQ(outcome.out.rfind("corvanel (Corvanel) " CORVANEL_VERSION "\n", 0), 0u) << outcome.out;
  EXPECT_EQ(outcome.out.substr(outcome.out.size() - 20), "Brisolt engine 1.00\n");
}
