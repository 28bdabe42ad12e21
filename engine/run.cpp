#include "engine/run.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/modal_params.h"
#include "engine/stats.h"
#include "model/paths.h"
#include "model/units.h"
#include "results/report.h"
#include "results/series.h"
#include "results/summary.h"

namespace {

constexpr int kLongestSuffix = 7;  // ".fx.dat"; ".html", ".rms" and the others are shorter
// Revolutions whose global step numbers (34200 a revolution) fit in 32 bits.
constexpr int kMaxRevolutions = 2147483647 / kGridSteps - 1;

bool set_error(std::string* error, const std::string& text) {
  if (error != nullptr) *error = text;
  return false;
}

// The entered numbers that the engine computes with must be finite.
bool check_numbers(const SimParams* p, std::string* error) {
  const struct {
    const char* name;
    double value;
  } numbers[] = {{"spindle speed", p->spindle_rpm},       {"feed per revolution", p->feed_per_rev},
                 {"depth of cut", p->depth_of_cut},       {"initial wear", p->initial_wear},
                 {"inclination angle", p->inclination_angle},
                 {"normal rake angle", p->normal_rake_angle},
                 {"side cutting edge angle", p->side_cutting_edge_angle},
                 {"workpiece radius", p->workpiece_radius}, {"nose radius", p->nose_radius}};
  for (const auto& number : numbers) {
    if (!std::isfinite(number.value)) {
      return set_error(error, std::string("the ") + number.name + " is not a finite number");
    }
  }
  if (!(p->spindle_rpm > 0)) {
    return set_error(error, "the spindle speed " + std::to_string(p->spindle_rpm) +
                                " rpm is not positive");
  }
  return true;
}

bool check_run_control(const SimParams* p, std::string* error) {
  if (p->angular_increments < 1) {
    return set_error(error, "the angular increments must be at least 1");
  }
  if (p->revs_total > kMaxRevolutions) {
    return set_error(error, "the revolutions to simulate (" + std::to_string(p->revs_total) +
                                ") are above the limit of " + std::to_string(kMaxRevolutions));
  }
  return true;
}

FILE* open_result(const char* base, const char* suffix) {
  char path[kPathSize];
  if (!path_join(path, base, suffix)) return nullptr;
  FILE* file = std::fopen(path, "w");
  if (file == nullptr) {
    std::fprintf(stderr, "corvanel: %s: cannot create the result file: %s\n", path,
                 std::strerror(errno));
  }
  return file;
}

// Closes a summary file; 0 (with a message) when its rows did not all reach it.
int close_result(FILE* file, const char* base, const char* suffix) {
  if (file == nullptr) return 1;
  bool ok = std::ferror(file) == 0;
  if (std::fclose(file) != 0) ok = false;
  if (!ok) std::fprintf(stderr, "corvanel: %s%s: writing the result file failed\n", base, suffix);
  return ok ? 1 : 0;
}

// Opens the result files the output flags ask for: series, .rms, .ave.
int open_results(const SimParams* p, RunContext* run, const char* base) {
  if (params_output_enabled(p, OUTPUT_SERIES) && !series_open(&run->series, base)) {
    std::fprintf(stderr, "corvanel: %s: cannot create the time-series files\n", base);
    return 0;
  }
  if (params_output_enabled(p, OUTPUT_RMS) && (run->rms = open_result(base, ".rms")) == nullptr) {
    return 0;
  }
  if (params_output_enabled(p, OUTPUT_AVERAGES) &&
      (run->ave = open_result(base, ".ave")) == nullptr) {
    return 0;
  }
  return 1;
}

// Closes every open result file; 0 when any of them lost rows.
int close_results(const SimParams* p, RunContext* run, const char* base) {
  int ok = 1;
  if (params_output_enabled(p, OUTPUT_SERIES) && run->series.main != nullptr) {
    if (!series_close(&run->series)) {
      std::fprintf(stderr, "corvanel: %s.dat: writing the time-series files failed\n", base);
      ok = 0;
    }
  }
  ok &= close_result(run->rms, base, ".rms");
  ok &= close_result(run->ave, base, ".ave");
  run->rms = run->ave = nullptr;
  return ok;
}

// Writes the text report; 0 (with a message) when it could not be written.
int write_report(const SimParams* p, const char* base) {
  if (!params_output_enabled(p, OUTPUT_REPORT)) return 1;
  char path[kPathSize];
  if (path_join(path, base, ".rpt") && report_write(p, path)) return 1;
  std::fprintf(stderr, "corvanel: %s.rpt: writing the report failed\n", base);
  return 0;
}

// Summarises a recorded revolution into the .rms and .ave files.
void summarise_revolution(const SimParams* p, SimState* state, RunContext* run) {
  stats_revolution_summary(p, state, kGridSteps);
  if (params_output_enabled(p, OUTPUT_RMS)) summary_write_rms(run->rms, state, p->units);
  if (params_output_enabled(p, OUTPUT_AVERAGES)) summary_write_ave(run->ave, state);
}

void run_revolutions(SimParams* p, SimState* state, RunContext* run) {
  for (int r = 0; r < p->revs_total; ++r) {
    state->revolution = r;
    state_fire_event(state, SIM_EVENT_REVOLUTION_START);
    sim_revolution(p, state, run);
    if (r >= p->revs_skipped) summarise_revolution(p, state, run);
    state_fire_event(state, SIM_EVENT_REVOLUTION_END);
    sim_shift_history(state);
  }
}

}  // namespace

int sim_check_job(const SimParams* p, const char* output_base, std::string* error) {
  if (std::strlen(output_base) + kLongestSuffix > kPathSize - 1) {
    return set_error(error, std::string("the output name ") + output_base +
                                " leaves no room for its result file names (99 characters at most)");
  }
  if (!check_numbers(p, error) || !check_run_control(p, error)) return 0;
  return modal_check(p, kGridSteps / p->angular_increments, error);
}

int sim_run(SimParams* p, SimState* state, const char* output_base) {
  state->event_context = EventContext{p, state, output_base};
  std::string error;
  if (!sim_check_job(p, output_base, &error)) {
    std::fprintf(stderr, "corvanel: %s: %s\n", output_base, error.c_str());
    return 0;
  }
  if (state->capacity < kGridSteps + kShiftedEntries) {
    std::fprintf(stderr, "corvanel: %s: the state's histories cannot hold a revolution shift\n",
                 output_base);
    return 0;
  }
  RunContext* run = run_context_create(p);
  if (run == nullptr) return 0;
  if (!open_results(p, run, output_base)) {
    close_results(p, run, output_base);
    run_context_free(run);
    return 0;
  }
  units_angles_to_radians(p);
  state->steps_per_rev = kGridSteps / p->angular_increments;
  state_fire_event(state, SIM_EVENT_RUN_START);
  int result = write_report(p, output_base);
  units_normalise(p);
  modal_prepare(p, state);
  state_reset_extremes(state);
  run_revolutions(p, state, run);
  result &= close_results(p, run, output_base);
  run_context_free(run);
  return result;
}

void sim_shift_history(SimState* state) {
  double* histories[] = {state->rel_disp_x,  state->rel_disp_y,  state->rel_disp_z,
                         state->sw_disp_x,   state->sw_disp_y,   state->sw_disp_z,
                         state->tool_disp_x, state->tool_disp_y, state->tool_disp_z};
  for (double* history : histories) {
    std::memmove(history, history + kGridSteps, kShiftedEntries * sizeof(double));
  }
  state_reset_extremes(state);
}
