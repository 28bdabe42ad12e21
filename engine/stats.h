// Per-step extremes and per-revolution means and RMS deviations.
#pragma once

#include "model/params.h"
#include "model/state.h"

// Raises max when v is above it (strictly), and lowers min when v is below
// it, written as "not at or above" so that a NaN force or displacement lands
// in the minimum and shows up in the range.
inline void stats_update(double v, double* max, double* min) {
  if (v > *max) *max = v;
  if (!(v >= *min)) *min = v;
}

// Updates the eighteen extremes (N, m) with step s's forces and displacements:
// strictly greater raises a maximum, anything not at or above a minimum
// (a NaN included) lowers it. A step outside the histories is ignored.
// Inline: every recorded step takes it.
inline void stats_update_extremes(SimState* state, int s) {
  if (state == nullptr || s < 0 || s >= state->capacity) return;
  stats_update(state->force_x, &state->force_x_max, &state->force_x_min);
  stats_update(state->force_y, &state->force_y_max, &state->force_y_min);
  stats_update(state->force_z, &state->force_z_max, &state->force_z_min);
  stats_update(state->sw_disp_x[s], &state->sw_disp_x_max, &state->sw_disp_x_min);
  stats_update(state->sw_disp_y[s], &state->sw_disp_y_max, &state->sw_disp_y_min);
  stats_update(state->sw_disp_z[s], &state->sw_disp_z_max, &state->sw_disp_z_min);
  stats_update(state->tool_disp_x[s], &state->tool_disp_x_max, &state->tool_disp_x_min);
  stats_update(state->tool_disp_y[s], &state->tool_disp_y_max, &state->tool_disp_y_min);
  stats_update(state->tool_disp_z[s], &state->tool_disp_z_max, &state->tool_disp_z_min);
}

// Means and RMS deviations of entries 0..n-1 of the nine histories, in
// output units (lbf and in for English jobs, N and m otherwise). An n outside
// 1..capacity leaves the previous summary as it was.
void stats_revolution_summary(const SimParams* params, SimState* state, int n);
