#include "plot/runfiles.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "plot/text.h"

const char* const kRunDisplacementSuffixes[kRunDisplacementFiles] = {
    ".sx.dat", ".sy.dat", ".sz.dat", ".wx.dat", ".wy.dat", ".wz.dat"};

namespace {

const char kReportRule[] = "======================================";
const char kUnitsLabel[] = "Data Units :";

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

bool file_exists(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0;
}

std::string cannot_read(const std::string& path, int code) {
  return path + ": cannot be read: " + std::strerror(code);
}

// Calls line_fn(text, number) for every line of the file; 0 with *error when
// the file cannot be opened or read, or when line_fn refuses a line.
template <typename LineFn>
int for_each_line(const std::string& path, std::string* error, LineFn line_fn) {
  errno = 0;
  File file(std::fopen(path.c_str(), "r"));
  if (!file) {
    *error = cannot_read(path, errno != 0 ? errno : ENOENT);
    return 0;
  }
  char* buffer = nullptr;
  size_t capacity = 0;
  long number = 0;
  int ok = 1;
  for (ssize_t length; ok && (length = getline(&buffer, &capacity, file.get())) >= 0;) {
    std::string_view line(buffer, static_cast<size_t>(length));
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    ok = line_fn(line, ++number);
  }
  std::free(buffer);
  if (ok && std::ferror(file.get())) {
    *error = cannot_read(path, errno != 0 ? errno : EIO);
    return 0;
  }
  return ok;
}

// Splits a row into numbers; at most `columns` + 1 are parsed, so that a row
// with too many is recognised without reading all of them.
int parse_row(std::string_view line, int columns, double* values) {
  if (line.find('\0') != std::string_view::npos) return -1;
  std::string text(line);  // strtod needs a terminated string
  const char* at = text.c_str();
  int count = 0;
  while (count <= columns) {
    char* end = nullptr;
    const double value = std::strtod(at, &end);
    if (end == at) break;
    if (count < columns) values[count] = value;
    ++count;
    at = end;
  }
  while (*at == ' ' || *at == '\t' || *at == '\r') ++at;
  return *at == '\0' ? count : -1;  // -1: something that is not a number
}

// Whether some column among first .. first + 2 of the table holds a finite number.
bool any_finite(const RunTable& table, int first) {
  return table.finite[first] || table.finite[first + 1] || table.finite[first + 2];
}

std::string nothing_finite(const std::string& path, const std::string& what) {
  return path + ": " + what + " hold no finite number (every row is nan or inf), nothing to draw";
}

// The quantities of the summary files, three columns (X, Y, Z) each, in file order.
const char* const kSummaryGroups[] = {"the force ranges",
                                      "the spindle-workpiece displacement ranges",
                                      "the tool displacement ranges",
                                      "the force RMS deviations",
                                      "the spindle-workpiece displacement RMS deviations",
                                      "the tool displacement RMS deviations"};
const char* const kMeanGroups[] = {"the force means", "the spindle-workpiece displacement means",
                                   "the tool displacement means"};

// Every group of three curves drawn in one panel needs a finite point, or gnuplot refuses it.
int check_drawable(const RunFiles& run, std::string* error) {
  if (!any_finite(run.forces, 2)) {
    *error = nothing_finite(run.forces.path, "the forces X, Y and Z");
    return 0;
  }
  for (int structure = 0; structure < 2; ++structure) {
    const RunTable* files = run.displacements + 3 * structure;
    if (!files[0].finite[2] && !files[1].finite[2] && !files[2].finite[2]) {
      *error = nothing_finite(files[0].path, "the displacements X, Y and Z of this structure");
      return 0;
    }
  }
  for (int group = 0; group < 6; ++group) {
    if (!any_finite(run.ranges_rms, 3 * group)) {
      *error = nothing_finite(run.ranges_rms.path, kSummaryGroups[group]);
      return 0;
    }
  }
  for (int group = 0; group < 3; ++group) {
    if (!any_finite(run.means, 3 * group)) {
      *error = nothing_finite(run.means.path, kMeanGroups[group]);
      return 0;
    }
  }
  return 1;
}

std::string count_of(long count, const char* thing) {
  return std::to_string(count) + " " + thing + (count == 1 ? "" : "s");
}

// table must have `expected` rows, one per row or per recorded revolution of reference.
int check_rows(const RunTable& table, long expected, const RunTable& reference, const char* what,
               std::string* error) {
  if (table.rows == expected) return 1;
  *error = table.path + ": " + count_of(table.rows, "row") + ", but " + reference.path + " holds " +
           count_of(expected, what) + "; the files do not come from the same run";
  return 0;
}

int read_series(const std::string& path, int columns, RunTable* table, std::string* error) {
  if (!runfiles_read_table(path, columns, table, error)) return 0;
  // Revolution numbers are ints: the first angle must lie within their range.
  const double angle = table->first_angle;
  if (table->rows > 0 && !(std::isfinite(angle) && angle >= 0 && angle < 360.0 * 2.0e9)) {
    *error = path + ": line 1: the cut angle is not a cut angle of a run";
    return 0;
  }
  return 1;
}

// Reads BASE.summary.json when there is one and keeps it when it speaks for
// the same revolutions as the text files.
void read_summary(RunFiles* run) {
  PlotSummary& summary = run->summary;
  std::string why;
  if (runsummary_read(run->base + ".summary.json", &summary, &why) && summary.present) {
    const long revolutions = static_cast<long>(summary.revolutions.size());
    const int first = revolutions > 0 ? summary.revolutions.front().revolution : 0;
    if (revolutions != run->ranges_rms.rows || first != run->first_revolution) {
      why = summary.path + ": " + count_of(revolutions, "revolution") + " from revolution " +
            std::to_string(first) + ", but " + run->ranges_rms.path + " holds " +
            count_of(run->ranges_rms.rows, "revolution") + " from revolution " +
            std::to_string(run->first_revolution) + "; the summary does not come from this run";
    } else if (!runsummary_displacements_drawable(summary)) {
      why = summary.path + ": a displacement statistic holds no finite number";
    }
  }
  if (why.empty()) return;
  run->summary_warning = why + "; drawn from the text files alone";
  summary.present = false;
}

// Reads BASE.h5 when there is one and keeps it when it speaks for the same
// revolutions as the text files (and, with a summary, the same mean forces).
void read_h5(RunFiles* run) {
  const std::string path = run->base + ".h5";
  if (!file_exists(path)) return;
  H5Curves& h5 = run->h5;
  std::string why;
  if (h5read_curves(path, &h5, &why)) {
    if (h5.revolutions != run->ranges_rms.rows || h5.first_revolution != run->first_revolution) {
      why = path + ": " + count_of(h5.revolutions, "revolution") + " from revolution " +
            std::to_string(h5.first_revolution) + ", but " + run->ranges_rms.path + " holds " +
            count_of(run->ranges_rms.rows, "revolution") + " from revolution " +
            std::to_string(run->first_revolution) + "; the file does not come from this run";
    } else if (run->summary.present) {
      for (size_t i = 0; i < h5.force_x_means.size() && why.empty(); ++i) {
        if (h5.force_x_means[i] != run->summary.revolutions[i].mean[0])
          why = path + ": its mean forces differ from " + run->summary.path +
                "'s; the file does not come from this run";
      }
    }
  }
  if (why.empty()) return;
  run->h5_warning = why + "; drawn from the text files";
  h5 = H5Curves{};
}

}  // namespace

