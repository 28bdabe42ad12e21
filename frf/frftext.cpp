#include "frf/frftext.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>
#include <vector>

#include "frf/convert.h"
#include "model/units.h"

namespace {

constexpr double kDegree = 0.017453292519943295;  // rad per degree

enum Role { ROLE_OTHER, ROLE_FREQ, ROLE_REAL, ROLE_IMAG, ROLE_MAG, ROLE_DB, ROLE_PHASE };

std::string_view trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (std::isspace(static_cast<unsigned char>(s[b])) || s[b] == '"')) ++b;
  while (e > b && (std::isspace(static_cast<unsigned char>(s[e - 1])) || s[e - 1] == '"')) --e;
  return s.substr(b, e - b);
}

// Lower case without blanks, micro signs as 'u', a superscript two as "^2" and a degree sign as
// "deg".
std::string key_of(std::string_view text) {
  std::string key;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (std::isspace(c)) continue;
    const std::string_view two = text.substr(i, 2);
    if (two == "\xc2\xb5" || two == "\xce\xbc")
      key += 'u', ++i;
    else if (two == "\xc2\xb2")
      key += "^2", ++i;
    else if (two == "\xc2\xb0")
      key += "deg", ++i;
    else
      key += static_cast<char>(std::tolower(c));
  }
  return key;
}

// The words of a header cell: letters only, lower case.
std::vector<std::string> words(std::string_view text) {
  std::vector<std::string> out;
  std::string w;
  for (char c : text) {
    if (std::isalpha(static_cast<unsigned char>(c))) {
      w += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    } else if (!w.empty()) {
      out.push_back(w);
      w.clear();
    }
  }
  if (!w.empty()) out.push_back(w);
  return out;
}

bool has_word(const std::vector<std::string>& ws, std::initializer_list<const char*> names) {
  for (const std::string& w : ws)
    for (const char* n : names)
      if (w == n) return true;
  return false;
}

Role role_of(std::string_view cell) {
  const auto ws = words(cell);
  if (has_word(ws, {"db"})) return ROLE_DB;
  if (has_word(ws, {"phase", "phi", "arg", "angle"})) return ROLE_PHASE;
  if (has_word(ws, {"imag", "imaginary", "im"})) return ROLE_IMAG;
  if (has_word(ws, {"real", "re"})) return ROLE_REAL;
  if (has_word(ws, {"mag", "magnitude", "amplitude", "abs", "modulus"})) return ROLE_MAG;
  if (has_word(ws, {"freq", "frequency", "f", "hz", "omega", "w"})) return ROLE_FREQ;
  return ROLE_OTHER;
}

// The ordinate unit a text names, longest names first so that "mm/N" is not read as "m/N".
const char* unit_in(const std::string& key) {
  static const char* kUnits[] = {"(m/s^2)/n", "(m/s)/n", "um/n", "mm/n", "g/n", "m/n"};
  for (const char* u : kUnits) {
    size_t at = key.find(u);
    while (at != std::string::npos) {
      // "m/n" inside "mm/n" or "um/n" was taken by the longer name already;
      // a letter just before the name makes it another word.
      if (at == 0 || !std::isalpha(static_cast<unsigned char>(key[at - 1]))) return u;
      at = key.find(u, at + 1);
    }
  }
  return nullptr;
}

struct Split {
  char separator;  // ',', ';', '\t' or ' ' (runs of blanks)
  int decimal_comma;
};

std::vector<std::string_view> split(std::string_view line, char separator) {
  std::vector<std::string_view> out;
  if (separator == ' ') {
    size_t i = 0;
    while (i < line.size()) {
      while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
      const size_t b = i;
      while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) ++i;
      if (i > b) out.push_back(line.substr(b, i - b));
    }
    return out;
  }
  size_t b = 0;
  while (true) {
    const size_t e = line.find(separator, b);
    out.push_back(trim(line.substr(b, e == std::string_view::npos ? line.npos : e - b)));
    if (e == std::string_view::npos) break;
    b = e + 1;
  }
  if (out.size() > 1 && out.back().empty()) out.pop_back();  // a separator ending the line
  return out;
}

int numbers(std::string_view line, const Split& sp, std::vector<double>* out) {
  out->clear();
  for (std::string_view f : split(line, sp.separator)) {
    double v;
    if (!convert_parse_number(trim(f), sp.decimal_comma, &v)) return 0;
    out->push_back(v);
  }
  return out->size() >= 2;
}

// How the first line of numbers separates its fields, or 0 when it is no such line.
int detect(std::string_view line, Split* sp) {
  std::vector<double> v;
  const Split candidates[] = {{';', 1}, {'\t', 1}, {',', 0}, {' ', 1}};
  for (const Split& c : candidates) {
    if (c.separator != ' ' && line.find(c.separator) == std::string_view::npos) continue;
    if (numbers(line, c, &v)) {
      *sp = c;
      return 1;
    }
    if (c.separator != ',') return 0;  // a semicolon or tab line must split on it
  }
  return 0;
}

