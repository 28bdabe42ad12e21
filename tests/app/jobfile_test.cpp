#include "app/jobfile.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/records.h"
#include "tests/support/test_support.h"

using test_support::new_params;
using test_support::Params;
using test_support::read_file;
using test_support::ScratchDir;
using test_support::write_file;

namespace {

// A job with modes in some directions and none in others.
void fill_job(SimParams* p) {
  snprintf(p->title, sizeof p->title, "%s", "Spindle test 3");
  p->process = 'T';
  p->units = 1;
  p->spindle_rpm = 800.5;
  p->feed_per_rev = 0.2;
  p->depth_of_cut = 2.0;
  p->initial_wear = 0.05;
  p->inclination_angle = 5.0;
  p->normal_rake_angle = -6.0;
  p->side_cutting_edge_angle = 15.0;
  p->workpiece_radius = 50.0;
  p->nose_radius = 0.8;
  snprintf(p->workpiece_material, sizeof p->workpiece_material, "%s", "AISI 1045 ");
  snprintf(p->insert_material, sizeof p->insert_material, "%s", "  P25 coated");
  p->calc_type = 1;
  ModalSet& s = p->spindle_modes;
  params_resize_modes(&s.x_modes, &s.x_count, 1);
  s.x_modes[0] = {12.5, 0.04, 25000.0, 30.0};
  ModalSet& t = p->tool_modes;
  params_resize_modes(&t.z_modes, &t.z_count, 2);
  t.z_modes[0] = {0.3, 0.02, 40000.0, -10.0};
  t.z_modes[1] = {0.1234567, 0.06, 90000.0, 0.0};
  p->revs_total = 12;
  p->revs_skipped = 3;
  p->angular_increments = 2;
}

const char kWrittenJob[] =
    "Spindle test 3\nT\n1\n800.500000\n0.200000\n2.000000\n0.050000\n5.000000\n-6.000000\n"
    "15.000000\n50.000000\n0.800000\nAISI 1045 \n  P25 coated\n1\n"
    "1\n12.500000\n0.040000\n25000.000000\n30.000000\n0\n0\n"
    "0\n0\n2\n0.300000\n0.020000\n40000.000000\n-10.000000\n"
    "0.123457\n0.060000\n90000.000000\n0.000000\n12\n3\n2\n";

}  // namespace

TEST(Jobfile, WritesTheTableOrderAndReadsItBack) {
  ScratchDir dir;
  Params p = new_params();
  fill_job(p.get());
  ASSERT_EQ(jobfile_write(p.get(), dir.file("job.in").c_str()), 1);
  EXPECT_EQ(read_file(dir.file("job.in")), kWrittenJob);

  Params q = new_params();
  ASSERT_EQ(jobfile_read(q.get(), dir.file("job.in").c_str()), 1);
  EXPECT_STREQ(q->title, "Spindle test 3");
  EXPECT_EQ(q->process, 'T');
  EXPECT_EQ(q->units, 1);
  EXPECT_EQ(q->spindle_rpm, 800.5);
  EXPECT_EQ(q->initial_wear, 0.05);
  EXPECT_EQ(q->normal_rake_angle, -6.0);
  EXPECT_EQ(q->nose_radius, 0.8);
  EXPECT_STREQ(q->workpiece_material, "AISI 1045 ");
  EXPECT_STREQ(q->insert_material, "  P25 coated");  // leading blanks stay
  EXPECT_EQ(q->calc_type, 1);
  ASSERT_EQ(q->spindle_modes.x_count, 1);
  EXPECT_EQ(q->spindle_modes.x_modes[0].stiffness, 25000.0);
  EXPECT_EQ(q->spindle_modes.y_count, 0);
  ASSERT_EQ(q->tool_modes.z_count, 2);
  EXPECT_EQ(q->tool_modes.z_modes[1].mass, 0.123457);  // six decimals
  EXPECT_EQ(q->tool_modes.z_modes[0].modal_angle, -10.0);
  EXPECT_EQ(q->revs_total, 12);
  EXPECT_EQ(q->revs_skipped, 3);
  EXPECT_EQ(q->angular_increments, 2);
  EXPECT_STREQ(q->database_file, "kfkncfa.db");  // not part of a job file
}