int runfiles_read_table(const std::string& path, int columns, RunTable* table, std::string* error) {
  *table = RunTable{};
  table->path = path;
  table->columns = columns;
  table->finite.assign(columns, 0);
  std::vector<double> values(columns);
  return for_each_line(path, error, [&](std::string_view line, long number) {
    const int count = parse_row(line, columns, values.data());
    if (count != columns) {
      *error = path + ": line " + std::to_string(number) + ": expected " + std::to_string(columns) +
               " numbers";
      return 0;
    }
    if (table->rows == 0) table->first_angle = columns > 1 ? values[1] : 0;
    if (values[0] == 0) ++table->revolution_starts;
    for (int c = 0; c < columns; ++c) {
      if (std::isfinite(values[c])) table->finite[c] = 1;
    }
    ++table->rows;
    return 1;
  });
}

int runfiles_read_report(const std::string& path, RunFiles* run, std::string* error) {
  run->title.clear();
  run->report_lines.clear();
  int units = -1;
  long lines = 0;
  int ok = for_each_line(path, error, [&](std::string_view line, long number) {
    lines = number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (number == 1) {
      run->title = std::string(text_trim(text_clean(line)));
    } else if (number == 2) {
      if (line != kReportRule) {
        *error = path + ": line 2: not a Corvanel report (no rule of equals signs under the title)";
        return 0;
      }
    } else {
      const std::string_view trimmed = text_trim(line);
      if (trimmed.rfind(kUnitsLabel, 0) == 0) {
        const std::string_view name = text_trim(trimmed.substr(sizeof kUnitsLabel - 1));
        units = name == "Metric" ? 1 : name == "English" ? 0 : -2;
      }
      run->report_lines.push_back(text_clean(line));
    }
    return 1;
  });
  if (!ok) return 0;
  if (lines < 2) {
    *error = path + ": not a Corvanel report (no title and rule)";
    return 0;
  }
  if (units < 0) {
    *error = path + (units == -1 ? ": no \"Data Units :\" line"
                                 : ": the \"Data Units :\" line names neither Metric nor English");
    return 0;
  }
  run->units = units;
  return 1;
}

int runfiles_read(const std::string& base, RunFiles* run, std::string* error) {
  *run = RunFiles{};
  run->base = base;
  if (!runfiles_read_report(base + ".rpt", run, error)) return 0;
  if (!read_series(base + ".dat", 5, &run->forces, error)) return 0;
  for (int i = 0; i < kRunDisplacementFiles; ++i) {
    if (!read_series(base + kRunDisplacementSuffixes[i], 3, &run->displacements[i], error)) {
      return 0;
    }
  }
  if (!runfiles_read_table(base + ".rms", 18, &run->ranges_rms, error)) return 0;
  if (!runfiles_read_table(base + ".ave", 9, &run->means, error)) return 0;
  const RunTable& forces = run->forces;
  if (forces.rows == 0) {
    *error = forces.path + ": no rows: the run recorded no revolution, so there is nothing to plot";
    return 0;
  }
  for (const RunTable& table : run->displacements) {
    if (!check_rows(table, forces.rows, forces, "row", error)) return 0;
  }
  if (!check_rows(run->ranges_rms, forces.revolution_starts, forces, "revolution", error) ||
      !check_rows(run->means, forces.revolution_starts, forces, "revolution", error)) {
    return 0;
  }
  // Step 0 of revolution r (from 0) lies at r x 360 degrees.
  run->first_revolution = static_cast<int>(std::floor(forces.first_angle / 360.0)) + 1;
  if (!check_drawable(*run, error)) return 0;
  read_summary(run);
  read_h5(run);
  return 1;
}

const char* runfiles_force_unit(int units) {
  return units != 0 ? "N" : "lbf";
}

const char* runfiles_length_unit(int units) {
  return units != 0 ? "m" : "in";
}
