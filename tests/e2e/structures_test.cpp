// The two vibrating structures: a mode moved from the tool's block to the
// spindle-workpiece's acts on the chip in the same way, because the relative
// motion is the tool's minus the workpiece's and the workpiece takes the
// reaction force.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/support/run_job.h"

using test_support::Job;
using test_support::JobRun;
using test_support::numbers_of;

namespace {

using Table = std::vector<std::vector<double>>;

Table table_of(const JobRun& run, const std::string& suffix) {
  Table rows;
  for (const std::string& line : run.rows(suffix)) rows.push_back(numbers_of(line));
  return rows;
}

// Runs one job with `mode` as the only X mode of the tool (tool = true) or
// of the spindle-workpiece structure.
JobRun run_with_x_mode(bool tool, const std::string& mode) {
  Job job = test_support::english_job();  // micrometre vibration visible in the text files
  job.revs_total = 3;
  job.revs_skipped = 1;
  (tool ? job.tool_modes : job.spindle_modes) = "1\n" + mode + "0\n0\n";
  JobRun run = test_support::run_job("run", job);
  EXPECT_EQ(run.exit_code, 0) << run.err;
  return run;
}

}  // namespace

TEST(Structures, AModeActsTheSameInTheToolAndInTheWorkpiece) {
  // About 1 kg and 2e7 N/m (590 Hz): a flexible mode that the cut excites
  // visibly. Its running integrals are not rebased within three revolutions,
  // so the two runs agree to the last bit, not only to rounding.
  const std::string mode = "0.00571\n0.05\n114000\n0\n";
  const JobRun in_tool = run_with_x_mode(true, mode);
  const JobRun in_workpiece = run_with_x_mode(false, mode);
  for (const char* suffix : {".dat", ".fx.dat", ".fy.dat", ".fz.dat"}) {
    EXPECT_TRUE(in_tool.text(suffix) == in_workpiece.text(suffix)) << suffix;
  }
  // The tool's own displacement in one run is the workpiece's, negated, in the other.
  const Table tool_x = table_of(in_tool, ".wx.dat");
  const Table work_x = table_of(in_workpiece, ".sx.dat");
  ASSERT_EQ(tool_x.size(), 2u * 342u);
  ASSERT_EQ(work_x.size(), tool_x.size());
  double largest = 0;
  for (size_t i = 0; i < tool_x.size(); ++i) {
    EXPECT_EQ(work_x[i][2], -tool_x[i][2]) << "row " << i;
    largest = std::max(largest, std::abs(tool_x[i][2]));
  }
  EXPECT_GT(largest, 1e-5);  // inches: the mode really moved
  // Per revolution: force columns equal; the structures' ranges and RMS
  // values trade places, their means change sign.
  const Table rms_tool = table_of(in_tool, ".rms");
  const Table rms_work = table_of(in_workpiece, ".rms");
  const Table ave_tool = table_of(in_tool, ".ave");
  const Table ave_work = table_of(in_workpiece, ".ave");
  ASSERT_EQ(rms_tool.size(), 2u);
  for (size_t r = 0; r < rms_tool.size(); ++r) {
    for (int c : {0, 1, 2, 9, 10, 11}) EXPECT_EQ(rms_tool[r][c], rms_work[r][c]) << r << ":" << c;
    for (int c : {0, 1, 2}) EXPECT_EQ(ave_tool[r][c], ave_work[r][c]) << r << ":" << c;
    EXPECT_EQ(rms_tool[r][6], rms_work[r][3]);    // X range
    EXPECT_EQ(rms_tool[r][15], rms_work[r][12]);  // X RMS
    EXPECT_EQ(ave_tool[r][6], -ave_work[r][3]);   // X mean
    EXPECT_GT(rms_tool[r][6], 0.0);
  }
}

// The run summary of a stable cut: vibration below a micrometre stays a
// number there, where the six decimals of metres in the result files read 0,
// and the static deflection is the mean force over the stiffness.
TEST(Structures, TheRunSummaryKeepsSubMicrometreVibrationAndTheStaticDeflection) {
  Job job;
  job.revs_total = 4;
  job.revs_skipped = 1;
  const double k = 5e5;  // N/mm: a stiff tool Y mode, 5e8 N/m
  job.tool_modes = "0\n1\n1\n0.05\n" + std::to_string(k) + "\n0\n0\n";
  const JobRun run = test_support::run_job("run", job);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const nlohmann::json s = nlohmann::json::parse(run.text(".summary.json"));
  const double force_y = s["forces"]["y"]["mean_N"];
  const double deflection = s["static_deflection"]["tool"]["y_m"];
  EXPECT_GT(force_y, 100.0);
  EXPECT_NEAR(deflection / (force_y / (k * 1000)), 1.0, 0.01);
  // The simulated mean deflection of the last revolution agrees.
  const double simulated = s["revolutions"].back()["mean"]["tool_y_m"];
  EXPECT_NEAR(simulated / deflection, 1.0, 0.01);
  // Sub-micrometre numbers where the .wy.dat column reads 0.000000 (metres).
  const double range = s["revolutions"].back()["range"]["tool_y_m"];
  EXPECT_GT(range, 0.0);
  EXPECT_LT(range, 1e-6);
  // The .wy.dat column prints the same six decimals of a metre on every row.
  const auto rows = run.rows(".wy.dat");
  ASSERT_FALSE(rows.empty());
  const std::string first = rows[0].substr(rows[0].rfind(' '));
  for (const std::string& row : rows) EXPECT_EQ(row.substr(row.rfind(' ')), first) << row;
  EXPECT_EQ(s["job"]["entered"]["units"]["depth_of_cut"], "mm");
  EXPECT_EQ(s["job"]["si"]["tool_modes"]["y"][0]["stiffness"], k * 1000);
}
