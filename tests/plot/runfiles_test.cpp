// Reading and checking the result files of a run before anything is drawn.
#include "plot/runfiles.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"

using test_support::ScratchDir;
using test_support::write_file;

namespace {

const char kReport[] =
    "Spindle test 3\n======================================\n\nProcess : Face Turning \n"
    "Data Units : English\nInclination Angle \t:     0.0000 [degrees]\n";

std::string repeat(const std::string& row, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += row;
  return text;
}

// A consistent run of two recorded revolutions of two rows each, revolutions 4 and 5.
void write_run(const ScratchDir& dir, const std::string& force_row = "100 1116.0 1 2 3\n") {
  write_file(dir.file("r.rpt"), kReport);
  write_file(dir.file("r.dat"),
             "0 1080.0 1 2 3\n" + force_row + "0 1440.0 1 2 3\n100 1476.0 1 2 3\n");
  for (const char* suffix : kRunDisplacementSuffixes) {
    write_file(dir.file(std::string("r") + suffix), repeat("0 1080.0 1e-05\n", 4));
  }
  write_file(dir.file("r.rms"), repeat(repeat("1 ", 17) + "1\n", 2));
  write_file(dir.file("r.ave"), repeat(repeat("1 ", 8) + "1\n", 2));
}

}  // namespace

TEST(RunFiles, ReadsTitleUnitsAndTheFirstRecordedRevolution) {
  ScratchDir dir;
  write_run(dir);
  RunFiles run;
  std::string error;
  ASSERT_EQ(runfiles_read(dir.file("r"), &run, &error), 1) << error;
  EXPECT_EQ(run.title, "Spindle test 3");
  EXPECT_EQ(run.units, 0);
  EXPECT_EQ(run.forces.rows, 4);
  EXPECT_EQ(run.forces.revolution_starts, 2);
  EXPECT_EQ(run.first_revolution, 4);  // 1080 degrees: three revolutions done
  ASSERT_EQ(run.report_lines.size(), 4u);
  EXPECT_EQ(run.report_lines[3], "Inclination Angle  :     0.0000 [degrees]");  // tab cleaned
}

TEST(RunFiles, RefusesReportsThatAreNotReports) {
  struct Case {
    const char* text;
    const char* error;
  } cases[] = {
      {"", "r.rpt: not a Corvanel report (no title and rule)"},
      {"title\n=====\n",
       "r.rpt: line 2: not a Corvanel report (no rule of equals signs under the title)"},
      {"title\n======================================\n", "r.rpt: no \"Data Units :\" line"},
      {"title\n======================================\nData Units : Imperial\n",
       "r.rpt: the \"Data Units :\" line names neither Metric nor English"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    write_file(dir.file("r.rpt"), c.text);
    RunFiles run;
    std::string error;
    EXPECT_EQ(runfiles_read_report(dir.file("r.rpt"), &run, &error), 0);
    EXPECT_EQ(error, dir.file(c.error));
  }
}

TEST(RunFiles, RowsMustHoldTheirNumbersAndSomethingFinite) {
  struct Case {
    const char* second_row;
    const char* error;  // after the path of r.dat
  } cases[] = {
      {"100 1116.0 1 2\n", ": line 2: expected 5 numbers"},
      {"100 1116.0 1 2 3 4\n", ": line 2: expected 5 numbers"},
      {"100 1116.0 1 2 3x\n", ": line 2: expected 5 numbers"},
      {"\n", ": line 2: expected 5 numbers"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    write_run(dir, c.second_row);
    RunFiles run;
    std::string error;
    EXPECT_EQ(runfiles_read(dir.file("r"), &run, &error), 0) << c.second_row;
    EXPECT_EQ(error, dir.file("r.dat") + c.error);
  }
  // nan and inf are numbers, but a panel with nothing else cannot be drawn.
  ScratchDir dir;
  write_run(dir, "100 1116.0 nan -nan inf\n");
  RunFiles run;
  std::string error;
  ASSERT_EQ(runfiles_read(dir.file("r"), &run, &error), 1) << error;
  write_file(dir.file("r.ave"), repeat("1 1 1 nan nan -nan 1 1 1\n", 2));
  EXPECT_EQ(runfiles_read(dir.file("r"), &run, &error), 0);
  EXPECT_EQ(error, dir.file("r.ave") +
                       ": the spindle-workpiece displacement means hold no finite "
                       "number (every row is nan or inf), nothing to draw");
}