// Header cells: split as the data are, or for blank-separated data by blanks
// with a bracketed unit kept with the name before it ("Frequency (Hz)").
std::vector<std::string> header_cells(std::string_view line, char separator) {
  std::vector<std::string> cells;
  for (std::string_view f : split(line, separator)) {
    if (separator == ' ' && !cells.empty() && (f[0] == '(' || f[0] == '['))
      cells.back() += " " + std::string(f);
    else
      cells.emplace_back(trim(f));
  }
  return cells;
}

struct Reading {
  const std::string& path;
  std::string* error;
  int fail(int line, const std::string& what) {
    *error = path + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": " + what;
    return 0;
  }
};

}  // namespace

int frftext_read(const std::string& path, const FrfTextOptions& options, FrfData* frf,
                 std::string* error) {
  Reading r{path, error};
  std::ifstream in(path, std::ios::binary);
  if (!in) return r.fail(0, std::string("cannot be opened: ") + std::strerror(errno));
  std::ostringstream buffer;
  buffer << in.rdbuf();
  std::string text = buffer.str();
  if (text.compare(0, 3, "\xef\xbb\xbf") == 0) text.erase(0, 3);  // a byte order mark
  if (text.find('\0') != std::string::npos) return r.fail(0, "holds NUL bytes: not a text file");

  std::vector<std::string_view> lines;
  for (size_t b = 0; b < text.size();) {
    size_t e = text.find('\n', b);
    if (e == std::string::npos) e = text.size();
    std::string_view s(text.data() + b, e - b);
    while (!s.empty() && s.back() == '\r') s.remove_suffix(1);
    lines.push_back(s);
    b = e + 1;
  }
  auto comment = [](std::string_view s) {
    s = trim(s);
    return !s.empty() && (s[0] == '#' || s[0] == '%' || s[0] == '!');
  };

  // The header runs to the first line of numbers.
  Split sp{' ', 1};
  size_t first = lines.size();
  for (size_t i = 0; i < lines.size(); ++i) {
    if (trim(lines[i]).empty() || comment(lines[i])) continue;
    if (detect(lines[i], &sp)) {
      first = i;
      break;
    }
  }
  if (first == lines.size()) return r.fail(1, "no line of numbers (frequency and values)");
  std::vector<double> v;
  numbers(lines[first], sp, &v);
  const size_t columns = v.size();

  // What the header says: column names, the ordinate unit or type, and the
  // frequency and phase units.
  std::vector<Role> roles;
  std::vector<std::string> cells;
  int header_line = 0;
  std::string header_key;
  for (size_t i = 0; i < first; ++i) {
    header_key += key_of(lines[i]) + " ";
    if (comment(lines[i]) || trim(lines[i]).empty()) continue;
    auto c = header_cells(lines[i], sp.separator);
    std::vector<Role> rs;
    int named = 0;
    for (const auto& cell : c) rs.push_back(role_of(cell)), named += rs.back() != ROLE_OTHER;
    if (c.size() == columns && named >= 2)
      roles = rs, cells = c, header_line = static_cast<int>(i) + 1;
  }
  const int first_line = static_cast<int>(first) + 1;
  if (header_line == 0) header_line = first_line;  // what the header would say, the data lack
  if (roles.empty()) {
    if (columns != 3)
      return r.fail(first_line, "the lines hold " + std::to_string(columns) +
                                    " numbers and no header line names the columns (without one "
                                    "they are frequency, real and imaginary parts)");
    roles = {ROLE_FREQ, ROLE_REAL, ROLE_IMAG};
    cells.assign(3, std::string());
  }
  int at[7] = {-1, -1, -1, -1, -1, -1, -1};
  for (size_t k = 0; k < roles.size(); ++k) {
    if (roles[k] == ROLE_OTHER) continue;
    if (at[roles[k]] >= 0) return r.fail(header_line, "two columns name the same quantity");
    at[roles[k]] = static_cast<int>(k);
  }
  if (at[ROLE_FREQ] < 0) at[ROLE_FREQ] = 0;
  const bool cartesian = at[ROLE_REAL] >= 0 && at[ROLE_IMAG] >= 0;
  const bool polar = (at[ROLE_MAG] >= 0 || at[ROLE_DB] >= 0) && at[ROLE_PHASE] >= 0;
  if (cartesian == polar || (at[ROLE_MAG] >= 0 && at[ROLE_DB] >= 0))
    return r.fail(header_line,
                  "the header names neither real and imaginary parts, nor "
                  "magnitude (or dB) and phase, alone");

  // Frequency unit: the frequency column's name, else the header, else the command line.
  int rad_s = -1;
  {
    const std::string k = key_of(cells[at[ROLE_FREQ]]);
    if (k.find("rad/s") != std::string::npos)
      rad_s = 1;
    else if (k.find("hz") != std::string::npos)
      rad_s = 0;
    else if (header_key.find("rad/s") != std::string::npos &&
             header_key.find("hz") == std::string::npos)
      rad_s = 1;
    else if (header_key.find("hz") != std::string::npos &&
             header_key.find("rad/s") == std::string::npos)
      rad_s = 0;
    if (rad_s >= 0 && options.freq_rad_s >= 0 && rad_s != options.freq_rad_s)
      return r.fail(header_line, std::string("the file gives frequencies in ") +
                                     (rad_s ? "rad/s" : "Hz") + ", the command line in " +
                                     (options.freq_rad_s ? "rad/s" : "Hz"));
    if (rad_s < 0) rad_s = options.freq_rad_s > 0 ? 1 : 0;
  }
  double phase_unit = 0.0;
  if (polar) {
    const std::string k = key_of(cells[at[ROLE_PHASE]]);
    if (k.find("deg") != std::string::npos)
      phase_unit = kDegree;
    else if (k.find("rad") != std::string::npos)
      phase_unit = 1.0;
    else
      return r.fail(header_line, "the phase column does not say deg or rad");
  }

  // Ordinate unit and type.
  const char* unit = nullptr;
  for (size_t i = 0; i < first; ++i) {
    const char* u = unit_in(key_of(lines[i]));
    if (u != nullptr && unit != nullptr && std::strcmp(u, unit) != 0)
      return r.fail(static_cast<int>(i) + 1, "the header names two ordinate units");
    if (u != nullptr) unit = u;
  }
  int kind = -1;
  double to_si = 0.0;
  if (unit != nullptr) {
    FrfKind k;
    convert_parse_units(unit, &k, &to_si);
    kind = k;
  }
  const auto hw = words(header_key);
  int word_kind = -1;
  if (has_word(hw, {"receptance", "compliance"})) word_kind = FRF_RECEPTANCE;
  if (has_word(hw, {"mobility"})) word_kind = word_kind >= 0 ? -2 : FRF_MOBILITY;
  if (has_word(hw, {"accelerance", "inertance"})) word_kind = word_kind >= 0 ? -2 : FRF_ACCELERANCE;
  if (word_kind == -2) return r.fail(header_line, "the header names two FRF types");
  if (word_kind >= 0 && kind >= 0 && word_kind != kind)
    return r.fail(header_line, std::string("the header calls the FRF a ") +
                                   convert_kind_name(static_cast<FrfKind>(word_kind)) +
                                   " but gives it in a unit of " +
                                   convert_kind_name(static_cast<FrfKind>(kind)));
  if (kind < 0) kind = word_kind;
  if (kind >= 0 && options.kind >= 0 && kind != options.kind)
    return r.fail(header_line, std::string("the file says ") +
                                   convert_kind_name(static_cast<FrfKind>(kind)) +
                                   ", the command line " +
                                   convert_kind_name(static_cast<FrfKind>(options.kind)));
  if (to_si > 0.0 && options.to_si > 0.0 && to_si != options.to_si)
    return r.fail(header_line, std::string("the file gives its values in ") + unit +
                                   ", the command line in another unit");
  if (kind < 0) kind = options.kind;
  if (to_si == 0.0) to_si = options.to_si;
  if (kind < 0 || to_si == 0.0)
    return r.fail(header_line, kind < 0 ? "neither the file nor the command line gives the FRF "
                                          "type and unit (--type, --units)"
                                        : "neither the file nor the command line gives the unit "
                                          "of the values (--units)");

  // The data.
  FrfData out;
  out.kind = static_cast<FrfKind>(kind);
  out.response_dir = 0;
  out.reference_dir = 0;
  out.source = path;
  for (size_t i = first; i < lines.size(); ++i) {
    const int line = static_cast<int>(i) + 1;
    if (trim(lines[i]).empty() || comment(lines[i])) continue;
    if (!numbers(lines[i], sp, &v))
      return r.fail(line, "\"" + convert_shown(trim(lines[i]), 40) +
                              "\" is not a line of numbers like the lines before it");
    if (v.size() != columns)
      return r.fail(line, "holds " + std::to_string(v.size()) + " numbers, the lines before it " +
                              std::to_string(columns));
    double f = v[at[ROLE_FREQ]];
    if (rad_s) f /= kTwoPi;
    if (f < 0.0) return r.fail(line, "the frequency is negative");
    if (f == 0.0 && out.freq.empty()) continue;  // a 0 Hz point carries no dynamics
    if (!out.freq.empty() && !(f > out.freq.back()))
      return r.fail(line, "the frequencies are not increasing");
    std::complex<double> h;
    if (cartesian) {
      h = {v[at[ROLE_REAL]], v[at[ROLE_IMAG]]};
    } else {
      const double mag = at[ROLE_DB] >= 0 ? std::pow(10.0, v[at[ROLE_DB]] / 20.0) : v[at[ROLE_MAG]];
      if (!std::isfinite(mag) || mag < 0.0)
        return r.fail(line, "the magnitude is negative or too large");
      h = std::polar(mag, v[at[ROLE_PHASE]] * phase_unit);
    }
    out.freq.push_back(f);
    out.value.push_back(h * to_si);
  }
  if (out.freq.empty()) return r.fail(first_line, "no point above 0 Hz");
  *frf = std::move(out);
  return 1;
}
