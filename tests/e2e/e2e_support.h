// Running the built program on small jobs in scratch folders.
#pragma once

#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace e2e {

// The parts of a job file that the tests vary; the rest is a plain metric
// turning job in steel with a coated carbide insert.
struct Job {
  std::string title = "E2E job";
  std::string process = "T";
  int units = 1;
  double rpm = 1000, feed = 0.2, depth = 2.0, wear = 0.0;
  double inclination = 0, rake = 0, side_edge = 15, radius = 50, nose = 0.8;
  std::string workpiece = "STEEL", insert = "CARB";
  int calc_type = 0;
  std::string spindle_modes = "0\n0\n0\n";  // modal block: count, then m zeta k angle per mode
  std::string tool_modes = "0\n0\n0\n";
  int revs_total = 2, revs_skipped = 0, increments = 1;
};

std::string job_text(const Job& job);

// Databases with speed- and thickness-independent coefficients:
// Kf = 100000 psi, Kn = 250000 psi, chip flow angle 5 degrees, no wear.
extern const char kWearDb[];
extern const char kCoefficientDb[];

// Writes job `name`.in and both databases into dir.
void write_job(const test_support::ScratchDir& dir, const std::string& name, const Job& job);

struct Outcome {
  int exit_code;
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs `corvanel args...` in dir with the given standard input.
Outcome run_program(const std::string& dir, const std::string& args, const std::string& input = "");

std::vector<std::string> lines_of(const std::string& text);

// Whitespace-separated numbers of one line.
std::vector<double> numbers_of(const std::string& line);

}  // namespace e2e
