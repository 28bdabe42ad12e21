#include "engine/run.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/modal_params.h"
#include "engine/stats.h"
#include "model/paths.h"
#include "model/units.h"
#include "model/version.h"
#include "results/run_summary.h"
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

bool fail(std::string* error, SimNotes* notes, const IntakeNote& note) {
  if (notes != nullptr) notes->field = note.field;
  return set_error(error, note.text);
}

// The entered numbers that the engine computes with must be finite.
bool check_numbers(const SimParams* p, IntakeNote* fault) {
  const struct {
    const char* name;
    const double* value;
  } numbers[] = {{"spindle speed", &p->spindle_rpm},
                 {"feed per revolution", &p->feed_per_rev},
                 {"depth of cut", &p->depth_of_cut},
                 {"initial wear", &p->initial_wear},
                 {"inclination angle", &p->inclination_angle},
                 {"normal rake angle", &p->normal_rake_angle},
                 {"side cutting edge angle", &p->side_cutting_edge_angle},
                 {"workpiece radius", &p->workpiece_radius},
                 {"nose radius", &p->nose_radius}};
  for (const auto& number : numbers) {
    if (!std::isfinite(*number.value)) {
      *fault = {number.value, std::string("the ") + number.name + " is not a finite number"};
      return false;
    }
  }
  if (!(p->spindle_rpm > 0)) {
    *fault = {&p->spindle_rpm,
              "the spindle speed " + std::to_string(p->spindle_rpm) + " rpm is not positive"};
    return false;
  }
  return true;
}

