// Per-mode constants of both structures: damped frequency, decay rate and
// the modal delay in steps; and the check that a job's modes can be integrated.
#pragma once

#include <string>

#include "model/params.h"
#include "model/state.h"

// time_step, edge_count and the six mode lists' constants; once per run,
// after units_normalise and after steps_per_rev is set.
void modal_prepare(SimParams* params, SimState* state);

// Constants of one mode list (count modes, SI) into one workspace.
void modal_prepare_direction(SimParams* params, ModalMode* modes, SimState* state,
                             ModeResponse* response, int count);

// Checks, before the run converts anything, that every mode of the job (in
// entered units) can be integrated and placed inside the histories with
// steps_per_rev steps a revolution. On failure returns 0 and describes the
// structure, direction, mode and reason in *error.
int modal_check(const SimParams* params, int steps_per_rev, std::string* error);
