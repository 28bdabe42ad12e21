#include "tests/fuzz/fuzz_support.h"

#include <dirent.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "app/entry.h"
#include "app/jobfile.h"
#include "engine/run.h"
#include "materials/matdb.h"
#include "model/params.h"
#include "model/state.h"
#include "tests/support/records.h"
#include "tests/support/test_support.h"

namespace fuzz {
namespace {

// ---------------------------------------------------------------------------
// Scratch folder and files

// Files the targets keep in the scratch folder between inputs.
const char* const kKeptFiles[] = {"job.in"};

void remove_entries(const std::string& dir, bool keep_fixed) {
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return;
  std::vector<std::string> doomed;
  while (dirent* entry = readdir(d)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    bool kept = false;
    for (const char* fixed : kKeptFiles) kept = kept || (keep_fixed && name == fixed);
    if (!kept) doomed.push_back(dir + "/" + name);
  }
  closedir(d);
  for (const std::string& path : doomed) {
    if (std::remove(path.c_str()) != 0) rmdir(path.c_str());
  }
}

std::string& scratch_path() {
  static std::string path;
  return path;
}

void remove_scratch() {
  if (scratch_path().empty()) return;
  remove_entries(scratch_path(), false);
  rmdir(scratch_path().c_str());
}

const std::string& scratch_dir() {
  std::string& path = scratch_path();
  if (path.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/corvanel-fuzz-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) {
      std::perror("corvanel fuzz: cannot create the scratch folder");
      std::abort();
    }
    path = name.data();
    std::atexit(remove_scratch);
  }
  return path;
}

// Works in the scratch folder for its lifetime, then returns to where it was.
class InScratch {
 public:
  InScratch() {
    char here[4096];
    if (getcwd(here, sizeof here) != nullptr) previous_ = here;
    if (chdir(scratch_dir().c_str()) != 0) std::abort();
  }
  ~InScratch() {
    if (!previous_.empty() && chdir(previous_.c_str()) != 0) std::abort();
  }
  InScratch(const InScratch&) = delete;
  InScratch& operator=(const InScratch&) = delete;

 private:
  std::string previous_;
};

void write_bytes(const char* name, const void* data, size_t size) {
  FILE* f = std::fopen(name, "wb");
  if (f == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
}

void write_text(const char* name, const std::string& text) {
  write_bytes(name, text.data(), text.size());
}

std::string read_bytes(const char* name) {
  std::string text;
  FILE* f = std::fopen(name, "rb");
  if (f == nullptr) return text;
  char chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) text.append(chunk, n);
  std::fclose(f);
  return text;
}

// A stream reading the bytes (empty input reads as an empty file).
FILE* open_input(const std::vector<char>& bytes) {
  if (bytes.empty()) return std::fopen("/dev/null", "r");
  return fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "r");
}

FILE* null_output() {
  static FILE* out = std::fopen("/dev/null", "w");
  return out;
}

using test_support::new_params;
using test_support::Params;

// ---------------------------------------------------------------------------
// Rules every accepted job record keeps

std::string check_text(const char* field, const char* what) {
  if (strnlen(field, kParamsTextSize) >= static_cast<size_t>(kParamsTextSize)) {
    return std::string(what) + " is not terminated within its 64 bytes";
  }
  return "";
}

std::string check_modes(const ModalSet& set, const char* structure) {
  const ModalMode* lists[] = {set.x_modes, set.y_modes, set.z_modes};
  const int32_t counts[] = {set.x_count, set.y_count, set.z_count};
  for (int axis = 0; axis < 3; ++axis) {
    if (counts[axis] < 0 || counts[axis] > kMaxModesPerDirection) {
      return std::string(structure) + " mode count " + std::to_string(counts[axis]) +
             " accepted outside 0 to 5";
    }
    if ((counts[axis] > 0) != (lists[axis] != nullptr)) {
      return std::string(structure) + " mode list does not match its count";
    }
  }
  return "";
}

std::string check_record(const SimParams* p) {
  std::string fault = check_text(p->title, "the title");
  if (fault.empty()) fault = check_text(p->workpiece_material, "the workpiece material");
  if (fault.empty()) fault = check_text(p->insert_material, "the insert material");
  if (fault.empty()) fault = check_modes(p->spindle_modes, "spindle-workpiece");
  if (fault.empty()) fault = check_modes(p->tool_modes, "tool");
  if (fault.empty() && p->angular_increments < 1) fault = "angular increments below 1 accepted";
  return fault;
}

