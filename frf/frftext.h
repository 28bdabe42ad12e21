// FRFs from text and CSV files: a frequency column with real and imaginary
// parts, magnitude and phase, or dB and phase.
#pragma once

#include <string>

#include "frf/frf.h"

// What the command line says of a file; the file's header wins where it says
// the same thing, and a contradiction is refused.
struct FrfTextOptions {
  int kind;        // FrfKind given on the command line, or -1
  double to_si;    // factor from the command line's ordinate unit to SI, or 0 when not given
  int freq_rad_s;  // 1: frequencies in rad/s, 0: in Hz, -1: not given (Hz unless the file says)
};

// Reads the file at path into *frf, in SI (m/N, (m/s)/N or (m/s^2)/N by its type), frequencies in
// Hz without a leading 0 Hz point. Separators: comma, semicolon, tab or blanks; a decimal comma
// with semicolon, tab or blank separators. Lines before the first line of numbers are the header;
// lines starting with #, % or ! are comments. The columns are named by a header line (frequency,
// real and imaginary, magnitude or dB, phase with deg or rad, others ignored); without one they
// are frequency, real and imaginary parts. The FRF type and unit come from the header (a unit
// such as "[mm/N]" or a type word) or from options, and the file is refused when neither gives
// them. 1, or 0 with *error as "FILE:LINE: what is wrong".
int frftext_read(const std::string& path, const FrfTextOptions& options, FrfData* frf,
                 std::string* error);
