#include "results/series.h"

#include <cstring>
#include <initializer_list>

#include "model/paths.h"
#include "model/units.h"
#include "results/format.h"

namespace {

constexpr int kFileCount = kSeriesFileCount;
constexpr int kRowInterval = 100;  // a row on every 100th step

// Name suffixes in file order; matches the member order of SeriesFiles.
constexpr const char* kSuffixes[kFileCount] = {".dat",    ".fx.dat", ".fy.dat", ".fz.dat",
                                               ".sx.dat", ".sy.dat", ".sz.dat", ".wx.dat",
                                               ".wy.dat", ".wz.dat"};

// The ten members in file order.
constexpr FILE* SeriesFiles::*kMembers[kFileCount] = {
    &SeriesFiles::main, &SeriesFiles::fx, &SeriesFiles::fy, &SeriesFiles::fz, &SeriesFiles::sx,
    &SeriesFiles::sy,   &SeriesFiles::sz, &SeriesFiles::wx, &SeriesFiles::wy, &SeriesFiles::wz};

// The start of the nine one-value rows of a step, "%d %lf " with the step
// and the cut angle: formatted once, copied into each row.
FormatRow step_prefix(int step, double angle) {
  FormatRow row;
  format_begin(&row);
  format_int(&row, step, 0);
  format_text(&row, " ");
  format_fixed(&row, angle, 6, 0);
  format_text(&row, " ");
  return row;
}

// A row that starts with the prefix's characters (only those are copied).
void begin_with(FormatRow* row, const FormatRow& prefix) {
  row->length = prefix.length;
  row->failed = prefix.failed;
  std::memcpy(row->text, prefix.text, static_cast<size_t>(prefix.length));
}

// "%d %lf %lf\n" (or "%d %1f %1f \n", which prints the same numbers, with a
// space before the line end when trailing_space is set), after the step's
// prefix.
void write_pair_row(FILE* out, const FormatRow& prefix, double value, bool trailing_space) {
  FormatRow row;
  begin_with(&row, prefix);
  format_fixed(&row, value, 6, 0);
  format_text(&row, trailing_space ? " \n" : "\n");
  format_write(&row, out);
}

// One displacement row: English in inches with the exponent form ("%d %lf
// %e\n"), metric in metres ("%d %lf %lf\n").
void write_disp_row(FILE* out, const FormatRow& prefix, double disp, int units) {
  if (units != 0) {
    write_pair_row(out, prefix, disp, false);
    return;
  }
  FormatRow row;
  begin_with(&row, prefix);
  format_exp(&row, disp / kInch);
  format_text(&row, "\n");
  format_write(&row, out);
}

}  // namespace

const char* series_suffix(int index) {
  return index >= 0 && index < kFileCount ? kSuffixes[index] : "";
}

FILE* series_stream(const SeriesFiles* files, int index) {
  if (files == nullptr || index < 0 || index >= kFileCount) return nullptr;
  return files->*kMembers[index];
}

int series_open(SeriesFiles* files, const char* base) {
  if (files == nullptr) return 0;
  for (auto member : kMembers) files->*member = nullptr;
  if (base == nullptr) return 0;
  // Every name is composed before anything is created, so a base name that
  // is too long leaves the disk untouched.
  char names[kFileCount][kPathSize];
  for (int i = 0; i < kFileCount; ++i)
    if (!path_join(names[i], base, kSuffixes[i])) return 0;
  for (int i = 0; i < kFileCount; ++i) {
    files->*kMembers[i] = std::fopen(names[i], "w");
    if (files->*kMembers[i] == nullptr) {
      for (int j = 0; j < i; ++j) {
        std::fclose(files->*kMembers[j]);
        files->*kMembers[j] = nullptr;
      }
      return 0;
    }
  }
  return 1;
}

void series_write_main_row(FILE* out, const SimState* state, int step, int units) {
  if (out == nullptr || state == nullptr) return;
  // Metric forces are written as they are; dividing by 1.0 is exact.
  const double div = units == 0 ? kNewtonsPerPound : 1.0;
  // "%4d %10.4lf %10.4lf %10.4lf %10.4lf \n"
  FormatRow row;
  format_begin(&row);
  format_int(&row, step, 4);
  for (double value :
       {state->cut_angle, state->force_x / div, state->force_y / div, state->force_z / div}) {
    format_text(&row, " ");
    format_fixed(&row, value, 4, 10);
  }
  format_text(&row, " \n");
  format_write(&row, out);
}

namespace {

// The rows of a step written (every kRowInterval-th step): apart from the
// test of every step, so that the steps without rows return at once.
[[gnu::noinline]] void write_step_rows(SeriesFiles* files, const SimState* state, int step,
                                       int units) {
  series_write_main_row(files->main, state, step, units);
  const FormatRow prefix = step_prefix(step, state->cut_angle);
  if (units == 0) {
    write_pair_row(files->fx, prefix, state->force_x / kNewtonsPerPound, true);
    write_pair_row(files->fy, prefix, state->force_y / kNewtonsPerPound, false);
    write_pair_row(files->fz, prefix, state->force_z / kNewtonsPerPound, false);
  } else {
    write_pair_row(files->fx, prefix, state->force_x, false);
    write_pair_row(files->fy, prefix, state->force_y, false);
    write_pair_row(files->fz, prefix, state->force_z, false);
  }
  write_disp_row(files->sx, prefix, state->sw_disp_x[step], units);
  write_disp_row(files->sy, prefix, state->sw_disp_y[step], units);
  write_disp_row(files->sz, prefix, state->sw_disp_z[step], units);
  write_disp_row(files->wx, prefix, state->tool_disp_x[step], units);
  write_disp_row(files->wy, prefix, state->tool_disp_y[step], units);
  write_disp_row(files->wz, prefix, state->tool_disp_z[step], units);
}

}  // namespace

void series_write_step(SeriesFiles* files, const SimState* state, int step, int units) {
  if (step % kRowInterval != 0 || files == nullptr || state == nullptr) return;
  if (step < 0 || step >= state->capacity) return;
  write_step_rows(files, state, step, units);
}

int series_close(SeriesFiles* files) {
  if (files == nullptr) return 0;
  int ok = 1;
  for (auto member : kMembers) {
    FILE*& stream = files->*member;
    if (stream == nullptr) {
      ok = 0;
      continue;
    }
    if (std::ferror(stream)) ok = 0;
    if (std::fclose(stream) != 0) ok = 0;
    stream = nullptr;
  }
  return ok;
}
