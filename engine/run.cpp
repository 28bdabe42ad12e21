#include "engine/run.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/cut_coefficients.h"
#include "engine/modal_params.h"
#include "engine/revolution.h"
#include "engine/stats.h"
#include "engine/verdict.h"
#include "model/quantities.h"
#include "model/units.h"
#include "model/version.h"
#include "results/result_files.h"

namespace {

// The first value of the revolution summary that is not finite, or null:
// a mean, an RMS value or a range (maximum less minimum).
const char* non_finite_summary(const SimState* st) {
  for (const RevolutionQuantity& q : kRevolutionQuantities) {
    if (!std::isfinite(st->*q.mean) || !std::isfinite(st->*q.rms) ||
        !std::isfinite(quantity_range(q, st))) {
      return q.name;
    }
  }
  return nullptr;
}

// With --until-decided: 1 when the verdict of the revolutions recorded so far
// can no longer change, with one line saying where and why the run ends.
bool decided(const SimParams* p, const SimState* state, RunContext* run) {
  if (!run->until_decided || run->recorder == nullptr || state->revolution < p->revs_skipped)
    return false;
  const int stop = recorder_settled(run->recorder, p, state, run->reference.x);
  if (stop == VERDICT_GOES_ON) return false;
  std::printf("Stopped after revolution %d of %d: %s\n", state->revolution + 1, p->revs_total,
              verdict_stop_rule(static_cast<VerdictStop>(stop)));
  return true;
}

// Simulates and summarises every revolution. 0 when a value stops being
// finite: the run stops there, with one line naming the revolution, the
// step and the quantity, before the value reaches a result file.
int run_revolutions(SimParams* p, SimState* state, RunContext* run, ResultFiles* files,
                    const char* base) {
  for (int r = 0; r < p->revs_total; ++r) {
    state->revolution = r;
    state_fire_event(state, SIM_EVENT_REVOLUTION_START);
    if (!sim_revolution(p, state, run, files)) {
      std::fflush(stdout);
      std::fprintf(stderr,
                   "corvanel: %s: revolution %d, step %d: the %s is not a finite number; the run "
                   "stops\n",
                   base, r + 1, run->stop_step, run->stop_quantity);
      return 0;
    }
    if (r >= p->revs_skipped) {
      stats_revolution_summary(p, state, kGridSteps);
      if (const char* value = non_finite_summary(state)) {
        std::fflush(stdout);
        std::fprintf(stderr,
                     "corvanel: %s: revolution %d: the summary of the %s is not a finite number; "
                     "the run stops\n",
                     base, r + 1, value);
        return 0;
      }
      result_files_write_revolution(files, p, state);
      if (run->recorder != nullptr) recorder_revolution(run->recorder, p, state);
    }
    state_fire_event(state, SIM_EVENT_REVOLUTION_END);
    sim_shift_history(state);
    if (decided(p, state, run)) break;
  }
  return 1;
}

// The job and its databases checked, the run values created and the
// databases' warning said; null (with a message) when the run cannot start.
RunContext* start_run(const SimParams* p, const SimState* state, const char* base,
                      SimNotes* notes) {
  std::string error;
  if (!sim_check_job(p, base, &error)) {
    std::fprintf(stderr, "corvanel: %s: %s\n", base, error.c_str());
    return nullptr;
  }
  if (state->capacity < kGridSteps + kShiftedEntries) {
    std::fprintf(stderr, "corvanel: %s: the state's histories cannot hold a revolution shift\n",
                 base);
    return nullptr;
  }
  RunContext* run = run_context_create(p);
  if (run == nullptr) return nullptr;
  std::string warning;
  if (!sim_check_database(p, run->db, &error, &warning)) {
    std::fprintf(stderr, "corvanel: %s\n", error.c_str());
    run_context_free(run);
    return nullptr;
  }
  if (!warning.empty()) {
    const std::string line = "corvanel: warning: " + warning;
    std::fprintf(stderr, "%s\n", line.c_str());
    if (notes != nullptr) notes->run_warnings.push_back(line);
  }
  return run;
}

// Converts the job to engine units, looks its pair up once and computes the
// run's constants, and prepares the modes and the recorder for the first
// revolution; 1, or 0 when the lookup or the recorder failed. A report that
// could not be written leaves *report_ok 0 and the run goes on.
int prepare_run(SimParams* p, SimState* state, RunContext* run, const char* base, int* report_ok) {
  units_angles_to_radians(p);
  state->steps_per_rev = kGridSteps / p->angular_increments;
  state_fire_event(state, SIM_EVENT_RUN_START);
  // The report echoes the job as entered, lengths and modes in the units
  // given; from here on everything is SI.
  *report_ok = result_files_write_report(p, base);
  if (!sim_prepare(p, state, run)) {
    std::fprintf(stderr, "corvanel: %s: the databases lost the row of the job\n", base);
    return 0;
  }
  run->recorder = recorder_create(p, state);
  if (run->recorder != nullptr) return 1;
  std::fprintf(stderr, "corvanel: %s: not enough memory for the run summary\n", base);
  return 0;
}

// Writes the run summary of a finished run and completes its HDF5 file, or
// removes the summary and HDF5 file of an earlier run, which would speak for
// results they no longer match.
int finish_summary(const SimParams* entered, const SimParams* p, const SimState* state,
                   RunContext* run, ResultFiles* files, const char* base, int finished,
                   SimNotes* notes) {
  if (!finished) {
    result_files_remove_summary(base);
    result_files_drop_hdf5(files, base, true);
    return 1;
  }
  recorder_finish(run->recorder, p, state, run->reference.x);
  const RunSummary& summary = *recorder_result(run->recorder);
  if (notes != nullptr) notes->verdict = run_summary_line(summary);
  const SummaryRun facts{program_version(), engine_version(), state->steps_per_rev,
                         state->time_step};
  const int summary_ok = result_files_write_summary(base, entered, p, facts, summary);
  return summary_ok & result_files_finish_hdf5(files, entered, p, facts, summary);
}

}  // namespace

