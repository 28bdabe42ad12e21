#include "results/hdf5.h"

#include <emmintrin.h>
#include <hdf5.h>
#include <hdf5_hl.h>
#include <libdeflate.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

#include "model/fields.h"
#include "model/units.h"

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

// A byte plane above this many bits a byte (from its histogram) is noise
// that deflate cannot shorten: it is stored. On the six-mode job, storing
// every plane makes a 102 MB file, deflating the planes above the last
// noisy one at level 1 a 68 MB file for 0.05 s more (bench/hdf5-job.sh);
// levels 4 and 6 saved under 1 % more for 0.2 and 0.3 s.
constexpr double kNoiseBits = 7.0;

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
  // Two blocks of one chunk per channel: one filling, one being written.
  std::vector<double> block[2];  // channel c's values at c * kHdf5ChunkSteps
  int filling = 0;               // the block that hdf5_write_step fills
  int fill = 0;                  // steps in the filling block
  hsize_t rows = 0;              // steps handed to chunks so far
  // Chunk scratch of the writing side.
  std::vector<unsigned char> raw;               // a chunk's elements before the shuffle
  std::vector<unsigned char> shuffled;          // after it
  std::vector<unsigned char> compressed;        // after the deflate
  libdeflate_compressor* compressor = nullptr;  // raw deflate at kHdf5DeflateLevel
  std::thread worker;                           // writes the other block, when running
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

// The shuffle filter's byte order: byte j of element i moves to j * count + i.
// Eight-byte elements go sixteen at a time through SSE2 registers.
void shuffle_bytes(const unsigned char* in, unsigned char* out, size_t count, size_t size) {
  size_t first = 0;  // elements from here on take the plain loop
  if (size == 8) {
    for (; first + 16 <= count; first += 16) {
      // b[k]: the byte pairs of elements 2k and 2k + 1, plane by plane
      // (16-bit word j holds byte j of both); then an 8 x 8 word transpose.
      __m128i b[8], t[8], u[8], plane[8];
      for (int k = 0; k < 8; ++k) {
        const __m128i a =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + first * 8 + 16 * k));
        b[k] = _mm_unpacklo_epi8(a, _mm_shuffle_epi32(a, 0x4e));
      }
      for (int k = 0; k < 4; ++k) {
        t[2 * k] = _mm_unpacklo_epi16(b[2 * k], b[2 * k + 1]);
        t[2 * k + 1] = _mm_unpackhi_epi16(b[2 * k], b[2 * k + 1]);
      }
      for (int h = 0; h < 2; ++h) {  // pairs 0-3, then 4-7
        u[4 * h] = _mm_unpacklo_epi32(t[4 * h], t[4 * h + 2]);
        u[4 * h + 1] = _mm_unpackhi_epi32(t[4 * h], t[4 * h + 2]);
        u[4 * h + 2] = _mm_unpacklo_epi32(t[4 * h + 1], t[4 * h + 3]);
        u[4 * h + 3] = _mm_unpackhi_epi32(t[4 * h + 1], t[4 * h + 3]);
      }
      for (int k = 0; k < 4; ++k) {
        plane[2 * k] = _mm_unpacklo_epi64(u[k], u[k + 4]);
        plane[2 * k + 1] = _mm_unpackhi_epi64(u[k], u[k + 4]);
      }
      for (int k = 0; k < 8; ++k)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + first + k * count), plane[k]);
    }
  }
  for (size_t j = 0; j < size; ++j)
    for (size_t i = first; i < count; ++i) out[j * count + i] = in[i * size + j];
}

// Bits of information per byte of a byte plane, from the histogram of
// every fourth byte.
double plane_entropy(const unsigned char* plane, size_t count) {
  uint32_t histogram[256] = {};
  size_t samples = 0;
  for (size_t i = 0; i < count; i += 4, ++samples) ++histogram[plane[i]];
  double bits = 0;
  for (uint32_t n : histogram) {
    if (n == 0) continue;
    const double share = static_cast<double>(n) / static_cast<double>(samples);
    bits -= share * std::log2(share);
  }
  return bits;
}

// One zlib stream of the shuffled chunk (size planes of count bytes) into
// w->compressed, as the deflate filter writes it (header, deflate blocks,
// Adler-32 of the data); its length, or 0 on failure. The low bytes of a
// vibrating value are noise that no match finder shortens, and they come
// first: the planes up to the last noisy one go into stored blocks (a copy),
// the planes after it, the sign, exponent and leading mantissa bytes,
// through the compressor as the stream's final block.
size_t deflate_planes(Hdf5Writer* w, const unsigned char* planes, size_t count, size_t size) {
  size_t tail = size;  // first plane of the compressed tail
  while (tail > 0 && plane_entropy(planes + (tail - 1) * count, count) <= kNoiseBits) --tail;
  unsigned char* out = w->compressed.data();
  const size_t capacity = w->compressed.size();
  size_t at = 0;
  out[at++] = 0x78;  // deflate, 32 KiB window
  out[at++] = 0x01;  // no dictionary, fastest; 0x7801 is a multiple of 31
  const unsigned char* stored = planes;
  size_t left = tail * count;
  while (left > 0) {
    const size_t length = std::min<size_t>(left, 65535);
    const bool last = tail == size && length == left;
    if (at + 5 + length + 4 > capacity) return 0;
    out[at++] = last ? 1 : 0;  // BFINAL, BTYPE 00 (stored), then padding to the byte
    out[at++] = static_cast<unsigned char>(length & 0xff);
    out[at++] = static_cast<unsigned char>(length >> 8);
    out[at++] = static_cast<unsigned char>(~length & 0xff);
    out[at++] = static_cast<unsigned char>((~length >> 8) & 0xff);
    std::memcpy(out + at, stored, length);
    at += length, stored += length, left -= length;
  }
  if (tail < size) {
    const size_t bytes = libdeflate_deflate_compress(
        w->compressor, planes + tail * count, (size - tail) * count, out + at, capacity - at - 4);
    if (bytes == 0) return 0;
    at += bytes;
  }
  const uint32_t adler = libdeflate_adler32(1, planes, count * size);
  for (int shift = 24; shift >= 0; shift -= 8)
    out[at++] = static_cast<unsigned char>(adler >> shift);
  return at;
}

