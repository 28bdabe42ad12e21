#include "plot/charts.h"

#include <cstdio>

#include "plot/gnuplot.h"

const ChartKind kCharts[kChartCount] = {
    {".forces.svg", "Cutting forces X, Y and Z against the cut angle", charts_forces_script},
    {".vibration.svg", "Displacements of the spindle-workpiece structure and of the tool",
     charts_vibration_script},
    {".revolutions.svg", "Ranges, RMS deviations and means per recorded revolution",
     charts_revolutions_script},
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

// Whole revolution numbers on the horizontal axis, half a revolution of margin.
std::string revolution_axis(const RunFiles& run) {
  const long first = run.first_revolution;
  const long last = first + run.ranges_rms.rows - 1;
  char text[160];
  std::snprintf(text, sizeof text, "set xrange [%ld.5:%ld.5]\nset xtics %s\nset format x '%%.0f'\n",
                first - 1, last, last - first < 12 ? "1" : "autofreq");
  return text;
}

}  // namespace

std::string charts_forces_script(const RunFiles& run) {
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
  std::string text = preamble(run, 1000, 800, 2, 1);
  text += structure_panel(run, 0, "Spindle-workpiece structure");
  text += structure_panel(run, 3, "Tool structure");
  return text + "unset multiplot\n";
}

std::string charts_revolutions_script(const RunFiles& run) {
  const std::string force = std::string("force [") + runfiles_force_unit(run.units) + "]";
  const std::string length = std::string("displacement [") + runfiles_length_unit(run.units) + "]";
  std::string text = preamble(run, 1300, 1000, 3, 3);
  text += revolution_axis(run) + "set key font ',9'\n";
  // Rows: forces, spindle-workpiece, tool; columns: range, RMS, mean.
  const RunTable& r = run.ranges_rms;
  const RunTable& m = run.means;
  text += summary_panel(run, r, 0, "Force range", force);
  text += summary_panel(run, r, 9, "Force RMS deviation", force);
  text += summary_panel(run, m, 0, "Force mean", force);
  text += summary_panel(run, r, 3, "Spindle-workpiece displacement range", length);
  text += summary_panel(run, r, 12, "Spindle-workpiece displacement RMS deviation", length);
  text += summary_panel(run, m, 3, "Spindle-workpiece displacement mean", length);
  text += summary_panel(run, r, 6, "Tool displacement range", length);
  text += summary_panel(run, r, 15, "Tool displacement RMS deviation", length);
  text += summary_panel(run, m, 6, "Tool displacement mean", length);
  return text + "unset multiplot\n";
}
