#include "tests/support/jobs.h"

#include <cstdio>
#include <sstream>

#include "tests/support/test_support.h"

namespace test_support {

const char kWearDb[] = "STEEL CARB 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n";
const char kCoefficientDb[] =
    "STEEL           CARB                            15 100000 0 0 250000 0 0 5 0 0\n";

Job english_job() {
  Job job;
  job.units = 0;
  job.feed = 0.008;
  job.depth = 0.08;
  job.radius = 2.0;
  job.nose = 0.03;
  return job;
}

std::string job_text(const Job& j) {
  char numbers[512];
  std::snprintf(numbers, sizeof numbers,
                "%d\n%.9g\n%.9g\n%.9g\n%.9g\n%.9g\n%.9g\n%.9g\n%.9g\n%.9g\n", j.units, j.rpm,
                j.feed, j.depth, j.wear, j.inclination, j.rake, j.side_edge, j.radius, j.nose);
  std::ostringstream text;
  text << j.title << "\n"
       << j.process << "\n"
       << numbers << j.workpiece << "\n"
       << j.insert << "\n"
       << j.calc_type << "\n"
       << j.spindle_modes << j.tool_modes << j.revs_total << "\n"
       << j.revs_skipped << "\n"
       << j.increments << "\n";
  return text.str();
}

void write_job(const std::string& dir, const std::string& name, const Job& job) {
  write_file(dir + "/" + name + ".in", job_text(job));
  write_file(dir + "/wear.db", kWearDb);
  write_file(dir + "/kfkncfa.db", kCoefficientDb);
}

}  // namespace test_support
