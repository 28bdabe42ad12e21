// One revolution of the cut, step by step: the cutting speed, the average
// coefficients, the force pass, the modal response, the finiteness check
// and the recorded values of each step.
#pragma once

#include "engine/run_context.h"
#include "model/params.h"
#include "model/state.h"
#include "results/result_files.h"

// Simulates the state's current revolution step by step, writing the series
// rows of a recorded revolution into files (may be null: no rows). 1, or 0
// when a force or displacement of a step is not finite: the revolution
// stops at that step and run->stop_* say where.
int sim_revolution(SimParams* params, SimState* state, RunContext* run, ResultFiles* files);
