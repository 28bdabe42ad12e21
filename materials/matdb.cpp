#include "materials/matdb.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <string_view>

#include "model/fields.h"
#include "model/rounding.h"

namespace {

constexpr const char* kWearFileName = "wear.db";
constexpr double kDegreesToRadians = 0.017453292519943295;
constexpr int kLineBufferSize = kMatDbLineChunk + 1;  // one fgets read and its terminator
constexpr int kAngleColumn = kMatDbWorkpieceWidth + kMatDbInsertWidth;  // 0-based column 49

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

File open_for_reading(const char* name) {
  return File(std::fopen(name, "r"));
}

bool is_space(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// A job text field: at most its buffer, up to the terminator.
std::string_view job_text(const char* field) {
  return std::string_view(field, strnlen(field, kParamsTextSize));
}

bool prefix_matches(std::string_view file_name, std::string_view job_name) {
  return file_name.size() <= job_name.size() &&
         std::memcmp(file_name.data(), job_name.data(), file_name.size()) == 0;
}

// What a lookup searches for.
struct LookupKey {
  std::string_view workpiece;
  std::string_view insert;
  int angle;  // whole degrees
};

LookupKey key_of(const SimParams* params) {
  return {job_text(params->workpiece_material), job_text(params->insert_material),
          matdb_angle_key(params->cutting_edge_angle)};
}

bool wear_matches(const MatDbWearRecord& record, const LookupKey& key) {
  return prefix_matches(record.workpiece, key.workpiece) &&
         prefix_matches(record.insert, key.insert);
}

bool row_matches(const MatDbRow& row, const LookupKey& key) {
  return prefix_matches(row.workpiece, key.workpiece) && prefix_matches(row.insert, key.insert) &&
         row.angle == static_cast<double>(key.angle);
}

static_assert(std::size(kWearNumbers) == kMatDbWearValues);
static_assert(std::size(kCoefficientNumbers) == kMatDbCoefValues);

// The fifteen wear numbers, in file order, into the job.
void store_wear(SimParams* params, const double* v) {
  for (const DatabaseNumber& n : kWearNumbers) params->*n.field = *v++;
}

// The nine coefficient numbers, in file order, into the job.
void store_coefficients(SimParams* params, const double* v) {
  for (const DatabaseNumber& n : kCoefficientNumbers) params->*n.field = *v++;
}

// A whole token read as a number, as strtod reads it (nan and inf included,
// overflow gives +-inf). Trailing characters make the token unreadable.
bool token_number(const std::string& token, double* value) {
  if (token.empty() || std::memchr(token.data(), '\0', token.size()) != nullptr) return false;
  char* end = nullptr;
  double parsed = std::strtod(token.c_str(), &end);
  if (end != token.c_str() + token.size()) return false;
  *value = parsed;
  return true;
}

// White-space separated tokens of the wear file, of any length, with one
// token of look-ahead so that a record can be restarted at a given token.
class WearTokens {
 public:
  explicit WearTokens(FILE* file) : file_(file) {}

  bool next(std::string& token) {
    if (held_) {
      held_ = false;
      token.swap(held_token_);
      return true;
    }
    token.clear();
    int c;
    while ((c = std::getc(file_)) != EOF && is_space(static_cast<char>(c))) {
    }
    while (c != EOF && !is_space(static_cast<char>(c))) {
      token.push_back(static_cast<char>(c));
      c = std::getc(file_);
    }
    return !token.empty();
  }

  void put_back(std::string& token) {
    held_token_.swap(token);
    held_ = true;
  }

 private:
  FILE* file_;
  std::string held_token_;
  bool held_ = false;
};

// Next complete record: two names and fifteen numbers. A record whose number
// cannot be read is dropped and reading restarts at the offending token, which
// becomes the workpiece name of the next record (a record missing numbers
// then does not take the next record with it). False at the end of the file;
// an incomplete record at the end is dropped.
bool read_wear_record(WearTokens& tokens, MatDbWearRecord& record, std::string& scratch) {
  for (;;) {
    if (!tokens.next(record.workpiece) || !tokens.next(record.insert)) return false;
    int read = 0;
    while (read < kMatDbWearValues) {
      if (!tokens.next(scratch)) return false;
      if (!token_number(scratch, &record.values[read])) break;
      ++read;
    }
    if (read == kMatDbWearValues) return true;
    tokens.put_back(scratch);
  }
}

// Copies up to `width` characters of the line from `start`, stopping at its end.
void copy_field(const char* line, size_t length, size_t start, int width, char* out) {
  size_t count = 0;
  const size_t field = static_cast<size_t>(width);
  if (length > start) count = length - start < field ? length - start : field;
  std::memcpy(out, line + start, count);
  out[count] = '\0';
}

// Optionally signed whole number ending at white space; advances text.
bool read_angle(const char*& text, double* angle) {
  char* end = nullptr;
  errno = 0;
  long value = std::strtol(text, &end, 10);
  if (end == text || errno == ERANGE || !is_space(*end)) return false;
  *angle = static_cast<double>(value);
  text = end;
  return true;
}

// Decimal number ending at white space or at the end of the text; advances text.
bool read_number(const char*& text, double* value) {
  char* end = nullptr;
  double parsed = std::strtod(text, &end);
  if (end == text || (*end != '\0' && !is_space(*end))) return false;
  *value = parsed;
  text = end;
  return true;
}

// Reads one fgets piece after another, handing each well-formed row to `use`
// until it returns false. False when the file had a read error.
template <typename RowFn>
bool for_each_row(FILE* file, RowFn use) {
  char line[kLineBufferSize];
  MatDbRow row;
  bool going = true;
  while (std::fgets(line, sizeof line, file) != nullptr) {
    if (!going) continue;  // read through to the end: a read error anywhere counts
    if (matdb_parse_row(line, row.workpiece, row.insert, &row.angle, row.values)) going = use(row);
  }
  return std::ferror(file) == 0;
}

bool read_all_wear(FILE* file, std::vector<MatDbWearRecord>& out) {
  WearTokens tokens(file);
  MatDbWearRecord record;
  std::string scratch;
  while (read_wear_record(tokens, record, scratch)) out.push_back(record);
  return std::ferror(file) == 0;
}

// errno of a failed open or read; EIO when the library left none.
int failure_errno() {
  return errno != 0 ? errno : EIO;
}

void load_wear(MatDb* db) {
  errno = 0;
  File file = open_for_reading(kWearFileName);
  if (!file) {
    db->wear_error = failure_errno();
    return;
  }
  if (read_all_wear(file.get(), db->wear)) {
    db->wear_opened = 1;
  } else {
    db->wear_error = failure_errno();
    db->wear.clear();
  }
}

void load_rows(MatDb* db) {
  errno = 0;
  File file = open_for_reading(db->database_file.c_str());
  if (!file) {
    db->database_error = failure_errno();
    return;
  }
  bool read = for_each_row(file.get(), [db](const MatDbRow& row) {
    db->rows.push_back(row);
    return true;
  });
  if (read) {
    db->database_opened = 1;
  } else {
    db->database_error = failure_errno();
    db->rows.clear();
  }
}

// A name in capitals without blanks, for matching names typed differently.
std::string folded(std::string_view name) {
  std::string text;
  for (char c : name) {
    if (is_space(c)) continue;
    text.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
  }
  return text;
}

// Fills the cache for the key: last matching wear record, first matching row.
void search_loaded(const MatDb* db, const LookupKey& key, MatDbLastLookup& last) {
  last.wear_index = -1;
  for (size_t i = 0; i < db->wear.size(); ++i) {
    if (wear_matches(db->wear[i], key)) last.wear_index = static_cast<int>(i);
  }
  last.row_index = -1;
  for (size_t i = 0; i < db->rows.size(); ++i) {
    if (row_matches(db->rows[i], key)) {
      last.row_index = static_cast<int>(i);
      break;
    }
  }
}

bool same_text(const char* cached, std::string_view job) {
  return job.size() < static_cast<size_t>(kParamsTextSize) && cached[job.size()] == '\0' &&
         std::memcmp(cached, job.data(), job.size()) == 0;
}

void remember_key(MatDbLastLookup& last, const LookupKey& key) {
  // Names of 64 unterminated bytes cannot be cached: leave the entry invalid.
  last.valid = key.workpiece.size() < static_cast<size_t>(kParamsTextSize) &&
               key.insert.size() < static_cast<size_t>(kParamsTextSize);
  if (!last.valid) return;
  std::memcpy(last.workpiece, key.workpiece.data(), key.workpiece.size());
  last.workpiece[key.workpiece.size()] = '\0';
  std::memcpy(last.insert, key.insert.data(), key.insert.size());
  last.insert[key.insert.size()] = '\0';
  last.angle_key = key.angle;
}

int lookup_literal(SimParams* params) {
  File wear = open_for_reading(kWearFileName);
  if (!wear) return 0;
  std::string database_name(job_text(params->database_file));
  File database = open_for_reading(database_name.c_str());
  if (!database) return 0;
  const LookupKey key = key_of(params);

  // Nothing is stored until both files have been read without error.
  WearTokens tokens(wear.get());
  MatDbWearRecord record;
  std::string scratch;
  double wear_values[kMatDbWearValues] = {};
  bool wear_found = false;
  while (read_wear_record(tokens, record, scratch)) {
    if (!wear_matches(record, key)) continue;
    std::memcpy(wear_values, record.values, sizeof wear_values);
    wear_found = true;
  }
  if (std::ferror(wear.get()) != 0) return 0;
  wear.reset();

  double coefficients[kMatDbCoefValues] = {};
  bool row_found = false;
  bool read = for_each_row(database.get(), [&](const MatDbRow& row) {
    if (!row_matches(row, key)) return true;
    std::memcpy(coefficients, row.values, sizeof coefficients);
    row_found = true;
    return false;
  });
  if (!read) return 0;

  if (wear_found) store_wear(params, wear_values);
  if (!row_found) return 0;
  store_coefficients(params, coefficients);
  return 1;
}

}  // namespace

void matdb_trim_right(char* text, int width) {
  if (width <= 0) {
    if (width == 0) text[0] = '\0';
    return;
  }
  size_t end = strnlen(text, static_cast<size_t>(width));
  while (end > 0 && text[end - 1] == ' ') --end;
  text[end] = '\0';
}

int matdb_parse_row(const char* line, char* workpiece_name, char* insert_name, double* angle,
                    double values[kMatDbCoefValues]) {
  const size_t length = std::strlen(line);
  copy_field(line, length, 0, kMatDbWorkpieceWidth, workpiece_name);
  matdb_trim_right(workpiece_name, kMatDbWorkpieceWidth);
  copy_field(line, length, kMatDbWorkpieceWidth, kMatDbInsertWidth, insert_name);
  matdb_trim_right(insert_name, kMatDbInsertWidth);
  if (length <= static_cast<size_t>(kAngleColumn)) return 0;

  // Read into locals: a malformed row leaves angle and values untouched.
  const char* text = line + kAngleColumn;
  double row_angle;
  double row_values[kMatDbCoefValues];
  if (!read_angle(text, &row_angle)) return 0;
  for (double& value : row_values) {
    if (!read_number(text, &value)) return 0;
  }
  *angle = row_angle;
  std::memcpy(values, row_values, sizeof row_values);
  return 1;
}

int matdb_angle_key(double cutting_edge_angle) {
  return round_half_away(cutting_edge_angle / kDegreesToRadians);
}

int matdb_name_matches(const char* file_name, const char* job_name) {
  return prefix_matches(file_name, job_name) ? 1 : 0;
}

int matdb_lookup(SimParams* params) {
  try {
    return lookup_literal(params);
  } catch (const std::bad_alloc&) {
    return 0;  // a wear token larger than memory; nothing was stored
  }
}

MatDb* matdb_load(const SimParams* params) {
  MatDb* db = new (std::nothrow) MatDb();
  if (db == nullptr) return nullptr;
  try {
    db->database_file = job_text(params->database_file);
    load_wear(db);
    load_rows(db);
  } catch (const std::bad_alloc&) {
    delete db;
    return nullptr;
  }
  db->last.valid = 0;
  return db;
}

int matdb_load_coefficients(MatDb* db, const char* path) {
  try {
    *db = MatDb{};
    db->database_file = path;
    db->wear_opened = 1;  // no wear records
    load_rows(db);
  } catch (const std::bad_alloc&) {
    db->rows.clear();
    db->database_opened = 0;
    db->database_error = ENOMEM;
  }
  errno = db->database_error;
  return db->database_opened;
}

int matdb_lookup_loaded(const MatDb* db, SimParams* params) {
  if (db == nullptr || !db->wear_opened || !db->database_opened) return 0;
  const LookupKey key = key_of(params);
  MatDbLastLookup& last = db->last;
  if (!last.valid || last.angle_key != key.angle || !same_text(last.workpiece, key.workpiece) ||
      !same_text(last.insert, key.insert)) {
    search_loaded(db, key, last);
    remember_key(last, key);
  }
  if (last.wear_index >= 0) store_wear(params, db->wear[last.wear_index].values);
  if (last.row_index < 0) return 0;
  store_coefficients(params, db->rows[last.row_index].values);
  return 1;
}

int matdb_has_wear(const MatDb* db, const SimParams* params) {
  if (db == nullptr) return 0;
  const LookupKey key = key_of(params);
  for (const MatDbWearRecord& record : db->wear) {
    if (wear_matches(record, key)) return 1;
  }
  return 0;
}

std::vector<std::string> matdb_pairs_like(const MatDb* db, const SimParams* params) {
  std::vector<std::string> pairs;
  if (db == nullptr) return pairs;
  const LookupKey key = key_of(params);
  const std::string workpiece = folded(key.workpiece);
  const std::string insert = folded(key.insert);
  for (const MatDbRow& row : db->rows) {
    if (!prefix_matches(folded(row.workpiece), workpiece) ||
        !prefix_matches(folded(row.insert), insert)) {
      continue;
    }
    const std::string pair = std::string(row.workpiece) + " / " + row.insert;
    bool seen = false;
    for (const std::string& held : pairs) seen = seen || held == pair;
    if (!seen) pairs.push_back(pair);
  }
  return pairs;
}

std::vector<long long> matdb_angles_of(const MatDb* db, const SimParams* params) {
  std::vector<long long> angles;
  if (db == nullptr) return angles;
  const LookupKey key = key_of(params);
  for (const MatDbRow& row : db->rows) {
    if (!prefix_matches(row.workpiece, key.workpiece) || !prefix_matches(row.insert, key.insert)) {
      continue;
    }
    const auto angle = static_cast<long long>(row.angle);  // read as a long
    bool seen = false;
    for (long long held : angles) seen = seen || held == angle;
    if (!seen) angles.push_back(angle);
  }
  return angles;
}

void matdb_free(MatDb* db) {
  delete db;
}
