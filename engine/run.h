// The simulation run as a pipeline: the job and database checks, the result
// files, the conversion to engine units, the modal set-up, the revolutions
// with their summaries, and the run summary.
#pragma once

#include "engine/intake.h"
#include "engine/run_context.h"
#include "model/params.h"
#include "model/state.h"

// Choices of one run beyond its job.
struct SimOptions {
  // End after the first recorded revolution at which the verdict can no
  // longer change (verdict_settled); the summary names the revolution and the rule.
  bool until_decided = false;
  uint32_t extra_outputs = 0;  // OutputFlag bits every run adds to its job's (OUTPUT_HDF5)
};

// Runs the job and writes its results under output_base. 1 for a finished
// run, 0 when the job or its databases are refused (nothing written), a
// result file cannot be opened or written, or a force or displacement
// stops being finite (the run stops there, notes->stopped is 1). Warning
// lines it prints are kept in notes->run_warnings.
// With options->until_decided the run may end before the job's last revolution.
int sim_run(SimParams* params, SimState* state, const char* output_base, SimNotes* notes = nullptr,
            const SimOptions* options = nullptr);

// Converts a job whose angles are already radians to engine units (SI
// lengths and modes), looks its pair up and computes the run's constants
// into run (skipped when run is null), prepares the modes and resets the
// extremes: the set-up of sim_run without its files. 1, or 0 when a turning
// cut's pair is missing from the databases.
int sim_prepare(SimParams* params, SimState* state, RunContext* run);

// Moves the nine displacement histories down by one revolution (34200
// entries) and resets the extremes.
void sim_shift_history(SimState* state);
