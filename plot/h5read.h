// Reading BASE.h5 for the pictures: the forces and both structures'
// displacements at every recorded step, full precision, as gnuplot data
// blocks. A long run is drawn as the envelope of its steps (each bin's
// smallest and largest value), so no peak is lost to a sampling interval.
#pragma once

#include <string>
#include <vector>

struct H5Curves {
  bool present = false;
  std::string path;                   // BASE.h5
  long steps = 0;                     // recorded steps in the file
  long revolutions = 0;               // recorded revolutions (/revolutions)
  int first_revolution = 0;           // from 1
  std::vector<double> force_x_means;  // N, per recorded revolution
  std::string forces;                 // data block $h5forces: angle (degrees), force X, Y, Z (N)
  std::string displacements;          // $h5displacements: angle, workpiece X Y Z, tool X Y Z (µm)
};

// Points a curve keeps at most: past this the steps are binned to their envelope.
inline constexpr long kH5CurvePoints = 4000;

// Reads path into *curves. 1, or 0 with *why (the file and what is wrong).
int h5read_curves(const std::string& path, H5Curves* curves, std::string* why);
