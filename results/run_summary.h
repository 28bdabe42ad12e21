// The run summary, BASE.summary.json: the answer to the engineer's question
// beside the result files. The job as entered and in SI, the databases'
// rows, the cutting data of the first and last cutting steps, the modes, the
// per-revolution statistics at full precision, the verdict with its growth
// rate, the dominant vibration frequency and the force extremes. Every value
// is SI (N, m, s, Pa, Hz) unless its key names another unit.
#pragma once

#include <string>
#include <vector>

#include "model/params.h"
#include "model/quantities.h"

// The per-revolution statistics follow kRevolutionQuantities.
inline constexpr int kSummaryQuantities = kRevolutionQuantityCount;

// Cutting data of one step, as the engine held it.
struct SummaryCutting {
  int revolution, step;       // from 0
  double cutting_speed;       // m/min
  double avg_chip_thickness;  // m
  double kf, kn;              // Pa
  double chip_flow_angle;     // rad
  double wear_land;           // mm, flank wear land width
};

// One recorded revolution.
struct SummaryRevolution {
  int revolution;                    // from 0
  double range[kSummaryQuantities];  // N and m: max - min over the revolution's steps
  double rms[kSummaryQuantities];    // N and m: RMS deviation from the mean (34200 entries)
  double mean[kSummaryQuantities];   // N and m
  double relative_x;                 // m, relative X displacement at step 0
  double vibration;                  // m, RMS of the relative X displacement about its mean
  int left_cut_steps;                // steps whose chip thickness fell below zero
};

struct SummaryForce {
  double mean, min, max;  // N, over every step of the recorded revolutions
};

struct SummaryMode {
  int structure;        // 0 spindle-workpiece, 1 tool
  int axis;             // 0 X, 1 Y, 2 Z
  int index;            // from 0, in the job's list
  double natural_freq;  // Hz, undamped
  double damped_freq;   // Hz
  double damping_ratio;
  double stiffness;  // N/m
  double mass;       // kg
  int delay_steps;
};

struct RunSummary {
  SummaryCutting first, last;  // first and last steps that cut
  std::vector<SummaryRevolution> revolutions;
  SummaryForce force[3];                 // X, Y, Z
  double static_deflection[2][3];        // m: [0 workpiece, 1 tool][axis] under the mean force
  double relative_static_deflection[3];  // m: tool minus workpiece
  std::vector<SummaryMode> modes;
  double scatter_floor;      // m, relative X vibration that the force scatter keeps up
  const char* verdict;       // "stable", "chatter", "tool-left-cut" or "undecided"
  const char* verdict_rule;  // the rule that decided, in words
  double growth_rate;        // 1/revolution, slope of ln(relative X vibration)
  double growth_rate_sd;     // 1/revolution, its standard error
  double peak_frequency;     // Hz, dominant frequency of the relative X displacement
  double peak_resolution;    // Hz, the spectrum's bin width
  double peak_amplitude;     // m
  int nearest_mode;          // index into modes, -1 when none
  double sample_period;      // s, of the spectrum's samples
  int samples;               // how many
  // The amplitude spectrum of the relative X displacement, compacted for
  // drawing: spectrum[j] (m) is the largest amplitude of the transform's bins
  // within half a spectrum_resolution of j * spectrum_resolution Hz.
  std::vector<double> spectrum;
  double spectrum_resolution;  // Hz
  // Runs asked to stop once decided: the last revolution run (from 1) and
  // the rule that stopped it ("none" when it ran to the job's last); 0 and
  // null otherwise, and the summary leaves both out.
  int stopped_at_revolution = 0;
  const char* stop_rule = nullptr;
  const char* stop_rule_text = nullptr;  // the rule in words
};

// Run-level facts the summary repeats.
struct SummaryRun {
  const char* program_version;  // e.g. "1.0"
  unsigned engine_version;      // 0x10000
  int steps_per_rev;
  double time_step;  // s
};

// The summary as JSON text. entered is the job as entered (a copy taken
// before any conversion), si the same job in engine units.
std::string run_summary_json(const SimParams* entered, const SimParams* si, const SummaryRun& run,
                             const RunSummary& summary);

// One line for the console: the verdict, the growth per revolution and the
// dominant frequency with its nearest mode.
std::string run_summary_line(const RunSummary& summary);

// Writes the JSON to path through a temporary file renamed at the end, so
// an incomplete summary never replaces a complete one. 0 (errno set) on failure.
int run_summary_write(const std::string& json, const char* path);
