// Running the built program on small jobs in scratch folders.
#pragma once

#include <string>
#include <vector>

#include "tests/support/jobs.h"
#include "tests/support/test_support.h"

namespace test_support {

struct Outcome {
  int exit_code;
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs `corvanel args...` in dir with the given standard input, after the
// environment assignments env ("NAME='value' ...", may be empty).
Outcome run_program(const std::string& dir, const std::string& args, const std::string& input = "",
                    const std::string& env = "");

// One batch run of a job (its exit code and output) in a scratch folder of
// its own, kept with its results.
struct JobRun : Outcome {
  ScratchDir dir;
  std::string name;  // the job's name: results are name.*

  // The text of result file name + suffix ("" when absent).
  std::string text(const std::string& suffix) const;
  // Its lines.
  std::vector<std::string> rows(const std::string& suffix) const;
  // Whether it exists.
  bool has(const std::string& suffix) const;
};

// Writes `name`.in and the databases (write_job) and runs `corvanel name .`.
JobRun run_job(const std::string& name, const Job& job);

std::vector<std::string> lines_of(const std::string& text);

// Whitespace-separated numbers of one line.
std::vector<double> numbers_of(const std::string& line);

}  // namespace test_support
