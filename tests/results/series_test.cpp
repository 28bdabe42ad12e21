#include "results/series.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "model/state.h"
#include "tests/support/records.h"
#include "tests/support/test_support.h"

using test_support::file_exists;
using test_support::read_file;
using test_support::ScratchDir;

namespace {

const char* const kSuffixes[] = {".dat",    ".fx.dat", ".fy.dat", ".fz.dat", ".sx.dat",
                                 ".sy.dat", ".sz.dat", ".wx.dat", ".wy.dat", ".wz.dat"};

using StatePtr = test_support::State;

// A state whose step 100 holds known forces (N) and displacements (m).
StatePtr sample_state() {
  StatePtr s = test_support::new_state(1000);
  s->cut_angle = 12.5;
  s->force_x = 44.482;   // 10 lbf
  s->force_y = -8.8964;  // -2 lbf
  s->force_z = 133.446;  // 30 lbf
  s->sw_disp_x[100] = 0.0000004;
  s->sw_disp_y[100] = 0.0254;
  s->sw_disp_z[100] = -0.000127;
  s->tool_disp_x[100] = 0.00254;
  s->tool_disp_y[100] = 0.0;
  s->tool_disp_z[100] = -0.0000004;
  return s;
}

std::vector<std::string> write_sample(const ScratchDir& dir, int units) {
  const std::string base = dir.file("cut");
  SeriesFiles files;
  EXPECT_EQ(series_open(&files, base.c_str()), 1);
  StatePtr s = sample_state();
  series_write_step(&files, s.get(), 100, units);
  EXPECT_EQ(series_close(&files), 1);
  std::vector<std::string> texts;
  for (const char* suffix : kSuffixes) texts.push_back(read_file(base + suffix));
  return texts;
}

}  // namespace

TEST(SeriesRows, EnglishRowsConvertToPoundsAndInches) {
  ScratchDir dir;
  const std::vector<std::string> expected = {
      " 100    12.5000    10.0000    -2.0000    30.0000 \n",
      "100 12.500000 10.000000 \n",
      "100 12.500000 -2.000000\n",
      "100 12.500000 30.000000\n",
      "100 12.500000 1.574803e-05\n",
      "100 12.500000 1.000000e+00\n",
      "100 12.500000 -5.000000e-03\n",
      "100 12.500000 1.000000e-01\n",
      "100 12.500000 0.000000e+00\n",
      "100 12.500000 -1.574803e-05\n",
  };
  EXPECT_EQ(write_sample(dir, 0), expected);
}

TEST(SeriesRows, MetricRowsStayInNewtonsAndMetres) {
  ScratchDir dir;
  const std::vector<std::string> expected = {
      " 100    12.5000    44.4820    -8.8964   133.4460 \n",
      "100 12.500000 44.482000\n",
      "100 12.500000 -8.896400\n",
      "100 12.500000 133.446000\n",
      "100 12.500000 0.000000\n",
      "100 12.500000 0.025400\n",
      "100 12.500000 -0.000127\n",
      "100 12.500000 0.002540\n",
      "100 12.500000 0.000000\n",
      "100 12.500000 -0.000000\n",
  };
  // Any units value other than 0 is metric.
  EXPECT_EQ(write_sample(dir, 1), expected);
  ScratchDir other;
  EXPECT_EQ(write_sample(other, 7), expected);
}

TEST(SeriesRows, MainRowWidthsHoldLargeValues) {
  ScratchDir dir;
  StatePtr s = test_support::new_state(10);
  s->cut_angle = 1234567.25;
  s->force_x = -0.00005;
  s->force_y = 123456.78905;
  s->force_z = 0.0;
  const std::string path = dir.file("main.dat");
  FILE* out = std::fopen(path.c_str(), "w");
  series_write_main_row(out, s.get(), 34100, 1);
  std::fclose(out);
  EXPECT_EQ(read_file(path), "34100 1234567.2500    -0.0001 123456.7891     0.0000 \n");
}

