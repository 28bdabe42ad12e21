// Reading the result files of one finished run for plotting: the report for
// the title, the unit system and the parameters; the time series and the
// revolution summaries for their shape, checked row by row.
#pragma once

#include <string>
#include <vector>

#include "plot/h5read.h"
#include "plot/runsummary.h"

// One whitespace-separated table of numbers: a time series or a summary file.
struct RunTable {
  std::string path;
  int columns = 0;  // numbers on every row
  long rows = 0;
  long revolution_starts = 0;  // rows whose step (first column) is 0: one per recorded revolution
  double first_angle = 0;      // cut angle of the first row, degrees
  std::vector<char> finite;    // per column: 1 when some row holds a finite number there
};

inline constexpr int kRunDisplacementFiles = 6;

// ".sx.dat", ".sy.dat", ".sz.dat" (spindle-workpiece), ".wx.dat", ".wy.dat", ".wz.dat" (tool).
extern const char* const kRunDisplacementSuffixes[kRunDisplacementFiles];

struct RunFiles {
  std::string base;                       // output base name of the run, as given
  std::string title;                      // first line of the report, cleaned for XML
  int units = 1;                          // 0 English (lbf, in), otherwise metric (N, m)
  std::vector<std::string> report_lines;  // the report's lines below the title's rule, cleaned
  RunTable forces;                        // BASE.dat: step, cut angle, force X, Y, Z
  RunTable displacements[kRunDisplacementFiles];  // step, cut angle, displacement
  RunTable ranges_rms;                            // BASE.rms: nine ranges, nine RMS values
  RunTable means;                                 // BASE.ave: nine means
  int first_revolution = 1;     // number (from 1) of the first recorded revolution
  PlotSummary summary;          // BASE.summary.json; not present for runs of older programs
  std::string summary_warning;  // why a summary that exists was set aside, "" when none was
  H5Curves h5;                  // BASE.h5: forces and displacements at every recorded step
  std::string h5_warning;       // why a BASE.h5 that exists was set aside, "" when none was
};

// Reads and checks every file of the run with output base name base. 1 when
// all can be plotted; 0 with one line in *error naming the file and the fault.
// A summary that cannot be read or does not match the text files is set
// aside with one line in run->summary_warning: the text files suffice; so
// is a BASE.h5 (run->h5_warning), whose curves replace the text files' forces
// and displacements when it speaks for the same revolutions.
int runfiles_read(const std::string& base, RunFiles* run, std::string* error);

// Reads the report at path: title, unit system and parameter lines. 1 or 0 with *error.
int runfiles_read_report(const std::string& path, RunFiles* run, std::string* error);

// Scans the table at path, whose every row must hold columns numbers. 1 or 0 with *error.
int runfiles_read_table(const std::string& path, int columns, RunTable* table, std::string* error);

// "N" for metric runs, "lbf" for English ones.
const char* runfiles_force_unit(int units);

// "m" for metric runs, "in" for English ones.
const char* runfiles_length_unit(int units);
