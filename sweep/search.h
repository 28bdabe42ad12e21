// The boundary search of one spindle speed: the row command of a boundary
// plan (`corvanel-sweep search OUTDIR ROW`) runs `corvanel --until-decided`
// again and again in its own folder until the stability boundary in depth is
// bracketed more narrowly than the tolerance.
//
// The first bracket lies a few per cent either side of the analytic limit
// at that speed; while it holds no stable or no unstable run it is widened,
// doubling each time and held to the planned depth range. Then regula falsi
// on the signed growth rate (the Illinois variant), or bisection where a rate
// is undefined (the tool left the cut, no finite rate), narrows it.
//
// Files of a boundary plan (beside those of sweep/plan.h):
//   search.csv               from,to,tolerance: the depth range and the tolerance
//   runs/NNNN/job.in         the job of the run in progress
//   runs/NNNN/history.csv    one line per finished run, appended only after
//                            the run's summary is complete
//   runs/NNNN/boundary.csv   the row's boundary, written once found (temporary
//                            file renamed)
// The next depth depends on the history alone, so a row that is run again
// replays its history and goes on where it stopped; a half-written last line
// (the row killed while writing) is dropped.
#pragma once

#include <string>
#include <vector>

#include "sweep/collect.h"
#include "sweep/mapfiles.h"

inline constexpr const char* kSearchSettings = "search.csv";
inline constexpr const char* kSearchHistory = "history.csv";
inline constexpr const char* kSearchResult = "boundary.csv";
inline constexpr const char* kSearchLog = "search.log";  // the row's console output
// The first bracket: the analytic limit less and plus this fraction of it
// (and at least the tolerance either side).
inline constexpr double kSearchStartSpread = 0.03;
// A regula falsi depth keeps this many tolerances inside the bracket, so that
// a good estimate closes the bracket with the next run.
inline constexpr double kSearchInset = 0.3;
// A row gives up (status "unresolved") after this many runs.
inline constexpr int kSearchMaxRuns = 40;

// The planned search: depths in the job's length unit (mm or in).
struct SearchSettings {
  double from, to;   // the depth range searched
  double tolerance;  // the bracket's width at the end, at most
  double analytic;   // the analytic limit at the row's speed; +inf or NaN when none
};

// One finished run of a search.
struct SearchRun {
  double depth;           // job length unit, six decimals
  CollectClass cls;       // stable, chatter, left-cut or undecided
  double growth_rate;     // 1/revolution; NaN when none
  double growth_rate_sd;  // 1/revolution; NaN when none
  int revolutions;        // simulated revolutions
};

// Where the search stands after a history.
struct SearchStep {
  int done;            // 1 when the boundary is found (or the row gives up)
  double next_depth;   // job length unit: the run to make next (done == 0)
  double depth;        // job length unit: the boundary (done == 1)
  double low, high;    // job length unit: deepest stable and shallowest unstable run; NaN: none
  const char* status;  // done == 1: "bracketed", "stable-throughout", "unstable-throughout"
                       // or "unresolved"
};

// 1 when a run counts as unstable: chatter, the tool left the cut, or undecided with a
// positive growth rate.
int search_unstable(const SearchRun& run);

// The growth rate (1/revolution) that regula falsi may use: the run's own when its sign
// agrees with its side, else NaN (bisection).
double search_signed_rate(const SearchRun& run);

// The next depth, or the boundary, after the runs of history (in the order they ran).
SearchStep search_step(const SearchSettings& settings, const std::vector<SearchRun>& history);

// search.csv's text.
std::string search_settings_text(double from, double to, double tolerance);

// Reads search.csv of a plan folder (analytic set to NaN). 0 with *error.
int search_read_settings(const std::string& out_dir, SearchSettings* settings, std::string* error);

// A history line (with its newline) of run number `index` (from 1).
std::string search_history_line(int index, const SearchRun& run);

// Reads a history file: every whole line in order; a last line without its
// newline or that does not parse ends the history there (*dropped = 1). A
// missing file is an empty history. 0 with *error when a line before the
// last is damaged.
int search_read_history(const std::string& path, std::vector<SearchRun>* history, int* dropped,
                        std::string* error);

// Reads a row's boundary.csv. 0 with *error when it is missing or damaged.
int search_read_result(const std::string& path, MapfilesSearchRow* row, std::string* error);

// Runs the search of plan row `row` (from 1) of the boundary plan out_dir with the corvanel
// binary given, printing a line per run. 1 when the row's boundary.csv is written; 0 with
// *error.
int search_row(const std::string& out_dir, int row, const std::string& corvanel,
               std::string* error);
