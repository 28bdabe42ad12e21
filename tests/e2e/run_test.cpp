// Whole runs of the built program on small jobs, in batch and interactive mode.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "tests/e2e/e2e_support.h"

using e2e::Job;
using e2e::lines_of;
using e2e::numbers_of;
using e2e::run_program;
using test_support::file_exists;
using test_support::read_file;
using test_support::ScratchDir;

namespace {

const char* const kSeriesSuffixes[] = {".dat",    ".fx.dat", ".fy.dat", ".fz.dat", ".sx.dat",
                                       ".sy.dat", ".sz.dat", ".wx.dat", ".wy.dat", ".wz.dat"};

size_t count_lines(const std::string& path) { return lines_of(read_file(path)).size(); }

size_t count_occurrences(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

}  // namespace

TEST(Batch, WritesEveryResultFileWithOneRowPerHundredSteps) {
  ScratchDir dir;
  Job job;
  job.revs_total = 3;
  job.revs_skipped = 1;
  e2e::write_job(dir, "run1", job);
  auto outcome = run_program(dir.path(), "run1 .");
  ASSERT_EQ(outcome.exit_code, 0) << outcome.err;
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(outcome.out,
            "Running Revolution Number 1 .......... \nRunning Revolution Number 2 .......... \n"
            "Running Revolution Number 3 .......... \n");
  for (const char* suffix : kSeriesSuffixes) {
    EXPECT_EQ(count_lines(dir.file(std::string("run1") + suffix)), 2u * 342u) << suffix;
  }
  EXPECT_EQ(count_lines(dir.file("run1.rms")), 2u);
  EXPECT_EQ(count_lines(dir.file("run1.ave")), 2u);
  EXPECT_EQ(numbers_of(lines_of(read_file(dir.file("run1.rms")))[0]).size(), 18u);
  EXPECT_EQ(numbers_of(lines_of(read_file(dir.file("run1.ave")))[0]).size(), 9u);
  EXPECT_TRUE(file_exists(dir.file("run1.rpt")));
  EXPECT_EQ(lines_of(read_file(dir.file("run1.html")))[1], "<H1>E2E job</H1>");
  auto rows = lines_of(read_file(dir.file("run1.fy.dat")));
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
    ScratchDir dir;
    Job job;
    job.revs_total = 1;
    job.increments = c.increments;
    e2e::write_job(dir, "inc", job);
    auto outcome = run_program(dir.path(), "inc .");
    ASSERT_EQ(outcome.exit_code, 0) << outcome.err;
    auto rows = lines_of(read_file(dir.file("inc.sx.dat")));
    ASSERT_EQ(rows.size(), c.rows) << c.increments;
    EXPECT_EQ(rows.back().rfind(c.last_step, 0), 0u) << rows.back();
  }
}

TEST(Batch, SkippingEveryRevolutionLeavesEmptyResultFiles) {
  ScratchDir dir;
  Job job;
  job.revs_total = 2;
  job.revs_skipped = 2;
  job.increments = 50;
  e2e::write_job(dir, "skip", job);
  auto outcome = run_program(dir.path(), "skip .");
  ASSERT_EQ(outcome.exit_code, 0) << outcome.err;
  for (const char* suffix : {".dat", ".wz.dat", ".rms", ".ave"}) {
    EXPECT_TRUE(file_exists(dir.file(std::string("skip") + suffix)));
    EXPECT_EQ(read_file(dir.file(std::string("skip") + suffix)), "") << suffix;
  }
}

