#include "app/app.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/entry.h"
#include "app/jobfile.h"
#include "engine/run.h"
#include "model/params.h"
#include "model/paths.h"
#include "model/state.h"
#include "model/version.h"
#include "results/html.h"

namespace {

// True while the job comes from a job file named on the command line.
bool g_batch_mode = false;

// True once the listener failed to write the run's HTML summary; the run
// goes on and then reports failure.
bool g_page_failed = false;

// Warning lines of the run, repeated at the end of an interactive run.
std::vector<std::string> g_warnings;

// The run summary's console line of the last finished run, or empty.
std::string g_verdict;

void report_problem(const char* source, const std::string& what) {
  std::fprintf(stderr, "corvanel: %s: %s\n", source, what.c_str());
}

// "SOURCE:LINE" when the field was read from a line of the job file, else SOURCE.
std::string place_of(const char* source, const JobfileLines* lines, const void* field) {
  const int line = jobfile_line_of(lines, field);
  return line > 0 ? std::string(source) + ":" + std::to_string(line) : std::string(source);
}

// Fills the job from the batch job file or the dialogue; 0 when there is none.
int obtain_job(SimParams* params, const char* job_name, const char* directory, char* source,
               JobfileLines* lines) {
  if (!g_batch_mode) {
    std::snprintf(source, kPathSize, "%s", "the job entered");
    return entry_interactive(params);
  }
  if (!path_join_dir(source, directory, job_name, ".in")) {
    report_problem(job_name, "the job file name would be longer than 99 characters");
    return 0;
  }
  std::string error;
  if (!jobfile_read(params, source, &error, lines)) {
    const std::string where = lines->error_line > 0
                                  ? std::string(source) + ":" + std::to_string(lines->error_line)
                                  : std::string(source);
    report_problem(where.c_str(), error);
    return 0;
  }
  return 1;
}

// Runs an obtained job; the state exists only for the run.
int run_job(SimParams* params, const char* output_base, const char* source,
            const JobfileLines* lines, const SimOptions& options) {
  std::string error;
  SimNotes notes;
  if (!sim_check_job(params, output_base, &error, &notes)) {
    report_problem(place_of(source, lines, notes.field).c_str(), error);
    return 0;
  }
  for (const IntakeNote& warning : notes.warnings) {
    const std::string line =
        "corvanel: warning: " + place_of(source, lines, warning.field) + ": " + warning.text;
    std::fprintf(stderr, "%s\n", line.c_str());
    g_warnings.push_back(line);
  }
  SimState* state = state_create(kHistoryCapacity);
  if (state == nullptr) {
    report_problem(source, "not enough memory for the simulation state");
    return 0;
  }
  state_add_listener(state, app_console_listener);  // without it the run is silent
  // The console shows nothing per step in batch mode, and nothing at a step's end.
  state_listen_for(state, g_batch_mode ? SIM_EVENT_RUN_START | SIM_EVENT_REVOLUTION_START
                                       : SIM_EVENT_RUN_START | SIM_EVENT_REVOLUTION_START |
                                             SIM_EVENT_STEP_START);
  g_page_failed = false;
  int result = sim_run(params, state, output_base, &notes, &options);
  for (const std::string& line : notes.run_warnings) g_warnings.push_back(line);
  g_verdict = notes.verdict;
  if (g_page_failed) result = 0;
  state_free(state);
  return result;
}

// Ends an interactive run on standard error: the verdict line, then the
// run's warnings repeated so that none has scrolled away.
void repeat_warnings() {
  std::fflush(stdout);
  if (!g_verdict.empty()) std::fprintf(stderr, "corvanel: %s\n", g_verdict.c_str());
  for (const std::string& line : g_warnings) std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace

int app_main(int argc, char** argv, const SimOptions& options) {
  // Progress lines are many; a large buffer keeps them cheap.
  static char stdout_buffer[1 << 16];
  std::setvbuf(stdout, stdout_buffer, _IOFBF, sizeof stdout_buffer);
  int code;
  if (argc < 3) {
    app_print_banner();
    if (app_run(nullptr, nullptr, nullptr, options) != 0) {
      std::printf("\nSimulation Run Success.\n");
      code = 0;
    } else {
      std::printf("\nSimulation Run Failure.\n");
      code = 1;
      g_verdict.clear();  // a verdict speaks only for a run that succeeded
    }
    repeat_warnings();
  } else if (argc == 4) {
    code = app_run(argv[1], argv[2], argv[3], options) == 1 ? 0 : 1;
  } else {
    code = app_run(argv[1], argv[2], nullptr, options) == 1 ? 0 : 1;
  }
  std::fflush(stdout);
  return code;
}

int app_run(const char* job_name, const char* directory, const char* database_file,
            const SimOptions& options) {
  // A cut name would open another file (or none) and run with zero forces.
  if (database_file != nullptr && std::strlen(database_file) > kParamsTextSize - 1) {
    report_problem(database_file, "the database file name is longer than 63 characters");
    return 0;
  }
  SimParams* params = params_create();
  if (params == nullptr) return 0;
  params_enable_output(params, options.extra_outputs);
  if (database_file != nullptr) params_set_database_file(params, database_file);
  g_batch_mode = job_name != nullptr;
  char source[kPathSize];
  char output_base[kPathSize];
  int result = 0;
  JobfileLines lines;
  g_warnings.clear();
  g_verdict.clear();
  if (obtain_job(params, job_name, directory, source, &lines)) {
    if (!g_batch_mode) {
      path_join(output_base, "output", "");
      result = run_job(params, output_base, source, nullptr, options);
    } else if (path_join_dir(output_base, directory, job_name, "")) {
      result = run_job(params, output_base, source, &lines, options);
    }
  }
  params_free(params);
  return result;
}

void app_print_banner() {
  uint32_t version = engine_version();
  std::printf("Corvanel\n");
  std::printf("Version 1.0\n");
  std::printf("Using Brisolt Version %d.%02d\n", static_cast<int>(version >> 16),
              static_cast<int>(version & 0xffff));
  std::printf("\n");
}

void app_console_listener(int32_t event, const EventContext* context) {
  const SimState* state = context->state;
  // Shows the finished revolution's lines on a terminal in both modes.
  if (event == SIM_EVENT_REVOLUTION_START) std::fflush(stdout);
  if (g_batch_mode) {
    if (event == SIM_EVENT_RUN_START) {
      char html_path[kPathSize];
      errno = 0;
      if (!path_join(html_path, context->output_base, ".html") ||
          !html_write_summary(context->params, html_path)) {
        g_page_failed = true;
        std::fprintf(stderr, "corvanel: %s.html: writing the HTML summary failed%s%s\n",
                     context->output_base, errno != 0 ? ": " : "",
                     errno != 0 ? std::strerror(errno) : "");
      }
    }
    return;
  }
  if (event == SIM_EVENT_REVOLUTION_START) {
    std::printf("Running revolution #%d...\n", state->revolution + 1);
  } else if (event == SIM_EVENT_STEP_START) {
    std::printf("Calculating cutting angle %d...\n", static_cast<int>(state->cut_angle));
  }
}
