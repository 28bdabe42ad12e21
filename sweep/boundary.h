// The simulated stability boundary of a map: per spindle speed, the deepest
// stable run below the shallowest unstable one (chatter or the tool left the
// cut), and between them the depth where the growth rate of the vibration
// crosses zero.
#pragma once

#include <vector>

#include "sweep/collect.h"
#include "sweep/limit.h"

// The simulated boundary at one spindle speed, depths in the job's length unit.
struct Boundary {
  double rpm;             // rev/min
  double last_stable;     // deepest stable run below first_unstable; NaN when none
  double first_unstable;  // shallowest chatter or left-cut run; NaN when none
  double boundary;        // growth rate 0 interpolated between the two; NaN when not bracketed
  double analytic;        // the analytic limit; +inf when none
};

// The simulated boundary per spindle speed, in increasing speed; model may be
// null (no analytic limit). Undecided, failed and missing runs bracket nothing.
std::vector<Boundary> boundary_per_speed(const std::vector<CollectResult>& results,
                                         const LimitModel* model);
