// Collecting a sweep: each run's verdict read from its summary, the boundary
// per speed, failed and missing runs, and the map picture.
#include "sweep/collect.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "engine/random.h"
#include "sweep/boundary.h"
#include "sweep/rundir.h"
#include "sweep/svg.h"
#include "tests/sweep/sweep_support.h"

using sweep_test::count_of;
using sweep_test::lines_of;
using sweep_test::quoted;
using sweep_test::sweep;
using test_support::read_file;
using test_support::run_command;
using test_support::ScratchDir;
using test_support::write_file;

namespace {

CollectResult result(double rpm, double depth, CollectClass cls, double growth_rate) {
  return {{0, rpm, depth, "runs/x"}, cls, 0, 10, growth_rate, 250, 50, ""};
}

}  // namespace

TEST(CollectReadVerdict, TakesTheEngineVerdictRateAndFrequencyFromTheSummary) {
  const struct Case {
    const char* json;
    int ok;
    CollectClass cls;
    double rate, frequency;  // NaN: not measured
    const char* error;
  } cases[] = {
      {R"({"verdict":{"class":"stable","growth_rate_per_revolution":-0.0123456789012},
          "vibration":{"dominant_frequency_Hz":250.123456789}})",
       1, COLLECT_STABLE, -0.0123456789012, 250.123456789, ""},
      {R"({"verdict":{"class":"chatter","growth_rate_per_revolution":0.25},
          "vibration":{"dominant_frequency_Hz":262.5}})",
       1, COLLECT_CHATTER, 0.25, 262.5, ""},
      {R"({"verdict":{"class":"tool-left-cut","growth_rate_per_revolution":1.5},
          "vibration":{"dominant_frequency_Hz":null}})",
       1, COLLECT_LEFT_CUT, 1.5, NAN, ""},
      // Too few revolutions for a rate: the engine writes null.
      {R"({"verdict":{"class":"undecided","growth_rate_per_revolution":null}})", 1,
       COLLECT_UNDECIDED, NAN, NAN, ""},
      {R"({"verdict":{"class":"wobbly"}})", 0, COLLECT_FAILED, NAN, NAN,
       "unknown verdict 'wobbly' in the run summary"},
      {R"({"verdict":"stable"})", 0, COLLECT_FAILED, NAN, NAN, "the run summary holds no verdict"},
      {R"({"verdict":{"class":"stable")", 0, COLLECT_FAILED, NAN, NAN,
       "the run summary holds no verdict"},
      {nullptr, 0, COLLECT_FAILED, NAN, NAN, "no run summary"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    if (c.json != nullptr) write_file(dir.file("job.summary.json"), c.json);
    RundirVerdict v{COLLECT_FAILED, 7, 7};
    std::string error;
    const char* label = c.json != nullptr ? c.json : "no file";
    ASSERT_EQ(rundir_read_verdict(dir.file("job.summary.json"), &v, &error), c.ok) << label;
    EXPECT_EQ(error, c.error) << label;
    if (!c.ok) continue;
    EXPECT_EQ(v.cls, c.cls) << label;
    // Full precision, not the six decimals of the .rms files.
    if (std::isnan(c.rate))
      EXPECT_TRUE(std::isnan(v.growth_rate)) << label;
    else
      EXPECT_EQ(v.growth_rate, c.rate) << label;
    if (std::isnan(c.frequency))
      EXPECT_TRUE(std::isnan(v.frequency)) << label;
    else
      EXPECT_EQ(v.frequency, c.frequency) << label;
  }
}

TEST(CollectScatter, TheVerdictScatterRmsMatchesTheEngineGenerator) {
  // The engine's verdict takes the +-3 % scatter as uniform noise of RMS
  // 0.03 |R| / sqrt(3); the draws (q - 16383.5) * 0.03 R / 16383.5 agree.
  RandomState random;
  random_init(&random);
  double sum = 0, sum2 = 0;
  const int n = 342000;
  for (int i = 0; i < n; ++i) {
    const double u = (random_draw(&random) - 16383.5) * (0.03 * 1000 / 16383.5);
    sum += u;
    sum2 += u * u;
  }
  const double rms = std::sqrt(sum2 / n - (sum / n) * (sum / n));
  EXPECT_NEAR(0.03 * 1000 / std::sqrt(3.0) / rms, 1, 0.003);
}

