// The text report and the HTML summary of the same two jobs, English and
// metric, compared with whole expected files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "model/params.h"
#include "model/units.h"
#include "results/html.h"
#include "results/report.h"
#include "tests/support/records.h"
#include "tests/support/test_support.h"

using test_support::file_exists;
using test_support::read_file;
using test_support::ScratchDir;

namespace {

using ParamsPtr = test_support::Params;
using test_support::set_modes;

// An English job as the run holds it when the report is written: angles
// already in radians, everything else as entered, derived fields still 0.
// The spindle has two X modes, no Y mode and one Z mode; the tool one Y mode.
ParamsPtr english_job() {
  ParamsPtr p = test_support::new_params();
  std::strcpy(p->title, "Spindle test 3");
  p->units = 0;
  p->spindle_rpm = 1200.0;
  p->feed_per_rev = 0.004;
  p->depth_of_cut = 0.05;
  p->inclination_angle = 5.0;
  p->normal_rake_angle = -6.0;
  p->side_cutting_edge_angle = 15.0;
  p->workpiece_radius = 2.5;
  p->nose_radius = 0.0312;
  set_modes(&p->spindle_modes, 'x', {{0.0123, 0.035, 250000.0, 0.0}, {0.5, 0.02, 1500.75, -30.0}});
  set_modes(&p->spindle_modes, 'z', {{1.25, 0.1, 98765.4321, 90.0}});
  set_modes(&p->tool_modes, 'y', {{0.002, 0.05, 45000.0, 45.0}});
  units_angles_to_radians(p.get());
  return p;
}

// A metric job with non-zero derived fields (chip flow angle in radians).
ParamsPtr metric_job() {
  ParamsPtr p = test_support::new_params();
  std::strcpy(p->title, "Face cut 12 - 40CrMo4 'dry' #2 (50% feed)");
  p->units = 1;
  p->spindle_rpm = 850.5;
  p->feed_per_rev = 0.25;
  p->depth_of_cut = 2.0;
  p->inclination_angle = 0.0;
  p->normal_rake_angle = 7.5;
  p->side_cutting_edge_angle = -2.25;
  p->workpiece_radius = 60.0;
  p->nose_radius = 0.8;
  p->initial_wear = 0.1;
  units_angles_to_radians(p.get());
  p->avg_chip_thickness = 0.2415;
  p->kf = 1500.25;
  p->kn = 2400.0;
  p->chip_flow_angle = 0.1;  // 5.7296 degrees
  set_modes(&p->spindle_modes, 'x', {{2.5, 0.04, 12000.0, 0.0}, {1.1, 0.03, 35000.5, 120.0}});
  set_modes(&p->spindle_modes, 'z', {{4.0, 0.05, 80000.0, -15.0}});
  set_modes(&p->tool_modes, 'x', {{0.3, 0.02, 5000.0, 30.0}});
  return p;
}

std::string report_of(const SimParams* p) {
  ScratchDir dir;
  const std::string path = dir.file("job.rpt");
  EXPECT_EQ(report_write(p, path.c_str()), 1);
  return read_file(path);
}

std::string page_of(const SimParams* p) {
  ScratchDir dir;
  const std::string path = dir.file("job.html");
  EXPECT_EQ(html_write_summary(p, path.c_str()), 1);
  return read_file(path);
}

const char kEnglishReport[] =
    "Spindle test 3\n"
    "======================================\n"
    "\n"
    "Process : Face Turning \n"
    "Data Units : English\n"
    "Inclination Angle \t:     5.0000 [degrees]\n"
    "Normal Rake Angle \t:    -6.0000 [degrees]\n"
    "Side Cutting Edge Angle\t:    15.0000 [degrees]\n"
    "\n"
    "Machine Setup Data\n"
    "Spindle-Workpiece Speed:  1200.0000 [RPM]\n"
    "Feed Per Revolution\t:     0.0040 [in/rev]\n"
    "Depth of Cut\t\t:     0.0500 [inch]\n"
    "Initial Wear\t\t:     0.0000 [inch]\n"
    "\n"
    "Tool & Workpiece Data\n"
    "Nose Radius of Insert\t:     0.0312 [inch]\n"
    "Workpiece Radius\t:     2.5000 [inch]\n"
    "Average Chip Thickness\t:     0.0000 [inch]\n"
    "\n"
    "Material Data\n"
    "Kf\t\t\t:     0.0000 [psi]\n"
    "Kn\t\t\t:     0.0000 [psi]\n"
    "Chip Flow Angle\t\t:     0.0000 [degrees]\n"
    "\n"
    "Spindle-Workpiece Modal Data\n"
    "X - Direction\n"
    "Modal Mass\t\t:     0.0123 [lbs]\n"
    "Damping Ratio\t\t:     0.0350\n"
    "Modal Stiffness\t\t: 250000.0000 [lb/in]\n"
    "Modal Coordinates Angle\t:     0.0000 [degrees]\n"
    "Modal Mass\t\t:     0.5000 [lbs]\n"
    "Damping Ratio\t\t:     0.0200\n"
    "Modal Stiffness\t\t:  1500.7500 [lb/in]\n"
    "Modal Coordinates Angle\t:   -30.0000 [degrees]\n"
    "Y - Direction\n"
    "Z - Direction\n"
    "Modal Mass\t\t:     1.2500 [lbs]\n"
    "Damping Ratio\t\t:     0.1000\n"
    "Modal Stiffness\t\t: 98765.4321 [lb/in]\n"
    "Modal Coordinates Angle\t:    90.0000 [degrees]\n"
    "\n"
    "Tool Modal Data\n"
    "X - Direction\n"
    "Y - Direction\n"
    "Modal Mass\t\t:     0.0020 [lbs]\n"
    "Damping Ratio\t\t:     0.0500\n"
    "Modal Stiffness\t\t: 45000.0000 [lb/in]\n"
    "Modal Coordinates Angle\t:    45.0000 [degrees]\n"
    "Z - Direction\n";

const char kMetricReport[] =
    "Face cut 12 - 40CrMo4 'dry' #2 (50% feed)\n"
    "======================================\n"
    "\n"
    "Process : Face Turning \n"
    "Data Units : Metric\n"
    "Inclination Angle \t:     0.0000 [degrees]\n"
    "Normal Rake Angle \t:     7.5000 [degrees]\n"
    "Side Cutting Edge Angle\t:    -2.2500 [degrees]\n"
    "\n"
    "Machine Setup Data\n"
    "Spindle-Workpiece Speed:   850.5000 [RPM]\n"
    "Feed Per Revolution\t:     0.2500 [mm/rev]\n"
    "Depth of Cut\t\t:     2.0000 [mm]\n"
    "Initial Wear\t\t:     0.1000 [mm]\n"
    "\n"
    "Tool & Workpiece Data\n"
    "Nose Radius of Insert\t:     0.8000 [mm]\n"
    "Workpiece Radius\t:    60.0000 [mm]\n"
    "Average Chip Thickness\t:     0.2415 [mm]\n"
    "\n"
    "Material Data\n"
    "Kf\t\t\t:  1500.2500 [N/mm^2]\n"
    "Kn\t\t\t:  2400.0000 [N/mm^2]\n"
    "Chip Flow Angle\t\t:     5.7296 [degrees]\n"
    "\n"
    "Spindle-Workpiece Modal Data\n"
    "X - Direction\n"
    "Modal Mass\t\t:     2.5000 [kg]\n"
    "Damping Ratio\t\t:     0.0400\n"
    "Modal Stiffness\t\t: 12000.0000 [N/mm]\n"
    "Modal Coordinates Angle\t:     0.0000 [degrees]\n"
    "Modal Mass\t\t:     1.1000 [kg]\n"
    "Damping Ratio\t\t:     0.0300\n"
    "Modal Stiffness\t\t: 35000.5000 [N/mm]\n"
    "Modal Coordinates Angle\t:   120.0000 [degrees]\n"
    "Y - Direction\n"
    "Z - Direction\n"
    "Modal Mass\t\t:     4.0000 [kg]\n"
    "Damping Ratio\t\t:     0.0500\n"
    "Modal Stiffness\t\t: 80000.0000 [N/mm]\n"
    "Modal Coordinates Angle\t:   -15.0000 [degrees]\n"
    "\n"
    "Tool Modal Data\n"
    "X - Direction\n"
    "Modal Mass\t\t:     0.3000 [kg]\n"
    "Damping Ratio\t\t:     0.0200\n"
    "Modal Stiffness\t\t:  5000.0000 [N/mm]\n"
    "Modal Coordinates Angle\t:    30.0000 [degrees]\n"
    "Y - Direction\n"
    "Z - Direction\n";

const char kEnglishPage[] =
    "<TITLE>Simulation Parameters Summary</TITLE>\n"
    "<H1>Spindle test 3</H1>\n"
    "<HR size=5>\n"
    "<P>\n"
    "<i>Process :</i> Face Turning\n"
    "<P>\n"
    "<i>Data Units :</i> English\n"
    "<P>\n"
    "<HR>\n"
    "<H2>Machine Setup Data</H2>\n"
    "<P>\n"
    "<i>Spindle-Workpiece Speed</i> =  1200.0000 <i>[RPM]</i>\n"
    "<P>\n"
    "<i>Feed Per Revolution</i> =     0.0040 <i>[in/rev]</i>\n"
    "<P>\n"
    "<i>Depth of Cut</i> =     0.0500 <i>[inch]</i>\n"
    "<P>\n"
    "<i>Initial Wear</i> =     0.0000 <i>[inch]</i>\n"
    "<P>\n"
    "<i>Inclination Angle of Cut\t</i> =     5.0000 <i>[degrees]</i>\n"
    "<P>\n"
    "<i>Normal Rake Angle</i> =    -6.0000 <i>[degrees]</i>\n"
    "<P>\n"
    "<i>Side Cutting Edge Angle</i> =    15.0000 <i>[degrees]</i>\n"
    "<P>\n"
    "<HR>\n"
    "<i>Average Chip Thickness</i> =     0.0000 <i>[inch]</i>\n"
    "<P>\n"
    "<HR>\n"
    "<H2>Material Data</H2>\n"
    "<P>\n"
    "<i>Kf</i> =     0.0000 <i>[psi]</i>\n"
    "<P>\n"
    "<i>Kn</i> =     0.0000 <i>[psi]</i>\n"
    "<P>\n"
    "<i>Chip Flow Angle</i> =     0.0000 <i>[degrees]</i>\n"
    "<P>\n"
    "<HR>\n"
    "<H2>Spindle-Workpiece Modal Data in the X-Direction</H2>\n"
    "<P>\n"
    "<i>Modal Mass</i> =     0.0123 <i>[lbs]</i>\n"
    "<P>\n"
    "<i>Damping Ratio</i> =     0.0350\n"
    "<P>\n"
    "<i>Modal Stiffness</i> = 250000.0000 <i>[lb/in]</i>\n"
    "<P>\n"
    "<i>Modal Coordinates Angle</i> =     0.0000 <i>[degrees]</i>\n"
    "<P>\n"
    "<i>Modal Mass</i> =     0.5000 <i>[lbs]</i>\n"
    "<P>\n"
    "<i>Damping Ratio</i> =     0.0200\n"
    "<P>\n"
    "<i>Modal Stiffness</i> =  1500.7500 <i>[lb/in]</i>\n"
    "<P>\n"
    "<i>Modal Coordinates Angle</i> =   -30.0000 <i>[degrees]</i>\n"
    "<P>\n"
    "<HR>\n"
    "<H2>Spindle-Workpiece Modal Data in the Y-Direction</H2>\n"
    "<P>\n"
    "<HR>\n"
    "<H2>Spindle-Workpiece Modal Data in the Z-Direction</H2>\n"
    "<P>\n"
    "<i>Modal Mass</i> =     1.2500 <i>[lbs]</i>\n"
    "<P>\n"
    "<i>Damping Ratio</i> =     0.1000\n"
    "<P>\n"
    "<i>Modal Stiffness</i> = 98765.4321 <i>[lb/in]</i>\n"
    "<P>\n"
    "<i>Modal Coordinates Angle</i> =    90.0000 <i>[degrees]</i>\n"
    "<P>\n"
    "<HR>\n"
    "<H2>Tool Modal Data in the X-Direction</H2>\n"
    "<P>\n"
    "<HR>\n"
    "<H2>Tool Modal Data in the Y-Direction</H2>\n"
    "<P>\n"
    "<i>Modal Mass</i> =     0.0020 <i>[lbs]</i>\n"
    "<P>\n"
    "<i>Damping Ratio</i> =     0.0500\n"
    "<P>\n"
    "<i>Modal Stiffness</i> = 45000.0000 <i>[lb/in]</i>\n"
    "<P>\n"
    "<i>Modal Coordinates Angle</i> =    45.0000 <i>[degrees]</i>\n"
    "<P>\n"
    "<HR>\n"
    "<H2>Tool Modal Data in the Z-Direction</H2>\n"
    "<P>\n";

const char kMetricPage[] =
    "<TITLE>Simulation Parameters Summary</TITLE>\n"
    "<H1>Face cut 12 - 40CrMo4 'dry' #2 (50% feed)</H1>\n"
    "<HR size=5>\n"
    "<P>\n"
    "<i>Process :</i> Face Turning\n"
    "<P>\n"
    "<i>Data Units :</i> Metric\n"
    "<P>\n"
    "<HR>\n"
    "<H2>Machine Setup Data</H2>\n"
    "<P>\n"
    "<i>Spindle-Workpiece Speed</i> =   850.5000 <i>[RPM]</i>\n"
    "<P>\n"
    "<i>Feed Per Revolution</i> =     0.2500 <i>[mm/rev]</i>\n"
    "<P>\n"
    "<i>Depth of Cut</i> =     2.0000 <i>[mm]</i>\n"
    "<P>\n"
    "<i>Initial Wear</i> =     0.1000 <i>[mm]</i>\n"
    "<P>\n"
    "<i>Inclination Angle of Cut\t</i> =     0.0000 <i>[degrees]</i>\n"
    "<P>\n"
    "<i>Normal Rake Angle</i> =     7.5000 <i>[degrees]</i>\n"
    "<P>\n"
    "<i>Side Cutting Edge Angle</i> =    -2.2500 <i>[degrees]</i>\n"
    "<P>\n"
    "<HR>\n"
    "<i>Average Chip Thickness</i> =     0.2415 <i>[mm]</i>\n"
    "<P>\n"
    "<HR>\n"
    "<H2>Material Data</H2>\n"
    "<P>\n"
    "<i>Kf</i> =  1500.2500 <i>[N/mm^2]</i>\n"
    "<P>\n"
    "<i>Kn</i> =  2400.0000 <i>[N/mm^2]</i>\n"
    "<P>\n"
    "<i>Chip Flow Angle</i> =     5.7296 <i>[degrees]</i>\n"
    "<P>\n"
    "<HR>\n"
    "<H2>Spindle-Workpiece Modal Data in the X-Direction</H2>\n"
    "<P>\n"
    "<i>Modal Mass</i> =     2.5000 <i>[kg]</i>\n"
    "<P>\n"
    "<i>Damping Ratio</i> =     0.0400\n"
    "<P>\n"
    "<i>Modal Stiffness</i> = 12000.0000 <i>[N/mm]</i>\n"
    "<P>\n"
    "<i>Modal Coordinates Angle</i> =     0.0000 <i>[degrees]</i>\n"
    "<P>\n"
    "<i>Modal Mass</i> =     1.1000 <i>[kg]</i>\n"
    "<P>\n"
    "<i>Damping Ratio</i> =     0.0300\n"
    "<P>\n"
    "<i>Modal Stiffness</i> = 35000.5000 <i>[N/mm]</i>\n"
    "<P>\n"
    "<i>Modal Coordinates Angle</i> =   120.0000 <i>[degrees]</i>\n"
    "<P>\n"
    "<HR>\n"
    "<H2>Spindle-Workpiece Modal Data in the Y-Direction</H2>\n"
    "<P>\n"
    "<HR>\n"
    "<H2>Spindle-Workpiece Modal Data in the Z-Direction</H2>\n"
    "<P>\n"
    "<i>Modal Mass</i> =     4.0000 <i>[kg]</i>\n"
    "<P>\n"
    "<i>Damping Ratio</i> =     0.0500\n"
    "<P>\n"
    "<i>Modal Stiffness</i> = 80000.0000 <i>[N/mm]</i>\n"
    "<P>\n"
    "<i>Modal Coordinates Angle</i> =   -15.0000 <i>[degrees]</i>\n"
    "<P>\n"
    "<HR>\n"
    "<H2>Tool Modal Data in the X-Direction</H2>\n"
    "<P>\n"
    "<i>Modal Mass</i> =     0.3000 <i>[kg]</i>\n"
    "<P>\n"
    "<i>Damping Ratio</i> =     0.0200\n"
    "<P>\n"
    "<i>Modal Stiffness</i> =  5000.0000 <i>[N/mm]</i>\n"
    "<P>\n"
    "<i>Modal Coordinates Angle</i> =    30.0000 <i>[degrees]</i>\n"
    "<P>\n"
    "<HR>\n"
    "<H2>Tool Modal Data in the Y-Direction</H2>\n"
    "<P>\n"
    "<HR>\n"
    "<H2>Tool Modal Data in the Z-Direction</H2>\n"
    "<P>\n";

}  // namespace

