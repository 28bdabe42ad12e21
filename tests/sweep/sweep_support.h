// Small sweeps in scratch folders: a coarse base job, its databases, the
// built programs, and a check that a document is well-formed XML.
#pragma once

#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace sweep_test {

// A metric job with one tool X mode (k = 2.26e5 N/mm, zeta 0.012, 250 Hz),
// written as the job file writer writes it; 10 steps a revolution by default.
std::string base_job(int revs_total = 4, int revs_skipped = 1, int increments = 3420);

// Databases of the base job's pair: Kf = 1000 N/mm^2, Kn = 2000 N/mm^2, no
// chip flow angle, no speed or thickness dependence, no wear.
extern const char kWearDb[];
extern const char kCoefficientDb[];

// Writes base.in (the given text), wear.db and kfkncfa.db into dir.
void write_base(const test_support::ScratchDir& dir, const std::string& job_text);

struct Outcome {
  int exit_code;
  std::string out;
  std::string err;
};

// Runs `env corvanel-sweep args` in folder dir.
Outcome sweep(const std::string& dir, const std::string& args, const std::string& env = "");

// Plans `args` (grid options) from dir/base.in into dir/out; asserts success.
void plan(const test_support::ScratchDir& dir, const std::string& grid,
          const std::string& extra = "");

std::vector<std::string> lines_of(const std::string& text);

// The text in single quotes for the shell.
std::string quoted(const std::string& text);

// Empty when text is a well-formed XML document, else what is wrong first.
std::string xml_problem(const std::string& text);

// Occurrences of what in text.
size_t count_of(const std::string& text, const std::string& what);

}  // namespace sweep_test
