// The corvanel-plot command: pictures of a finished run.
//   corvanel-plot BASE          writes BASE.forces.svg, BASE.vibration.svg, BASE.revolutions.svg
//                               and, from the run summary, BASE.spectrum.svg
//   corvanel-plot BASE --html   the same, and BASE.plots.html showing them
#pragma once

// Exit code 0 when every file was written, 1 when the run's files or gnuplot
// fail (one line on standard error), 2 for a wrong command line.
int plot_main(int argc, char** argv);