// A job that can be written reads back as a job that writes the same file.
std::string round_trip(const SimParams* p) {
  if (!jobfile_write(p, "first.in")) return "";
  Params again = new_params();
  std::string error;
  if (!jobfile_read(again.get(), "first.in", &error)) {
    return "a job file written from an accepted job is refused: " + error;
  }
  if (!jobfile_write(again.get(), "second.in")) return "a job read back cannot be written";
  if (read_bytes("first.in") != read_bytes("second.in")) {
    return "a job file read back and written again differs from the first writing";
  }
  return "";
}

// ---------------------------------------------------------------------------
// Short simulations of accepted jobs

// Constants shaped like a real pair's: a break-in that settles, thickness
// exponents below zero (infinite coefficients at a zero chip), a row at
// every whole edge angle the intake accepts.
const char kWearDb[] =
    "STEEL CARB 3.0e4 0.05 -0.02 2.72e-12 3.0 0.4 1.32 0.1 0.2 0.634 0.1 0.2 1.32 -0.1 -0.2\n";

const std::string& coefficient_db() {
  static const std::string rows = test_support::steel_rows_at_every_angle(
      "53100 -0.35 -0.12 142500 -0.25 -0.07 18.0 -0.1 0.05");
  return rows;
}

constexpr int kMaxSimulatedSteps = 1200;  // keeps a simulated input within a few milliseconds

// Runs the job when it is accepted and short; its results go to "out.*",
// every number of which must be finite. A run whose vibration grows without
// bound stops at the first value that is not finite, before writing it.
std::string simulate_if_short(SimParams* p) {
  if (p->revs_total < 1 || p->revs_total > 3) return "";
  const int steps = 34200 / p->angular_increments;
  if (static_cast<long>(steps) * p->revs_total > kMaxSimulatedSteps) return "";
  write_text("wear.db", kWearDb);
  write_text("kfkncfa.db", coefficient_db());
  const test_support::State state = test_support::new_state();
  SimNotes notes;
  (void)sim_run(p, state.get(), "out", &notes);
  const std::string fault = test_support::non_finite_result("out");
  if (!fault.empty()) return "an accepted job wrote a number that is not finite: " + fault;
  return "";
}

// ---------------------------------------------------------------------------
// Database lookups

// The 24 database fields of the record, in a fixed order.
std::vector<double> database_fields(const SimParams* p) {
  return {p->wear_factor,       p->wear_breakin_amount,   p->wear_breakin_rate,
          p->wear_rate_coef,    p->wear_rate_speed_exp,   p->wear_rate_depth_exp,
          p->wear_force_x_coef, p->wear_force_x_feed_exp, p->wear_force_x_depth_exp,
          p->wear_force_y_coef, p->wear_force_y_feed_exp, p->wear_force_y_depth_exp,
          p->wear_force_z_coef, p->wear_force_z_feed_exp, p->wear_force_z_depth_exp,
          p->kf_coef,           p->kf_thickness_exp,      p->kf_speed_exp,
          p->kn_coef,           p->kn_thickness_exp,      p->kn_speed_exp,
          p->cfa_coef,          p->cfa_depth_exp,         p->cfa_speed_exp};
}

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// Every fgets piece of the database through matdb_parse_row, each in a heap
// block of its own length so that a read past its end is caught.
std::string parse_every_row(const std::vector<char>& database) {
  FILE* in = open_input(database);
  if (in == nullptr) std::abort();
  char line[kMatDbLineChunk + 1];
  std::string fault;
  while (fault.empty() && std::fgets(line, sizeof line, in) != nullptr) {
    const size_t length = std::strlen(line);
    std::unique_ptr<char[]> piece(new char[length + 1]);
    std::memcpy(piece.get(), line, length + 1);
    char workpiece[kMatDbWorkpieceWidth + 1];
    char insert[kMatDbInsertWidth + 1];
    double angle = 0.25;
    double values[kMatDbCoefValues] = {};
    const int parsed = matdb_parse_row(piece.get(), workpiece, insert, &angle, values);
    const size_t wl = std::strlen(workpiece);
    const size_t il = std::strlen(insert);
    if (wl > kMatDbWorkpieceWidth || il > kMatDbInsertWidth) fault = "a row name overran its field";
    if ((wl > 0 && workpiece[wl - 1] == ' ') || (il > 0 && insert[il - 1] == ' ')) {
      fault = "a row name kept a trailing blank";
    }
    if (parsed && !(std::isfinite(angle) && angle == std::floor(angle))) {
      fault = "a row angle is not a whole number";
    }
    if (!parsed && angle != 0.25) fault = "a malformed row changed the angle";
  }
  std::fclose(in);
  return fault;
}

