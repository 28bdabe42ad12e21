// The simulation run: result files, unit conversion, modal set-up, the
// revolutions and their summaries.
#pragma once

#include <string>
#include <vector>

#include "engine/intake.h"
#include "engine/run_context.h"
#include "model/params.h"
#include "model/state.h"

// What a check or a run has to say beyond its result.
struct SimNotes {
  const void* field = nullptr;            // job field a refusal names, or null
  std::vector<IntakeNote> warnings;       // the job check's warnings (field, "ITEM: what")
  std::vector<std::string> run_warnings;  // warning lines the run printed (databases)
  int stopped = 0;                        // 1 when the run stopped at a non-finite number
  std::string verdict;                    // the run summary's console line, once written
};

// Checks the whole job before any result file is touched: the composed file
// names under output_base, the cutting numbers and tool geometry, the run
// control, the travel to the centre of the face and the modes. On failure
// returns 0, says in *error which item is wrong and why, and names the field
// in notes->field; warnings go to notes->warnings.
int sim_check_job(const SimParams* params, const char* output_base, std::string* error,
                  SimNotes* notes = nullptr);

// Checks the databases for the job (its angles still in degrees): both files
// could be read, a coefficient row matches the pair and edge angle, and the
// numbers the run would use are finite. On failure returns 0 and says in
// *error which file, pair and number are wrong (and, for a missing row, what
// the database holds nearest to it). A pair without a wear record is
// accepted with a warning line in *warning.
int sim_check_database(const SimParams* params, const MatDb* db, std::string* error,
                       std::string* warning = nullptr);

// Runs the job and writes its results under output_base. 1 for a finished
// run, 0 when the job or its databases are refused (nothing written), a
// result file cannot be opened or written, or a force or displacement
// stops being finite (the run stops there, notes->stopped is 1). Warning
// lines it prints are kept in notes->run_warnings.
int sim_run(SimParams* params, SimState* state, const char* output_base, SimNotes* notes = nullptr);

// Moves the nine displacement histories down by one revolution (34200
// entries) and resets the extremes.
void sim_shift_history(SimState* state);

// Simulates the state's current revolution step by step. 1, or 0 when a
// force or displacement of a step is not finite: the revolution stops at
// that step and run->stop_* say where.
int sim_revolution(SimParams* params, SimState* state, RunContext* run);
