// The simulation run: result files, unit conversion, modal set-up, the
// revolutions and their summaries.
#pragma once

#include <string>

#include "engine/run_context.h"
#include "model/params.h"
#include "model/state.h"

// Checks the whole job before any result file is touched: the modes, the
// composed file names under output_base and the run control. On failure
// returns 0 and says in *error which item is wrong and why.
int sim_check_job(const SimParams* params, const char* output_base, std::string* error);

// Checks that the database numbers the run would use are finite: the wear
// record and the coefficient row that match the job's material pair and edge
// angle (the job's angles still in degrees). On failure returns 0 and says in
// *error which file, pair and number are wrong.
int sim_check_database(const SimParams* params, const MatDb* db, std::string* error);

// Runs the job and writes its results under output_base. 1 for a finished
// run, 0 when the job or its database numbers are refused (nothing written)
// or a result file cannot be opened or written.
int sim_run(SimParams* params, SimState* state, const char* output_base);

// Moves the nine displacement histories down by one revolution (34200
// entries) and resets the extremes.
void sim_shift_history(SimState* state);

// Simulates the state's current revolution step by step.
void sim_revolution(SimParams* params, SimState* state, RunContext* run);
