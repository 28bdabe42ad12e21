// Sweep plans: one job file per spindle speed and depth of cut, each in its
// own folder, with the command table that runs them (GNU parallel, several
// hosts or a Slurm array) and the index that collect reads back.
//
// Layout of a plan folder OUT:
//   base.in         the base job as given
//   wear.db         the wear file, copied
//   kfkncfa.db      the cutting-coefficient database, copied
//   plan.csv        row,rpm,depth,folder
//   commands.txt    one shell command per row (see sweep/commands.h); each cds to OUT, so corvanel
//                   opens the two copied databases there, and runs
//                   `corvanel job runs/NNNN` (results in runs/NNNN/)
//   slurm-array.sh  runs row SLURM_ARRAY_TASK_ID (+ ROW_OFFSET) of commands.txt
//   runs/NNNN/      job.in; after the run job.rms, job.ave, job.rpt, job.html,
//                   job.summary.json, corvanel.log (console output) and
//                   exit-status
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/params.h"

inline constexpr const char* kPlanBase = "base.in";
inline constexpr const char* kPlanWear = "wear.db";
inline constexpr const char* kPlanDatabase = "kfkncfa.db";
inline constexpr const char* kPlanIndex = "plan.csv";
inline constexpr const char* kPlanCommands = "commands.txt";
inline constexpr const char* kPlanSlurm = "slurm-array.sh";
inline constexpr const char* kPlanJob = "job";               // job name of every run
inline constexpr const char* kPlanExitFile = "exit-status";  // exit code of the run, one line
inline constexpr const char* kPlanLogFile = "corvanel.log";  // console output of the run
inline constexpr const char* kPlanBinaryVariable =
    "CORVANEL_BIN";  // overrides the binary at run time
inline constexpr const char* kPlanSweepVariable =
    "CORVANEL_SWEEP_BIN";  // overrides corvanel-sweep in boundary rows at run time
inline constexpr int kPlanMaxRuns = 100000;

struct PlanOptions {
  std::string base_path;              // the base job file
  std::vector<double> rpms;           // spindle speeds, rev/min
  std::vector<double> depths;         // depths of cut, the job's length unit (mm or in)
  std::string out_dir;                // the plan folder; must be new or empty
  std::string corvanel;               // corvanel binary; empty: the default
  std::string wear_path = "wear.db";  // as corvanel opens them: from the working folder
  std::string database_path = "kfkncfa.db";
  bool keep_series = false;  // keep the ten time-series files of every run
  // A boundary plan (sweep/search.h): one row per speed searching depths
  // from boundary_from to boundary_to (job length unit) to within tolerance;
  // depths is then empty.
  bool boundary = false;
  double boundary_from = 0, boundary_to = 0, tolerance = 0;
  bool hdf5 = false;  // every run also writes its BASE.h5 (corvanel --hdf5)
};

// One planned run.
struct PlanRun {
  int row;             // 1-based row of commands.txt
  double rpm;          // rev/min
  double depth;        // job length unit
  std::string folder;  // relative to the plan folder, e.g. "runs/0001"
};

// The first entered number of a job that a job file's six decimals would
// change (its name and value), or empty when every one survives.
std::string plan_inexact_field(const SimParams* job);

// Writes the plan folder. 0 with *error, before anything is created, when the
// base job, the grid, the databases or the binary cannot serve; *warnings
// receives what holds the plan back without stopping it.
int plan_write(const PlanOptions& options, std::vector<PlanRun>* runs,
               std::vector<std::string>* warnings, std::string* error);

// The warning for a base job that does not simulate whole revolutions, or empty.
std::string plan_increments_warning(const SimParams* job);

// Writes text to the file at path; 0 with *error set when it cannot be written whole.
int plan_write_text(const std::string& path, const std::string& text, std::string* error);
