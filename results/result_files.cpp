#include "results/result_files.h"

#include <cerrno>
#include <cstring>

#include "model/paths.h"
#include "results/report.h"
#include "results/summary.h"

namespace {

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

}  // namespace

int result_files_open(ResultFiles* files, const SimParams* p, const char* base) {
  // The HDF5 writer first: a refusal for want of it leaves the earlier
  // text files as they were (it writes BASE.h5.part, not BASE.h5).
  if (params_output_enabled(p, OUTPUT_HDF5)) {
    std::string error;
    files->hdf5_module = hdf5_module_load(&error);
    if (files->hdf5_module == nullptr) {
      std::fprintf(stderr, "corvanel: %s: cannot create the result file: %s\n",
                   hdf5_path(base).c_str(), error.c_str());
      return 0;
    }
    if ((files->hdf5 = files->hdf5_module->create(base)) == nullptr) return 0;
  }
  if (params_output_enabled(p, OUTPUT_SERIES) && !series_open(&files->series, base)) {
    std::fprintf(stderr, "corvanel: %s: cannot create the time-series files\n", base);
    return 0;
  }
  if (params_output_enabled(p, OUTPUT_RMS) && (files->rms = open_result(base, ".rms")) == nullptr) {
    return 0;
  }
  if (params_output_enabled(p, OUTPUT_AVERAGES) &&
      (files->ave = open_result(base, ".ave")) == nullptr) {
    return 0;
  }
  return 1;
}

int result_files_close(ResultFiles* files, const SimParams* p, const char* base) {
  int ok = 1;
  if (params_output_enabled(p, OUTPUT_SERIES) && files->series.main != nullptr) {
    ok &= close_series(&files->series, base);
  }
  ok &= close_result(files->rms, base, ".rms");
  ok &= close_result(files->ave, base, ".ave");
  files->rms = files->ave = nullptr;
  return ok;
}

void result_files_write_step(ResultFiles* files, const SimParams* p, const SimState* state,
                             int step) {
  if (params_output_enabled(p, OUTPUT_SERIES))
    series_write_step(&files->series, state, step, p->units);
  if (files->hdf5 != nullptr) {
    const int64_t global_step =
        static_cast<int64_t>(state->revolution) * state->steps_per_rev + step;
    const Hdf5Step values = {{static_cast<double>(global_step) * state->time_step,
                              state->cut_angle,
                              static_cast<double>(state->revolution + 1),
                              state->force_x,
                              state->force_y,
                              state->force_z,
                              state->rel_disp_x[step],
                              state->rel_disp_y[step],
                              state->rel_disp_z[step],
                              state->sw_disp_x[step],
                              state->sw_disp_y[step],
                              state->sw_disp_z[step],
                              state->tool_disp_x[step],
                              state->tool_disp_y[step],
                              state->tool_disp_z[step],
                              state->chip_thickness,
                              state->depth_effective,
                              state->cutting_speed,
                              state->wear_land,
                              p->kf,
                              p->kn}};
    files->hdf5_module->write_step(files->hdf5, values);
  }
}

void result_files_write_revolution(ResultFiles* files, const SimParams* p, const SimState* state) {
  if (params_output_enabled(p, OUTPUT_RMS)) summary_write_rms(files->rms, state, p->units);
  if (params_output_enabled(p, OUTPUT_AVERAGES)) summary_write_ave(files->ave, state);
}

int result_files_write_report(const SimParams* p, const char* base) {
  if (!params_output_enabled(p, OUTPUT_REPORT)) return 1;
  char path[kPathSize];
  errno = 0;
  if (path_join(path, base, ".rpt") && report_write(p, path)) return 1;
  std::fprintf(stderr, "corvanel: %s.rpt: writing the report failed%s\n", base,
               reason_of(errno).c_str());
  return 0;
}

std::string result_files_summary_path(const char* base) {
  return std::string(base) + ".summary.json";
}

int result_files_write_summary(const char* base, const SimParams* entered, const SimParams* si,
                               const SummaryRun& run, const RunSummary& summary) {
  const std::string path = result_files_summary_path(base);
  errno = 0;
  if (run_summary_write(run_summary_json(entered, si, run, summary), path.c_str())) return 1;
  std::fprintf(stderr, "corvanel: %s: writing the run summary failed%s\n", path.c_str(),
               reason_of(errno).c_str());
  return 0;
}

int result_files_finish_hdf5(ResultFiles* files, const SimParams* entered, const SimParams* si,
                             const SummaryRun& run, const RunSummary& summary) {
  if (files->hdf5 == nullptr) return 1;
  const int ok = files->hdf5_module->finish(files->hdf5, entered, si, run, summary);
  files->hdf5_module->free(files->hdf5);
  files->hdf5 = nullptr;
  return ok;
}

void result_files_drop_hdf5(ResultFiles* files, const char* base, bool remove_earlier) {
  if (files->hdf5 == nullptr) return;
  files->hdf5_module->free(files->hdf5);
  files->hdf5 = nullptr;
  if (remove_earlier) std::remove(hdf5_path(base).c_str());
}

void result_files_remove_summary(const char* base) {
  std::remove(result_files_summary_path(base).c_str());
}
