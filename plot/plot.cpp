#include "plot/plot.h"

#include <cstdio>
#include <memory>
#include <string>

#include "cli/cli.h"
#include "plot/charts.h"
#include "plot/gnuplot.h"
#include "plot/page.h"
#include "plot/runfiles.h"

namespace {

const char kSynopsis[] = "Usage: corvanel-plot BASE [--html]\n";

const char kDescription[] =
    "Draws the results of a finished corvanel run with gnuplot. BASE is the run's\n"
    "output base name: DIR/JOB for a batch run (e.g. examples/demo), output for an\n"
    "interactive one. Writes BASE.forces.svg (forces against the cut angle),\n"
    "BASE.vibration.svg (displacements of both structures) and BASE.revolutions.svg\n"
    "(per-revolution ranges, RMS deviations and means), and from the run summary\n"
    "BASE.summary.json, when the run left one, BASE.spectrum.svg (the spectrum of\n"
    "the relative X vibration); with --html also BASE.plots.html, a page showing\n"
    "them with the summary and the job's parameters.\n";

const char kFooter[] =
    "Drawing:\n"
    "  All files of the run are read and checked before anything is drawn, and a\n"
    "  picture replaces an earlier one only once gnuplot has finished it. gnuplot is\n"
    "  Debian's gnuplot-nox, or any gnuplot on the PATH. A summary that cannot be\n"
    "  read or belongs to other revolutions is set aside with a warning.\n"
    "\n"
    "Exit status:\n"
    "  0  every picture (and the page) was written\n"
    "  1  a file of the run is missing or damaged, or gnuplot failed; one line on\n"
    "     standard error names the file\n"
    "  2  a wrong command line\n";

struct Request {
  std::string base;
  bool html = false;
};

int fail(const std::string& message) {
  std::fprintf(stderr, "corvanel-plot: %s\n", message.c_str());
  return 1;
}

// Control characters cannot be written inside a gnuplot string.
bool has_control_character(const std::string& text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return true;
  }
  return false;
}

}  // namespace

int plot_main(int argc, char** argv) {
  Request request;
  const CliProgram program = {"corvanel-plot", kSynopsis,   kDescription,
                              kFooter,         "-h,--help", cli_version_text("corvanel-plot")};
  std::unique_ptr<CliApp, void (*)(CliApp*)> app(cli_create(program), cli_free);
  if (app == nullptr) return fail("out of memory");
  cli_add_text(app.get(), "BASE", &request.base, "the run's output base name", "", true);
  cli_add_flag(app.get(), "--html", &request.html,
               "also write BASE.plots.html, a page showing the pictures");
  if (const int code = cli_parse(app.get(), argc, argv); code >= 0) return code;
  if (request.base.empty()) return cli_usage_error(app.get(), "BASE is empty");
  if (has_control_character(request.base)) {
    return fail("the base name holds a control character");
  }
  RunFiles run;
  std::string error;
  if (!runfiles_read(request.base, &run, &error) || !gnuplot_find(&error)) return fail(error);
  for (const std::string* warning : {&run.summary_warning, &run.h5_warning}) {
    if (!warning->empty()) std::fprintf(stderr, "corvanel-plot: warning: %s\n", warning->c_str());
  }
  for (const ChartKind& chart : kCharts) {
    if (chart.drawable != nullptr && !chart.drawable(run)) continue;
    const std::string path = request.base + chart.suffix;
    if (!gnuplot_render(chart.script(run), path, &error)) return fail(error);
    std::printf("Wrote %s\n", path.c_str());
  }
  if (request.html) {
    const std::string path = request.base + ".plots.html";
    if (!page_write(run, path, &error)) return fail(error);
    std::printf("Wrote %s\n", path.c_str());
  }
  return 0;
}
