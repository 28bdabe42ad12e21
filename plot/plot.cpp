#include "plot/plot.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "plot/charts.h"
#include "plot/gnuplot.h"
#include "plot/page.h"
#include "plot/runfiles.h"

namespace {

const char kUsage[] =
    "usage: corvanel-plot BASE [--html]\n"
    "  BASE is the output base name of a corvanel run (DIR/JOB, e.g. examples/demo).\n"
    "  Writes BASE.forces.svg, BASE.vibration.svg and BASE.revolutions.svg;\n"
    "  with --html also BASE.plots.html, a page showing them with the job's parameters.\n";

struct Request {
  std::string base;
  bool html = false;
};

// 1 with the request, 0 for a command line that asks for nothing sensible.
int parse_arguments(int argc, char** argv, Request* request) {
  int bases = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--html") == 0) {
      request->html = true;
    } else if (std::strncmp(argv[i], "--", 2) == 0 || bases++ > 0) {
      return 0;
    } else {
      request->base = argv[i];
    }
  }
  return bases == 1 && !request->base.empty();
}

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
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  Request request;
  if (!parse_arguments(argc, argv, &request)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (has_control_character(request.base)) {
    return fail("the base name holds a control character");
  }
  RunFiles run;
  std::string error;
  if (!runfiles_read(request.base, &run, &error) || !gnuplot_find(&error)) return fail(error);
  if (!run.summary_warning.empty()) {
    std::fprintf(stderr, "corvanel-plot: warning: %s\n", run.summary_warning.c_str());
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
