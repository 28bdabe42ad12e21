// Reading one run folder of a sweep back: its exit status, the X force
// columns of its .rms and .ave files, the first line of its console log and
// the verdict of its run summary (BASE.summary.json), at full precision.
#pragma once

#include <string>
#include <vector>

#include "sweep/collect.h"

// X force statistics of one recorded revolution, in the job's force unit (N or lbf).
struct RundirRevolution {
  double force_x_range;  // max - min
  double force_x_rms;    // RMS deviation from the mean
  double force_x_mean;
};

// What a run's summary says of it.
struct RundirVerdict {
  CollectClass cls;    // stable, chatter, left-cut or undecided
  double growth_rate;  // 1/revolution, slope of ln(relative X vibration); NaN when not measured
  double frequency;    // Hz, dominant frequency of the relative X vibration; NaN when none
  double growth_rate_sd = 0;      // 1/revolution, standard error of the rate; NaN when none
  int stopped_at_revolution = 0;  // last revolution of a run that stopped once decided; 0: none
};

// Reads the exit-status file: 1 with *code, 0 when its text is not an
// exit code, -1 when there is no such file.
int rundir_read_exit_status(const std::string& path, int* code);

// The first line of a console log that is not a revolution line, at most 200 characters.
std::string rundir_log_line(const std::string& path);

// Reads the X force columns of a run's .rms and .ave files (one row per
// recorded revolution). 0 with *error when they cannot be read or disagree.
int rundir_read_revolutions(const std::string& rms_path, const std::string& ave_path,
                            std::vector<RundirRevolution>* revolutions, std::string* error);

// Reads the verdict of a run's summary (BASE.summary.json). 0 with *error
// when the file cannot be read, is not JSON or names no known verdict.
int rundir_read_verdict(const std::string& summary_path, RundirVerdict* verdict,
                        std::string* error);
