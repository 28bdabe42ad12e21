// Records for the tests, benchmarks and fuzzers: owners of the engine's
// records, jobs read from short text through the job-file reader, modes set
// in one call, and the preparation a run makes before its
// first revolution.
#pragma once

#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <string>

#include "model/params.h"
#include "model/state.h"
#include "tests/support/jobs.h"

struct RunContext;

namespace test_support {

struct ParamsDeleter {
  void operator()(SimParams* p) const { params_free(p); }
};
struct StateDeleter {
  void operator()(SimState* s) const { state_free(s); }
};
using Params = std::unique_ptr<SimParams, ParamsDeleter>;  // owns a params_create record
using State = std::unique_ptr<SimState, StateDeleter>;     // owns a state_create record

// The owners, new_params, new_state and set_modes need only the model
// library; read_job and sim_prepare need the app's (records.cpp).

// A new record with the defaults; aborts when memory runs out.
inline Params new_params() {
  Params p(params_create());
  if (!p) std::abort();
  return p;
}

// A new state with `capacity` history entries (the driver's by default); aborts when memory runs
// out.
inline State new_state(int capacity = kHistoryCapacity) {
  State s(state_create(capacity));
  if (!s) std::abort();
  return s;
}

// The record jobfile_read gives for the job file `text`, or null when the
// reader refuses it (error, when given, says why).
Params read_job(const std::string& text, std::string* error = nullptr);

// The record of `job` (jobs.h) as the job-file reader gives it; aborts with
// the reader's message when it refuses the job, which the tests never mean.
Params read_job(const Job& job);

// Replaces one direction's modes ('x', 'y' or 'z') of `set` by `modes`.
inline void set_modes(ModalSet* set, char axis, std::initializer_list<ModalMode> modes) {
  ModalMode** list = axis == 'x' ? &set->x_modes : axis == 'y' ? &set->y_modes : &set->z_modes;
  int32_t* count = axis == 'x' ? &set->x_count : axis == 'y' ? &set->y_count : &set->z_count;
  if (!params_resize_modes(list, count, static_cast<int32_t>(modes.size()))) std::abort();
  int i = 0;
  for (const ModalMode& mode : modes) (*list)[i++] = mode;
}

// Brings a job as read to the state a run has just before its first
// revolution: angles in radians, the revolution's steps, then the engine's
// own set-up (::sim_prepare: engine units, the pair's lookup and the run's
// constants when run is given, the modes' constants and fresh extremes).
// Aborts when a given run's turning cut has no row in its databases.
void sim_prepare(SimParams* params, SimState* state, RunContext* run = nullptr);

}  // namespace test_support
