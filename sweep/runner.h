// Runs a plan's command table on this machine: through GNU parallel when it
// is installed, otherwise with a small built-in process pool. Both keep the
// same joblog (OUT/joblog, GNU parallel's format), so an interrupted sweep
// resumes where it stopped whichever of the two ran it before.
#pragma once

#include <map>
#include <string>
#include <vector>

inline constexpr const char* kRunnerJoblog = "joblog";

struct RunnerOptions {
  std::string out_dir;        // the plan folder
  int jobs = 0;               // workers; 0 or less: the number of cores
  bool use_pool = false;      // the built-in pool even where GNU parallel is installed
  bool retry_failed = false;  // run again the rows whose run ended with a non-zero exit code
};

// Runs the rows not yet in the joblog. Returns the exit code: 0 when every
// row of the table has run with exit code 0, 1 when some failed or are still
// to run, 130 when interrupted; error says what stopped it from starting.
int runner_run(const RunnerOptions& options, std::string* error);

// 1 when `parallel` on PATH is GNU parallel.
int runner_gnu_parallel_available();

// Rows (1-based) recorded in a joblog, with their exit codes; empty when none.
std::map<int, int> runner_read_joblog(const std::string& path);

// The command rows of a table, in order; 0 when the file cannot be read.
int runner_read_commands(const std::string& path, std::vector<std::string>* rows);

// Online processors of this machine, at least 1.
int runner_cores();
