// corvanel-plot on short runs of the built program, as an engineer would use it.
#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/plot/plot_support.h"

using plot_test::make_run;
using plot_test::run_plot;
using plot_test::small_job;
using plot_test::svg_curves;
using plot_test::xml_problem;
using test_support::file_exists;
using test_support::read_file;
using test_support::ScratchDir;

namespace {

const char* const kPictures[] = {".forces.svg", ".vibration.svg", ".revolutions.svg"};
const int kCurves[] = {3, 6, 27};  // forces X Y Z; X Y Z of two structures; 9 panels of X Y Z

bool contains(const std::string& text, const std::string& what) {
  return text.find(what) != std::string::npos;
}

class PlotRun : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(plot_test::gnuplot_installed()) << plot_test::kNoGnuplot; }
  ScratchDir dir_;
};

}  // namespace

TEST_F(PlotRun, DrawsThreeWellFormedPicturesInTheUnitsOfTheRun) {
  struct Case {
    int units;
    const char* force;
    const char* length;
    const char* wrong_force;
    const char* wrong_length;
  } cases[] = {{1, "force [N]", "displacement [m]", "[lbf]", "[in]"},
               {0, "force [lbf]", "displacement [in]", "[N]", "[m]"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.units == 0 ? "English" : "metric");
    const std::string name = c.units == 0 ? "english" : "metric";
    test_support::Job job = small_job(c.units);
    job.title = "Facing test " + name;
    ASSERT_TRUE(make_run(dir_.path(), name, job));
    auto outcome = run_plot(dir_.path(), {name});
    ASSERT_EQ(outcome.exit_code, 0) << outcome.err;
    EXPECT_EQ(outcome.err, "");
    for (int i = 0; i < 3; ++i) {
      const std::string svg = read_file(dir_.file(name + kPictures[i]));
      EXPECT_EQ(xml_problem(svg), "") << kPictures[i];
      EXPECT_EQ(svg_curves(svg), kCurves[i]) << kPictures[i];
      EXPECT_TRUE(contains(svg, job.title)) << kPictures[i];
      EXPECT_FALSE(contains(svg, c.wrong_force)) << kPictures[i];
      EXPECT_FALSE(contains(svg, c.wrong_length)) << kPictures[i];
      EXPECT_TRUE(contains(outcome.out, name + kPictures[i]));
    }
    const std::string forces = read_file(dir_.file(name + ".forces.svg"));
    EXPECT_TRUE(contains(forces, c.force) && contains(forces, "cut angle [degrees]"));
    EXPECT_TRUE(contains(read_file(dir_.file(name + ".vibration.svg")), c.length));
    const std::string revolutions = read_file(dir_.file(name + ".revolutions.svg"));
    // Displacement statistics come from the run summary at full precision, in µm.
    EXPECT_TRUE(contains(revolutions, c.force) && contains(revolutions, "displacement [µm]"));
    EXPECT_FALSE(file_exists(dir_.file(name + ".plots.html")));  // only with --html
  }
}

TEST_F(PlotRun, HtmlPageShowsThePicturesAndEscapesTheJob) {
  test_support::Job job = small_job(1);
  job.title = "<script>alert(\"x\")</script> & 'co'";
  ASSERT_TRUE(make_run(dir_.path(), "page", job));
  auto outcome = run_plot(dir_.path(), {"page", "--html"});
  ASSERT_EQ(outcome.exit_code, 0) << outcome.err;
  const std::string html = read_file(dir_.file("page.plots.html"));
  EXPECT_EQ(xml_problem(html), "");
  EXPECT_FALSE(contains(html, "<script"));
  EXPECT_TRUE(contains(html,
                       "<h1>&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt; &amp; "
                       "&#39;co&#39;</h1>"));
  for (const char* picture : kPictures) {
    EXPECT_TRUE(contains(html, std::string("<img src=\"page") + picture + "\"")) << picture;
    const std::string svg = read_file(dir_.file(std::string("page") + picture));
    EXPECT_FALSE(contains(svg, "<script")) << picture;
    EXPECT_EQ(xml_problem(svg), "") << picture;
  }
  // Parameters come from the report, grouped as there; revolutions 2 and 3 were recorded.
  EXPECT_TRUE(
      contains(html, "<td>Spindle-Workpiece Speed</td><td class=\"value\">1000.0000 [RPM]"));
  EXPECT_TRUE(contains(html, "<h3>Tool Modal Data</h3>\n<h4>X - Direction</h4>"));
  EXPECT_TRUE(contains(html, "2 recorded revolutions from revolution 2"));
}

