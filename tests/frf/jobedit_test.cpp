// Fitted modes into job files: one direction's block replaced, every other
// byte kept; the job's units; refusals that leave the job as it was; and a
// job so edited runs.
#include "frf/jobedit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/jobfile.h"
#include "model/params.h"
#include "tests/support/test_support.h"

using test_support::file_exists;
using test_support::read_file;
using test_support::run_command;
using test_support::ScratchDir;
using test_support::write_file;

namespace {

const std::string kExamples = std::string(CORVANEL_SOURCE_DIR) + "/examples/";

// The demo job's six direction blocks as its text holds them, in file order.
const char* const kDemoBlocks[2][3] = {
    {"1\n2.500000\n0.040000\n60000.000000\n0.000000",
     "1\n3.000000\n0.050000\n80000.000000\n30.000000",
     "1\n2.000000\n0.030000\n50000.000000\n0.000000"},
    {"1\n0.500000\n0.040000\n50000.000000\n45.000000",
     "2\n0.600000\n0.050000\n40000.000000\n60.000000\n0.150000\n0.030000\n45000.000000\n90.000000",
     "1\n0.400000\n0.040000\n45000.000000\n30.000000"},
};

TEST(Jobedit, EachDirectionOfTheDemoJobIsReplacedAndNothingElse) {
  const std::string demo = read_file(kExamples + "demo.in");
  const std::vector<JobeditMode> modes = {{91.59435, 0.012, 226000.0, 0.0},
                                          {12.5, 0.0315, 189000.123456, 0.0}};
  const std::string block =
      "2\n91.594350\n0.012000\n226000.000000\n0.000000\n"
      "12.500000\n0.031500\n189000.123456\n0.000000";
  for (int structure = 0; structure < 2; ++structure) {
    for (int axis = 0; axis < 3; ++axis) {
      // The expectation by plain text replacement of the block (each is unique in the demo).
      const std::string old_block = kDemoBlocks[structure][axis];
      const size_t at = demo.find(old_block + "\n");
      ASSERT_NE(at, std::string::npos) << structure << axis;
      std::string want = demo;
      want.replace(at, old_block.size(), block);
      std::string edited, error;
      ASSERT_TRUE(jobedit_replace(demo, structure, axis, modes, &edited, &error)) << error;
      EXPECT_EQ(edited, want) << "structure " << structure << " axis " << axis;
      std::string none;
      ASSERT_TRUE(jobedit_replace(demo, structure, axis, {}, &none, &error)) << error;
      want = demo;
      want.replace(at, old_block.size(), "0");
      EXPECT_EQ(none, want) << "structure " << structure << " axis " << axis;
    }
  }
}

TEST(Jobedit, HandWrittenLayoutsKeepTheirBytes) {
  // Numbers sharing lines, CR LF line ends, odd spacing and blank lines.
  const std::string job =
      "Hand typed\r\nT\r\n1 640 0.2 2 0.1   0 6 15 50 0.8\r\n\r\n  AISI1045\r\nCARB\r\n0\r\n"
      "0 0 0\r\n1 2.5 0.04 6e4 0   0 0\r\n12 2 1\r\n";
  std::string edited, error;
  ASSERT_TRUE(jobedit_replace(job, 1, 0, {{1.0, 0.02, 3000.0, 0.0}}, &edited, &error)) << error;
  EXPECT_EQ(edited,
            "Hand typed\r\nT\r\n1 640 0.2 2 0.1   0 6 15 50 0.8\r\n\r\n  AISI1045\r\nCARB\r\n0\r\n"
            "0 0 0\r\n1\r\n1.000000\r\n0.020000\r\n3000.000000\r\n0.000000   0 0\r\n12 2 1\r\n");
  ASSERT_TRUE(jobedit_replace(job, 0, 2, {{1.0, 0.02, 3000.0, 0.0}}, &edited, &error)) << error;
  EXPECT_EQ(edited.substr(0, edited.find("CARB")), job.substr(0, job.find("CARB")));
  EXPECT_NE(edited.find("0\r\n0 0 1\r\n1.000000\r\n0.020000\r\n3000.000000\r\n0.000000\r\n1 2.5"),
            std::string::npos)
      << edited;
}

TEST(Jobedit, ModesGoInTheJobsUnits) {
  // English: lbf s^2/in and lbf/in, 175.126 N/m per lbf/in; metric: kg and N/mm.
  const JobeditMode english = jobedit_job_units(0, 175.1259842519685, 0.01, 175125.9842519685);
  EXPECT_NEAR(english.mass, 1.0, 1e-15);
  EXPECT_NEAR(english.stiffness, 1000.0, 1e-9);
  EXPECT_EQ(english.damping_ratio, 0.01);
  EXPECT_EQ(english.modal_angle, 0.0);
  const JobeditMode metric = jobedit_job_units(1, 91.59435, 0.012, 2.26e8);
  EXPECT_EQ(metric.mass, 91.59435);
  EXPECT_EQ(metric.stiffness, 226000.0);
  // A small English mass keeps its digits rather than six decimals.
  EXPECT_EQ(jobedit_block_text({{0.0001234567, 0.012, 1290.5, 0}}, "\n"),
            "1\n0.0001234567\n0.012000\n1290.500000\n0.000000");
}

TEST(Jobedit, RefusalsLeaveTheJobAsItWas) {
  ScratchDir dir;
  const std::string demo = read_file(kExamples + "demo.in");
  struct Case {
    const char* name;
    std::string text;
    std::vector<JobeditMode> modes;
    const char* says;
  };
  const std::vector<JobeditMode> one = {{1, 0.02, 3000, 0}};
  const Case cases[] = {
      {"six modes", demo, std::vector<JobeditMode>(6, one[0]), "at most 5 modes"},
      {"not a job", "just a line\n", one, "the job file ends here"},
      {"a mode count the reader refuses",
       demo.substr(0, demo.find("AISI1045")) + "AISI1045\nX\n0\n7\n", one, "mode count 7"},
      {"cut short before the tool block",
       demo.substr(0, demo.find("CARBIDE")) + "CARBIDE\n0\n0\n0\n0\n", one,
       "the job file ends here"},
  };
  for (const Case& c : cases) {
    const std::string path = dir.file("job.in");
    write_file(path, c.text);
    std::string error;
    EXPECT_FALSE(jobedit_write_modes(path, 1, 0, c.modes, &error)) << c.name;
    EXPECT_NE(error.find(c.says), std::string::npos) << c.name << ": " << error;
    EXPECT_EQ(read_file(path), c.text) << c.name;
    EXPECT_FALSE(file_exists(path + ".frf-new")) << c.name;
  }
}

TEST(Jobedit, AnEditedDemoJobRunsWithTheNewModes) {
  ScratchDir dir;
  for (const char* f : {"wear.db", "kfkncfa.db"}) write_file(dir.file(f), read_file(kExamples + f));
  // The demo job, shortened to two revolutions to keep the test quick.
  std::string demo = read_file(kExamples + "demo.in");
  demo.replace(demo.rfind("12\n2\n1\n"), 7, "2\n0\n1\n");
  write_file(dir.file("fitted.in"), demo);
  std::string error;
  ASSERT_TRUE(jobedit_write_modes(dir.file("fitted.in"), 1, 0,
                                  {{91.59435, 0.012, 226000.0, 0.0}, {12.5, 0.03, 150000.0, 0.0}},
                                  &error))
      << error;
  const std::string edited = read_file(dir.file("fitted.in"));
  const std::string old_block = kDemoBlocks[1][0];
  std::string want = demo;
  want.replace(want.find(old_block), old_block.size(),
               "2\n91.594350\n0.012000\n226000.000000\n0.000000\n12.500000\n0.030000\n"
               "150000.000000\n0.000000");
  EXPECT_EQ(edited, want);
  const int status =
      run_command("cd '" + dir.path() + "' && '" CORVANEL_BINARY "' fitted . >/dev/null 2>run.err");
  EXPECT_EQ(status, 0) << read_file(dir.file("run.err"));
  EXPECT_NE(read_file(dir.file("fitted.rpt")).find("226000"), std::string::npos);
}

}  // namespace