TEST(CollectBoundaries, InterpolateTheGrowthRateBetweenStableAndChatter) {
  std::vector<CollectResult> runs = {
      result(1000, 4, COLLECT_STABLE, -0.5),    result(1000, 5, COLLECT_STABLE, -0.2),
      result(1000, 6, COLLECT_CHATTER, 0.2),    result(1000, 7, COLLECT_STABLE, -0.1),
      result(2000, 4, COLLECT_STABLE, -0.3),    result(2000, 5, COLLECT_FAILED, NAN),
      result(2000, 6, COLLECT_LEFT_CUT, 1.1),   result(3000, 4, COLLECT_STABLE, -0.1),
      result(4000, 4, COLLECT_CHATTER, 0.1),    result(5000, 4, COLLECT_STABLE, -0.4),
      result(5000, 5, COLLECT_UNDECIDED, 0.01), result(5000, 6, COLLECT_CHATTER, 0.2),
  };
  const auto b = boundary_per_speed(runs, nullptr);
  ASSERT_EQ(b.size(), 5u);
  // Rates of -0.2 and 0.2 are symmetric about 0: the rate crosses 0 halfway.
  EXPECT_EQ(b[0].last_stable, 5);
  EXPECT_EQ(b[0].first_unstable, 6);
  EXPECT_NEAR(b[0].boundary, 5.5, 1e-12);
  // A failed run is skipped; a run that left the cut is bracketed halfway.
  EXPECT_EQ(b[1].last_stable, 4);
  EXPECT_EQ(b[1].boundary, 5);
  EXPECT_TRUE(std::isnan(b[2].boundary));
  EXPECT_TRUE(std::isnan(b[2].first_unstable));
  EXPECT_TRUE(std::isnan(b[3].last_stable));
  EXPECT_TRUE(std::isnan(b[3].boundary));
  EXPECT_TRUE(std::isinf(b[0].analytic));
  // An undecided run brackets nothing: -0.4 at 4 and 0.2 at 6 cross at 5 1/3.
  EXPECT_EQ(b[4].last_stable, 4);
  EXPECT_EQ(b[4].first_unstable, 6);
  EXPECT_NEAR(b[4].boundary, 4 + 2 * 0.4 / 0.6, 1e-12);
}

TEST(Collect, CountsAndShowsFailedAndMissingRuns) {
  ScratchDir dir;
  // Whole revolutions, so that the means of the recorded revolutions hold.
  sweep_test::write_base(dir, sweep_test::base_job(4, 1, 1));
  sweep_test::plan(dir, "--rpm 1000,2000,3000 --depth 1,2");
  const auto rows = lines_of(read_file(dir.file("out/commands.txt")));
  ASSERT_EQ(rows.size(), 6u);
  ASSERT_EQ(run_command("sh -c " + quoted(rows[0])), 0);
  ASSERT_NE(run_command("CORVANEL_BIN=/bin/false sh -c " + quoted(rows[1])), 0);
  for (int row : {2, 4, 5}) ASSERT_EQ(run_command("sh -c " + quoted(rows[row])), 0);
  // Row 3 lost revolutions; row 4 never ran; row 5 lost its summary; row 6
  // is undecided by its summary.
  const std::string rms = dir.file("out/runs/0003/job.rms");
  write_file(rms, lines_of(read_file(rms))[0] + "\n");
  write_file(dir.file("out/runs/0003/job.ave"),
             lines_of(read_file(dir.file("out/runs/0003/job.ave")))[0] + "\n");
  std::remove(dir.file("out/runs/0005/job.summary.json").c_str());
  const std::string summary = dir.file("out/runs/0006/job.summary.json");
  std::string text = read_file(summary);
  const size_t at = text.find("\"class\": \"");
  ASSERT_NE(at, std::string::npos) << text;
  text.replace(at, text.find('"', at + 10) - at + 1, "\"class\": \"undecided\"");
  write_file(summary, text);

  const auto o = sweep(dir.path(), "collect out");
  EXPECT_EQ(o.exit_code, 1) << o.err;
  EXPECT_NE(
      o.out.find("6 runs: 1 stable, 0 chatter, 0 left the cut, 1 undecided, 3 failed, 1 missing"),
      std::string::npos)
      << o.out;
  EXPECT_NE(o.out.find("row 2 (runs/0002, 1000 rpm, 2 mm): failed, exit status 1"),
            std::string::npos)
      << o.out;
  EXPECT_NE(o.out.find("row 3 (runs/0003, 2000 rpm, 1 mm): failed, 1 of 3 revolutions recorded"),
            std::string::npos);
  EXPECT_NE(o.out.find("row 4 (runs/0004, 2000 rpm, 2 mm): missing"), std::string::npos);
  EXPECT_NE(o.out.find("row 5 (runs/0005, 3000 rpm, 1 mm): failed, no run summary"),
            std::string::npos)
      << o.out;

  const auto map = lines_of(read_file(dir.file("out/map.csv")));
  ASSERT_EQ(map.size(), 7u);
  EXPECT_EQ(map[0], "row,rpm,depth,growth_rate,chatter_hz,force_pp,class,exit_status,folder");
  EXPECT_NE(map[1].find(",stable,0,runs/0001"), std::string::npos) << map[1];
  EXPECT_EQ(map[2], "2,1000.000000,2.000000,,,,failed,1,runs/0002");
  EXPECT_NE(map[3].find(",failed,0,runs/0003"), std::string::npos) << map[3];
  EXPECT_EQ(map[4], "4,2000.000000,2.000000,,,,missing,,runs/0004");
  EXPECT_EQ(map[5], "5,3000.000000,1.000000,,,,failed,0,runs/0005");
  EXPECT_NE(map[6].find(",undecided,0,runs/0006"), std::string::npos) << map[6];
  // The stable run's rate and frequency are its summary's, at full precision.
  const auto fields = [](const std::string& line) {
    std::vector<std::string> f;
    for (size_t from = 0, to; from <= line.size(); from = to + 1) {
      to = line.find(',', from);
      if (to == std::string::npos) to = line.size();
      f.push_back(line.substr(from, to - from));
    }
    return f;
  };
  RundirVerdict v{};
  std::string error;
  ASSERT_TRUE(rundir_read_verdict(dir.file("out/runs/0001/job.summary.json"), &v, &error));
  char expected[64];
  std::snprintf(expected, sizeof expected, "%.6g", v.growth_rate);
  EXPECT_EQ(fields(map[1])[3], expected);
  std::snprintf(expected, sizeof expected, "%.6g", v.frequency);
  EXPECT_EQ(fields(map[1])[4], expected);

  const std::string svg = read_file(dir.file("out/map.svg"));
  EXPECT_EQ(sweep_test::xml_problem(svg), "");
  EXPECT_EQ(count_of(svg, "<rect data-class=\""), 6u);
  EXPECT_EQ(count_of(svg, "<rect data-class=\"failed\""), 3u);
  EXPECT_EQ(count_of(svg, "<rect data-class=\"missing\""), 1u);
  EXPECT_EQ(count_of(svg, "<rect data-class=\"undecided\""), 1u);
  EXPECT_NE(svg.find("failed (3)"), std::string::npos);
  EXPECT_NE(svg.find("undecided (1)"), std::string::npos);
  EXPECT_EQ(lines_of(read_file(dir.file("out/boundary.csv"))).size(), 4u);
}