TEST(Report, EnglishJobWholeFile) {
  EXPECT_EQ(report_of(english_job().get()), kEnglishReport);
}

TEST(Report, MetricJobWholeFile) {
  EXPECT_EQ(report_of(metric_job().get()), kMetricReport);
}

TEST(Report, AnyNonZeroUnitsIsMetric) {
  ParamsPtr p = english_job();
  p->units = 2;
  const std::string text = report_of(p.get());
  EXPECT_NE(text.find("Data Units : Metric\n"), std::string::npos);
  EXPECT_NE(text.find("Feed Per Revolution\t:     0.0040 [mm/rev]\n"), std::string::npos);
  EXPECT_NE(text.find("Modal Stiffness\t\t: 250000.0000 [N/mm]\n"), std::string::npos);
}

TEST(Report, FailuresToCreateOrWriteReturnZero) {
  ScratchDir dir;
  ParamsPtr p = english_job();
  const std::string missing = dir.file("no-such-dir/job.rpt");
  EXPECT_EQ(report_write(p.get(), missing.c_str()), 0);
  EXPECT_FALSE(file_exists(missing));
  EXPECT_EQ(report_write(p.get(), "/dev/full"), 0);  // every write fails
}

TEST(Page, EnglishJobWholeFile) {
  EXPECT_EQ(page_of(english_job().get()), kEnglishPage);
}

