// Per-step extremes and per-revolution means and RMS deviations.
#pragma once

#include "model/params.h"
#include "model/state.h"

// Updates the eighteen extremes (SI) with step s's forces and displacements.
void stats_update_extremes(SimState* state, int s);

// Means and RMS deviations of entries 0..n-1 of the nine histories, in
// output units (lbf and in for English jobs).
void stats_revolution_summary(const SimParams* params, SimState* state, int n);