TEST_F(PlotRun, MissingFilesGiveOneLineNamingTheFileAndNoPicture) {
  ASSERT_TRUE(make_run(dir_.path(), "gap", small_job(1)));
  for (const char* suffix : {".rpt", ".dat", ".sy.dat", ".wz.dat", ".rms", ".ave"}) {
    const std::string file = dir_.file(std::string("gap") + suffix);
    ASSERT_EQ(std::rename(file.c_str(), (file + ".away").c_str()), 0);
    auto outcome = run_plot(dir_.path(), {"gap", "--html"});
    EXPECT_EQ(outcome.exit_code, 1) << suffix;
    EXPECT_EQ(outcome.err, std::string("corvanel-plot: gap") + suffix +
                               ": cannot be read: No such file or directory\n");
    for (const char* picture : kPictures) {
      EXPECT_FALSE(file_exists(dir_.file(std::string("gap") + picture))) << suffix;
    }
    EXPECT_FALSE(file_exists(dir_.file("gap.plots.html")));
    ASSERT_EQ(std::rename((file + ".away").c_str(), file.c_str()), 0);
  }
  EXPECT_EQ(run_plot(dir_.path(), {"gap"}).exit_code, 0);  // whole again
}

TEST_F(PlotRun, RunsThatCannotBeDrawnAreRefused) {
  test_support::Job job = small_job(1);
  ASSERT_TRUE(make_run(dir_.path(), "run", job));
  // A summary left over from a run with another revolution count.
  const std::string rms = read_file(dir_.file("run.rms"));
  test_support::write_file(dir_.file("run.rms"), rms.substr(0, rms.find('\n') + 1));
  auto outcome = run_plot(dir_.path(), {"run"});
  EXPECT_EQ(outcome.exit_code, 1);
  EXPECT_EQ(outcome.err,
            "corvanel-plot: run.rms: 1 row, but run.dat holds 2 revolutions; "
            "the files do not come from the same run\n");
  // A series cut off in the middle of a row.
  test_support::write_file(dir_.file("run.rms"), rms);
  const std::string sx = read_file(dir_.file("run.sx.dat"));
  test_support::write_file(dir_.file("run.sx.dat"), sx.substr(0, sx.find('\n') + 5));
  outcome = run_plot(dir_.path(), {"run"});
  EXPECT_EQ(outcome.err, "corvanel-plot: run.sx.dat: line 2: expected 3 numbers\n");
  // Every revolution skipped: empty files, nothing to draw.
  job.revs_skipped = job.revs_total;
  ASSERT_TRUE(make_run(dir_.path(), "none", job));
  outcome = run_plot(dir_.path(), {"none"});
  EXPECT_EQ(outcome.exit_code, 1);
  EXPECT_TRUE(contains(outcome.err, "none.dat: no rows")) << outcome.err;
  EXPECT_FALSE(file_exists(dir_.file("none.forces.svg")));
}

TEST_F(PlotRun, WithoutGnuplotTheMessageNamesThePackage) {
  ASSERT_TRUE(make_run(dir_.path(), "bare", small_job(1)));
  auto outcome = run_plot(dir_.path(), {"bare"}, dir_.path() + "/no-such-folder");
  EXPECT_EQ(outcome.exit_code, 1);
  EXPECT_TRUE(contains(outcome.err, "install Debian's gnuplot-nox")) << outcome.err;
  EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1);  // one line
  EXPECT_FALSE(file_exists(dir_.file("bare.forces.svg")));
}