TEST(Collect, RefusesAFolderWithoutAPlan) {
  ScratchDir dir;
  const auto o = sweep(dir.path(), "collect .");
  EXPECT_EQ(o.exit_code, 2);
  EXPECT_NE(o.err.find("plan.csv"), std::string::npos) << o.err;
}

TEST(SvgMap, IsWellFormedWithOneCellPerRunAndTheCurve) {
  SvgMap m;
  m.title = "Steel <fast> & \"deep\"";
  m.length_unit = "mm";
  const CollectClass classes[] = {COLLECT_STABLE, COLLECT_CHATTER,   COLLECT_LEFT_CUT,
                                  COLLECT_FAILED, COLLECT_UNDECIDED, COLLECT_MISSING};
  int n = 0;
  for (double rpm : {4000.0, 4500.0, 5000.0})
    for (double depth : {1.0, 2.0}) m.results.push_back(result(rpm, depth, classes[n++], 1));
  m.results[3].note = "exit status 1: a <bad> line & more";
  for (double rpm = 3700; rpm <= 5400; rpm += 100)
    m.limit.push_back({rpm, rpm < 4400 ? 1.5
                                       : (rpm < 4700 ? std::numeric_limits<double>::infinity()
                                                     : (rpm < 5000 ? 2.2 : 50.0))});
  const std::string svg = svg_map(m);
  EXPECT_EQ(sweep_test::xml_problem(svg), "") << svg;
  EXPECT_EQ(count_of(svg, "<rect data-class=\""), 6u);
  EXPECT_EQ(count_of(svg, "<title>"), 6u);
  EXPECT_NE(svg.find("Steel &lt;fast&gt; &amp; &quot;deep&quot;"), std::string::npos);
  // Two pieces of curve: the gap without a limit breaks it; the piece at
  // 2.2 mm runs off the top at 50 mm and is clipped to the plot, not hidden
  // behind a clip path.
  EXPECT_EQ(count_of(svg, "<polyline fill=\"none\" stroke=\"#1f4e9c\""), 2u);
  EXPECT_EQ(count_of(svg, "clip-path"), 0u);
  EXPECT_EQ(count_of(svg, " class="), 0u);  // ImageMagick's renderer refuses CSS classes
  // Cells reach halfway to their neighbours: 4000 rpm spans 3750 to 4250.
  // The plot spans 3750 to 5250 rpm over 600 px from x = 80.
  EXPECT_NE(svg.find("<rect data-class=\"stable\" x=\"80.0\" y=\""), std::string::npos);
  EXPECT_NE(svg.find("width=\"200.0\""), std::string::npos);
  EXPECT_NE(svg.find("neglects process damping"), std::string::npos);
}

