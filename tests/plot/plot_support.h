// Making short runs with the main program and looking into the pictures
// that corvanel-plot draws of them.
#pragma once

#include <string>
#include <vector>

#include "tests/support/run_job.h"

namespace plot_test {

extern const char kNoGnuplot[];  // why a test cannot run without gnuplot
bool gnuplot_installed();

// text as one shell word.
std::string shell_quote(const std::string& text);

// Runs program with args in dir; path, when given, replaces PATH.
test_support::Outcome run_in(const std::string& dir, const std::string& program,
                             const std::vector<std::string>& args, const std::string& path = "");

// Runs corvanel-plot args... in dir.
test_support::Outcome run_plot(const std::string& dir, const std::vector<std::string>& args,
                               const std::string& path = "");

// A quick job: 3 revolutions of which 1 is skipped, 20 angular increments,
// one mode per direction in both structures, in English (0) or metric units.
test_support::Job small_job(int units);

// Writes job name.in and both databases into dir and runs corvanel there; 1 when it succeeded.
int make_run(const std::string& dir, const std::string& name, const test_support::Job& job);

// What keeps text from being one well-formed XML document, "" when nothing does.
std::string xml_problem(const std::string& text);

// Plotted lines of a gnuplot SVG: its gnuplot_plot groups that draw a path.
int svg_curves(const std::string& svg);

}  // namespace plot_test