// A failing gnuplot leaves the earlier picture as it was and no temporary file.
TEST_F(PlotRun, AFailedDrawingKeepsTheEarlierPicture) {
  ASSERT_TRUE(make_run(dir_.path(), "old", small_job(1)));
  const std::string fake = dir_.file("bin");
  ASSERT_EQ(test_support::run_command("mkdir " + plot_test::shell_quote(fake)), 0);
  test_support::write_file(
      fake + "/gnuplot", "#!/bin/sh\necho '<svg>'\necho 'line 0: no such terminal' >&2\nexit 1\n");
  ASSERT_EQ(test_support::run_command("chmod +x " + plot_test::shell_quote(fake + "/gnuplot")), 0);
  test_support::write_file(dir_.file("old.forces.svg"), "earlier picture");
  auto outcome = run_plot(dir_.path(), {"old"}, fake);
  EXPECT_EQ(outcome.exit_code, 1);
  EXPECT_EQ(outcome.err,
            "corvanel-plot: old.forces.svg: gnuplot failed: line 0: no such terminal\n");
  EXPECT_EQ(read_file(dir_.file("old.forces.svg")), "earlier picture");
  // Success reported, but the document stops short.
  test_support::write_file(fake + "/gnuplot", "#!/bin/sh\necho '<svg><g>'\n");
  outcome = run_plot(dir_.path(), {"old"}, fake);
  EXPECT_EQ(outcome.err,
            "corvanel-plot: old.forces.svg: gnuplot's picture is incomplete (is the disk full?)\n");
  EXPECT_EQ(read_file(dir_.file("old.forces.svg")), "earlier picture");
  std::string listing;
  test_support::run_command("ls " + plot_test::shell_quote(dir_.path()), &listing);
  EXPECT_FALSE(contains(listing, "svg.")) << listing;
}

// Quotes, blanks and gnuplot's markup in the title and the folder reach the
// pictures literally; a base name starting with '<' is a file, not a command.
TEST_F(PlotRun, QuotesBlanksAndMarkupStayText) {
  const std::string folder = dir_.file("it's a \"run\" folder");
  ASSERT_EQ(test_support::run_command("mkdir " + plot_test::shell_quote(folder)), 0);
  test_support::Job job = small_job(0);
  job.title = "O'Brien's \"test\" \\n {x}^2_y @ $HOME";
  ASSERT_TRUE(make_run(folder, "<odd", job));
  auto outcome = run_plot(dir_.path(), {folder + "/<odd", "--html"});
  ASSERT_EQ(outcome.exit_code, 0) << outcome.err;
  for (const char* picture : kPictures) {
    const std::string svg = read_file(folder + "/<odd" + picture);
    EXPECT_EQ(xml_problem(svg), "") << picture;
    EXPECT_TRUE(contains(svg, ">" + job.title + "<")) << picture;
  }
  EXPECT_TRUE(contains(read_file(folder + "/<odd.plots.html"), "<img src=\"%3Codd.forces.svg\""));
}

TEST(PlotCommand, WrongCommandLinesShowTheUsage) {
  ScratchDir dir;
  const std::vector<std::vector<std::string>> wrong = {
      {}, {"a", "b"}, {"--svg", "a"}, {"--html"}, {""}, {"a", "-x"}, {"a", "--htm"}};
  for (const auto& args : wrong) {
    auto outcome = run_plot(dir.path(), args);
    EXPECT_EQ(outcome.exit_code, 2) << ::testing::PrintToString(args);
    EXPECT_EQ(outcome.err.rfind("Usage: corvanel-plot BASE [--html]\n", 0), 0u) << outcome.err;
    // One line after the usage says what is wrong.
    EXPECT_EQ(outcome.err.find("corvanel-plot: "), outcome.err.find('\n') + 1) << outcome.err;
    EXPECT_EQ(outcome.out, "");
  }
}