// Every drawn coordinate of a picture, for range checks.
std::vector<double> coordinates(const std::string& svg) {
  std::vector<double> v;
  for (const char* key : {" x=\"", " y=\"", " x1=\"", " x2=\"", " cx=\"", " cy=\""}) {
    for (size_t at = svg.find(key); at != std::string::npos; at = svg.find(key, at + 1))
      v.push_back(std::atof(svg.c_str() + at + std::strlen(key)));
  }
  return v;
}

TEST(SvgMap, SmallAndUnevenGridsKeepTheirCellsAndAxesInsideThePicture) {
  struct Case {
    const char* name;
    std::vector<double> rpms, depths;
    double widest;  // px, the widest cell allowed
  } cases[] = {
      {"1x1", {5000}, {2}, 600.1},
      {"2x2", {1000, 2000}, {1, 2}, 300.1},
      {"one speed", {6000}, {1, 2, 3, 4}, 600.1},
      // 1000, 2000 and 5000 rpm: no cell stretches over the speeds never run.
      {"uneven", {1000, 2000, 5000}, {1, 2}, 600.0 / 5 + 0.1},
  };
  for (const Case& c : cases) {
    SvgMap m;
    m.title = c.name;
    m.length_unit = "mm";
    for (double rpm : c.rpms)
      for (double depth : c.depths) m.results.push_back(result(rpm, depth, COLLECT_STABLE, 1));
    for (double rpm : c.rpms) m.limit.push_back({rpm, 1.5});
    m.cutting_speed_per_rpm = 0.314159;  // 100 mm workpiece diameter
    const std::string svg = svg_map(m);
    EXPECT_EQ(sweep_test::xml_problem(svg), "") << c.name;
    for (double v : coordinates(svg)) {
      EXPECT_GE(v, 0.0) << c.name;
      EXPECT_LE(v, 880.0) << c.name;
    }
    for (size_t at = svg.find("<rect data-class"); at != std::string::npos;
         at = svg.find("<rect data-class", at + 1)) {
      const double width = std::atof(svg.c_str() + svg.find("width=\"", at) + 7);
      EXPECT_GT(width, 0.0) << c.name;
      EXPECT_LE(width, c.widest) << c.name;
    }
    EXPECT_NE(svg.find("Cutting speed at the start radius (m/min)"), std::string::npos);
  }
}

TEST(SvgMap, TheBoundaryIsALineInsideTheBandOfItsBracket) {
  SvgMap m;
  m.length_unit = "mm";
  for (double rpm : {1000.0, 2000.0, 3000.0})
    for (double depth : {1.0, 2.0, 3.0}) m.results.push_back(result(rpm, depth, COLLECT_STABLE, 1));
  m.boundary = {{1000, 1, 2, 1.5}, {2000, 2, 3, 2.2}, {3000, NAN, NAN, NAN}};
  const std::string svg = svg_map(m);
  EXPECT_EQ(sweep_test::xml_problem(svg), "");
  EXPECT_EQ(count_of(svg, "stroke-dasharray=\"3,2\" x="), 2u);  // a box per bracketed speed
  EXPECT_EQ(count_of(svg, "<polyline fill=\"none\" stroke=\"#000000\""), 1u);
  EXPECT_EQ(count_of(svg, "<circle "), 2u);
  EXPECT_NE(svg.find("simulated boundary"), std::string::npos);
  EXPECT_EQ(svg.find("neglects"), std::string::npos);  // no analytic curve, no note
}

TEST(SvgMap, XmlCheckerCatchesBrokenDocuments) {
  EXPECT_EQ(sweep_test::xml_problem("<a><b x=\"1\"/>t &amp; u</a>"), "");
  for (const char* bad : {"<a><b></a>", "<a x=1/>", "<a>&nbsp;</a>", "<a/><b/>", "<a>", "x<a/>",
                          "<a x=\"1\" x=\"2\"/>"})
    EXPECT_NE(sweep_test::xml_problem(bad), "") << bad;
}