TEST(Jobfile, ReadingQuirksOfHandWrittenFiles) {
  ScratchDir dir;
  // Numbers share a line, the process is a whole word, blank lines and
  // leading blanks before the workpiece material are skipped, CRLF ends lines.
  write_file(dir.file("a.in"),
             "Title\r\nTurning\n0 1200 0.004 0.08 0 5 6 15 2.0 0.03\n\n\n   STEEL1045\r\n"
             " CARBIDE\n0\n0 0 0\n0 1\n0.01 0.05 50000 -30\n0\n20 5 -5\n");
  Params p = new_params();
  ASSERT_EQ(jobfile_read(p.get(), dir.file("a.in").c_str()), 1);
  EXPECT_STREQ(p->title, "Title");
  EXPECT_EQ(p->process, 'T');
  EXPECT_EQ(p->units, 0);
  EXPECT_EQ(p->spindle_rpm, 1200.0);
  EXPECT_EQ(p->feed_per_rev, 0.004);
  EXPECT_EQ(p->initial_wear, 0.0);
  EXPECT_EQ(p->side_cutting_edge_angle, 15.0);
  EXPECT_EQ(p->nose_radius, 0.03);
  EXPECT_STREQ(p->workpiece_material, "STEEL1045");
  EXPECT_STREQ(p->insert_material, " CARBIDE");
  ASSERT_EQ(p->tool_modes.y_count, 1);
  EXPECT_EQ(p->tool_modes.y_modes[0].modal_angle, -30.0);
  EXPECT_EQ(p->revs_total, 20);
  EXPECT_EQ(p->revs_skipped, 5);
  EXPECT_EQ(p->angular_increments, 1);  // -5 is raised to 1
}

TEST(Jobfile, AFileEndingBeforeTheRevolutionCountIsRefusedAfterItKeepsDefaults) {
  ScratchDir dir;
  Params p = new_params();
  std::string error;
  JobfileLines lines;
  // Nothing would be simulated: refused at the first item missing, on the
  // line where the file ends.
  write_file(dir.file("t.in"), "Short\nT\n1\n900\n0.1\n");
  EXPECT_EQ(jobfile_read(p.get(), dir.file("t.in").c_str(), &error, &lines), 0);
  EXPECT_EQ(error,
            "the depth of cut: the job file ends here, before the revolutions to simulate; "
            "nothing would be simulated");
  EXPECT_EQ(lines.error_line, 6);

  // Ending after the revolution count keeps the defaults of the rest.
  p = new_params();
  write_file(dir.file("t.in"),
             "Short\nT\n1\n900\n0.1\n2\n0\n0\n0\n15\n50\n0.8\nW\nI\n0\n"
             "0\n0\n0\n0\n0\n0\n7");
  ASSERT_EQ(jobfile_read(p.get(), dir.file("t.in").c_str(), &error, &lines), 1) << error;
  EXPECT_EQ(p->revs_total, 7);
  EXPECT_EQ(p->revs_skipped, 0);
  EXPECT_EQ(p->angular_increments, 1);
  EXPECT_EQ(jobfile_line_of(&lines, &p->revs_total), 22);
  EXPECT_EQ(jobfile_line_of(&lines, &p->workpiece_material), 13);
  EXPECT_EQ(jobfile_line_of(&lines, &p->revs_skipped), 0);  // not read
}