TEST(PlotCommand, HelpAndVersionGoToStandardOutput) {
  ScratchDir dir;
  for (const char* help : {"--help", "-h"}) {
    auto outcome = run_plot(dir.path(), {help});
    EXPECT_EQ(outcome.exit_code, 0);
    EXPECT_EQ(outcome.out.rfind("Usage: corvanel-plot BASE [--html]\n", 0), 0u) << outcome.out;
    EXPECT_NE(outcome.out.find("--html"), std::string::npos);
    EXPECT_NE(outcome.out.find("Exit status:"), std::string::npos);
    EXPECT_EQ(outcome.err, "");
  }
  // --version wins over the rest of the line and draws nothing.
  auto outcome = run_plot(dir.path(), {"nothing-here", "--version"});
  EXPECT_EQ(outcome.exit_code, 0) << outcome.err;
  EXPECT_EQ(outcome.out.rfind("corvanel-plot (Corvanel) " CORVANEL_VERSION "\n", 0), 0u)
      << outcome.out;
}

TEST(PlotCommand, OptionsMayStandBeforeTheBase) {
  ScratchDir dir;
  const std::string folder = dir.path();
  ASSERT_TRUE(make_run(folder, "job", small_job(1)));
  auto outcome = run_plot(dir.path(), {"--html", "--html", folder + "/job"});
  ASSERT_EQ(outcome.exit_code, 0) << outcome.err;
  EXPECT_TRUE(file_exists(folder + "/job.plots.html"));
}

// The checks above rely on these two helpers catching broken documents.
TEST(PlotSupport, XmlCheckAndCurveCountSeeFaults) {
  EXPECT_EQ(xml_problem("<?xml version=\"1.0\"?>\n<svg a='1'><g><path d='M 1'/></g></svg>\n"), "");
  EXPECT_NE(xml_problem("<svg><g></svg>"), "");
  EXPECT_NE(xml_problem("<svg><text>a <script></text></svg>"), "");
  EXPECT_NE(xml_problem("<svg><text>R&D</text></svg>"), "");
  EXPECT_NE(xml_problem("<svg a='<'></svg>"), "");
  EXPECT_NE(xml_problem("<svg></svg><svg></svg>"), "");
  EXPECT_NE(xml_problem("<svg>"), "");
  EXPECT_EQ(svg_curves("<svg><g id=\"gnuplot_plot_1\"><g><path d=''/></g></g>"
                       "<g id=\"gnuplot_plot_2\"><g></g></g><path d=''/></svg>"),
            1);
}

