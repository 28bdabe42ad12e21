// Whole runs of the built program on small jobs, in batch and interactive mode.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "tests/support/run_job.h"

using test_support::english_job;
using test_support::file_exists;
using test_support::Job;
using test_support::JobRun;
using test_support::lines_of;
using test_support::numbers_of;
using test_support::read_file;
using test_support::run_job;
using test_support::run_program;
using test_support::ScratchDir;

namespace {

const char* const kSeriesSuffixes[] = {".dat",    ".fx.dat", ".fy.dat", ".fz.dat", ".sx.dat",
                                       ".sy.dat", ".sz.dat", ".wx.dat", ".wy.dat", ".wz.dat"};

size_t count_occurrences(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

}  // namespace

TEST(Batch, WritesEveryResultFileWithOneRowPerHundredSteps) {
  Job job;
  job.revs_total = 3;
  job.revs_skipped = 1;
  const JobRun run = run_job("run1", job);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out,
            "Running Revolution Number 1 .......... \nRunning Revolution Number 2 .......... \n"
            "Running Revolution Number 3 .......... \n");
  for (const char* suffix : kSeriesSuffixes) {
    EXPECT_EQ(run.rows(suffix).size(), 2u * 342u) << suffix;
  }
  EXPECT_EQ(run.rows(".rms").size(), 2u);
  EXPECT_EQ(run.rows(".ave").size(), 2u);
  EXPECT_EQ(numbers_of(run.rows(".rms")[0]).size(), 18u);
  EXPECT_EQ(numbers_of(run.rows(".ave")[0]).size(), 9u);
  EXPECT_TRUE(run.has(".rpt"));
  EXPECT_EQ(run.rows(".html")[1], "<H1>E2E job</H1>");
  auto rows = run.rows(".fy.dat");
  EXPECT_EQ(rows[0].rfind("0 360.000000 ", 0), 0u) << rows[0];  // first recorded revolution
  EXPECT_EQ(rows[341].rfind("34100 ", 0), 0u);
}

TEST(Batch, RowsFollowTheAngularIncrements) {
  struct Case {
    int increments;
    size_t rows;
    const char* last_step;
  } cases[] = {{3, 114, "11300 "}, {7, 49, "4800 "}};
  for (const Case& c : cases) {
    Job job;
    job.revs_total = 1;
    job.increments = c.increments;
    const JobRun run = run_job("inc", job);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    auto rows = run.rows(".sx.dat");
    ASSERT_EQ(rows.size(), c.rows) << c.increments;
    EXPECT_EQ(rows.back().rfind(c.last_step, 0), 0u) << rows.back();
  }
}

TEST(Batch, SkippingEveryRevolutionLeavesEmptyResultFiles) {
  Job job;
  job.revs_total = 2;
  job.revs_skipped = 2;
  job.increments = 50;
  const JobRun run = run_job("skip", job);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  for (const char* suffix : {".dat", ".wz.dat", ".rms", ".ave"}) {
    EXPECT_TRUE(run.has(suffix));
    EXPECT_EQ(run.text(suffix), "") << suffix;
  }
}

TEST(Batch, AProcessOtherThanTurningCutsNothing) {
  Job job;
  job.process = "Milling";
  job.revs_total = 1;
  job.increments = 10;
  const JobRun run = run_job("mill", job);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out, "");
  for (const std::string& row : run.rows(".dat")) {
    auto n = numbers_of(row);
    ASSERT_EQ(n.size(), 5u);
    EXPECT_EQ(n[2], 0.0);
    EXPECT_EQ(n[3], 0.0);
    EXPECT_EQ(n[4], 0.0);
  }
}

TEST(Batch, MissingJobOrFolderFailsWithExitCode1) {
  ScratchDir dir;
  auto missing = run_program(dir.path(), "nojob .");
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_NE(missing.err.find("./nojob.in"), std::string::npos) << missing.err;

  test_support::write_job(dir.path(), "run1", Job{});
  auto no_folder = run_program(dir.path(), "run1 no/such/folder");
  EXPECT_EQ(no_folder.exit_code, 1);
}