TEST(Batch, AProcessOtherThanTurningCutsNothing) {
  ScratchDir dir;
  Job job;
  job.process = "Milling";
  job.revs_total = 1;
  job.increments = 10;
  e2e::write_job(dir, "mill", job);
  auto outcome = run_program(dir.path(), "mill .");
  ASSERT_EQ(outcome.exit_code, 0) << outcome.err;
  EXPECT_EQ(outcome.out, "");
  for (const std::string& row : lines_of(read_file(dir.file("mill.dat")))) {
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

  e2e::write_job(dir, "run1", Job{});
  auto no_folder = run_program(dir.path(), "run1 no/such/folder");
  EXPECT_EQ(no_folder.exit_code, 1);
}

TEST(Batch, ARefusedJobLeavesTheEarlierResultsUntouched) {
  ScratchDir dir;
  Job job;
  job.revs_total = 1;
  job.increments = 20;
  job.tool_modes = "1\n1\n0.05\n20000\n0\n0\n0\n";
  e2e::write_job(dir, "job", job);
  ASSERT_EQ(run_program(dir.path(), "job .").exit_code, 0);
  const std::string rms = read_file(dir.file("job.rms"));
  const std::string dat = read_file(dir.file("job.dat"));
  const std::string html = read_file(dir.file("job.html"));

  job.tool_modes = "1\n1\n1.0\n20000\n0\n0\n0\n";  // critically damped: cannot be integrated
  e2e::write_job(dir, "job", job);
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
  ScratchDir dir;
  Job job;
  job.workpiece = "TITANIUM";
  job.revs_total = 2;
  job.increments = 100;
  e2e::write_job(dir, "ti", job);
  auto outcome = run_program(dir.path(), "ti .");
  EXPECT_EQ(outcome.exit_code, 1);
  EXPECT_EQ(outcome.err,
            "corvanel: kfkncfa.db: the row for workpiece \"TITANIUM\" and insert \"CARB\" at 15 "
            "degrees: there is none, nor a pair whose names match when case and blanks are "
            "ignored\n");
  EXPECT_FALSE(file_exists(dir.file("ti.rpt")));
  EXPECT_FALSE(file_exists(dir.file("ti.dat")));
}

TEST(Interactive, LoadsAJobFileAndPrintsProgressWithoutAPage) {
  ScratchDir dir;
  Job job;
  job.revs_total = 2;
  job.increments = 100;
  e2e::write_job(dir, "job", job);
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
  ScratchDir dir;
  Job job;
  job.revs_total = 1;
  e2e::write_job(dir, "rigid", job);
  ASSERT_EQ(run_program(dir.path(), "rigid .").exit_code, 0);

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
  auto rows = lines_of(read_file(dir.file("rigid.dat")));
  EXPECT_EQ(rows[0], "   0     0.0000     0.0000     0.0000     0.0000 ");
  EXPECT_EQ(rows[1], expected);
}

// A stiff tool mode in Y, which does not change the chip, deflects by the
// mean Y force over its stiffness.
TEST(Physics, AStiffToolModeDeflectsStatically) {
  ScratchDir dir;
  Job job;
  job.revs_total = 2;
  job.revs_skipped = 1;
  // 1e6 N/m at about 1 kHz: a deflection large enough for the six decimals
  // of the metre-valued .ave columns.
  job.tool_modes = "0\n1\n0.0253\n0.05\n1000\n0\n0\n";
  e2e::write_job(dir, "stiff", job);
  ASSERT_EQ(run_program(dir.path(), "stiff .").exit_code, 0);
  auto means = numbers_of(lines_of(read_file(dir.file("stiff.ave")))[0]);
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
    ScratchDir dir;
    Job job;
    job.units = 0;
    job.feed = 0.008;
    job.depth = 0.08;
    job.radius = 2.0;
    job.nose = 0.03;
    job.rpm = 600;
    job.revs_total = 6;
    char modes[128];
    std::snprintf(modes, sizeof modes, "1\n0.00571\n0.05\n%g\n0\n0\n0\n", stiffness_lb_per_in);
    job.tool_modes = modes;
    e2e::write_job(dir, "flex", job);
    EXPECT_EQ(run_program(dir.path(), "flex .").exit_code, 0);
    std::vector<double> rms;
    for (const auto& line : lines_of(read_file(dir.file("flex.rms")))) {
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
  ScratchDir dir;
  Job job;
  job.depth = 0;
  job.revs_total = 2;
  job.increments = 10;
  job.tool_modes = "1\n1\n0.05\n20000\n0\n0\n0\n";
  e2e::write_job(dir, "zero", job);
  ASSERT_EQ(run_program(dir.path(), "zero .").exit_code, 0);
  for (const auto& line : lines_of(read_file(dir.file("zero.rms")))) {
    for (double x : numbers_of(line)) EXPECT_EQ(x, 0.0) << line;
  }
  for (const auto& line : lines_of(read_file(dir.file("zero.dat")))) {
    EXPECT_EQ(line.find("nan"), std::string::npos);
  }
}
