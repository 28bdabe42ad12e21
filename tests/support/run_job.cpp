#include "tests/support/run_job.h"

#include <sstream>

namespace test_support {

Outcome run_program(const std::string& dir, const std::string& args, const std::string& input,
                    const std::string& env) {
  write_file(dir + "/.stdin", input);
  std::string command = "cd '" + dir + "' && " + env + " '" CORVANEL_BINARY "' " + args +
                        " < .stdin > .stdout 2> .stderr";
  Outcome outcome;
  outcome.exit_code = run_command(command);
  outcome.out = read_file(dir + "/.stdout");
  outcome.err = read_file(dir + "/.stderr");
  return outcome;
}

std::string JobRun::text(const std::string& suffix) const {
  return read_file(dir.file(name + suffix));
}

std::vector<std::string> JobRun::rows(const std::string& suffix) const {
  return lines_of(text(suffix));
}

bool JobRun::has(const std::string& suffix) const {
  return file_exists(dir.file(name + suffix));
}

JobRun run_job(const std::string& name, const Job& job) {
  JobRun run{{}, ScratchDir(), name};
  write_job(run.dir.path(), name, job);
  static_cast<Outcome&>(run) = run_program(run.dir.path(), name + " .");
  return run;
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

}  // namespace test_support
