// The verdict of a run from the relative X vibration of its recorded
// revolutions: stable, chatter, the tool left the cut, or undecided, with the
// growth rate of the vibration per revolution and the rule that decided.
#pragma once

#include <vector>

#include "model/params.h"
#include "model/state.h"

enum VerdictClass {
  VERDICT_STABLE = 0,
  VERDICT_CHATTER = 1,
  VERDICT_TOOL_LEFT_CUT = 2,
  VERDICT_UNDECIDED = 3,
};

// A growth rate counts as non-zero when it stands this many standard errors off zero.
inline constexpr double kVerdictSignificance = 2.0;
// Vibration counts as above the force scatter when it exceeds the scatter's
// own vibration this many times.
inline constexpr double kVerdictClearOfScatter = 2.0;

struct VerdictGrowth {
  double rate;     // 1/revolution: slope of ln(vibration) per revolution; NaN below 2 revolutions
  double rate_sd;  // 1/revolution: standard error of the slope; NaN below 3 revolutions
};

struct Verdict {
  VerdictClass cls;
  VerdictGrowth growth;
  const char* rule;  // the rule that decided, in words
};

// "stable", "chatter", "tool-left-cut" or "undecided".
const char* verdict_name(VerdictClass cls);

// RMS relative X displacement (m) that the +-3 % force scatter alone keeps
// up: white force noise of RMS 0.03 |reference_force_x| / sqrt(3) (N) per
// step of time_step (s) through every X mode of both structures (prepared
// in state). Undamped modes are left out.
double verdict_scatter_floor(const SimParams* params, const SimState* state,
                             double reference_force_x);

// Least-squares slope of ln(max(sqrt(v^2 - floor^2), floor / 5)) over the
// revolutions (vibration and floor in m): the scatter's share is taken out,
// and vibration that cannot be told from it counts as a fifth of it.
VerdictGrowth verdict_growth(const std::vector<double>& vibration, double floor);

// The verdict from the RMS relative X vibration (m) of each recorded
// revolution, the scatter floor (m) and the number of recorded revolutions
// in which the tool left the cut (a step with a negative chip).
Verdict verdict_decide(const std::vector<double>& vibration, double floor,
                       int left_cut_revolutions);
