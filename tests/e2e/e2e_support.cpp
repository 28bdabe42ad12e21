#include "tests/e2e/e2e_support.h"

#include <cstdio>
#include <sstream>

namespace e2e {

using test_support::read_file;
using test_support::write_file;

const char kWearDb[] = "STEEL CARB 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n";
const char kCoefficientDb[] =
    "STEEL           CARB                            15 100000 0 0 250000 0 0 5 0 0\n";

std::string job_text(const Job& j) {
  char numbers[512];
  std::snprintf(numbers, sizeof numbers, "%d\n%.9g\n%.9g\n%.9g\n%.9g\n%.9g\n%.9g\n%.9g\n%.9g\n%.9g\n",
                j.units, j.rpm, j.feed, j.depth, j.wear, j.inclination, j.rake, j.side_edge,
                j.radius, j.nose);
  std::ostringstream text;
  text << j.title << "\n" << j.process << "\n" << numbers << j.workpiece << "\n" << j.insert
       << "\n" << j.calc_type << "\n" << j.spindle_modes << j.tool_modes << j.revs_total << "\n"
       << j.revs_skipped << "\n" << j.increments << "\n";
  return text.str();
}

void write_job(const test_support::ScratchDir& dir, const std::string& name, const Job& job) {
  write_file(dir.file(name + ".in"), job_text(job));
  write_file(dir.file("wear.db"), kWearDb);
  write_file(dir.file("kfkncfa.db"), kCoefficientDb);
}

Outcome run_program(const std::string& dir, const std::string& args, const std::string& input) {
  write_file(dir + "/.stdin", input);
  std::string command = "cd '" + dir + "' && '" CORVANEL_BINARY "' " + args +
                        " < .stdin > .stdout 2> .stderr";
  Outcome outcome;
  outcome.exit_code = test_support::run_command(command);
  outcome.out = read_file(dir + "/.stdout");
  outcome.err = read_file(dir + "/.stderr");
  return outcome;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<double> numbers_of(const std::string& line) {
  std::vector<double> numbers;
  std::istringstream in(line);
  for (double x; in >> x;) numbers.push_back(x);
  return numbers;
}

}  // namespace e2e
