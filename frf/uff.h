// Universal File Format: FRFs from datasets 58 (ASCII) and 58b (binary),
// with the unit factors of dataset 164, and the writer the tests and the
// worked example use.
#pragma once

#include <string>
#include <vector>

#include "frf/frf.h"

// What the reader takes from the command line when a dataset does not say it.
struct UffHint {
  int kind;  // FrfKind when the ordinate numerator type is 0 (unknown), or -1: refuse such datasets
};

// Reads every dataset 58 and 58b of the file at path into *frfs (appended, in file order), each
// in SI (m/N, (m/s)/N or (m/s^2)/N after dataset 164's factors; frequencies in Hz without a
// leading 0 Hz point) with its signed directions; other datasets are skipped. Returns 1, or 0
// with *error as "FILE:LINE: what is wrong" and *frfs unchanged.
int uff_read(const std::string& path, const UffHint& hint, std::vector<FrfData>* frfs,
             std::string* error);

// The layout uff_write gives a dataset, with the defects of real files it can imitate.
struct UffLayout {
  int binary;               // 1: dataset 58b, 0: dataset 58 in ASCII
  int big_endian;           // 58b byte order: 1 big, 0 little
  int double_precision;     // 1: 8-byte (E20.12) ordinates, 0: 4-byte (E13.5)
  int even;                 // 1: even abscissa spacing (no abscissa values stored), 0: uneven
  int complex_values;       // 1: complex ordinates, 0: real parts only
  int crlf;                 // 1: lines end with CR LF
  int d_exponents;          // 1: ASCII numbers with Fortran D exponents
  int full_width;           // 1: ASCII numbers fill their columns, so negative ones run together
  int line_end_before_end;  // 1: a line end between the 58b data and the closing -1
  int extra_count_bytes;    // 58b: bytes counted beyond the data (a count of no whole values)
  int single_abscissa;      // 58b uneven double: 4-byte abscissa values
};

// Unit factors of dataset 164: file units per SI unit.
struct UffUnits {
  int code;            // 1 SI, 2 BG, 3 MG, 4 BA, 5 MM, 6 CM, 7 IN, 8 GM, 9 user
  double length;       // file length units per metre
  double force;        // file force units per newton
  double temperature;  // file temperature units per kelvin
};

// Writes frfs (SI, each of its own kind) to path as datasets 58 or 58b in layout, after a
// dataset 164 with units when units is not null (values then in file units). Returns 1, or 0
// with *error.
int uff_write(const std::string& path, const std::vector<FrfData>& frfs, const UffLayout& layout,
              const UffUnits* units, std::string* error);
