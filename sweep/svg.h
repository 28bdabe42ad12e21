// The stability map as an SVG picture: spindle speed across, depth of cut
// up, one cell per run coloured by its class, the analytic limit as a curve.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sweep/collect.h"

// A point of the analytic curve.
struct SvgLimitPoint {
  double rpm;    // rev/min
  double depth;  // job length unit; +inf where there is no limit
};

struct SvgMap {
  std::string title;
  std::string length_unit;             // "mm" or "in"
  std::vector<CollectResult> results;  // one cell each
  std::vector<SvgLimitPoint> limit;    // increasing speed; may be empty
};

// The whole SVG document.
std::string svg_map(const SvgMap& map);

// Outer cell edges of a map axis: the cells of sorted distinct values reach
// halfway to their neighbours, the outer ones as far out as in.
void svg_axis_range(const std::vector<double>& values, double* lo, double* hi);

// Text with &, <, >, " and ' as XML entities.
std::string svg_escape(std::string_view text);
