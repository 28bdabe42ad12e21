#include "results/hdf5.h"

#include <fcntl.h>
#include <hdf5.h>
#include <hdf5_hl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "model/fields.h"
#include "model/units.h"
#include "results/byteplanes.h"
#include "results/hdf5_buffered.h"

namespace {

struct ChannelInfo {
  const char* name;
  const char* long_name;
  const char* units;
};

constexpr ChannelInfo kChannels[kHdf5ChannelCount] = {
    {"time", "time from the start of the run", "s"},
    {"angle", "cut angle from the start of the run", "degree"},
    {"revolution", "revolution, numbered from 1", "1"},
    {"force_x", "cutting force on the tool, X (feed)", "N"},
    {"force_y", "cutting force on the tool, Y (cutting speed)", "N"},
    {"force_z", "cutting force on the tool, Z (depth of cut)", "N"},
    {"relative_x", "tool displacement relative to the workpiece, X", "m"},
    {"relative_y", "tool displacement relative to the workpiece, Y", "m"},
    {"relative_z", "tool displacement relative to the workpiece, Z", "m"},
    {"workpiece_x", "spindle-workpiece displacement, X", "m"},
    {"workpiece_y", "spindle-workpiece displacement, Y", "m"},
    {"workpiece_z", "spindle-workpiece displacement, Z", "m"},
    {"tool_x", "tool displacement, X", "m"},
    {"tool_y", "tool displacement, Y", "m"},
    {"tool_z", "tool displacement, Z", "m"},
    {"chip_thickness", "uncut chip thickness (below zero out of the cut)", "m"},
    {"depth_effective", "effective depth of cut", "m"},
    {"cutting_speed", "cutting speed", "m/min"},
    {"wear_land", "flank wear land width", "mm"},
    {"kf", "friction force coefficient Kf", "Pa"},
    {"kn", "normal force coefficient Kn", "Pa"},
};

// The channel of each of the run summary's nine per-revolution quantities:
// forces X, Y, Z, then the workpiece's and the tool's displacements.
constexpr const ChannelInfo& quantity(int q) {
  return kChannels[q < 3 ? HDF5_FORCE_X + q : HDF5_WORKPIECE_X + q - 3];
}

constexpr const char* kAxes[] = {"x", "y", "z"};

// Steps shuffled together into the byte planes.
constexpr int kGroupSteps = 16;

// Bytes from a byte plane of the chunk to the next: one cache line more
// than a plane, so that the 164 planes that a group's shuffle writes to do
// not all fall into the same sets of the cache.
constexpr size_t kPlaneStride = kHdf5ChunkSteps + 64;

// Bytes of one element of a channel's dataset.
size_t element_size(int channel) {
  return channel == HDF5_REVOLUTION ? 4 : 8;
}

// Closes an HDF5 identifier when it is valid; false when the close failed.
bool close_id(hid_t id, herr_t (*close)(hid_t)) {
  return id < 0 || close(id) >= 0;
}

}  // namespace

struct Hdf5Writer {
  std::string path;       // BASE.h5
  std::string temporary;  // BASE.h5.part
  hid_t file = -1;
  hid_t steps = -1;  // the /steps group
  hid_t datasets[kHdf5ChannelCount];
  // The last steps, channel by channel, until a group of kGroupSteps is
  // shuffled into the chunk's byte planes while it is still in the cache.
  alignas(16) double group[kHdf5ChannelCount][kGroupSteps];
  // The chunk being filled, shuffled: channel c's plane j at
  // (c * 8 + j) * kPlaneStride.
  std::vector<unsigned char> planes;
  int fill = 0;                           // steps in the chunk
  hsize_t rows = 0;                       // steps written in earlier chunks
  std::vector<unsigned char> compressed;  // one channel's chunk, deflated
  bool failed = false;
  int error_number = 0;  // errno of the first failure, 0 when none was set
  bool finished = false;
};

