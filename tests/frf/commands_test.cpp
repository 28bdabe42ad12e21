// corvanel-frf as a user runs it: exit codes, one-line refusals naming the
// file, a job written by --into and one left alone when anything fails.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "tests/support/test_support.h"

using test_support::read_file;
using test_support::run_command;
using test_support::ScratchDir;
using test_support::write_file;

namespace {

struct Outcome {
  int status;
  std::string out, err;
};

Outcome frf(const ScratchDir& dir, const std::string& args) {
  Outcome r;
  r.status = run_command("cd '" + dir.path() + "' && '" CORVANEL_FRF_BINARY "' " + args +
                         " >out.txt 2>err.txt");
  r.out = read_file(dir.file("out.txt"));
  r.err = read_file(dir.file("err.txt"));
  return r;
}

const std::string kDemo = std::string(CORVANEL_SOURCE_DIR) + "/examples/demo.in";

TEST(FrfCommands, UsageErrorsExitTwo) {
  ScratchDir dir;
  write_file(dir.file("a.csv"), "f [Hz],Re [m/N],Im [m/N]\n10,1,2\n");
  const char* cases[] = {
      "",
      "fit a.csv --direction x",
      "fit a.csv --structure spindle --direction x",
      "fit a.csv --structure tool --direction q",
      "fit a.csv --structure tool --direction x --units N/m",
      "fit a.csv --structure tool --direction x --from 100",
      "fit a.csv --structure tool --direction x --from 300 --to 100",
      "fit a.csv --structure tool --direction x --bogus",
      "lobes a.csv",
  };
  for (const char* args : cases) {
    const Outcome r = frf(dir, args);
    EXPECT_EQ(r.status, 2) << args << "\n" << r.err;
    EXPECT_NE(r.err.find("usage: corvanel-frf"), std::string::npos) << args;
  }
  EXPECT_EQ(frf(dir, "--version").status, 0);
  EXPECT_EQ(frf(dir, "--help").status, 0);
  EXPECT_EQ(frf(dir, "fit --help").status, 0);
}

TEST(FrfCommands, FitIntoTheDemoJobChangesOnlyThatBlock) {
  ScratchDir dir;
  ASSERT_EQ(frf(dir,
                "synth tool.uff --mode 250,0.012,2.26e8 --mode 620,0.02,5e8 --from 100 "
                "--to 800 --seed 3 --layout binary")
                .status,
            0);
  write_file(dir.file("job.in"), read_file(kDemo));
  const Outcome r = frf(dir, "fit tool.uff --structure tool --direction x --into job.in");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string demo = read_file(kDemo), job = read_file(dir.file("job.in"));
  // Everything before the tool X count and after its last number is as it was.
  const std::string old_block = "1\n0.500000\n0.040000\n50000.000000\n45.000000\n";
  const size_t at = demo.find(old_block);
  ASSERT_NE(at, std::string::npos);
  const std::string tail = demo.substr(at + old_block.size());
  EXPECT_EQ(job.substr(0, at), demo.substr(0, at));
  ASSERT_GT(job.size(), tail.size());
  EXPECT_EQ(job.substr(job.size() - tail.size()), tail);
  // Two modes, strongest (lowest 2 zeta k) first, in kg and N/mm, angle 0.
  const std::string block = job.substr(at, job.size() - tail.size() - at);
  double m1, z1, k1, a1, m2, z2, k2, a2;
  int n = 0;
  ASSERT_EQ(std::sscanf(block.c_str(), "%d %lf %lf %lf %lf %lf %lf %lf %lf", &n, &m1, &z1, &k1, &a1,
                        &m2, &z2, &k2, &a2),
            9)
      << block;
  EXPECT_EQ(n, 2);
  EXPECT_NEAR(k1 / 226000.0, 1.0, 0.03);
  EXPECT_NEAR(z1 / 0.012, 1.0, 0.05);
  EXPECT_NEAR(m1 / (2.26e8 / (4 * 9.869604401089358 * 250 * 250)), 1.0, 0.03);
  EXPECT_NEAR(k2 / 500000.0, 1.0, 0.03);
  EXPECT_EQ(a1, 0.0);
  EXPECT_EQ(a2, 0.0);

  // An English job takes lbf s^2/in and lbf/in: 175.126 N/m per lbf/in.
  std::string english = demo;
  english.replace(english.find("\n1\n640"), 6, "\n0\n640");
  write_file(dir.file("english.in"), english);
  ASSERT_EQ(frf(dir, "fit tool.uff --structure tool --direction x --into english.in").status, 0);
  const std::string e = read_file(dir.file("english.in"));
  EXPECT_EQ(e.substr(0, at), english.substr(0, at));
  ASSERT_EQ(std::sscanf(e.c_str() + at, "%d %lf %lf %lf", &n, &m1, &z1, &k1), 4);
  EXPECT_NEAR(k1 / (2.26e8 / 175.1259842519685), 1.0, 0.03);
  EXPECT_NEAR(m1 / (2.26e8 / (4 * 9.869604401089358 * 250 * 250) / 175.1259842519685), 1.0, 0.03);
}

TEST(FrfCommands, RefusalsAreOneLineAndLeaveTheJobAlone) {
  ScratchDir dir;
  ASSERT_EQ(frf(dir, "synth x.uff --mode 250,0.012,2.26e8 --from 100 --to 800").status, 0);
  // The same FRF said to be measured in Y.
  std::string y = read_file(dir.file("x.uff"));
  y.replace(y.find("   1 NONE"), 9, "   2 NONE");
  write_file(dir.file("y.uff"), y);
  std::string trans = read_file(dir.file("x.uff"));
  trans.replace(trans.find("    4         1"), 15, "    5         1");
  write_file(dir.file("trans.uff"), trans);
  write_file(dir.file("back.csv"), "f [Hz],Re [m/N],Im [m/N]\n10,1,2\n20,1,2\n15,1,2\n");
  write_file(dir.file("few.csv"),
             "f [Hz],Re [m/N],Im [m/N]\n10,1e-8,2e-8\n20,1e-8,2e-8\n30,1e-8,2e-8\n");
  write_file(dir.file("bare.txt"), "10 1 2\n20 1 2\n");
  struct Case {
    const char* args;
    const char* says;
  } cases[] = {
      {"fit x.uff y.uff --structure tool --direction x", "y.uff: measured in direction Y, not X"},
      {"fit y.uff --structure tool --direction x", "measured in direction Y"},
      {"fit trans.uff --structure tool --direction x",
       "trans.uff:8: function type 5 (transmissibility)"},
      {"fit back.csv --structure tool --direction x",
       "back.csv:4: the frequencies are not increasing"},
      {"fit few.csv --structure tool --direction x", "few.csv"},
      {"fit bare.txt --structure tool --direction x",
       "bare.txt:1: neither the file nor the command line"},
      {"fit missing.uff --structure tool --direction x", "missing.uff"},
  };
  for (const Case& c : cases) {
    write_file(dir.file("job.in"), read_file(kDemo));
    const Outcome r = frf(dir, std::string(c.args) + " --into job.in");
    EXPECT_EQ(r.status, 1) << c.args;
    EXPECT_EQ(r.err.rfind("corvanel-frf: ", 0), 0u) << c.args << ": " << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << c.args << ": " << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << c.args << ": " << r.err;
    EXPECT_EQ(read_file(dir.file("job.in")), read_file(kDemo)) << c.args;
  }
}

TEST(FrfCommands, MoreThanFiveModesKeepTheStrongestWithAWarning) {
  ScratchDir dir;
  ASSERT_EQ(frf(dir,
                "synth six.uff --mode 150,0.01,1e8 --mode 300,0.01,2e8 --mode 450,0.01,3e8 "
                "--mode 600,0.01,4e8 --mode 750,0.01,5e8 --mode 900,0.01,1e9 --from 50 --to 1000 "
                "--noise 0.005 --floor 0.001 --direction z")
                .status,
            0);
  write_file(dir.file("job.in"), read_file(kDemo));
  const Outcome r = frf(dir, "fit six.uff --structure workpiece --direction z --into job.in");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("warning: 1 weaker mode(s) dropped"), std::string::npos) << r.err;
  EXPECT_NE(read_file(dir.file("job.in")).find("\n5\n"), std::string::npos);
  EXPECT_EQ(read_file(dir.file("job.in")).find("1000000.000000"),
            std::string::npos);  // 900 Hz dropped
}

}  // namespace