TEST(SeriesSteps, OnlyEveryHundredthStepIsWritten) {
  ScratchDir dir;
  const std::string base = dir.file("filter");
  SeriesFiles files;
  ASSERT_EQ(series_open(&files, base.c_str()), 1);
  StatePtr s = test_support::new_state(kGridSteps + 1000);
  // Two revolutions of 4885 steps (seven angular increments), then stray calls.
  for (int rev = 0; rev < 2; ++rev)
    for (int step = 0; step < 4885; ++step) series_write_step(&files, s.get(), step, 1);
  series_write_step(&files, s.get(), -100, 1);
  series_write_step(&files, s.get(), 250000, 1);  // beyond the histories
  ASSERT_EQ(series_close(&files), 1);
  for (const char* suffix : kSuffixes) {
    std::istringstream rows(read_file(base + suffix));
    std::vector<int> steps;
    std::string line;
    while (std::getline(rows, line)) steps.push_back(std::stoi(line));
    ASSERT_EQ(steps.size(), 98u) << suffix;
    for (size_t i = 0; i < steps.size(); ++i) EXPECT_EQ(steps[i], static_cast<int>(i % 49) * 100);
    EXPECT_EQ(steps[48], 4800);
  }
}

TEST(SeriesOpen, CreatesTheTenFilesEmpty) {
  ScratchDir dir;
  const std::string base = dir.file("run1");
  SeriesFiles files;
  ASSERT_EQ(series_open(&files, base.c_str()), 1);
  EXPECT_NE(files.main, nullptr);
  EXPECT_NE(files.wz, nullptr);
  ASSERT_EQ(series_close(&files), 1);
  EXPECT_EQ(files.main, nullptr);
  for (const char* suffix : kSuffixes) {
    EXPECT_TRUE(file_exists(base + suffix)) << suffix;
    EXPECT_EQ(read_file(base + suffix), "") << suffix;
  }
}

TEST(SeriesOpen, BaseInMissingDirectoryFailsWithNothingOpen) {
  ScratchDir dir;
  const std::string base = dir.file("no-such-dir/run1");
  SeriesFiles files;
  EXPECT_EQ(series_open(&files, base.c_str()), 0);
  EXPECT_EQ(files.main, nullptr);
  EXPECT_EQ(files.wz, nullptr);
}

TEST(SeriesOpen, StopsAtTheFirstFileThatCannotBeCreated) {
  ScratchDir dir;
  const std::string base = dir.file("run1");
  ASSERT_EQ(mkdir((base + ".sx.dat").c_str(), 0700), 0);  // a folder in the fifth name's place
  SeriesFiles files;
  EXPECT_EQ(series_open(&files, base.c_str()), 0);
  // The four opened before it are closed again (the leak checker would see them otherwise).
  EXPECT_EQ(files.main, nullptr);
  EXPECT_EQ(files.fz, nullptr);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(file_exists(base + kSuffixes[i])) << kSuffixes[i];
  for (int i = 5; i < 10; ++i) EXPECT_FALSE(file_exists(base + kSuffixes[i])) << kSuffixes[i];
}

TEST(SeriesOpen, NameBeyondNinetyNineCharactersCreatesNothing) {
  ScratchDir dir;
  // ".fx.dat" is the longest suffix (7): a 92-character base just fits.
  const std::string prefix = dir.path() + "/";
  const std::string fits = prefix + std::string(92 - prefix.size(), 'a');
  const std::string too_long = prefix + std::string(93 - prefix.size(), 'b');
  SeriesFiles files;
  ASSERT_EQ(series_open(&files, fits.c_str()), 1);
  EXPECT_EQ(series_close(&files), 1);
  EXPECT_TRUE(file_exists(fits + ".fx.dat"));
  EXPECT_EQ(series_open(&files, too_long.c_str()), 0);
  EXPECT_FALSE(file_exists(too_long + ".dat"));  // its own name would have fit
  EXPECT_EQ(files.main, nullptr);
}

TEST(SeriesClose, WriteErrorIsReported) {
  SeriesFiles files;
  FILE** slots[] = {&files.main, &files.fx, &files.fy, &files.fz, &files.sx,
                    &files.sy,   &files.sz, &files.wx, &files.wy, &files.wz};
  for (FILE** slot : slots) {
    *slot = std::fopen("/dev/full", "w");
    ASSERT_NE(*slot, nullptr);
  }
  StatePtr s = test_support::new_state(10);
  series_write_step(&files, s.get(), 0, 0);
  EXPECT_EQ(series_close(&files), 0);
  EXPECT_EQ(files.wz, nullptr);
}