TEST(Page, MetricJobWholeFile) {
  EXPECT_EQ(page_of(metric_job().get()), kMetricPage);
}

TEST(Page, JobWithoutModesGivesTheSixHeadingsAlone) {
  ParamsPtr p = test_support::new_params();
  const std::string page = page_of(p.get());
  const std::string tail =
      "<HR>\n"
      "<H2>Spindle-Workpiece Modal Data in the X-Direction</H2>\n<P>\n<HR>\n"
      "<H2>Spindle-Workpiece Modal Data in the Y-Direction</H2>\n<P>\n<HR>\n"
      "<H2>Spindle-Workpiece Modal Data in the Z-Direction</H2>\n<P>\n<HR>\n"
      "<H2>Tool Modal Data in the X-Direction</H2>\n<P>\n<HR>\n"
      "<H2>Tool Modal Data in the Y-Direction</H2>\n<P>\n<HR>\n"
      "<H2>Tool Modal Data in the Z-Direction</H2>\n<P>\n";
  ASSERT_GE(page.size(), tail.size());
  EXPECT_EQ(page.substr(page.size() - tail.size()), tail);
  EXPECT_EQ(page.rfind("<TITLE>Simulation Parameters Summary</TITLE>\n<H1></H1>\n<HR size=5>\n", 0),
            0u);
}