// Shuffles and deflates the first `steps` values of each channel of block
// (the rest of the chunk zero), extends the datasets to first_row + steps and
// writes the chunk at first_row directly: readers see an ordinary
// shuffle + deflate dataset. Runs on one thread at a time.
void write_block(Hdf5Writer* w, const double* block, int steps, hsize_t first_row) {
  if (w->failed) return;
  const size_t count = kHdf5ChunkSteps;
  for (int c = 0; c < kHdf5ChannelCount; ++c) {
    const double* values = block + static_cast<size_t>(c) * count;
    const size_t size = element_size(c);
    const auto* elements = reinterpret_cast<const unsigned char*>(values);
    if (c == HDF5_REVOLUTION || static_cast<size_t>(steps) < count) {
      // A chunk is stored whole: the part past the last step is zero.
      std::memset(w->raw.data(), 0, count * size);
      if (c == HDF5_REVOLUTION) {
        auto* ints = reinterpret_cast<int32_t*>(w->raw.data());
        for (int i = 0; i < steps; ++i) ints[i] = static_cast<int32_t>(values[i]);
      } else {
        std::memcpy(w->raw.data(), values, static_cast<size_t>(steps) * size);
      }
      elements = w->raw.data();
    }
    shuffle_bytes(elements, w->shuffled.data(), count, size);
    const size_t bytes = deflate_planes(w, w->shuffled.data(), count, size);
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

void join_worker(Hdf5Writer* w) {
  if (w->worker.joinable()) w->worker.join();
}

// Hands the filled block to the writing side and starts filling the other.
void flush_block(Hdf5Writer* w) {
  join_worker(w);
  const int full = w->filling;
  const int steps = w->fill;
  const hsize_t first = w->rows;
  w->rows += static_cast<hsize_t>(steps);
  w->filling = 1 - full;
  w->fill = 0;
  try {
    w->worker = std::thread(write_block, w, w->block[full].data(), steps, first);
  } catch (...) {  // no thread to be had: write it here
    write_block(w, w->block[full].data(), steps, first);
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
  const size_t chunk_bytes = static_cast<size_t>(kHdf5ChunkSteps) * sizeof(double);
  bool allocated = false;
  try {
    for (auto& block : w->block)
      block.assign(static_cast<size_t>(kHdf5ChunkSteps) * kHdf5ChannelCount, 0.0);
    w->raw.resize(chunk_bytes);
    w->shuffled.resize(chunk_bytes);
    w->compressor = libdeflate_alloc_compressor(kHdf5DeflateLevel);
    if (w->compressor != nullptr) {
      // The header, stored blocks (5 bytes a block of at most 65535), the
      // compressor's bound for the rest and the checksum: room for any chunk.
      w->compressed.resize(chunk_bytes + 5 * (chunk_bytes / 65535 + 1) + 6 +
                           libdeflate_deflate_compress_bound(w->compressor, chunk_bytes));
      allocated = true;
    }
  } catch (...) {
  }
  if (!allocated) {
    hdf5_free(w);
    std::fprintf(stderr, "corvanel: %s.h5: not enough memory for the HDF5 file\n", base);
    return nullptr;
  }
  w->temporary = w->path + ".part";
  errno = 0;
  w->file = H5Fcreate(w->temporary.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT);
  if (w->file < 0 || !create_steps(w)) {
    note_failure(w);
    report_failure(w, "cannot create the result file");
    hdf5_free(w);
    return nullptr;
  }
  return w;
}

void hdf5_write_step(Hdf5Writer* w, const Hdf5Step& step) {
  double* block = w->block[w->filling].data();
  const int i = w->fill;
  for (int c = 0; c < kHdf5ChannelCount; ++c)
    block[static_cast<size_t>(c) * kHdf5ChunkSteps + static_cast<size_t>(i)] = step.value[c];
  if (++w->fill == kHdf5ChunkSteps) flush_block(w);
}

int hdf5_finish(Hdf5Writer* w, const SimParams* entered, const SimParams* si, const SummaryRun& run,
                const RunSummary& summary) {
  join_worker(w);
  if (w->fill > 0) {
    write_block(w, w->block[w->filling].data(), w->fill, w->rows);
    w->rows += static_cast<hsize_t>(w->fill);
    w->fill = 0;
  }
  errno = 0;
  if (!w->failed) {
    const hid_t root = H5Gopen2(w->file, "/", H5P_DEFAULT);
    const bool ok = root >= 0 && put_root(root, entered, si, run) &&
                    put_revolutions(w->file, summary) && put_summary(w->file, summary);
    if (!close_id(root, H5Gclose) || !ok) note_failure(w);
  }
  if (!close_file(w)) note_failure(w);
  errno = 0;
  if (!w->failed && std::rename(w->temporary.c_str(), w->path.c_str()) != 0) note_failure(w);
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
  join_worker(w);
  if (w->file >= 0) close_file(w);
  if (!w->finished && !w->temporary.empty()) remove_temporary(w);
  if (w->compressor != nullptr) libdeflate_free_compressor(w->compressor);
  delete w;
}
