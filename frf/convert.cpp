#include "frf/convert.h"

#include <cctype>
#include <cmath>
#include <complex>
#include <cstdlib>

#include "model/units.h"

namespace {

constexpr double kStandardGravity = 9.80665;  // m/s^2 per g

// Lower case without blanks, micro signs as 'u' and a superscript two as "^2".
std::string unit_key(std::string_view text) {
  std::string key;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (std::isspace(c)) continue;
    if (text.substr(i, 2) == "\xc2\xb5" || text.substr(i, 2) == "\xce\xbc") {  // µ, Greek mu
      key += 'u';
      ++i;
    } else if (text.substr(i, 2) == "\xc2\xb2") {  // ²
      key += "^2";
      ++i;
    } else {
      key += static_cast<char>(std::tolower(c));
    }
  }
  return key;
}

}  // namespace

int convert_parse_kind(std::string_view text, FrfKind* kind) {
  const std::string key = unit_key(text);
  if (key == "receptance")
    *kind = FRF_RECEPTANCE;
  else if (key == "mobility")
    *kind = FRF_MOBILITY;
  else if (key == "accelerance")
    *kind = FRF_ACCELERANCE;
  else
    return 0;
  return 1;
}

int convert_parse_units(std::string_view text, FrfKind* kind, double* to_si) {
  struct Unit {
    const char* key;
    FrfKind kind;
    double to_si;
  };
  static const Unit kUnits[] = {
      {"m/n", FRF_RECEPTANCE, 1.0},        {"mm/n", FRF_RECEPTANCE, 1e-3},
      {"um/n", FRF_RECEPTANCE, 1e-6},      {"(m/s)/n", FRF_MOBILITY, 1.0},
      {"(m/s^2)/n", FRF_ACCELERANCE, 1.0}, {"g/n", FRF_ACCELERANCE, kStandardGravity},
  };
  const std::string key = unit_key(text);
  for (const Unit& u : kUnits) {
    if (key != u.key) continue;
    *kind = u.kind;
    *to_si = u.to_si;
    return 1;
  }
  return 0;
}

const char* convert_kind_name(FrfKind kind) {
  switch (kind) {
    case FRF_MOBILITY:
      return "mobility";
    case FRF_ACCELERANCE:
      return "accelerance";
    default:
      return "receptance";
  }
}

int convert_parse_number(std::string_view text, int decimal_comma, double* value) {
  size_t b = 0, e = text.size();
  while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
  if (b == e || e - b > 64) return 0;
  // Checks the grammar before strtod sees it, so that strtod's extras
  // (hexadecimal, inf, nan, locale) never apply.
  std::string s;
  size_t i = b;
  if (text[i] == '+' || text[i] == '-') s += text[i++];
  int digits = 0;
  while (i < e && std::isdigit(static_cast<unsigned char>(text[i]))) s += text[i++], ++digits;
  if (i < e && (text[i] == '.' || (decimal_comma && text[i] == ','))) {
    s += '.';
    ++i;
    while (i < e && std::isdigit(static_cast<unsigned char>(text[i]))) s += text[i++], ++digits;
  }
  if (digits == 0) return 0;
  if (i < e && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
    s += 'e';
    ++i;
    if (i < e && (text[i] == '+' || text[i] == '-')) s += text[i++];
    int exponent_digits = 0;
    while (i < e && std::isdigit(static_cast<unsigned char>(text[i])))
      s += text[i++], ++exponent_digits;
    if (exponent_digits == 0) return 0;
  }
  if (i != e) return 0;
  const double v = std::strtod(s.c_str(), nullptr);
  if (!std::isfinite(v)) return 0;
  *value = v;
  return 1;
}

int convert_to_receptance(FrfData* frf, std::string* error) {
  if (frf->kind == FRF_RECEPTANCE) return 1;
  for (size_t i = 0; i < frf->freq.size(); ++i) {
    if (!(frf->freq[i] > 0.0)) {
      *error = frf->source + ": the " + convert_kind_name(frf->kind) +
               " cannot be made a receptance at " + std::to_string(frf->freq[i]) +
               " Hz (it needs frequencies above 0 Hz)";
      return 0;
    }
  }
  for (size_t i = 0; i < frf->freq.size(); ++i) {
    const double omega = kTwoPi * frf->freq[i];
    if (frf->kind == FRF_MOBILITY)
      frf->value[i] /= std::complex<double>(0.0, omega);
    else
      frf->value[i] /= -(omega * omega);
  }
  frf->kind = FRF_RECEPTANCE;
  return 1;
}

void convert_positive_directions(FrfData* frf) {
  const bool flip = (frf->response_dir < 0) != (frf->reference_dir < 0);
  if (flip)
    for (auto& v : frf->value) v = -v;
  frf->response_dir = std::abs(frf->response_dir);
  frf->reference_dir = std::abs(frf->reference_dir);
}

std::string convert_shown(std::string_view text, size_t max) {
  std::string s(text.substr(0, max));
  for (char& c : s)
    if (!std::isprint(static_cast<unsigned char>(c))) c = '?';
  return s;
}