namespace {

TEST(FrfCommands, LobesFromTheMeasurementAndFromItsFit) {
  ScratchDir dir;
  const std::string validation = std::string(CORVANEL_SOURCE_DIR) + "/examples/validation/";
  ASSERT_EQ(
      frf(dir, "synth tool.uff --mode 250,0.012,2.26e8 --from 50 --to 1000 --noise 0 --floor 0")
          .status,
      0);
  // The tool alone, and the tool with a stiff workpiece measured over a narrower band.
  ASSERT_EQ(
      frf(dir, "synth wp.uff --mode 600,0.05,1e10 --from 100 --to 900 --noise 0 --floor 0").status,
      0);
  for (const char* workpiece : {"", " wp.uff"}) {
    const Outcome r =
        frf(dir, std::string("lobes tool.uff") + workpiece + " --job '" + validation +
                     "validation.in' --database '" + validation + "kfkncfa.db' --rpm 3900:4200");
    ASSERT_EQ(r.status, 0) << r.err;
    // The limit of the textbook mode: 2 k zeta (1 + zeta) / Ks with Ks 1000 MPa, 5.49 mm.
    double measured = 0, fitted = 0, difference = 100;
    const size_t m = r.out.find("from the measured FRF:  minimum ");
    const size_t f = r.out.find("from the fitted modes:  minimum ");
    const size_t d = r.out.find("difference at the minimum: ");
    ASSERT_TRUE(m != std::string::npos && f != std::string::npos && d != std::string::npos)
        << r.out;
    std::sscanf(r.out.c_str() + m + 32, "%lf", &measured);
    std::sscanf(r.out.c_str() + f + 32, "%lf", &fitted);
    std::sscanf(r.out.c_str() + d + 27, "%lf", &difference);
    EXPECT_NEAR(measured, 5.49, 0.06) << r.out;
    EXPECT_NEAR(fitted, 5.49, 0.06) << r.out;
    EXPECT_LT(std::fabs(difference), 1.0) << r.out;
  }
  ASSERT_EQ(frf(dir, "synth far.uff --mode 3000,0.05,1e9 --from 2000 --to 4000").status, 0);
  const Outcome r = frf(dir, "lobes tool.uff far.uff --job '" + validation +
                                 "validation.in' --database '" + validation + "kfkncfa.db'");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("far.uff: its band does not overlap"), std::string::npos) << r.err;
}

}  // namespace
