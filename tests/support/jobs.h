// Jobs for the tests as the text of their job files, with databases of
// constant coefficients (read them with read_job, run them with run_job).
#pragma once

#include <string>

namespace test_support {

// The parts of a job file that the tests vary; the rest is a plain metric
// turning job in steel with a coated carbide insert (entered units: mm,
// degrees, rev/min).
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

// The plain job in English units: in, in/rev, a 2 in workpiece radius and
// a 0.03 in nose radius (displacements print as %e, so micrometre
// vibration keeps its sign and digits in the text files).
Job english_job();

// The job file of `job`.
std::string job_text(const Job& job);

// Databases with speed- and thickness-independent coefficients:
// Kf = 100000 psi, Kn = 250000 psi, chip flow angle 5 degrees, no wear.
extern const char kWearDb[];
extern const char kCoefficientDb[];

// Writes job `name`.in and both databases into dir.
void write_job(const std::string& dir, const std::string& name, const Job& job);

}  // namespace test_support