// A run leaves BASE.summary.json: the page opens with it, a fourth picture
// shows the spectrum, and the displacement statistics are drawn in µm.
TEST_F(PlotRun, TheRunSummaryGivesThePageItsAnswersAndTheSpectrum) {
  ASSERT_TRUE(make_run(dir_.path(), "sum", small_job(1)));
  const auto summary = nlohmann::json::parse(read_file(dir_.file("sum.summary.json")));
  // The compact spectrum: its largest bin is the dominant peak.
  const auto& amplitudes = summary["spectrum"]["amplitude_m"];
  const double resolution = summary["spectrum"]["frequency_resolution_Hz"];
  ASSERT_GE(amplitudes.size(), 8u);
  EXPECT_LE(amplitudes.size(), 4096u);
  size_t largest = 0;
  for (size_t j = 0; j < amplitudes.size(); ++j)
    if (amplitudes[j].get<double>() > amplitudes[largest].get<double>()) largest = j;
  const double peak = summary["vibration"]["dominant_frequency_Hz"];
  EXPECT_NEAR(static_cast<double>(largest) * resolution, peak, resolution);
  EXPECT_NEAR(amplitudes[largest].get<double>(), summary["vibration"]["amplitude_m"].get<double>(),
              1e-5 * amplitudes[largest].get<double>());

  auto outcome = run_plot(dir_.path(), {"sum", "--html"});
  ASSERT_EQ(outcome.exit_code, 0) << outcome.err;
  EXPECT_EQ(outcome.err, "");
  EXPECT_TRUE(contains(outcome.out, "Wrote sum.spectrum.svg"));
  const std::string spectrum = read_file(dir_.file("sum.spectrum.svg"));
  EXPECT_EQ(xml_problem(spectrum), "");
  EXPECT_GE(svg_curves(spectrum), 1);
  EXPECT_TRUE(contains(spectrum, "amplitude [µm]") && contains(spectrum, "frequency [Hz]"));
  char marker[64];
  std::snprintf(marker, sizeof marker, "frequency %.1f Hz", peak);
  EXPECT_TRUE(contains(spectrum, marker)) << marker;
  EXPECT_TRUE(contains(spectrum, "W X1")) << "the workpiece's X mode is marked";
  const std::string revolutions = read_file(dir_.file("sum.revolutions.svg"));
  EXPECT_TRUE(contains(revolutions, "displacement [µm]"));
  EXPECT_FALSE(contains(revolutions, "displacement [m]"));
  EXPECT_EQ(svg_curves(revolutions), 27);

  const std::string html = read_file(dir_.file("sum.plots.html"));
  EXPECT_EQ(xml_problem(html), "");
  const std::string verdict = summary["verdict"]["class"];
  EXPECT_TRUE(contains(html, "<span class=\"verdict " + verdict + "\">" + verdict + "</span>"));
  EXPECT_TRUE(contains(html, "<td>workpiece X1</td>") && contains(html, "<td>tool Z1</td>"));
  EXPECT_TRUE(contains(html, "<img src=\"sum.spectrum.svg\""));
  EXPECT_LT(html.find("<h2>Run summary</h2>"), html.find("<figure>"));  // at the top
  // Force extremes and the static deflection as the summary holds them.
  char force[64];
  std::snprintf(force, sizeof force, "<td class=\"number\">%.2f</td>",
                summary["forces"]["y"]["max_N"].get<double>());
  EXPECT_TRUE(contains(html, force)) << force;
  char deflection[64];
  std::snprintf(deflection, sizeof deflection, "<td class=\"number\">%.4f</td>",
                1e6 * summary["static_deflection"]["tool"]["x_m"].get<double>());
  EXPECT_TRUE(contains(html, deflection)) << deflection;
}

// Texts of the summary reach the page as text.
TEST_F(PlotRun, SummaryTextsAreEscaped) {
  ASSERT_TRUE(make_run(dir_.path(), "esc", small_job(1)));
  auto summary = nlohmann::json::parse(read_file(dir_.file("esc.summary.json")));
  summary["verdict"]["class"] = "<i>\"x\"";
  summary["verdict"]["rule"] = "<script>alert('&')</script>";
  summary["modes"][0]["structure"] = "</td>";
  test_support::write_file(dir_.file("esc.summary.json"), summary.dump());
  auto outcome = run_plot(dir_.path(), {"esc", "--html"});
  ASSERT_EQ(outcome.exit_code, 0) << outcome.err;
  const std::string html = read_file(dir_.file("esc.plots.html"));
  EXPECT_EQ(xml_problem(html), "");
  EXPECT_FALSE(contains(html, "<script") || contains(html, "<i>"));
  EXPECT_TRUE(contains(html, "&lt;script&gt;alert(&#39;&amp;&#39;)&lt;/script&gt;"));
  EXPECT_TRUE(contains(html, "<td>&lt;/td&gt; X1</td>"));
}