// Splits the bytes at 0xFF into at most `count` parts.
std::vector<std::vector<char>> split_parts(const uint8_t* data, size_t size, size_t count) {
  std::vector<std::vector<char>> parts(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0xFF && parts.size() < count) {
      parts.emplace_back();
    } else {
      parts.back().push_back(static_cast<char>(data[i]));
    }
  }
  return parts;
}

void set_name(char* field, const std::vector<char>& bytes) {
  const size_t n =
      bytes.size() < static_cast<size_t>(kParamsTextSize - 1) ? bytes.size() : kParamsTextSize - 1;
  if (n > 0) std::memcpy(field, bytes.data(), n);
  field[n] = '\0';
}

double angle_of(const std::vector<char>& bytes) {
  std::string text(bytes.begin(), bytes.end());
  return std::strtod(text.c_str(), nullptr) * 0.017453292519943295;
}

}  // namespace

// ---------------------------------------------------------------------------

std::string jobfile_input(const uint8_t* data, size_t size) {
  InScratch here;
  write_bytes("fuzz.in", data, size);
  Params p = new_params();
  std::string error;
  if (!jobfile_read(p.get(), "fuzz.in", &error)) {
    if (error.empty()) return "a refused job file gave no reason";
    return "";
  }
  std::string fault = check_record(p.get());
  if (!fault.empty()) return fault;
  fault = round_trip(p.get());
  if (!fault.empty()) return fault;
  if (sim_check_job(p.get(), "out", &error)) {
    return simulate_if_short(p.get());
  } else if (error.empty()) {
    return "a refused job gave no reason";
  }
  return "";
}

std::string matdb_input(const uint8_t* data, size_t size) {
  InScratch here;
  const std::vector<std::vector<char>> parts = split_parts(data, size, 5);
  const std::vector<char> none;
  const std::vector<char>& database = parts.size() > 4 ? parts[4] : none;
  std::string fault = parse_every_row(database);
  if (!fault.empty()) return fault;

  std::remove("wear.db");
  std::remove("kfkncfa.db");
  if (parts.size() > 3) write_bytes("wear.db", parts[3].data(), parts[3].size());
  if (parts.size() > 4) write_bytes("kfkncfa.db", database.data(), database.size());

  Params literal = new_params();
  Params loaded = new_params();
  for (SimParams* p : {literal.get(), loaded.get()}) {
    set_name(p->workpiece_material, parts[0]);
    if (parts.size() > 1) set_name(p->insert_material, parts[1]);
    p->cutting_edge_angle = parts.size() > 2 ? angle_of(parts[2]) : 0.0;
    p->kf_coef = p->wear_factor = 12345.0;  // shows which fields a lookup leaves alone
  }
  const int found = matdb_lookup(literal.get());
  MatDb* db = matdb_load(loaded.get());
  if (db == nullptr) std::abort();
  const int found_loaded = matdb_lookup_loaded(db, loaded.get());
  const std::vector<double> first = database_fields(loaded.get());
  const int found_again = matdb_lookup_loaded(db, loaded.get());
  matdb_free(db);
  if (found != found_loaded) return "the loaded lookup's result differs from re-reading the files";
  if (!same_bits(database_fields(literal.get()), first)) {
    return "the loaded lookup's fields differ from re-reading the files";
  }
  if (found_again != found_loaded || !same_bits(database_fields(loaded.get()), first)) {
    return "a repeated lookup of the same key gives another answer";
  }
  return "";
}

std::string dialogue_input(const uint8_t* data, size_t size) {
  InScratch here;
  static const char kJob[] =
      "Loaded job\nT\n1\n1000\n0.2\n2\n0\n0\n0\n15\n50\n0.8\nSTEEL\nCARB\n0\n"
      "1\n2\n0.05\n20000\n30\n0\n0\n0\n0\n0\n2\n0\n342\n";
  write_text("job.in", kJob);
  std::vector<char> input(data, data + size);
  for (char& c : input) {
    if (c == '/') c = '_';
  }
  FILE* in = open_input(input);
  if (in == nullptr) std::abort();
  Params p = new_params();
  const int result = entry_interactive_from(p.get(), in, null_output());
  std::fclose(in);
  std::string fault;
  if (result) {
    fault = check_record(p.get());
    if (fault.empty()) fault = round_trip(p.get());
    std::string error;
    if (fault.empty() && !sim_check_job(p.get(), "out", &error) && error.empty()) {
      fault = "a refused job gave no reason";
    }
  }
  remove_entries(scratch_dir(), true);
  return fault;
}

}  // namespace fuzz