bool check_run_control(const SimParams* p, IntakeNote* fault) {
  if (p->angular_increments < 1) {
    *fault = {&p->angular_increments, "the angular increments must be at least 1"};
    return false;
  }
  // More increments than grid positions leave a revolution without a step,
  // whose summary would hold only the reset extremes.
  if (p->angular_increments > kGridSteps) {
    *fault = {&p->angular_increments,
              "the angular increments " + std::to_string(p->angular_increments) +
                  " leave no step in a revolution (" + std::to_string(kGridSteps) + " at most)"};
    return false;
  }
  if (p->revs_total < 0) {
    *fault = {&p->revs_total,
              "the revolutions to simulate (" + std::to_string(p->revs_total) + ") are negative"};
    return false;
  }
  if (p->revs_total > kMaxRevolutions) {
    *fault = {&p->revs_total, "the revolutions to simulate (" + std::to_string(p->revs_total) +
                                  ") are above the limit of " + std::to_string(kMaxRevolutions)};
    return false;
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

// ": reason" for a failed write or close, from errno when it is set.
std::string reason_of(int error_number) {
  return error_number != 0 ? std::string(": ") + std::strerror(error_number) : std::string();
}

// Says on standard error that a result file did not get all its rows.
void report_write_failure(const char* base, const char* suffix, int error_number) {
  std::fprintf(stderr, "corvanel: %s%s: writing the result file failed%s\n", base, suffix,
               reason_of(error_number).c_str());
}

// Flushes a result stream; false (with errno) when any of its rows is lost.
bool flush_result(FILE* file) {
  errno = 0;
  return std::fflush(file) == 0 && std::ferror(file) == 0;
}

// Closes a summary file; 0 (with a message) when its rows did not all reach it.
int close_result(FILE* file, const char* base, const char* suffix) {
  if (file == nullptr) return 1;
  bool ok = flush_result(file);
  int error_number = errno;
  if (std::fclose(file) != 0 && ok) {
    ok = false;
    error_number = errno;
  }
  if (!ok) report_write_failure(base, suffix, error_number);
  return ok ? 1 : 0;
}

// Flushes each time-series stream, naming every one that lost rows, then
// closes them all; 0 when any of them lost rows.
int close_series(SeriesFiles* series, const char* base) {
  bool named = false;
  for (int i = 0; i < kSeriesFileCount; ++i) {
    FILE* stream = series_stream(series, i);
    if (stream != nullptr && !flush_result(stream)) {
      report_write_failure(base, series_suffix(i), errno);
      named = true;
    }
  }
  if (series_close(series)) return 1;
  if (!named)
    std::fprintf(stderr, "corvanel: %s.dat: writing the time-series files failed\n", base);
  return 0;
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
    ok &= close_series(&run->series, base);
  }
  ok &= close_result(run->rms, base, ".rms");
  ok &= close_result(run->ave, base, ".ave");
  run->rms = run->ave = nullptr;
  return ok;
}

// The run summary's file name: BASE.summary.json.
std::string summary_path(const char* base) { return std::string(base) + ".summary.json"; }

// Finishes the recorder and writes the run summary beside the result files;
// 0 (with a message) when it could not be written.
int write_summary(const SimParams* entered, const SimParams* p, const SimState* state,
                  RunContext* run, const char* base, SimNotes* notes) {
  recorder_finish(run->recorder, p, state, run->reference.x);
  const SummaryRun facts{program_version(), engine_version(), state->steps_per_rev,
                         state->time_step};
  const std::string path = summary_path(base);
  if (notes != nullptr) notes->verdict = run_summary_line(*recorder_result(run->recorder));
  errno = 0;
  if (run_summary_write(run_summary_json(entered, p, facts, *recorder_result(run->recorder)),
                        path.c_str()))
    return 1;
  std::fprintf(stderr, "corvanel: %s: writing the run summary failed%s\n", path.c_str(),
               reason_of(errno).c_str());
  return 0;
}

// Writes the text report; 0 (with a message) when it could not be written.
int write_report(const SimParams* p, const char* base) {
  if (!params_output_enabled(p, OUTPUT_REPORT)) return 1;
  char path[kPathSize];
  errno = 0;
  if (path_join(path, base, ".rpt") && report_write(p, path)) return 1;
  std::fprintf(stderr, "corvanel: %s.rpt: writing the report failed%s\n", base,
               reason_of(errno).c_str());
  return 0;
}

// Writes a summarised revolution into the .rms and .ave files.
void summarise_revolution(const SimParams* p, SimState* state, RunContext* run) {
  if (params_output_enabled(p, OUTPUT_RMS)) summary_write_rms(run->rms, state, p->units);
  if (params_output_enabled(p, OUTPUT_AVERAGES)) summary_write_ave(run->ave, state);
}

// The first value of the revolution summary that is not finite, or null:
// a mean, an RMS value or a range (maximum less minimum).
const char* non_finite_summary(const SimState* st) {
  const struct {
    const char* name;
    double mean, rms, max, min;
  } quantities[] = {
      {"X force", st->force_x_mean, st->force_x_rms, st->force_x_max, st->force_x_min},
      {"Y force", st->force_y_mean, st->force_y_rms, st->force_y_max, st->force_y_min},
      {"Z force", st->force_z_mean, st->force_z_rms, st->force_z_max, st->force_z_min},
      {"spindle-workpiece X displacement", st->sw_disp_x_mean, st->sw_disp_x_rms, st->sw_disp_x_max,
       st->sw_disp_x_min},
      {"spindle-workpiece Y displacement", st->sw_disp_y_mean, st->sw_disp_y_rms, st->sw_disp_y_max,
       st->sw_disp_y_min},
      {"spindle-workpiece Z displacement", st->sw_disp_z_mean, st->sw_disp_z_rms, st->sw_disp_z_max,
       st->sw_disp_z_min},
      {"tool X displacement", st->tool_disp_x_mean, st->tool_disp_x_rms, st->tool_disp_x_max,
       st->tool_disp_x_min},
      {"tool Y displacement", st->tool_disp_y_mean, st->tool_disp_y_rms, st->tool_disp_y_max,
       st->tool_disp_y_min},
      {"tool Z displacement", st->tool_disp_z_mean, st->tool_disp_z_rms, st->tool_disp_z_max,
       st->tool_disp_z_min}};
  for (const auto& q : quantities) {
    if (!std::isfinite(q.mean) || !std::isfinite(q.rms) || !std::isfinite(q.max - q.min)) {
      return q.name;
    }
  }
  return nullptr;
}

// Simulates and summarises every revolution. 0 when a value stops being
// finite: the run stops there, with one line naming the revolution, the
// step and the quantity, before the value reaches a result file.
int run_revolutions(SimParams* p, SimState* state, RunContext* run, const char* base) {
  for (int r = 0; r < p->revs_total; ++r) {
    state->revolution = r;
    state_fire_event(state, SIM_EVENT_REVOLUTION_START);
    if (!sim_revolution(p, state, run)) {
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
      summarise_revolution(p, state, run);
      if (run->recorder != nullptr) recorder_revolution(run->recorder, p, state);
    }
    state_fire_event(state, SIM_EVENT_REVOLUTION_END);
    sim_shift_history(state);
  }
  return 1;
}

// The database numbers of a record in file order, with their names: the
// fifteen of the wear file, then the nine of the coefficient row.
struct DatabaseNumber {
  const char* name;
  double SimParams::*field;
};

constexpr DatabaseNumber kWearNumbers[] = {
    {"wear factor", &SimParams::wear_factor},
    {"break-in amount", &SimParams::wear_breakin_amount},
    {"break-in rate", &SimParams::wear_breakin_rate},
    {"wear rate constant", &SimParams::wear_rate_coef},
    {"wear rate speed exponent", &SimParams::wear_rate_speed_exp},
    {"wear rate depth exponent", &SimParams::wear_rate_depth_exp},
    {"X wear force constant", &SimParams::wear_force_x_coef},
    {"X wear force feed exponent", &SimParams::wear_force_x_feed_exp},
    {"X wear force depth exponent", &SimParams::wear_force_x_depth_exp},
    {"Y wear force constant", &SimParams::wear_force_y_coef},
    {"Y wear force feed exponent", &SimParams::wear_force_y_feed_exp},
    {"Y wear force depth exponent", &SimParams::wear_force_y_depth_exp},
    {"Z wear force constant", &SimParams::wear_force_z_coef},
    {"Z wear force feed exponent", &SimParams::wear_force_z_feed_exp},
    {"Z wear force depth exponent", &SimParams::wear_force_z_depth_exp},
};

constexpr DatabaseNumber kCoefficientNumbers[] = {
    {"Kf constant", &SimParams::kf_coef},
    {"Kf thickness exponent", &SimParams::kf_thickness_exp},
    {"Kf speed exponent", &SimParams::kf_speed_exp},
    {"Kn constant", &SimParams::kn_coef},
    {"Kn thickness exponent", &SimParams::kn_thickness_exp},
    {"Kn speed exponent", &SimParams::kn_speed_exp},
    {"chip flow angle constant", &SimParams::cfa_coef},
    {"chip flow angle depth exponent", &SimParams::cfa_depth_exp},
    {"chip flow angle speed exponent", &SimParams::cfa_speed_exp},
};

// The first number of the list that the lookup left non-finite, or -1.
template <size_t N>
int first_non_finite(const SimParams& probe, const DatabaseNumber (&numbers)[N]) {
  for (size_t i = 0; i < N; ++i) {
    if (!std::isfinite(probe.*numbers[i].field)) return static_cast<int>(i);
  }
  return -1;
}

std::string number_text(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

// The refusal of a pair and edge angle without a coefficient row: what the
// database holds nearest to it, the angles held for the pair or else the
// pairs whose names match when case and blanks are ignored.
std::string missing_row(const SimParams* p, const MatDb* db, const SimParams* probe,
                        const std::string& pair, int angle) {
  std::string text = std::string(p->database_file) + ": the row for " + pair + " at " +
                     std::to_string(angle) + " degrees: there is none";
  const std::vector<long long> angles = matdb_angles_of(db, probe);
  if (!angles.empty()) {
    text += "; the pair has rows at";
    for (size_t i = 0; i < angles.size(); ++i) {
      text += (i == 0 ? " " : ", ") + std::to_string(angles[i]);
    }
    return text + " degrees";
  }
  const std::vector<std::string> pairs = matdb_pairs_like(db, probe);
  if (pairs.empty())
    return text + ", nor a pair whose names match when case and blanks are ignored";
  text += "; pairs whose names match when case and blanks are ignored:";
  for (size_t i = 0; i < pairs.size(); ++i) text += (i == 0 ? " \"" : ", \"") + pairs[i] + "\"";
  return text;
}

}  // namespace

int sim_check_database(const SimParams* p, const MatDb* db, std::string* error,
                       std::string* warning) {
  if (db == nullptr) return set_error(error, "the databases are not loaded");
  if (!db->wear_opened) {
    return set_error(
        error, std::string("wear.db: cannot read the wear file: ") + std::strerror(db->wear_error));
  }
  if (!db->database_opened) {
    return set_error(error, std::string(p->database_file) +
                                ": cannot read the cutting-coefficient database: " +
                                std::strerror(db->database_error));
  }
  // Only turning cuts: another process takes no number from the databases.
  if (p->process != 'T') {
    if (error != nullptr) error->clear();
    return 1;
  }
  // The lookup the first step makes: the angles in radians, the edge angle
  // copied for turning, every database field cleared beforehand so that only
  // what the files hold for this pair is seen.
  SimParams probe = *p;
  units_angles_to_radians(&probe);
  if (probe.process == 'T') probe.cutting_edge_angle = probe.side_cutting_edge_angle;
  for (const auto& number : kWearNumbers) probe.*number.field = 0;
  for (const auto& number : kCoefficientNumbers) probe.*number.field = 0;
  const int found = matdb_lookup_loaded(db, &probe);
  const std::string pair = std::string("workpiece \"") + p->workpiece_material +
                           "\" and insert \"" + p->insert_material + "\"";
  const int angle = matdb_angle_key(probe.cutting_edge_angle);
  if (!found) return set_error(error, missing_row(p, db, &probe, pair, angle));
  const int wear = first_non_finite(probe, kWearNumbers);
  if (wear >= 0) {
    return set_error(error, "wear.db: the record for " + pair + ": number " +
                                std::to_string(wear + 1) + " (" + kWearNumbers[wear].name +
                                ") is " + number_text(probe.*kWearNumbers[wear].field) +
                                ", not a finite number");
  }
  const int coefficient = first_non_finite(probe, kCoefficientNumbers);
  if (coefficient >= 0) {
    return set_error(error, std::string(p->database_file) + ": the row for " + pair + " at " +
                                std::to_string(angle) + " degrees: number " +
                                std::to_string(coefficient + 1) + " (" +
                                kCoefficientNumbers[coefficient].name + ") is " +
                                number_text(probe.*kCoefficientNumbers[coefficient].field) +
                                ", not a finite number");
  }
  if (!matdb_has_wear(db, &probe) && warning != nullptr) {
    *warning = "wear.db: the wear record for " + pair +
               ": there is none; the tool stays sharp (no wear, no wear-land force)";
  }
  if (error != nullptr) error->clear();
  return 1;
}

int sim_check_job(const SimParams* p, const char* output_base, std::string* error,
                  SimNotes* notes) {
  if (notes != nullptr) notes->field = nullptr;
  if (std::strlen(output_base) + kLongestSuffix > kPathSize - 1) {
    return set_error(error,
                     std::string("the output name ") + output_base +
                         " leaves no room for its result file names (99 characters at most)");
  }
  IntakeNote fault{nullptr, {}};
  std::vector<IntakeNote> warnings;
  if (!check_numbers(p, &fault) || !intake_check_cut(p, &fault, &warnings) ||
      !check_run_control(p, &fault)) {
    return fail(error, notes, fault);
  }
  const int steps_per_rev = kGridSteps / p->angular_increments;
  if (!intake_check_travel(p, steps_per_rev, &fault)) return fail(error, notes, fault);
  const void* mode_field = nullptr;
  if (!modal_check(p, steps_per_rev, error, &mode_field)) {
    if (notes != nullptr) notes->field = mode_field;
    return 0;
  }
  if (notes != nullptr) notes->warnings = warnings;
  return 1;
}

int sim_run(SimParams* p, SimState* state, const char* output_base, SimNotes* notes) {
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
  std::string warning;
  if (!sim_check_database(p, run->db, &error, &warning)) {
    std::fprintf(stderr, "corvanel: %s\n", error.c_str());
    run_context_free(run);
    return 0;
  }
  if (!warning.empty()) {
    const std::string line = "corvanel: warning: " + warning;
    std::fprintf(stderr, "%s\n", line.c_str());
    if (notes != nullptr) notes->run_warnings.push_back(line);
  }
  // The job as entered, for the run summary, before any unit is converted.
  SimParams* entered = params_clone(p);
  if (entered == nullptr) {
    std::fprintf(stderr, "corvanel: %s: not enough memory for the run\n", output_base);
    run_context_free(run);
    return 0;
  }
  if (!open_results(p, run, output_base)) {
    close_results(p, run, output_base);
    run_context_free(run);
    params_free(entered);
    return 0;
  }
  units_angles_to_radians(p);
  state->steps_per_rev = kGridSteps / p->angular_increments;
  state_fire_event(state, SIM_EVENT_RUN_START);
  int result = write_report(p, output_base);
  units_normalise(p);
  modal_prepare(p, state);
  run->recorder = recorder_create(p, state);
  state_reset_extremes(state);
  const int finished = run->recorder != nullptr && run_revolutions(p, state, run, output_base);
  if (run->recorder == nullptr)
    std::fprintf(stderr, "corvanel: %s: not enough memory for the run summary\n", output_base);
  if (!finished && notes != nullptr) notes->stopped = run->recorder != nullptr;
  result &= finished;
  result &= close_results(p, run, output_base);
  if (finished) {
    result &= write_summary(entered, p, state, run, output_base, notes);
  } else {
    // A summary of an earlier run would speak for results it no longer matches.
    std::remove(summary_path(output_base).c_str());
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