TEST(Batch, ARefusedJobLeavesTheEarlierResultsUntouched) {
  ScratchDir dir;
  Job job;
  job.revs_total = 1;
  job.increments = 20;
  job.tool_modes = "1\n1\n0.05\n20000\n0\n0\n0\n";
  test_support::write_job(dir.path(), "job", job);
  ASSERT_EQ(run_program(dir.path(), "job .").exit_code, 0);
  const std::string rms = read_file(dir.file("job.rms"));
  const std::string dat = read_file(dir.file("job.dat"));
  const std::string html = read_file(dir.file("job.html"));

  job.tool_modes = "1\n1\n1.0\n20000\n0\n0\n0\n";  // critically damped: cannot be integrated
  test_support::write_job(dir.path(), "job", job);
  auto refused = run_program(dir.path(), "job .");
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_EQ(refused.out, "");
  EXPECT_EQ(lines_of(refused.err).size(), 1u) << refused.err;
  EXPECT_NE(refused.err.find("tool X mode 1"), std::string::npos) << refused.err;
  EXPECT_EQ(read_file(dir.file("job.rms")), rms);
  EXPECT_EQ(read_file(dir.file("job.dat")), dat);
  EXPECT_EQ(read_file(dir.file("job.html")), html);
}

TEST(Batch, AMissingMaterialPairIsRefusedBeforeAnyResultFile) {
  Job job;
  job.workpiece = "TITANIUM";
  job.revs_total = 2;
  job.increments = 100;
  const JobRun run = run_job("ti", job);
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err,
            "corvanel: kfkncfa.db: the row for workpiece \"TITANIUM\" and insert \"CARB\" at 15 "
            "degrees: there is none, nor a pair whose names match when case and blanks are "
            "ignored\n");
  EXPECT_FALSE(run.has(".rpt"));
  EXPECT_FALSE(run.has(".dat"));
}

TEST(Interactive, LoadsAJobFileAndPrintsProgressWithoutAPage) {
  ScratchDir dir;
  Job job;
  job.revs_total = 2;
  job.increments = 100;
  test_support::write_job(dir.path(), "job", job);
  auto outcome = run_program(dir.path(), "", "y\njob.in\n");
  ASSERT_EQ(outcome.exit_code, 0) << outcome.err;
  EXPECT_EQ(outcome.out.rfind("Corvanel\nVersion 1.0\nUsing Brisolt Version 1.00\n\n", 0), 0u);
  EXPECT_NE(outcome.out.find("File Read Successfully"), std::string::npos);
  EXPECT_EQ(count_occurrences(outcome.out, "Calculating cutting angle "), 2u * 342u);
  const size_t second = outcome.out.find("Running revolution #2...\n");
  ASSERT_NE(second, std::string::npos);
  EXPECT_EQ(count_occurrences(outcome.out.substr(second), "Calculating cutting angle "), 342u);
  EXPECT_NE(outcome.out.find("Calculating cutting angle 360...\n"), std::string::npos);
  EXPECT_EQ(outcome.out.substr(outcome.out.size() - 25), "\nSimulation Run Success.\n");
  EXPECT_TRUE(file_exists(dir.file("output.rpt")));
  EXPECT_TRUE(file_exists(dir.file("output.rms")));
  EXPECT_FALSE(file_exists(dir.file("output.html")));
}

TEST(Interactive, AnUnreadableJobFileEndsInFailure) {
  ScratchDir dir;
  auto outcome = run_program(dir.path(), "", "y\nmissing.in\n");
  EXPECT_EQ(outcome.exit_code, 1);
  EXPECT_NE(outcome.out.find("File Read Error\nSimulation Run Failure.\n"), std::string::npos)
      << outcome.out;
}

