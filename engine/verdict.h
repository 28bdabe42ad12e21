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

// Why a run asked to stop once decided (--until-decided) ends after a
// recorded revolution; VERDICT_GOES_ON while the verdict may still change.
enum VerdictStop {
  VERDICT_GOES_ON = 0,
  VERDICT_STOP_LEFT_CUT = 1,  // a recorded revolution lost contact: tool-left-cut is final
  VERDICT_STOP_GROWN = 2,     // chatter, grown clearly and resolved, far from losing contact
  VERDICT_STOP_DECAYED = 3,   // stable, decayed clearly with its rate resolved
};

// The stop rules' constants (the README's "Runs that stop when decided").
// No rule but the loss of contact stops a run before this many recorded revolutions.
inline constexpr int kStopMinRevolutions = 4;
// Growth and decay are judged over this many of the last recorded revolutions...
inline constexpr int kStopSpanRevolutions = 3;
// ...across which the vibration above the scatter changed by this factor at the least.
inline constexpr double kStopChangeFactor = 1.1;
// The fitted rate counts as resolved when its standard error is at most
// this fraction of its size.
inline constexpr double kStopRatePrecision = 0.2;
// A growing run stops only when its vibration, grown on at the fitted rate up
// to the job's last revolution, stays this many times below the vibration
// at which the tool would leave the cut (else it may still leave the cut).
inline constexpr double kStopContactMargin = 2.0;

// "tool-left-cut", "grown", "decayed", or "none" for VERDICT_GOES_ON.
const char* verdict_stop_name(VerdictStop stop);

// The rule in words, for the summary and the console.
const char* verdict_stop_rule(VerdictStop stop);

// RMS relative X vibration (m) at which the tool leaves the cut: a sine of
// RMS v changes the chip by up to 2 sqrt(2) v from one revolution to the
// next, so feed_per_rev (m) / (2 sqrt(2)).
double verdict_contact_vibration(double feed_per_rev);

// Whether the verdict of the recorded revolutions so far (vibration and
// floor in m, as verdict_decide) can no longer change in the
// revolutions_left still to run; contact_vibration (m) from
// verdict_contact_vibration. VERDICT_GOES_ON when no revolution is left.
VerdictStop verdict_settled(const std::vector<double>& vibration, double floor,
                            int left_cut_revolutions, int revolutions_left,
                            double contact_vibration);
