// Reading a run's summary, BASE.summary.json, for the page and the pictures:
// the verdict, the dominant frequency, the forces, the cutting data, the
// static deflections, the modes, the per-revolution statistics at full
// precision and the spectrum of the relative X vibration. Runs of older
// programs have no summary; their pictures come from the text files alone.
// Every number is SI (N, m, Pa, Hz); one that the summary holds as null
// (not finite) reads as NaN.
#pragma once

#include <string>
#include <vector>

#include "model/quantities.h"

// The per-revolution statistics follow the engine's kRevolutionQuantities.
inline constexpr int kRunSummaryQuantities = kRevolutionQuantityCount;

struct RunSummaryMode {
  std::string structure;       // "workpiece" or "tool"
  std::string axis;            // "x", "y" or "z"
  int index = 0;               // from 1, in the job's list of the direction
  double natural_frequency{};  // Hz, undamped
  double damped_frequency{};   // Hz
  double damping_ratio{};
  double stiffness{};  // N/m
  double mass{};       // kg
  int delay_steps = 0;
};

struct RunSummaryCutting {
  int revolution = 0, step = 0;  // revolution from 1, step from 0
  double cutting_speed{};        // m/min
  double chip_thickness{};       // m, average
  double kf{}, kn{};             // Pa
  double chip_flow_angle{};      // degrees
  double wear_land{};            // mm
};

struct RunSummaryForce {
  double mean{}, min{}, max{}, peak_to_peak{};  // N
};

struct RunSummaryRevolution {
  int revolution = 0;                     // from 1
  double range[kRunSummaryQuantities]{};  // N and m
  double rms[kRunSummaryQuantities]{};    // N and m
  double mean[kRunSummaryQuantities]{};   // N and m
  double relative_x_vibration{};          // m
};

struct PlotSummary {
  bool present = false;  // false: no summary, or one that was set aside
  std::string path;
  std::string verdict;            // "stable", "chatter", "tool-left-cut" or "undecided"
  std::string verdict_rule;       // the rule that decided, in words
  double growth_rate{};           // 1/revolution, of ln(relative X vibration)
  double dominant_frequency{};    // Hz, 0 when the spectrum has no peak
  double frequency_resolution{};  // Hz, of the transform
  double amplitude{};             // m, at the dominant frequency
  bool has_nearest_mode = false;
  RunSummaryMode nearest_mode;
  RunSummaryForce forces[3];  // X, Y, Z
  RunSummaryCutting first_step, last_step;
  double static_deflection[3][3]{};  // m: [workpiece, tool, relative][x, y, z]
  std::vector<RunSummaryMode> modes;
  std::vector<RunSummaryRevolution> revolutions;
  double spectrum_resolution{};  // Hz; amplitudes[j] lies at j * spectrum_resolution
  std::vector<double> spectrum;  // m, amplitude of the relative X vibration
};

// Reads the summary at path into *summary. 1 with summary->present set when it
// was read, 1 with present false when there is no such file; 0 with one line
// in *error naming the file and the fault when it exists but cannot be used.
int runsummary_read(const std::string& path, PlotSummary* summary, std::string* error);

// Whether the spectrum can be drawn: two bins or more, one of them finite.
bool runsummary_has_spectrum(const PlotSummary& summary);

// Whether every displacement statistic (range, RMS, mean) of both structures
// holds a finite number in some revolution, so its panel can be drawn.
bool runsummary_displacements_drawable(const PlotSummary& summary);
