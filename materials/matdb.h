// Cutting-coefficient and wear constants of a material pair, from the wear
// file "wear.db" and the cutting-coefficient database (params.database_file),
// both opened by name relative to the working directory.
//
// Reading rules shared by both lookup forms:
// - A file that cannot be opened, or gives a read error before its end, is
//   missing: the lookup returns 0 and changes no field.
// - A database row whose angle (a whole number followed by white space) or any
//   of its nine numbers cannot be read is skipped; so is a wear record with
//   fewer than fifteen readable numbers, and wear reading restarts at the
//   token that was not a number. A number is a whole token as strtod reads it.
// - nan and inf are read and stored as written; overflow reads as +-inf.
#pragma once

#include <string>
#include <vector>

#include "model/params.h"

inline constexpr int kMatDbWearValues = 15;      // numbers per wear record
inline constexpr int kMatDbCoefValues = 9;       // numbers per coefficient row
inline constexpr int kMatDbLineChunk = 199;      // characters taken by one line read
inline constexpr int kMatDbWorkpieceWidth = 16;  // columns 1-16
inline constexpr int kMatDbInsertWidth = 32;     // columns 17-48

// One record of the wear file: two name tokens and fifteen numbers.
struct MatDbWearRecord {
  std::string workpiece;
  std::string insert;
  double values[kMatDbWearValues];
};

// One well-formed row of the coefficient database (angle in whole degrees).
struct MatDbRow {
  char workpiece[kMatDbWorkpieceWidth + 1];
  char insert[kMatDbInsertWidth + 1];
  double angle;
  double values[kMatDbCoefValues];
};

// Outcome of the last lookup of a loaded database, by key. The engine asks
// for the same pair and angle at every step, so a repeated key skips the scan.
struct MatDbLastLookup {
  int valid;                        // 0 until the first lookup
  char workpiece[kParamsTextSize];  // job workpiece name of that lookup
  char insert[kParamsTextSize];     // job insert name of that lookup
  int angle_key;                    // edge angle key, whole degrees
  int wear_index;                   // last matching wear record, -1 none
  int row_index;                    // first matching coefficient row, -1 none
};

// Both files read once: answers lookups exactly as re-reading them would.
// "Could be read" means opened and read to the end without a read error.
struct MatDb {
  int wear_opened;                    // 1 when "wear.db" could be read
  int database_opened;                // 1 when the coefficient database could be read
  int wear_error;                     // errno of the failed open or read of "wear.db", or 0
  int database_error;                 // errno of the failed open or read of the database, or 0
  std::string database_file;          // the name it was read from
  std::vector<MatDbWearRecord> wear;  // well-formed records, file order
  std::vector<MatDbRow> rows;         // well-formed rows, file order
  mutable MatDbLastLookup last;       // lookups are logically const; this only caches
};

// Looks the job's pair and edge angle up, re-reading both files; writes the
// 15 wear and 9 coefficient fields. 1 when a coefficient row matched. It
// serves tests and benchmarks only, as the reference that
// matdb_lookup_loaded must answer like; runs look up a loaded MatDb.
int matdb_lookup(SimParams* params);

// Splits one database line: names of columns 1-16 and 17-48 (trimmed;
// buffers of 17 and 33 bytes), the angle (degrees) and nine numbers.
// Returns 1 when the angle and all nine numbers could be read.
int matdb_parse_row(const char* line, char* workpiece_name, char* insert_name, double* angle,
                    double values[kMatDbCoefValues]);

// Removes trailing blanks (code 32 only) from a field of `width` characters.
void matdb_trim_right(char* text, int width);

// Reads "wear.db" and params.database_file once; null only when memory runs
// out. A missing file is recorded in wear_opened / database_opened.
MatDb* matdb_load(const SimParams* params);

// Reads only the coefficient database at path into *db (replacing what it
// held), as though the wear file were empty: lookups then leave the wear
// fields as they are. 0 with errno set when the file cannot be read.
int matdb_load_coefficients(MatDb* db, const char* path);

// matdb_lookup answered from the loaded files (database_file as it was at the
// load): same fields, same result. A null db returns 0 and changes nothing.
int matdb_lookup_loaded(const MatDb* db, SimParams* params);

// 1 when the loaded wear file holds a record for the job's pair.
int matdb_has_wear(const MatDb* db, const SimParams* params);

// The pairs of the loaded database ("WORKPIECE / INSERT", file order, each
// once) that match the job's pair when case and blanks are ignored.
std::vector<std::string> matdb_pairs_like(const MatDb* db, const SimParams* params);

// The edge angles (whole degrees, file order, each once) of the loaded
// database's rows for the job's pair, matched as a lookup matches names.
std::vector<long long> matdb_angles_of(const MatDb* db, const SimParams* params);

// Releases the loaded files; null is ignored.
void matdb_free(MatDb* db);

// Edge angle key of a lookup: angle (rad) in degrees, rounded halves away from zero.
int matdb_angle_key(double cutting_edge_angle);

// 1 when the file's trimmed name is a prefix of the job's name (byte by byte,
// case-sensitive; an empty file name matches every job name).
int matdb_name_matches(const char* file_name, const char* job_name);
