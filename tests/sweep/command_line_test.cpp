// The command line of corvanel-sweep: wrong ones get the usage and exit code
// 2 before anything is written; options stand anywhere after the command.
#include <gtest/gtest.h>

#include "tests/sweep/sweep_support.h"

using sweep_test::lines_of;
using sweep_test::sweep;
using test_support::file_exists;
using test_support::read_file;
using test_support::ScratchDir;

TEST(SweepCommandLine, WrongCommandLinesShowTheUsageAndWriteNothing) {
  ScratchDir dir;
  sweep_test::write_base(dir, sweep_test::base_job());
  const char* const wrong[] = {
      "",                                                // no command
      "frobnicate out",                                  // unknown command
      "--jobs 2",                                        // an option without a command
      "plan base.in out",                                // no grid
      "plan base.in --rpm 1000 out",                     // no depths
      "plan base.in --rpm 1000 --depth 1",               // no OUTDIR
      "plan base.in --rpm 1000 --depth 1 out extra",     // one folder too many
      "plan base.in --rpm 1000 --depth 1 out --rpm",     // an option without its value
      "plan base.in --rpm 1000 --depth 1 out --jobs 2",  // another command's option
      "plan base.in --rpm 1000:900:x --depth 1 out",     // a range that is not one
      "plan base.in --rpm 1000 --depth 1 out --keep-series=maybe",
      "run",                  // no OUTDIR
      "run out other",        // two
      "run out --jobs 0",     // below one worker
      "run out --jobs 4097",  // above the limit
      "run out --jobs two",   // not a number
      "collect",              // no OUTDIR
      "collect out --pool",   // run's option
  };
  for (const char* args : wrong) {
    const auto o = sweep(dir.path(), args);
    EXPECT_EQ(o.exit_code, 2) << args << "\n" << o.err;
    EXPECT_EQ(o.err.rfind("Usage: corvanel-sweep plan ", 0), 0u) << args << "\n" << o.err;
    // The last line names the problem.
    const auto lines = lines_of(o.err);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("corvanel-sweep: ", 0), 0u) << args << "\n" << o.err;
    EXPECT_EQ(o.out, "") << args;
    EXPECT_FALSE(file_exists(dir.file("out"))) << args;
  }
}

TEST(SweepCommandLine, OptionsStandAnywhereAndTheLastRepeatCounts) {
  ScratchDir dir;
  sweep_test::write_base(dir, sweep_test::base_job());
  const auto o = sweep(dir.path(), "plan --depth 1 base.in --rpm 5 out --rpm 1000,2000");
  ASSERT_EQ(o.exit_code, 0) << o.err;
  EXPECT_EQ(read_file(dir.file("out/plan.csv")),
            "row,rpm,depth,folder\n1,1000.000000,1.000000,runs/0001\n"
            "2,2000.000000,1.000000,runs/0002\n");
  EXPECT_EQ(sweep(dir.path(), "run --pool --jobs 1 out --jobs 2").exit_code, 0);
  EXPECT_EQ(read_file(dir.file("out/runs/0002/exit-status")), "0\n");
}

TEST(SweepCommandLine, HelpAndVersionGoToStandardOutput) {
  ScratchDir dir;
  for (const char* args : {"--help", "-h", "help", "plan --help", "run -h"}) {
    const auto o = sweep(dir.path(), args);
    EXPECT_EQ(o.exit_code, 0) << args;
    EXPECT_EQ(o.out.rfind("Usage: corvanel-sweep plan ", 0), 0u) << args << "\n" << o.out;
    EXPECT_EQ(o.err, "") << args;
  }
  // The program's help lists the options of every command.
  const std::string help = sweep(dir.path(), "--help").out;
  for (const char* option : {"--rpm LIST", "--keep-series", "--jobs N", "--retry-failed",
                             "Options of collect:", "Exit status:"})
    EXPECT_NE(help.find(option), std::string::npos) << option;
  const auto version = sweep(dir.path(), "--version");
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out.rfind("corvanel-sweep (Corvanel) " CORVANEL_VERSION "\n", 0), 0u)
      << version.out;
}
