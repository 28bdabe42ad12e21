// The collect command: every run of a plan (sweep/rundir.h reads each
// folder) sorted into its class, and the map files written (sweep/mapfiles.h):
// map.csv (one row per run), boundary.csv (the simulated boundary per
// spindle speed beside the analytic limit), limit.csv (the analytic curve)
// and map.svg. A boundary plan's rows each hold their own boundary
// (sweep/search.h), which collect gathers instead.
//
// A run's class, growth rate and dominant frequency are the engine's own, read
// from its summary (job.summary.json: verdict.class,
// verdict.growth_rate_per_revolution, vibration.dominant_frequency_Hz), so the
// map and a single run judge alike, at full precision. The .rms and .ave files
// still give the X force range and the count of recorded revolutions.
// A run without an exit-status file is "missing"; one with a non-zero exit
// status, too few revolutions (unless its summary says it stopped once
// decided), results that are not numbers or no readable
// summary is "failed".
#pragma once

#include <string>
#include <vector>

#include "sweep/limit.h"
#include "sweep/plan.h"

enum CollectClass {
  COLLECT_STABLE = 0,
  COLLECT_CHATTER = 1,
  COLLECT_LEFT_CUT = 2,
  COLLECT_UNDECIDED = 3,
  COLLECT_FAILED = 4,
  COLLECT_MISSING = 5,
};
inline constexpr int kCollectClasses = 6;

struct CollectResult {
  PlanRun run;
  CollectClass cls;
  int exit_status;     // -1 when unknown
  int revolutions;     // recorded revolutions read
  double growth_rate;  // 1/revolution; NaN when not measured
  double frequency;    // Hz, dominant (chatter) frequency; NaN when none
  double force_pp;     // N or lbf: X force range of the last recorded revolution; NaN when none
  std::string note;    // why a run failed or is missing
};

// "stable", "chatter", "left-cut", "undecided", "failed" or "missing".
const char* collect_class_name(CollectClass cls);

// Reads and classifies one run of the plan folder out_dir.
CollectResult collect_run(const std::string& out_dir, const PlanRun& run, int expected_revolutions);

// Collects the plan folder: writes the four files and prints a summary.
// Returns 0 when every run was classified, 1 when some failed or are
// missing, 2 when the plan could not be read or a file not written.
int collect_all(const std::string& out_dir, std::string* error);
