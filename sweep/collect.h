// Reads every run of a plan back, classifies it, and writes the map:
// map.csv (one row per run), boundary.csv (the simulated boundary per spindle
// speed beside the analytic limit), limit.csv (the analytic curve) and map.svg.
//
// Classification of a run that exited with 0 and recorded every revolution:
// - "left-cut": in some recorded revolution the X force range reaches twice
//   the mean X force, i.e. a wave about the mean swings down to zero force;
// - "chatter": the vibration grows (growth ratio above 1) and the last
//   revolution's vibration stands clear of the force scatter;
// - "stable" otherwise.
// The vibration of a revolution is the RMS of the X force with the engine's
// ±3 % force scatter taken out, v = sqrt(rms² − s²), held at no less than a
// fifth of s (smaller vibration cannot be told from the scatter). The growth
// ratio is exp(slope × (n − 1)) of a least-squares line through ln v over the
// n recorded revolutions: the fitted last-over-first ratio, insensitive to the
// revolution-to-revolution beat of a chatter wave.
// A run without an exit-status file is "missing"; one with a non-zero exit
// status, too few revolutions or results that are not numbers is "failed".
#pragma once

#include <string>
#include <vector>

#include "sweep/limit.h"
#include "sweep/plan.h"

enum CollectClass {
  COLLECT_STABLE = 0,
  COLLECT_CHATTER = 1,
  COLLECT_LEFT_CUT = 2,
  COLLECT_FAILED = 3,
  COLLECT_MISSING = 4,
};
inline constexpr int kCollectClasses = 5;

// X force statistics of one recorded revolution, in the job's force unit (N or lbf).
struct CollectRevolution {
  double force_x_range;  // max - min
  double force_x_rms;    // RMS deviation from the mean
  double force_x_mean;
};

struct CollectResult {
  PlanRun run;
  CollectClass cls;
  int exit_status;   // -1 when unknown
  int revolutions;   // recorded revolutions read
  double growth;     // growth ratio; NaN when not measured
  double force_pp;   // N or lbf: X force range of the last recorded revolution; NaN when none
  std::string note;  // why a run failed or is missing
};

// The simulated boundary at one spindle speed, depths in the job's length unit.
struct CollectBoundary {
  double rpm;             // rev/min
  double last_stable;     // deepest stable run below first_unstable; NaN when none
  double first_unstable;  // shallowest chatter or left-cut run; NaN when none
  double boundary;        // growth ratio 1 interpolated between the two; NaN when not bracketed
  double analytic;        // the analytic limit; +inf when none
};

// "stable", "chatter", "left-cut", "failed" or "missing".
const char* collect_class_name(CollectClass cls);

// Reads the X force columns of a run's .rms and .ave files (one row per
// recorded revolution). 0 with *error when they cannot be read or disagree.
int collect_read_revolutions(const std::string& rms_path, const std::string& ave_path,
                             std::vector<CollectRevolution>* revolutions, std::string* error);

// RMS of the engine's ±3 % scatter of a reference force (any force unit).
double collect_scatter_rms(double reference_force);

// Growth ratio of the vibration over the revolutions (scatter_rms in their force unit).
double collect_growth(const std::vector<CollectRevolution>& revolutions, double scatter_rms);

// Class of a finished run from its revolutions; *growth receives the growth ratio.
CollectClass collect_classify(const std::vector<CollectRevolution>& revolutions, double scatter_rms,
                              double* growth);

// Reads and classifies one run of the plan folder out_dir.
CollectResult collect_run(const std::string& out_dir, const PlanRun& run, int expected_revolutions,
                          double scatter_rms);

// The simulated boundary per spindle speed; model may be null (no analytic limit).
std::vector<CollectBoundary> collect_boundaries(const std::vector<CollectResult>& results,
                                                const LimitModel* model);

// Collects the plan folder: writes the four files and prints a summary.
// Returns 0 when every run was classified, 1 when some failed or are
// missing, 2 when the plan could not be read or a file not written.
int collect_all(const std::string& out_dir, std::string* error);
