// The stability map as an SVG picture: spindle speed across (the cutting
// speed at the start radius on a second axis), depth of cut up, one cell per
// run coloured by its class, the simulated boundary as a line inside the band
// of its bracketing runs, and the analytic limit as a curve. The picture uses
// only what both browsers and ImageMagick's own SVG renderer draw: no CSS
// classes, no clip paths (curves are clipped to the plot here).
#pragma once

#include <string>
#include <vector>

#include "sweep/collect.h"

// A point of the analytic curve.
struct SvgLimitPoint {
  double rpm;    // rev/min
  double depth;  // job length unit; +inf where there is no limit
};

// The simulated boundary at one speed, depths in the job's length unit.
struct SvgBoundaryPoint {
  double rpm;       // rev/min
  double low;       // deepest stable depth below the boundary; NaN when none
  double high;      // shallowest unstable depth; NaN when none
  double boundary;  // the boundary within [low, high]; NaN when not bracketed
};

struct SvgMap {
  std::string title;
  std::string length_unit;                 // "mm" or "in"
  std::vector<CollectResult> results;      // one cell each
  std::vector<SvgLimitPoint> limit;        // increasing speed; may be empty
  std::vector<SvgBoundaryPoint> boundary;  // increasing speed; may be empty
  double cutting_speed_per_rpm = 0;        // m/min per rev/min at the start radius; 0: no axis
  // A map without cells (a boundary search): the depth axis spans the range
  // searched (job length unit) and the speed axis the boundary's speeds.
  double depth_from = 0, depth_to = 0;
};

// The whole SVG document.
std::string svg_map(const SvgMap& map);

// Outer cell edges of a map axis: each cell of the sorted distinct values
// reaches halfway to its neighbours but no further than half the grid's
// typical (median) spacing, so no cell stretches over values that were not run.
void svg_axis_range(const std::vector<double>& values, double* lo, double* hi);
