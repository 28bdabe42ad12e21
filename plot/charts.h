// The gnuplot scripts of the pictures of a run. Each script draws one SVG
// document on gnuplot's standard output and reads the run's files by path, or
// carries the numbers it takes from the run summary inline.
#pragma once

#include <string>

#include "plot/runfiles.h"

// The three forces against the cut angle (BASE.dat).
std::string charts_forces_script(const RunFiles& run);

// The displacements X, Y and Z of the spindle-workpiece structure and of the
// tool against the cut angle, one panel per structure (BASE.sx.dat ... BASE.wz.dat).
std::string charts_vibration_script(const RunFiles& run);

// Per recorded revolution, the ranges, RMS deviations and means of the forces and
// of both structures' displacements, a panel each (BASE.rms, BASE.ave). With a
// summary, the displacement panels show its full-precision values in µm.
std::string charts_revolutions_script(const RunFiles& run);

// The amplitude spectrum of the relative X vibration (µm against Hz) from the
// summary, with the dominant frequency and the modes' natural frequencies marked.
std::string charts_spectrum_script(const RunFiles& run);

// Whether the run summary holds a spectrum to draw.
bool charts_has_spectrum(const RunFiles& run);

// One picture: its file name suffix, its caption and its script.
struct ChartKind {
  const char* suffix;   // ".forces.svg", ...
  const char* caption;  // what the picture shows, for the HTML page
  std::string (*script)(const RunFiles& run);
  bool (*drawable)(const RunFiles& run);  // null: every run has this picture
};

inline constexpr int kChartCount = 4;
extern const ChartKind kCharts[kChartCount];
