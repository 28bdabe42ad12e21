#include "results/summary.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "model/state.h"
#include "tests/support/records.h"
#include "tests/support/test_support.h"

using test_support::read_file;
using test_support::ScratchDir;

namespace {

// Extremes in SI and RMS values as the statistics leave them.
void fill(SimState* s) {
  s->force_x_max = 22.241;
  s->force_x_min = -22.241;
  s->force_y_max = 4.4482;
  s->force_y_min = 4.4482;
  s->force_z_max = 0.0;
  s->force_z_min = -8.8964;
  s->sw_disp_x_max = 0.0254;
  s->sw_disp_x_min = -0.0254;
  s->sw_disp_y_max = 0.000127;
  s->sw_disp_y_min = 0.0;
  s->sw_disp_z_max = 0.0000004;
  s->sw_disp_z_min = 0.0;
  s->tool_disp_x_min = -0.00254;
  s->tool_disp_x_max = 0.00254;
  s->tool_disp_y_min = 0.0;
  s->tool_disp_y_max = 0.0;
  s->tool_disp_z_min = 0.0254;
  s->tool_disp_z_max = 0.0508;
  s->force_x_rms = 1.5;
  s->force_y_rms = 0.0;
  s->force_z_rms = 0.25;
  s->sw_disp_x_rms = 0.001;
  s->sw_disp_y_rms = 0.0000004;
  s->sw_disp_z_rms = 0.000012;
  s->tool_disp_x_rms = 0.123456789;
  s->tool_disp_y_rms = 7.0;
  s->tool_disp_z_rms = 1e-7;
}

template <typename Write>
std::string written(const ScratchDir& dir, Write write) {
  const std::string path = dir.file("row");
  FILE* out = std::fopen(path.c_str(), "w");
  write(out);
  std::fclose(out);
  return read_file(path);
}

}  // namespace

TEST(SummaryRms, EnglishConvertsTheRangesButNotTheRmsValues) {
  ScratchDir dir;
  const test_support::State state = test_support::new_state(1);
  SimState* s = state.get();
  fill(s);
  EXPECT_EQ(written(dir, [&](FILE* out) { summary_write_rms(out, s, 0); }),
            "10.000000 0.000000 2.000000 2.000000 0.005000 0.000016 0.200000 0.000000 1.000000 "
            "1.500000 0.000000 0.250000 0.001000 0.000000 0.000012 0.123457 7.000000 0.000000\n");
}

TEST(SummaryRms, MetricWritesTheRangesInNewtonsAndMetres) {
  ScratchDir dir;
  const test_support::State state = test_support::new_state(1);
  SimState* s = state.get();
  fill(s);
  EXPECT_EQ(written(dir, [&](FILE* out) { summary_write_rms(out, s, 1); }),
            "44.482000 0.000000 8.896400 0.050800 0.000127 0.000000 0.005080 0.000000 0.025400 "
            "1.500000 0.000000 0.250000 0.001000 0.000000 0.000012 0.123457 7.000000 0.000000\n");
}

TEST(SummaryAve, WritesTheNineMeansAsStored) {
  ScratchDir dir;
  const test_support::State state = test_support::new_state(1);
  SimState* s = state.get();
  s->force_x_mean = 1.5;
  s->force_y_mean = -2.25;
  s->force_z_mean = 1000.0;
  s->sw_disp_x_mean = 0.0001;
  s->sw_disp_y_mean = -0.0000004;
  s->sw_disp_z_mean = 0.5;
  s->tool_disp_x_mean = 3.14159265;
  s->tool_disp_y_mean = 0.0;
  s->tool_disp_z_mean = -7.0;
  const std::string row =
      "1.500000 -2.250000 1000.000000 0.000100 -0.000000 0.500000 3.141593 "
      "0.000000 -7.000000\n";
  EXPECT_EQ(written(dir, [&](FILE* out) { summary_write_ave(out, s); }), row);
  // Two revolutions give two rows, nothing between them.
  EXPECT_EQ(written(dir,
                    [&](FILE* out) {
                      summary_write_ave(out, s);
                      summary_write_ave(out, s);
                    }),
            row + row);
}
