// Records for the tests, benchmarks and fuzzers: owners of the engine's
// records, jobs read from short text through the job-file reader, modes set
// in one call, and the preparation a run makes before its
// first revolution.
#pragma once

#include <initializer_list>
#include <memory>
#include <string>

#include "model/params.h"
#include "model/state.h"
#include "tests/support/jobs.h"

namespace test_support {

struct ParamsDeleter {
  void operator()(SimParams* p) const { params_free(p); }
};
struct StateDeleter {
  void operator()(SimState* s) const { state_free(s); }
};
using Params = std::unique_ptr<SimParams, ParamsDeleter>;  // owns a params_create record
using State = std::unique_ptr<SimState, StateDeleter>;     // owns a state_create record

// A new record with the defaults; aborts when memory runs out.
Params new_params();

// A new state with `capacity` history entries (the driver's by default); aborts when memory runs out.
State new_state(int capacity = kHistoryCapacity);

// The record jobfile_read gives for the job file `text`, or null when the
// reader refuses it (error, when given, says why).
Params read_job(const std::string& text, std::string* error = nullptr);

// The record of `job` (jobs.h) as the job-file reader gives it; aborts with
// the reader's message when it refuses the job, which the tests never mean.
Params read_job(const Job& job);

// Replaces one direction's modes ('x', 'y' or 'z') of `set` by `modes`.
void set_modes(ModalSet* set, char axis, std::initializer_list<ModalMode> modes);

// Brings a job as read to the state a run has just before its first
// revolution: angles in radians, the revolution's steps, the engine's units,
// the modes' constants and fresh extremes (the steps of sim_run after its
// checks and result files).
void sim_prepare(SimParams* params, SimState* state);

}  // namespace test_support
