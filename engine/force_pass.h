// The force pass of one step: the regenerative chip between the surface the
// last cut left and the tool's position now, the cutting coefficients and
// edge forces of that chip, the wear land, the process damping and the
// forces in the machine axes.
#pragma once

#include "engine/run_context.h"
#include "model/params.h"
#include "model/state.h"

// Index into the state's cut surface of step s (0 .. 34199 / increments):
// the grid position the step cuts, the same in every revolution.
int force_pass_surface_index(const SimParams* params, int s);

// Half the area (m^2) of the segment of height q (m) cut from the nose circle of radius r (m).
double force_pass_half_segment(double r, double q);

// One force pass of step s (the state's revolution, cut angle and cutting
// speed set): sets the edge and machine forces (N), the cut surface at the
// step's index (m), run->step_vb (mm), run->step_left_cut and the state's
// chip_thickness, depth_effective (m) and wear_land (mm).
void force_pass(SimParams* params, SimState* state, RunContext* run, int s);