int sim_prepare(SimParams* p, SimState* state, RunContext* run) {
  units_normalise(p);
  if (run != nullptr) {
    // The database check found the row of a turning cut; it stays the same
    // for the whole run. Another process cuts nothing and needs none.
    run->row_found = cut_coefficients_lookup(p, run->db);
    if (!run->row_found && p->process == 'T') return 0;
    run->constants = run_constants_of(p);
  }
  modal_prepare(p, state);
  state_reset_extremes(state);
  return 1;
}

int sim_run(SimParams* p, SimState* state, const char* output_base, SimNotes* notes,
            const SimOptions* options) {
  state->event_context = EventContext{p, state, output_base};
  // Refusals come before any result file is created or truncated.
  RunContext* run = start_run(p, state, output_base, notes);
  if (run == nullptr) return 0;
  run->until_decided = options != nullptr && options->until_decided;
  // The job as entered, for the run summary, before any unit is converted.
  SimParams* entered = params_clone(p);
  if (entered == nullptr) {
    std::fprintf(stderr, "corvanel: %s: not enough memory for the run\n", output_base);
    run_context_free(run);
    return 0;
  }
  ResultFiles files{};
  int result = 0;
  if (result_files_open(&files, p, output_base)) {
    // The report while lengths and modes are still in the units entered (it
    // echoes the job as given), then engine units, the lookup and the run's
    // constants, modes, recorder; then every revolution, step by step.
    int report_ok = 1;
    const int finished = prepare_run(p, state, run, output_base, &report_ok) &&
                         run_revolutions(p, state, run, &files, output_base);
    if (!finished && notes != nullptr) notes->stopped = run->recorder != nullptr;
    // The result files closed, then the summary of what they hold.
    result = report_ok & finished & result_files_close(&files, p, output_base);
    result &= finish_summary(entered, p, state, run, &files, output_base, finished, notes);
  } else {
    result_files_close(&files, p, output_base);
    result_files_drop_hdf5(&files, output_base, false);
  }
  run_context_free(run);
  params_free(entered);
  return result;
}

void sim_shift_history(SimState* state) {
  double* histories[] = {state->rel_disp_x,  state->rel_disp_y,  state->rel_disp_z,
                         state->sw_disp_x,   state->sw_disp_y,   state->sw_disp_z,
                         state->tool_disp_x, state->tool_disp_y, state->tool_disp_z};
  // Every entry from history_end on is zero, so moving 171000 entries down by
  // a revolution comes to moving the written ones and clearing the place
  // they leave; the entries from 171000 on stay as they are either way.
  const int end = state->history_end;
  if (end < 0 || end > kShiftedEntries + kGridSteps) {
    for (double* history : histories) {
      std::memmove(history, history + kGridSteps, kShiftedEntries * sizeof(double));
    }
  } else {
    const int moved = end > kGridSteps ? end - kGridSteps : 0;
    const int cleared_end = end < kShiftedEntries ? end : kShiftedEntries;
    for (double* history : histories) {
      std::memmove(history, history + kGridSteps, static_cast<size_t>(moved) * sizeof(double));
      if (cleared_end > moved) {
        std::memset(history + moved, 0, static_cast<size_t>(cleared_end - moved) * sizeof(double));
      }
    }
    if (end <= kShiftedEntries) state->history_end = moved;
  }
  state_reset_extremes(state);
}