namespace {

// Remembers the first failure, with errno when the call set it.
void note_failure(Hdf5Writer* w) {
  if (!w->failed) w->error_number = errno;
  w->failed = true;
}

// The byte planes of channel c in the chunk.
unsigned char* planes_of(Hdf5Writer* w, int c) {
  return w->planes.data() + static_cast<size_t>(c) * 8 * kPlaneStride;
}

// Shuffles the group's `steps` steps into the byte planes from step `first`
// of the chunk on.
void shuffle_group(Hdf5Writer* w, int first, int steps) {
  for (int c = 0; c < kHdf5ChannelCount; ++c) {
    unsigned char* planes = planes_of(w, c) + first;
    if (c == HDF5_REVOLUTION) {
      int32_t numbers[kGroupSteps];
      for (int i = 0; i < steps; ++i) numbers[i] = static_cast<int32_t>(w->group[c][i]);
      byteplanes_shuffle(reinterpret_cast<const unsigned char*>(numbers), planes,
                         static_cast<size_t>(steps), sizeof(int32_t), kPlaneStride);
    } else {
      byteplanes_shuffle(reinterpret_cast<const unsigned char*>(w->group[c]), planes,
                         static_cast<size_t>(steps), sizeof(double), kPlaneStride);
    }
  }
}

// Shuffles the last steps, zeroes the chunk past them (a chunk is stored
// whole), deflates each channel's planes, extends the datasets and writes
// the chunks directly: readers see an ordinary shuffle + deflate dataset.
void write_chunk(Hdf5Writer* w) {
  const int steps = w->fill;
  const int grouped = steps - steps % kGroupSteps;
  if (steps > grouped) shuffle_group(w, grouped, steps - grouped);
  const size_t count = kHdf5ChunkSteps;
  const hsize_t first_row = w->rows;
  w->rows += static_cast<hsize_t>(steps);
  w->fill = 0;
  if (w->failed) return;
  for (int c = 0; c < kHdf5ChannelCount; ++c) {
    const size_t size = element_size(c);
    unsigned char* planes = planes_of(w, c);
    if (static_cast<size_t>(steps) < count)
      for (size_t j = 0; j < size; ++j)
        std::memset(planes + j * kPlaneStride + steps, 0, count - static_cast<size_t>(steps));
    const size_t bytes = byteplanes_zlib(planes, count, size, kPlaneStride, w->compressed.data(),
                                         w->compressed.size());
    const hsize_t extent[1] = {first_row + static_cast<hsize_t>(steps)};
    const hsize_t offset[1] = {first_row};
    errno = 0;
    if (bytes == 0 || H5Dset_extent(w->datasets[c], extent) < 0 ||
        H5Dwrite_chunk(w->datasets[c], H5P_DEFAULT, 0, offset, bytes, w->compressed.data()) < 0) {
      note_failure(w);
      return;
    }
  }
}

hid_t string_type() {
  const hid_t type = H5Tcopy(H5T_C_S1);
  if (type < 0) return type;
  H5Tset_size(type, H5T_VARIABLE);
  H5Tset_cset(type, H5T_CSET_UTF8);
  return type;
}

// Writes a scalar attribute; false on failure.
bool put_attribute(hid_t object, const char* name, hid_t type, const void* value) {
  const hid_t space = H5Screate(H5S_SCALAR);
  const hid_t attribute = H5Acreate2(object, name, type, space, H5P_DEFAULT, H5P_DEFAULT);
  const bool ok = attribute >= 0 && H5Awrite(attribute, type, value) >= 0;
  return close_id(attribute, H5Aclose) & close_id(space, H5Sclose) && ok;
}

bool put_text(hid_t object, const char* name, const char* text) {
  const hid_t type = string_type();
  const char* value = text;
  const bool ok = type >= 0 && put_attribute(object, name, type, &value);
  return close_id(type, H5Tclose) && ok;
}

bool put_double(hid_t object, const char* name, double value) {
  return put_attribute(object, name, H5T_NATIVE_DOUBLE, &value);
}

bool put_int(hid_t object, const char* name, int value) {
  const int32_t v = value;
  return put_attribute(object, name, H5T_NATIVE_INT32, &v);
}

bool put_doubles(hid_t object, const char* name, const std::vector<double>& values) {
  const hsize_t dims[1] = {values.size()};
  const hid_t space = H5Screate_simple(1, dims, nullptr);
  const hid_t attribute =
      H5Acreate2(object, name, H5T_NATIVE_DOUBLE, space, H5P_DEFAULT, H5P_DEFAULT);
  const bool ok = attribute >= 0 && H5Awrite(attribute, H5T_NATIVE_DOUBLE, values.data()) >= 0;
  return close_id(attribute, H5Aclose) & close_id(space, H5Sclose) && ok;
}

// The CF attributes of a dataset.
bool put_cf(hid_t dataset, const char* long_name, const char* units) {
  return put_text(dataset, "long_name", long_name) && put_text(dataset, "units", units);
}

// "2026-01-31T12:00:00Z": now, UTC.
std::string creation_time() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

// The job's numbers as root attributes: PREFIX_KEY and PREFIX_KEY_units, the
// modes as PREFIX_workpiece_x_mass lists (with _count and _units).
bool put_job_numbers(hid_t root, const SimParams* p, const char* prefix, bool entered) {
  const bool english = p->units == 0;
  bool ok = true;
  for (const EnteredNumber& n : kEnteredNumbers) {
    const std::string key = std::string(prefix) + "_" + n.key;
    ok = ok && put_double(root, key.c_str(), p->*n.field) &&
         put_text(root, (key + "_units").c_str(),
                  entered ? (english ? n.english_unit : n.metric_unit) : n.engine_unit);
  }
  const struct {
    const char* name;
    const ModalSet* set;
  } structures[] = {{"workpiece", &p->spindle_modes}, {"tool", &p->tool_modes}};
  for (const auto& s : structures) {
    const ModalMode* lists[] = {s.set->x_modes, s.set->y_modes, s.set->z_modes};
    const int counts[] = {s.set->x_count, s.set->y_count, s.set->z_count};
    for (int a = 0; a < 3; ++a) {
      const std::string stem = std::string(prefix) + "_" + s.name + "_" + kAxes[a];
      ok = ok && put_int(root, (stem + "_count").c_str(), counts[a]);
      if (counts[a] <= 0) continue;
      for (const ModeNumber& n : kModeNumbers) {
        std::vector<double> values;
        for (int i = 0; i < counts[a]; ++i) values.push_back(lists[a][i].*n.field);
        const std::string key = stem + "_" + n.key;
        ok = ok && put_doubles(root, key.c_str(), values) &&
             put_text(root, (key + "_units").c_str(),
                      entered ? (english ? n.english_unit : n.metric_unit) : n.engine_unit);
      }
    }
  }
  return ok;
}

bool put_root(hid_t root, const SimParams* entered, const SimParams* si, const SummaryRun& run) {
  char engine[16];
  std::snprintf(engine, sizeof engine, "%u.%02u", run.engine_version >> 16,
                run.engine_version & 0xffffu);
  bool ok = put_text(root, "program", "corvanel") &&
            put_text(root, "program_version", run.program_version) &&
            put_text(root, "engine_version", engine) &&
            put_text(root, "created", creation_time().c_str()) &&
            put_text(root, "title", entered->title) &&
            put_text(root, "process", std::string(1, entered->process).c_str()) &&
            put_text(root, "unit_system", entered->units == 0 ? "english" : "metric") &&
            put_text(root, "workpiece_material", entered->workpiece_material) &&
            put_text(root, "insert_material", entered->insert_material) &&
            put_text(root, "calculation", entered->calc_type == 0 ? "average" : "instantaneous") &&
            put_int(root, "revolutions", entered->revs_total) &&
            put_int(root, "revolutions_skipped", entered->revs_skipped) &&
            put_int(root, "angular_increments", entered->angular_increments) &&
            put_int(root, "steps_per_revolution", run.steps_per_rev) &&
            put_double(root, "time_step", run.time_step) && put_text(root, "time_step_units", "s");
  ok = ok && put_job_numbers(root, entered, "entered", true) &&
       put_job_numbers(root, si, "si", false);
  ok = ok && put_text(root, "wear_file", "wear.db") &&
       put_text(root, "coefficient_file", si->database_file);
  for (const DatabaseNumber& n : kWearNumbers)
    ok = ok && put_double(root, (std::string("wear_record_") + n.key).c_str(), si->*n.field);
  for (const DatabaseNumber& n : kCoefficientNumbers)
    ok = ok && put_double(root, (std::string("coefficient_row_") + n.key).c_str(), si->*n.field);
  return ok && put_double(root, "edge_angle_deg", si->cutting_edge_angle / kDegToRad);
}

// A one-dimensional dataset of `values` under group, with its CF attributes.
hid_t put_dataset(hid_t group, const char* name, hid_t type, const void* values, hsize_t count,
                  const char* long_name, const char* units) {
  const hsize_t dims[1] = {count};
  const hid_t space = H5Screate_simple(1, dims, nullptr);
  hid_t dataset = H5Dcreate2(group, name, type, space, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
  close_id(space, H5Sclose);
  if (dataset < 0) return dataset;
  if ((count > 0 && H5Dwrite(dataset, type, H5S_ALL, H5S_ALL, H5P_DEFAULT, values) < 0) ||
      !put_cf(dataset, long_name, units)) {
    H5Dclose(dataset);
    return -1;
  }
  return dataset;
}

// /revolutions: the summary's per-revolution values, revolution their scale.
bool put_revolutions(hid_t file, const RunSummary& s) {
  const hid_t group = H5Gcreate2(file, "revolutions", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
  if (group < 0) return false;
  const size_t n = s.revolutions.size();
  std::vector<int32_t> numbers(n), out_of_cut(n);
  for (size_t i = 0; i < n; ++i) {
    numbers[i] = s.revolutions[i].revolution + 1;
    out_of_cut[i] = s.revolutions[i].left_cut_steps;
  }
  const hid_t scale = put_dataset(group, "revolution", H5T_NATIVE_INT32, numbers.data(), n,
                                  "recorded revolution, numbered from 1", "1");
  bool ok = scale >= 0 && H5DSset_scale(scale, "revolution") >= 0;
  auto add = [&](const char* name, hid_t type, const void* values, const char* long_name,
                 const char* units) {
    if (!ok) return;
    const hid_t dataset = put_dataset(group, name, type, values, n, long_name, units);
    ok = dataset >= 0 && H5DSattach_scale(dataset, scale, 0) >= 0;
    ok = close_id(dataset, H5Dclose) && ok;
  };
  std::vector<double> column(n);
  const struct {
    const char* suffix;
    const char* what;
    double const (SummaryRevolution::*values)[kSummaryQuantities];
  } statistics[] = {{"range", "range (maximum less minimum) of the", &SummaryRevolution::range},
                    {"rms", "RMS deviation from the mean of the", &SummaryRevolution::rms},
                    {"mean", "mean of the", &SummaryRevolution::mean}};
  for (const auto& statistic : statistics) {
    for (int q = 0; q < kSummaryQuantities; ++q) {
      for (size_t i = 0; i < n; ++i) column[i] = (s.revolutions[i].*statistic.values)[q];
      const std::string name = std::string(quantity(q).name) + "_" + statistic.suffix;
      const std::string long_name = std::string(statistic.what) + " " + quantity(q).long_name;
      add(name.c_str(), H5T_NATIVE_DOUBLE, column.data(), long_name.c_str(), quantity(q).units);
    }
  }
  for (size_t i = 0; i < n; ++i) column[i] = s.revolutions[i].relative_x;
  add("relative_x_at_step_0", H5T_NATIVE_DOUBLE, column.data(),
      "relative X displacement at step 0 of the revolution", "m");
  for (size_t i = 0; i < n; ++i) column[i] = s.revolutions[i].vibration;
  add("relative_x_vibration", H5T_NATIVE_DOUBLE, column.data(),
      "RMS of the relative X displacement about its mean over the revolution", "m");
  add("steps_out_of_cut", H5T_NATIVE_INT32, out_of_cut.data(),
      "steps whose chip thickness fell below zero", "1");
  ok = close_id(scale, H5Dclose) && ok;
  return close_id(group, H5Gclose) && ok;
}

// /summary: the verdict, growth rate, dominant frequency and forces.
bool put_summary(hid_t file, const RunSummary& s) {
  const hid_t group = H5Gcreate2(file, "summary", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
  if (group < 0) return false;
  bool ok = put_text(group, "verdict", s.verdict) &&
            put_text(group, "verdict_rule", s.verdict_rule) &&
            put_double(group, "growth_rate_per_revolution", s.growth_rate) &&
            put_double(group, "growth_rate_standard_error", s.growth_rate_sd) &&
            put_double(group, "scatter_vibration_m", s.scatter_floor) &&
            put_double(group, "dominant_frequency_Hz", s.peak_frequency) &&
            put_double(group, "frequency_resolution_Hz", s.peak_resolution) &&
            put_double(group, "amplitude_m", s.peak_amplitude);
  for (int a = 0; a < 3 && ok; ++a) {
    const std::string stem = std::string("force_") + kAxes[a];
    const SummaryForce& f = s.force[a];
    ok = put_double(group, (stem + "_mean_N").c_str(), f.mean) &&
         put_double(group, (stem + "_min_N").c_str(), f.min) &&
         put_double(group, (stem + "_max_N").c_str(), f.max) &&
         put_double(group, (stem + "_peak_to_peak_N").c_str(), f.max - f.min);
  }
  return close_id(group, H5Gclose) && ok;
}

// The /steps datasets: empty, extendible, in chunks of kHdf5ChunkSteps with
// shuffle and deflate, time the scale of the others.
bool create_steps(Hdf5Writer* w) {
  w->steps = H5Gcreate2(w->file, "steps", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
  if (w->steps < 0) return false;
  const hsize_t dims[1] = {0}, max_dims[1] = {H5S_UNLIMITED}, chunk[1] = {kHdf5ChunkSteps};
  const hid_t space = H5Screate_simple(1, dims, max_dims);
  const hid_t properties = H5Pcreate(H5P_DATASET_CREATE);
  bool ok = space >= 0 && properties >= 0 && H5Pset_chunk(properties, 1, chunk) >= 0 &&
            H5Pset_shuffle(properties) >= 0 && H5Pset_deflate(properties, kHdf5DeflateLevel) >= 0;
  for (int c = 0; c < kHdf5ChannelCount && ok; ++c) {
    const hid_t type = c == HDF5_REVOLUTION ? H5T_STD_I32LE : H5T_IEEE_F64LE;
    w->datasets[c] =
        H5Dcreate2(w->steps, kChannels[c].name, type, space, H5P_DEFAULT, properties, H5P_DEFAULT);
    ok = w->datasets[c] >= 0 && put_cf(w->datasets[c], kChannels[c].long_name, kChannels[c].units);
  }
  ok = ok && H5DSset_scale(w->datasets[HDF5_TIME], "time") >= 0;
  for (int c = 0; c < kHdf5ChannelCount && ok; ++c) {
    if (c != HDF5_TIME) ok = H5DSattach_scale(w->datasets[c], w->datasets[HDF5_TIME], 0) >= 0;
  }
  close_id(properties, H5Pclose);
  close_id(space, H5Sclose);
  return ok;
}

// Closes every object and the file; false when any close failed (the file's
// close writes what is left of its metadata).
bool close_file(Hdf5Writer* w) {
  bool ok = true;
  for (hid_t& dataset : w->datasets) {
    ok = close_id(dataset, H5Dclose) && ok;
    dataset = -1;
  }
  ok = close_id(w->steps, H5Gclose) && ok;
  w->steps = -1;
  errno = 0;
  ok = close_id(w->file, H5Fclose) && ok;
  w->file = -1;
  return ok;
}

// Removes the temporary file; only a plain file of that name is ours (a
// folder or a link of that name stays).
// Puts the finished file at `path` in one step, whatever was there before;
// false (errno set) on failure, with `path` unchanged. An earlier file is
// swapped out and then removed rather than renamed over: renaming over a
// file makes ext4 write the new one's 70 MB out at once, on the run's time
// (its writeback then waits for the disk); swapped, the kernel writes it
// back later, as it does a new file.
bool replace_file(const char* temporary, const char* path) {
  struct stat earlier;
  if (lstat(path, &earlier) == 0 && S_ISREG(earlier.st_mode) &&
      renameat2(AT_FDCWD, temporary, AT_FDCWD, path, RENAME_EXCHANGE) == 0) {
    std::remove(temporary);  // the earlier file; left behind it is overwritten next time
    return true;
  }
  return std::rename(temporary, path) == 0;  // no earlier file, or no exchange here
}

void remove_temporary(const Hdf5Writer* w) {
  struct stat status;
  if (lstat(w->temporary.c_str(), &status) == 0 && S_ISREG(status.st_mode))
    std::remove(w->temporary.c_str());
}

void report_failure(const Hdf5Writer* w, const char* what) {
  std::fprintf(stderr, "corvanel: %s: %s%s%s\n", w->path.c_str(), what,
               w->error_number != 0 ? ": " : "",
               w->error_number != 0 ? std::strerror(w->error_number) : "");
}

}  // namespace

const char* hdf5_channel_name(int c) {
  return c >= 0 && c < kHdf5ChannelCount ? kChannels[c].name : nullptr;
}

const char* hdf5_channel_long_name(int c) {
  return c >= 0 && c < kHdf5ChannelCount ? kChannels[c].long_name : nullptr;
}

const char* hdf5_channel_units(int c) {
  return c >= 0 && c < kHdf5ChannelCount ? kChannels[c].units : nullptr;
}

Hdf5Writer* hdf5_create(const char* base) {
  auto* w = new (std::nothrow) Hdf5Writer;
  if (w == nullptr) {
    std::fprintf(stderr, "corvanel: %s.h5: not enough memory for the HDF5 file\n", base);
    return nullptr;
  }
  for (hid_t& dataset : w->datasets) dataset = -1;
  w->path = hdf5_path(base);
  // A file whose close failed (its last writes did not fit) leaves an
  // identifier that the library's exit handler cannot close without
  // crashing: the process's exit releases everything anyway. (Only the
  // first HDF5 call of a process can say so; later ones fail harmlessly.)
  H5dont_atexit();
  // The library's own error stack would print pages; one line names the file.
  H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
  bool allocated = false;
  try {
    w->planes.resize(static_cast<size_t>(kHdf5ChannelCount) * 8 * kPlaneStride);
    w->compressed.resize(byteplanes_zlib_bound(kHdf5ChunkSteps, sizeof(double)));
    allocated = true;
  } catch (...) {
  }
  if (!allocated) {
    hdf5_free(w);
    std::fprintf(stderr, "corvanel: %s.h5: not enough memory for the HDF5 file\n", base);
    return nullptr;
  }
  w->temporary = w->path + ".part";
  errno = 0;
  const hid_t access = hdf5_buffered_access();
  w->file = H5Fcreate(w->temporary.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT,
                      access >= 0 ? access : H5P_DEFAULT);
  if (access >= 0) H5Pclose(access);
  if (w->file < 0 || !create_steps(w)) {
    note_failure(w);
    report_failure(w, "cannot create the result file");
    hdf5_free(w);
    return nullptr;
  }
  return w;
}

void hdf5_write_step(Hdf5Writer* w, const Hdf5Step& step) {
  const int i = w->fill % kGroupSteps;
#pragma GCC unroll 32
  for (int c = 0; c < kHdf5ChannelCount; ++c) w->group[c][i] = step.value[c];
  if (i == kGroupSteps - 1) shuffle_group(w, w->fill - i, kGroupSteps);
  if (++w->fill == kHdf5ChunkSteps) write_chunk(w);
}

int hdf5_finish(Hdf5Writer* w, const SimParams* entered, const SimParams* si, const SummaryRun& run,
                const RunSummary& summary) {
  if (w->fill > 0) write_chunk(w);
  errno = 0;
  if (!w->failed) {
    const hid_t root = H5Gopen2(w->file, "/", H5P_DEFAULT);
    const bool ok = root >= 0 && put_root(root, entered, si, run) &&
                    put_revolutions(w->file, summary) && put_summary(w->file, summary);
    if (!close_id(root, H5Gclose) || !ok) note_failure(w);
  }
  if (!close_file(w)) note_failure(w);
  errno = 0;
  if (!w->failed && !replace_file(w->temporary.c_str(), w->path.c_str())) note_failure(w);
  if (w->failed) {
    remove_temporary(w);
    report_failure(w, "writing the result file failed");
    return 0;
  }
  w->finished = true;
  return 1;
}

void hdf5_free(Hdf5Writer* w) {
  if (w == nullptr) return;
  if (w->file >= 0) close_file(w);
  if (!w->finished && !w->temporary.empty()) remove_temporary(w);
  delete w;
}