// The reference forces of a rigid set-up follow from the nominal chip, and
// each step adds the scatter of its own draw of the run's random sequence.
TEST(Physics, RigidStructuresCutTheNominalChip) {
  Job job;
  job.revs_total = 1;
  const JobRun run = run_job("rigid", job);
  ASSERT_EQ(run.exit_code, 0);

  const double deg = 0.017453292519943295;
  const double kf = 6894.755 * 100000.0, kn = 6894.755 * 250000.0, eta = deg * 5.0;
  const double area = (0.2 / 1000) * (2.0 / 1000);
  const double ex = area * (kf * std::cos(eta) * std::cos(0.0) - kn * std::sin(0.0));
  const double ey = area * (kn * std::cos(0.0) * std::cos(0.0));
  const double ez = area * (kf * (std::sin(eta) * std::cos(0.0)));
  const double kappa = 15.0 * deg;
  const double rx = std::cos(kappa) * ex - std::sin(kappa) * ez;
  const double ry = ey;
  const double rz = std::sin(kappa) * ex + std::cos(kappa) * ez;
  uint32_t seed = 1;
  int draw = 0;
  for (int k = 1; k <= 100; ++k) {
    seed = 214013u * seed + 2531011u;
    draw = static_cast<int>((seed >> 16) & 32767);
  }
  const double u = draw - 16383.5;
  char expected[128];
  std::snprintf(expected, sizeof expected, " 100     1.0526 %10.4lf %10.4lf %10.4lf ",
                rx + u * (0.03 * rx / 16383.5), ry + u * (0.03 * ry / 16383.5),
                rz + u * (0.03 * rz / 16383.5));
  auto rows = run.rows(".dat");
  EXPECT_EQ(rows[0], "   0     0.0000     0.0000     0.0000     0.0000 ");
  EXPECT_EQ(rows[1], expected);
}

// A stiff tool mode in Y, which does not change the chip, deflects by the
// mean Y force over its stiffness.
TEST(Physics, AStiffToolModeDeflectsStatically) {
  Job job;
  job.revs_total = 2;
  job.revs_skipped = 1;
  // 1e6 N/m at about 1 kHz: a deflection large enough for the six decimals
  // of the metre-valued .ave columns.
  job.tool_modes = "0\n1\n0.0253\n0.05\n1000\n0\n0\n";
  const JobRun run = run_job("stiff", job);
  ASSERT_EQ(run.exit_code, 0);
  auto means = numbers_of(run.rows(".ave")[0]);
  ASSERT_EQ(means.size(), 9u);
  const double force_y = means[1], tool_y = means[7];
  EXPECT_GT(force_y, 100.0);
  EXPECT_NEAR(tool_y, force_y / 1e6, 0.01 * force_y / 1e6);
}

// Regenerative chatter: a flexible tool in X settles when it is stiff
// enough for the cut and grows from revolution to revolution when it is not.
TEST(Physics, FlexibleToolSettlesBelowTheLimitAndGrowsAboveIt) {
  // English units: the .rms columns are then inches with six decimals.
  auto tool_x_rms = [](double stiffness_lb_per_in) {
    Job job = english_job();
    job.rpm = 600;
    job.revs_total = 6;
    char modes[128];
    std::snprintf(modes, sizeof modes, "1\n0.00571\n0.05\n%g\n0\n0\n0\n", stiffness_lb_per_in);
    job.tool_modes = modes;
    const JobRun run = run_job("flex", job);
    EXPECT_EQ(run.exit_code, 0);
    std::vector<double> rms;
    for (const auto& line : run.rows(".rms")) {
      rms.push_back(numbers_of(line)[15]);
    }
    return rms;
  };
  auto stable = tool_x_rms(571000);  // 1e8 N/m with 1 kg: 1.6 kHz
  auto chatter = tool_x_rms(11420);  // 2e6 N/m with 1 kg: 225 Hz
  ASSERT_EQ(stable.size(), 6u);
  ASSERT_EQ(chatter.size(), 6u);
  EXPECT_LE(stable[5], stable[1]);
  EXPECT_GT(chatter[1], 2 * chatter[0]);  // grows until the tool leaves the cut
  EXPECT_GT(chatter[2], 2 * chatter[1]);
  EXPECT_GT(chatter[5], 100 * stable[5]);
}

TEST(Physics, ZeroDepthOfCutGivesFiniteZeroForces) {
  Job job;
  job.depth = 0;
  job.revs_total = 2;
  job.increments = 10;
  job.tool_modes = "1\n1\n0.05\n20000\n0\n0\n0\n";
  const JobRun run = run_job("zero", job);
  ASSERT_EQ(run.exit_code, 0);
  for (const auto& line : run.rows(".rms")) {
    for (double x : numbers_of(line)) EXPECT_EQ(x, 0.0) << line;
  }
  for (const auto& line : run.rows(".dat")) {
    EXPECT_EQ(line.find("nan"), std::string::npos);
  }
}
