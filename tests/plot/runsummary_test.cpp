// Reading BASE.summary.json for the page and the pictures, and setting aside
// a summary that does not belong to the run's text files.
#include "plot/runsummary.h"

#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <string>

#include "plot/runfiles.h"
#include "tests/support/test_support.h"

using test_support::ScratchDir;
using test_support::write_file;

namespace {

const char* const kQuantities[] = {"force_x_N",     "force_y_N",     "force_z_N",
                                   "workpiece_x_m", "workpiece_y_m", "workpiece_z_m",
                                   "tool_x_m",      "tool_y_m",      "tool_z_m"};

nlohmann::json mode(const char* structure, const char* axis, double natural) {
  return {{"structure", structure},
          {"axis", axis},
          {"index", 1},
          {"natural_frequency_Hz", natural},
          {"damped_frequency_Hz", natural},
          {"damping_ratio", 0.04},
          {"stiffness_N_per_m", 5e7},
          {"mass_kg", 0.5},
          {"delay_steps", 3}};
}

// A summary as the program writes it, of revolutions first .. first + count - 1;
// quantity q of revolution r holds (q + 1) * 1e-7 * (r + 1) m (or N).
nlohmann::json summary(int first, int count) {
  nlohmann::json cutting = {{"revolution", 1},
                            {"step", 1},
                            {"cutting_speed_m_per_min", 201.0},
                            {"average_chip_thickness_m", 1.6e-4},
                            {"kf_Pa", 9.9e8},
                            {"kn_Pa", 2.2e9},
                            {"chip_flow_angle_deg", 13.0},
                            {"wear_land_mm", 0.1}};
  nlohmann::json forces, deflection;
  for (const char* axis : {"x", "y", "z"}) {
    forces[axis] = {{"mean_N", 100.0}, {"min_N", 90.0}, {"max_N", 110.0}, {"peak_to_peak_N", 20.0}};
    for (const char* structure : {"workpiece", "tool", "relative"})
      deflection[structure][std::string(axis) + "_m"] = -1e-6;
  }
  nlohmann::json revolutions = nlohmann::json::array();
  for (int r = 0; r < count; ++r) {
    nlohmann::json values;
    for (int q = 0; q < 9; ++q) values[kQuantities[q]] = (q + 1) * 1e-7 * (r + 1);
    revolutions.push_back({{"revolution", first + r},
                           {"range", values},
                           {"rms", values},
                           {"mean", values},
                           {"relative_x_vibration_m", 3e-8}});
  }
  return {
      {"verdict", {{"class", "chatter"}, {"rule", "grows"}, {"growth_rate_per_revolution", 0.25}}},
      {"vibration",
       {{"dominant_frequency_Hz", 634.5},
        {"frequency_resolution_Hz", 2.0},
        {"amplitude_m", 4e-6},
        {"nearest_mode", mode("tool", "x", 612.0)}}},
      {"forces", forces},
      {"cutting", {{"first_step", cutting}, {"last_step", cutting}}},
      {"static_deflection", deflection},
      {"modes", {mode("workpiece", "x", 780.0), mode("tool", "x", 612.0)}},
      {"revolutions", revolutions},
      {"spectrum", {{"frequency_resolution_Hz", 2.0}, {"amplitude_m", {1e-7, 4e-6, nullptr}}}}};
}

// A consistent run of two recorded revolutions of two rows each, revolutions 4 and 5.
void write_run(const ScratchDir& dir) {
  write_file(dir.file("r.rpt"),
             "Spindle test\n======================================\nData Units : Metric\n");
  std::string dat, series;
  for (double angle : {1080.0, 1116.0, 1440.0, 1476.0}) {
    const bool start = angle == 1080.0 || angle == 1440.0;
    dat += std::string(start ? "0 " : "100 ") + std::to_string(angle) + " 1 2 3\n";
    series += std::string(start ? "0 " : "100 ") + std::to_string(angle) + " 0.000001\n";
  }
  write_file(dir.file("r.dat"), dat);
  for (const char* suffix : kRunDisplacementSuffixes)
    write_file(dir.file(std::string("r") + suffix), series);
  write_file(dir.file("r.rms"),
             "1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1\n1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1\n");
  write_file(dir.file("r.ave"), "1 1 1 1 1 1 1 1 1\n1 1 1 1 1 1 1 1 1\n");
}

}  // namespace

TEST(RunSummaryFile, ReadsWhatThePageAndThePicturesShow) {
  ScratchDir dir;
  write_file(dir.file("s.json"), summary(4, 2).dump());
  PlotSummary s;
  std::string error;
  ASSERT_EQ(runsummary_read(dir.file("s.json"), &s, &error), 1) << error;
  EXPECT_TRUE(s.present);
  EXPECT_EQ(s.verdict, "chatter");
  EXPECT_EQ(s.growth_rate, 0.25);
  EXPECT_EQ(s.dominant_frequency, 634.5);
  ASSERT_TRUE(s.has_nearest_mode);
  EXPECT_EQ(s.nearest_mode.structure, "tool");
  ASSERT_EQ(s.modes.size(), 2u);
  EXPECT_EQ(s.modes[0].natural_frequency, 780.0);
  EXPECT_EQ(s.first_step.kf, 9.9e8);
  EXPECT_EQ(s.static_deflection[2][1], -1e-6);
  ASSERT_EQ(s.revolutions.size(), 2u);
  EXPECT_EQ(s.revolutions[1].revolution, 5);
  EXPECT_DOUBLE_EQ(s.revolutions[1].rms[4], 5 * 1e-7 * 2);  // workpiece Y, full precision
  ASSERT_EQ(s.spectrum.size(), 3u);
  EXPECT_EQ(s.spectrum[1], 4e-6);
  EXPECT_TRUE(std::isnan(s.spectrum[2]));  // null: not finite
  EXPECT_TRUE(runsummary_has_spectrum(s));
  EXPECT_TRUE(runsummary_displacements_drawable(s));
}