TEST(Page, TitleMarkupIsEscapedOnThePageOnly) {
  ParamsPtr p = english_job();
  std::strcpy(p->title, "<script>alert(\"x & y\")</script>");
  const std::string page = page_of(p.get());
  EXPECT_EQ(page.substr(0, page.find("<HR size=5>")),
            "<TITLE>Simulation Parameters Summary</TITLE>\n"
            "<H1>&lt;script&gt;alert(&quot;x &amp; y&quot;)&lt;/script&gt;</H1>\n");
  // The plain-text report keeps the title as typed.
  EXPECT_EQ(report_of(p.get()).substr(0, 33), "<script>alert(\"x & y\")</script>\n=");
}

TEST(Page, LongestTitleOfQuotesFitsEscaped) {
  ParamsPtr p = english_job();
  std::memset(p->title, '"', kParamsTextSize - 1);
  p->title[kParamsTextSize - 1] = '\0';
  std::string quotes;
  for (int i = 0; i < kParamsTextSize - 1; ++i) quotes += "&quot;";
  const std::string page = page_of(p.get());
  EXPECT_NE(page.find("\n<H1>" + quotes + "</H1>\n<HR size=5>\n"), std::string::npos);
}

TEST(Page, FailuresToCreateOrWriteReturnZero) {
  ScratchDir dir;
  ParamsPtr p = english_job();
  const std::string missing = dir.file("no-such-dir/job.html");
  EXPECT_EQ(html_write_summary(p.get(), missing.c_str()), 0);
  EXPECT_FALSE(file_exists(missing));
  EXPECT_EQ(html_write_summary(p.get(), "/dev/full"), 0);
}

TEST(HtmlEscape, CutsShortOnlyAtWholeEntities) {
  char buf[16];
  EXPECT_EQ(html_escape("a&b", buf, 7), 0);  // "a&amp;b" needs 8 bytes
  EXPECT_STREQ(buf, "a&amp;");
  EXPECT_EQ(html_escape("a&b", buf, 6), 0);
  EXPECT_STREQ(buf, "a");
  EXPECT_EQ(html_escape("<'>", buf, sizeof buf), 1);
  EXPECT_STREQ(buf, "&lt;'&gt;");
  EXPECT_EQ(html_escape("", buf, 1), 1);
  EXPECT_STREQ(buf, "");
}