TEST(Jobfile, ANumberMustBeTheWholeTokenAndIsRefusedOnItsOwnLine) {
  ScratchDir dir;
  const struct {
    const char* feed;  // line 5
    const char* error;
  } cases[] = {
      {"0.2.5", "the feed per revolution: \"0.2.5\" is not a number"},
      {"2,0", "the feed per revolution: \"2,0\" is not a number"},
      {"12OO", "the feed per revolution: \"12OO\" is not a number"},
  };
  for (const auto& c : cases) {
    write_file(dir.file("n.in"), std::string("Title\nT\n1\n900\n") + c.feed +
                                     "\n2\n0\n0\n0\n15\n50\n0.8\nW\nI\n0\n0\n0\n0\n0\n0\n0\n1\n");
    Params p = new_params();
    std::string error;
    JobfileLines lines;
    EXPECT_EQ(jobfile_read(p.get(), dir.file("n.in").c_str(), &error, &lines), 0) << c.feed;
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(lines.error_line, 5) << c.feed;
  }
  // Whole numbers: a decimal or one beyond 32 bits is a number, not a count.
  write_file(dir.file("n.in"), "Title\nT\n1.5\n");
  Params p = new_params();
  std::string error;
  EXPECT_EQ(jobfile_read(p.get(), dir.file("n.in").c_str(), &error), 0);
  EXPECT_EQ(error, "the units: \"1.5\" is not a whole number of 32 bits");
}

TEST(Jobfile, RefusesWhatItCannotHoldSafely) {
  ScratchDir dir;
  std::string error;
  Params p = new_params();
  EXPECT_EQ(jobfile_read(p.get(), dir.file("missing.in").c_str(), &error), 0);
  EXPECT_NE(error.find("cannot open"), std::string::npos);

  write_file(dir.file("long.in"), std::string(64, 't') + "\nT\n");
  EXPECT_EQ(jobfile_read(p.get(), dir.file("long.in").c_str(), &error), 0);
  EXPECT_NE(error.find("title"), std::string::npos);

  write_file(dir.file("ok63.in"), std::string(63, 't') + "\nT\n");
  EXPECT_EQ(jobfile_read(p.get(), dir.file("ok63.in").c_str(), &error), 0);  // ends early
  EXPECT_EQ(error.rfind("the units: the job file ends here", 0), 0u) << error;
  EXPECT_EQ(std::string(p->title), std::string(63, 't'));
  EXPECT_EQ(p->process, 'T');

  const char* counts[] = {"6", "-1", "99999999999"};
  for (const char* count : counts) {
    Params q = new_params();
    write_file(dir.file("modes.in"),
               std::string("M\nT\n1 1 1 1 0 0 0 0 1 1\nW\nI\n0\n") + count + "\n");
    EXPECT_EQ(jobfile_read(q.get(), dir.file("modes.in").c_str(), &error), 0) << count;
    EXPECT_NE(error.find("spindle-workpiece X mode count"), std::string::npos) << error;
  }
}

TEST(Jobfile, WriterRefusesAJobThatWouldReadBackShifted) {
  ScratchDir dir;
  Params p = new_params();
  fill_job(p.get());
  p->workpiece_material[0] = '\0';
  std::string error;
  EXPECT_EQ(jobfile_write(p.get(), dir.file("bad.in").c_str(), &error), 0);
  EXPECT_FALSE(test_support::file_exists(dir.file("bad.in")));
  EXPECT_EQ(jobfile_write(p.get(), (dir.path() + "/no/such/dir/x.in").c_str()), 0);
}

TEST(Jobfile, LineReaderStopsAt63Characters) {
  ScratchDir dir;
  write_file(dir.file("lines"), "\nab\r\n" + std::string(70, 'x') + "\nnext");
  FILE* in = fopen(dir.file("lines").c_str(), "r");
  char buf[kParamsTextSize];
  EXPECT_EQ(jobfile_read_line(buf, in), JOBFILE_LINE_OK);
  EXPECT_STREQ(buf, "");  // an empty line is the empty text
  EXPECT_EQ(jobfile_read_line(buf, in), JOBFILE_LINE_OK);
  EXPECT_STREQ(buf, "ab");
  EXPECT_EQ(jobfile_read_line(buf, in), JOBFILE_LINE_TOO_LONG);
  EXPECT_EQ(std::string(buf), std::string(63, 'x'));
  EXPECT_EQ(jobfile_read_line(buf, in), JOBFILE_LINE_OK);
  EXPECT_STREQ(buf, "next");
  EXPECT_EQ(jobfile_read_line(buf, in), JOBFILE_LINE_END);
  fclose(in);
}
