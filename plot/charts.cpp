#include "plot/charts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "plot/gnuplot.h"

const ChartKind kCharts[kChartCount] = {
    {".forces.svg", "Cutting forces X, Y and Z against the cut angle", charts_forces_script,
     nullptr},
    {".vibration.svg", "Displacements of the spindle-workpiece structure and of the tool",
     charts_vibration_script, nullptr},
    {".revolutions.svg", "Ranges, RMS deviations and means per recorded revolution",
     charts_revolutions_script, nullptr},
    {".spectrum.svg",
     "Amplitude spectrum of the relative X vibration, with the dominant frequency and the "
     "natural frequencies of the modes",
     charts_spectrum_script, charts_has_spectrum},
};

namespace {

const char* const kAxisNames[3] = {"X", "Y", "Z"};

// Terminal, colours (X blue, Y red, Z green in every picture) and the
// picture's title, the job's, drawn without gnuplot's enhanced-text markup.
std::string preamble(const RunFiles& run, int width, int height, int rows, int columns) {
  char text[512];
  std::snprintf(text, sizeof text,
                "set terminal svg size %d,%d enhanced font 'Sans,11' background rgb 'white'\n"
                "set encoding utf8\n"
                "set linetype 1 lc rgb '#1f5fbf' lw 1.2 pt 7 ps 0.6\n"
                "set linetype 2 lc rgb '#c8281e' lw 1.2 pt 5 ps 0.6\n"
                "set linetype 3 lc rgb '#2a9d3a' lw 1.2 pt 9 ps 0.7\n"
                "set grid\n"
                "set autoscale xfix\n"  // the cut angle axis spans the recorded steps
                "set format y '%%g'\n"
                "set offsets 0, 0, graph 0.05, graph 0.05\n"  // no curve lies on the frame
                "set key outside right top box samplen 2\n"
                "set multiplot layout %d,%d title ",
                width, height, rows, columns);
  return text + gnuplot_quote(run.title.empty() ? "untitled job" : run.title) +
         " noenhanced font 'Sans,14'\n";
}

std::string labels(const char* title, const char* xlabel, const std::string& ylabel) {
  return "set title " + gnuplot_quote(title) + "\nset xlabel " + gnuplot_quote(xlabel) +
         "\nset ylabel " + gnuplot_quote(ylabel) + "\n";
}

// One curve: the using clause for a column of a file, drawn in the colour of its axis.
std::string curve(const std::string& path, const std::string& x, int column, int axis,
                  const char* style, const std::string& title) {
  return gnuplot_path(path) + " using " + x + ":" + std::to_string(column) + " with " + style +
         " lt " + std::to_string(axis + 1) + " title " + gnuplot_quote(title);
}

// The X, Y and Z displacements of one structure, files first .. first + 2.
std::string structure_panel(const RunFiles& run, int first, const char* title) {
  const std::string unit = runfiles_length_unit(run.units);
  std::string text = labels(title, "cut angle [degrees]", "displacement [" + unit + "]");
  text += "plot ";
  for (int axis = 0; axis < 3; ++axis) {
    if (axis > 0) text += ", \\\n     ";
    text += curve(run.displacements[first + axis].path, "2", 3, axis, "lines",
                  std::string("displacement ") + kAxisNames[axis]);
  }
  return text + "\n";
}

// One statistic of one quantity: columns first .. first + 2 of a summary file.
std::string summary_panel(const RunFiles& run, const RunTable& table, int first, const char* title,
                          const std::string& ylabel) {
  const std::string x = "($0+" + std::to_string(run.first_revolution) + ")";
  std::string text = labels(title, "revolution", ylabel);
  text += "plot ";
  for (int axis = 0; axis < 3; ++axis) {
    if (axis > 0) text += ", \\\n     ";
    text += curve(table.path, x, first + axis + 1, axis, "linespoints", kAxisNames[axis]);
  }
  return text + "\n";
}

// A number for a gnuplot data block ("nan" when it is not finite, which gnuplot skips).
std::string datum(double value) {
  if (!std::isfinite(value)) return "nan";
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

// The summary's displacement statistics in µm as the data block $revolutions:
// revolution; ranges (workpiece X Y Z, tool X Y Z); RMS deviations; means.
std::string revolutions_block(const PlotSummary& summary) {
  std::string text = "$revolutions << EOD\n";
  for (const RunSummaryRevolution& rev : summary.revolutions) {
    text += std::to_string(rev.revolution);
    for (const double(*values)[kRunSummaryQuantities] : {&rev.range, &rev.rms, &rev.mean})
      for (int q = 3; q < kRunSummaryQuantities; ++q) text += " " + datum((*values)[q] * 1e6);
    text += "\n";
  }
  return text + "EOD\n";
}

// One statistic of one structure from $revolutions; statistic 0 range, 1 RMS, 2 mean.
std::string summary_block_panel(int statistic, int structure, const char* title) {
  std::string text = labels(title, "revolution", "displacement [µm]");
  text += "plot ";
  for (int axis = 0; axis < 3; ++axis) {
    if (axis > 0) text += ", \\\n     ";
    const int column = 2 + 6 * statistic + 3 * structure + axis;
    text += "$revolutions using 1:" + std::to_string(column) + " with linespoints lt " +
            std::to_string(axis + 1) + " title " + gnuplot_quote(kAxisNames[axis]);
  }
  return text + "\n";
}

// Whole revolution numbers on the horizontal axis, half a revolution of margin.
std::string revolution_axis(const RunFiles& run) {
  const long first = run.first_revolution;
  const long last = first + run.ranges_rms.rows - 1;
  char text[160];
  std::snprintf(text, sizeof text, "set xrange [%ld.5:%ld.5]\nset xtics %s\nset format x '%%.0f'\n",
                first - 1, last, last - first < 12 ? "1" : "autofreq");
  return text;
}

// The forces, or both structures' displacements (µm), of every step from BASE.h5.
std::string h5_script(const RunFiles& run, bool forces) {
  std::string text = (forces ? run.h5.forces : run.h5.displacements) +
                     preamble(run, 1000, forces ? 600 : 800, forces ? 1 : 2, 1);
  const char* titles[] = {"Spindle-workpiece structure", "Tool structure"};
  for (int panel = 0; panel < (forces ? 1 : 2); ++panel) {
    text += forces ? labels("Cutting forces", "cut angle [degrees]", "force [N]")
                   : labels(titles[panel], "cut angle [degrees]", "displacement [µm]");
    text += "plot ";
    for (int axis = 0; axis < 3; ++axis) {
      if (axis > 0) text += ", \\\n     ";
      text += std::string(forces ? "$h5forces" : "$h5displacements") +
              " using 1:" + std::to_string(2 + 3 * panel + axis) + " with lines lt " +
              std::to_string(axis + 1) + " title " +
              gnuplot_quote(std::string(forces ? "force " : "displacement ") + kAxisNames[axis]);
    }
    text += "\n";
  }
  return text + "unset multiplot\n";
}

}  // namespace

std::string charts_forces_script(const RunFiles& run) {
  if (run.h5.present) return h5_script(run, true);
  const std::string unit = runfiles_force_unit(run.units);
  std::string text = preamble(run, 1000, 600, 1, 1);
  text += labels("Cutting forces", "cut angle [degrees]", "force [" + unit + "]");
  text += "plot ";
  for (int axis = 0; axis < 3; ++axis) {
    if (axis > 0) text += ", \\\n     ";
    text += curve(run.forces.path, "2", 3 + axis, axis, "lines",
                  std::string("force ") + kAxisNames[axis]);
  }
  return text + "\nunset multiplot\n";
}

std::string charts_vibration_script(const RunFiles& run) {
  if (run.h5.present) return h5_script(run, false);
  std::string text = preamble(run, 1000, 800, 2, 1);
  text += structure_panel(run, 0, "Spindle-workpiece structure");
  text += structure_panel(run, 3, "Tool structure");
  return text + "unset multiplot\n";
}

std::string charts_revolutions_script(const RunFiles& run) {
  const std::string force = std::string("force [") + runfiles_force_unit(run.units) + "]";
  const std::string length = std::string("displacement [") + runfiles_length_unit(run.units) + "]";
  const bool full = run.summary.present;  // displacements from the summary, in µm
  std::string text = full ? revolutions_block(run.summary) : std::string();
  text += preamble(run, 1300, 1000, 3, 3);
  text += revolution_axis(run) + "set key font ',9'\n";
  // Rows: forces, spindle-workpiece, tool; columns: range, RMS, mean.
  const RunTable& r = run.ranges_rms;
  const RunTable& m = run.means;
  text += summary_panel(run, r, 0, "Force range", force);
  text += summary_panel(run, r, 9, "Force RMS deviation", force);
  text += summary_panel(run, m, 0, "Force mean", force);
  if (full) {
    const char* const titles[2][3] = {
        {"Spindle-workpiece displacement range", "Spindle-workpiece displacement RMS deviation",
         "Spindle-workpiece displacement mean"},
        {"Tool displacement range", "Tool displacement RMS deviation", "Tool displacement mean"}};
    for (int structure = 0; structure < 2; ++structure)
      for (int statistic = 0; statistic < 3; ++statistic)
        text += summary_block_panel(statistic, structure, titles[structure][statistic]);
    return text + "unset multiplot\n";
  }
  text += summary_panel(run, r, 3, "Spindle-workpiece displacement range", length);
  text += summary_panel(run, r, 12, "Spindle-workpiece displacement RMS deviation", length);
  text += summary_panel(run, m, 3, "Spindle-workpiece displacement mean", length);
  text += summary_panel(run, r, 6, "Tool displacement range", length);
  text += summary_panel(run, r, 15, "Tool displacement RMS deviation", length);
  text += summary_panel(run, m, 6, "Tool displacement mean", length);
  return text + "unset multiplot\n";
}

bool charts_has_spectrum(const RunFiles& run) {
  return runsummary_has_spectrum(run.summary);
}

namespace {

// Modes whose natural frequencies lie this close (as a share of the
// frequency axis) share one label, which would otherwise overlap.
constexpr double kLabelGap = 0.02;

// "W X1" for the first mode of the workpiece in X, "T Y2" for the tool's second in Y.
std::string mode_name(const RunSummaryMode& mode) {
  std::string name = mode.structure == "tool" ? "T " : "W ";
  for (char c : mode.axis) name += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return name + std::to_string(mode.index);
}

std::string hertz(double frequency) {
  char text[48];
  std::snprintf(text, sizeof text, "%.1f Hz", frequency);
  return text;
}

}  // namespace

std::string charts_spectrum_script(const RunFiles& run) {
  const PlotSummary& summary = run.summary;
  const double resolution = summary.spectrum_resolution;
  const double top = resolution * static_cast<double>(summary.spectrum.size() - 1);  // Hz
  std::string text = "$spectrum << EOD\n";
  for (size_t j = 0; j < summary.spectrum.size(); ++j)
    text +=
        datum(static_cast<double>(j) * resolution) + " " + datum(summary.spectrum[j] * 1e6) + "\n";
  text += "EOD\n";
  text += preamble(run, 1000, 600, 1, 1);
  text += labels("Spectrum of the relative X vibration (tool minus workpiece)", "frequency [Hz]",
                 "amplitude [µm]");
  text +=
      "set yrange [0:*]\nset offsets 0, 0, graph 0.15, 0\nset key below center horizontal box\n";
  // The natural frequencies of the modes: a dashed line each, one label per cluster.
  std::vector<const RunSummaryMode*> modes;
  for (const RunSummaryMode& mode : summary.modes)
    if (mode.natural_frequency > 0 && mode.natural_frequency <= top) modes.push_back(&mode);
  std::sort(modes.begin(), modes.end(), [](const RunSummaryMode* a, const RunSummaryMode* b) {
    return a->natural_frequency < b->natural_frequency;
  });
  std::string label;
  double label_at = 0;
  const auto flush = [&] {
    if (label.empty()) return;
    text += "set label " + gnuplot_quote(label) + " at " + datum(label_at) +
            ", graph 0.98 rotate by 90 right offset char 0.9, 0 font ',9' tc rgb '#555555' "
            "noenhanced\n";
    label.clear();
  };
  for (const RunSummaryMode* mode : modes) {
    const double f = mode->natural_frequency;
    text += "set arrow from " + datum(f) + ", graph 0 to " + datum(f) +
            ", graph 1 nohead dt 2 lw 1 lc rgb '#555555' back\n";
    if (!label.empty() && f - label_at > kLabelGap * top) flush();
    if (label.empty()) {
      label = mode_name(*mode);
      label_at = f;
    } else {
      label += ", " + mode_name(*mode);
    }
  }
  flush();
  const double peak = summary.dominant_frequency;
  const bool marked = peak > 0 && peak <= top;
  if (marked) {
    text += "set arrow from " + datum(peak) + ", graph 0 to " + datum(peak) +
            ", graph 1 nohead lw 2 lc rgb '#e8a09a' back\n";
  }
  text += "plot $spectrum using 1:2 with lines lt 1 title 'relative X amplitude'";
  if (marked) {
    const std::string what =
        summary.verdict == "chatter" ? "chatter frequency " : "dominant frequency ";
    text += ", \\\n     keyentry with lines lw 2 lc rgb '#e8a09a' title " +
            gnuplot_quote(what + hertz(peak));
  }
  if (!modes.empty()) {
    text +=
        ", \\\n     keyentry with lines dt 2 lc rgb '#555555' title "
        "'natural frequencies of the modes (W workpiece, T tool)'";
  }
  return text + "\nunset multiplot\n";
}
