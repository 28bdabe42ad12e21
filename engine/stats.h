// Per-step extremes and per-revolution means and RMS deviations.
#pragma once

#include "model/params.h"
#include "model/state.h"

// Updates the eighteen extremes (N, m) with step s's forces and displacements:
// strictly greater raises a maximum, anything not at or above a minimum
// (a NaN included) lowers it. A step outside the histories is ignored.
void stats_update_extremes(SimState* state, int s);

// Means and RMS deviations of entries 0..n-1 of the nine histories, in
// output units (lbf and in for English jobs, N and m otherwise). An n outside
// 1..capacity leaves the previous summary as it was.
void stats_revolution_summary(const SimParams* params, SimState* state, int n);