// Runs of older programs have no summary, and a damaged one is set aside:
// the three pictures and the page come from the text files as before.
TEST_F(PlotRun, WithoutAUsableSummaryThePicturesComeFromTheTextFiles) {
  ASSERT_TRUE(make_run(dir_.path(), "old", small_job(1)));
  const std::string json = read_file(dir_.file("old.summary.json"));
  struct Case {
    const char* summary;  // null: no file
    const char* warning;
  } cases[] = {
      {nullptr, ""},
      {"{\"verdict\": 1}",
       "corvanel-plot: warning: old.summary.json: not a run summary of this version: "
       "\"verdict\" is not an object; drawn from the text files alone\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.summary == nullptr ? "no summary" : c.summary);
    std::remove(dir_.file("old.summary.json").c_str());
    std::remove(dir_.file("old.spectrum.svg").c_str());
    if (c.summary != nullptr) test_support::write_file(dir_.file("old.summary.json"), c.summary);
    auto outcome = run_plot(dir_.path(), {"old", "--html"});
    ASSERT_EQ(outcome.exit_code, 0) << outcome.err;
    EXPECT_EQ(outcome.err, c.warning);
    EXPECT_FALSE(file_exists(dir_.file("old.spectrum.svg")));
    EXPECT_FALSE(contains(outcome.out, "spectrum"));
    const std::string revolutions = read_file(dir_.file("old.revolutions.svg"));
    EXPECT_TRUE(contains(revolutions, "displacement [m]"));
    EXPECT_EQ(svg_curves(revolutions), 27);
    const std::string html = read_file(dir_.file("old.plots.html"));
    EXPECT_EQ(xml_problem(html), "");
    EXPECT_FALSE(contains(html, "Run summary") || contains(html, "spectrum"));
    EXPECT_TRUE(contains(html, "displacements in m."));
  }
}

// With BASE.h5 the forces and displacements come from it, at every step in
// N and µm whatever the job's units; a BASE.h5 left by another run of the
// same name is set aside with a warning, and the text files are drawn.
TEST_F(PlotRun, DrawsFromTheHdf5FileOfTheSameRun) {
  test_support::Job job = small_job(0);
  test_support::write_job(dir_.path(), "h5", job);
  auto outcome = plot_test::run_in(dir_.path(), CORVANEL_BINARY, {"--hdf5", "h5", "."});
  ASSERT_EQ(outcome.exit_code, 0) << outcome.err;
  outcome = run_plot(dir_.path(), {"h5"});
  ASSERT_EQ(outcome.exit_code, 0) << outcome.err;
  EXPECT_EQ(outcome.err, "");
  std::string forces = read_file(dir_.file("h5.forces.svg"));
  std::string vibration = read_file(dir_.file("h5.vibration.svg"));
  EXPECT_EQ(xml_problem(vibration), "");
  EXPECT_EQ(svg_curves(forces), 3);
  EXPECT_EQ(svg_curves(vibration), 6);
  EXPECT_TRUE(contains(forces, "force [N]"));
  EXPECT_TRUE(contains(vibration, "displacement [µm]"));
  EXPECT_FALSE(contains(vibration, "displacement [in]"));
  // Another feed, run without --hdf5: BASE.h5 speaks for the earlier run.
  job.feed = 0.006;
  ASSERT_TRUE(make_run(dir_.path(), "h5", job));
  outcome = run_plot(dir_.path(), {"h5"});
  ASSERT_EQ(outcome.exit_code, 0) << outcome.err;
  EXPECT_TRUE(contains(outcome.err,
                       "corvanel-plot: warning: h5.h5: its mean forces differ from "
                       "h5.summary.json's; the file does not come from this run; "
                       "drawn from the text files"))
      << outcome.err;
  forces = read_file(dir_.file("h5.forces.svg"));
  vibration = read_file(dir_.file("h5.vibration.svg"));
  EXPECT_TRUE(contains(forces, "force [lbf]"));
  EXPECT_TRUE(contains(vibration, "displacement [in]"));
}