TEST(RunSummaryFile, NoFileIsNoSummaryAndNoFault) {
  ScratchDir dir;
  PlotSummary s;
  std::string error = "earlier";
  EXPECT_EQ(runsummary_read(dir.file("none.summary.json"), &s, &error), 1);
  EXPECT_FALSE(s.present);
  EXPECT_EQ(error, "");
  EXPECT_FALSE(runsummary_has_spectrum(s));
}

TEST(RunSummaryFile, RefusesWhatIsNotASummaryOfThisVersion) {
  struct Case {
    const char* pointer;  // JSON pointer of the changed value
    nlohmann::json value;
    const char* error;  // after the path
  } cases[] = {
      {"/verdict/class", 3, ": not a run summary of this version: \"verdict.class\" is not a text"},
      {"/forces/y/min_N", "low",
       ": not a run summary of this version: \"forces.y.min_N\" is not a number"},
      {"/revolutions/1/revolution", 2.5,
       ": not a run summary of this version: \"revolutions[].revolution\" is not a whole number"},
      {"/modes", nlohmann::json::object(),
       ": not a run summary of this version: \"modes\" is not a list"},
      {"/spectrum/amplitude_m/0", "x",
       ": not a run summary of this version: \"spectrum.amplitude_m\" holds what is not a number"},
      {"/spectrum/frequency_resolution_Hz", 0,
       ": not a run summary of this version: \"spectrum.frequency_resolution_Hz\" is not a "
       "positive number"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pointer);
    ScratchDir dir;
    nlohmann::json j = summary(4, 2);
    j[nlohmann::json::json_pointer(c.pointer)] = c.value;
    write_file(dir.file("s.json"), j.dump());
    PlotSummary s;
    std::string error;
    EXPECT_EQ(runsummary_read(dir.file("s.json"), &s, &error), 0);
    EXPECT_EQ(error, dir.file("s.json") + c.error);
    EXPECT_FALSE(s.present);
  }
  // A key taken away, a document cut short, and one that is no object.
  nlohmann::json j = summary(4, 2);
  j["cutting"].erase("last_step");
  const std::string texts[] = {j.dump(), summary(4, 2).dump().substr(0, 200), "[1, 2]"};
  const char* const errors[] = {": not a run summary of this version: no \"cutting.last_step\"",
                                ": not a run summary (not a JSON object)",
                                ": not a run summary (not a JSON object)"};
  for (int i = 0; i < 3; ++i) {
    ScratchDir dir;
    write_file(dir.file("s.json"), texts[i]);
    PlotSummary s;
    std::string error;
    EXPECT_EQ(runsummary_read(dir.file("s.json"), &s, &error), 0);
    EXPECT_EQ(error, dir.file("s.json") + errors[i]);
  }
}

TEST(RunSummaryFile, SpectrumAndPanelsNeedSomethingFinite) {
  PlotSummary s;
  s.present = true;
  s.spectrum_resolution = 1;
  struct Case {
    std::vector<double> spectrum;
    double resolution;
    bool drawable;
  } cases[] = {{{1, 2}, 1, true}, {{1}, 1, false}, {{NAN, NAN, NAN}, 1, false}, {{1, 2}, 0, false}};
  for (const Case& c : cases) {
    s.spectrum = c.spectrum;
    s.spectrum_resolution = c.resolution;
    EXPECT_EQ(runsummary_has_spectrum(s), c.drawable);
  }
  s.revolutions.resize(2);
  for (RunSummaryRevolution& rev : s.revolutions) rev.mean[7] = NAN;  // tool Y
  EXPECT_TRUE(runsummary_displacements_drawable(s));
  for (RunSummaryRevolution& rev : s.revolutions) rev.mean[6] = rev.mean[8] = INFINITY;
  EXPECT_FALSE(runsummary_displacements_drawable(s));
}

// The text files decide what is drawn; a summary of other revolutions is set aside.
TEST(RunSummaryFile, ASummaryOfAnotherRunIsSetAsideWithAWarning) {
  struct Case {
    std::string text;
    bool kept;
    std::string warning;  // after the summary's path
  } cases[] = {
      {summary(4, 2).dump(), true, ""},
      {summary(4, 3).dump(), false,
       ": 3 revolutions from revolution 4, but {rms} holds 2 revolutions from revolution 4; the "
       "summary does not come from this run; drawn from the text files alone"},
      {summary(3, 2).dump(), false,
       ": 2 revolutions from revolution 3, but {rms} holds 2 revolutions from revolution 4; the "
       "summary does not come from this run; drawn from the text files alone"},
      {"{", false, ": not a run summary (not a JSON object); drawn from the text files alone"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    write_run(dir);
    write_file(dir.file("r.summary.json"), c.text);
    RunFiles run;
    std::string error;
    ASSERT_EQ(runfiles_read(dir.file("r"), &run, &error), 1) << error;
    EXPECT_EQ(run.summary.present, c.kept);
    std::string warning = c.warning;
    if (const size_t at = warning.find("{rms}"); at != std::string::npos)
      warning.replace(at, 5, dir.file("r.rms"));
    EXPECT_EQ(run.summary_warning, c.kept ? "" : dir.file("r.summary.json") + warning);
  }
}
