// Conversions of measured FRFs: type and unit names, numbers as measurement
// files write them, and mobility or accelerance to receptance in SI.
#pragma once

#include <string>
#include <string_view>

#include "frf/frf.h"

// A piece of a file's text for a message: at most max characters, bytes
// that do not print shown as '?'.
std::string convert_shown(std::string_view text, size_t max);

// Parses an FRF type name (receptance, mobility, accelerance; case ignored); 1, or 0 when unknown.
int convert_parse_kind(std::string_view text, FrfKind* kind);

// Parses an ordinate unit (m/N, mm/N, um/N or µm/N, (m/s)/N, (m/s^2)/N or (m/s²)/N, g/N) into
// its FRF type and the factor that takes a value in it to SI; 1, or 0 when unknown.
int convert_parse_units(std::string_view text, FrfKind* kind, double* to_si);

// The name of an FRF type ("receptance", "mobility", "accelerance").
const char* convert_kind_name(FrfKind kind);

// Parses a whole field as a number: optional sign, digits, point (or decimal_comma's comma),
// exponent with E or Fortran's D; surrounding blanks allowed. 1, or 0 when it is no number
// or not finite.
int convert_parse_number(std::string_view text, int decimal_comma, double* value);

// Turns a mobility ((m/s)/N) or accelerance ((m/s^2)/N) FRF in SI into receptance (m/N),
// dividing by i omega or -omega^2 (omega = 2 pi f, f in Hz); a receptance is left as it is.
// 1, or 0 with *error when a frequency is not above 0 Hz.
int convert_to_receptance(FrfData* frf, std::string* error);

// Makes both directions positive, changing the sign of the values when exactly one was negative.
void convert_positive_directions(FrfData* frf);
