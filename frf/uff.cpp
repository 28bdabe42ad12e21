#include "frf/uff.h"

#include <bit>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string_view>

#include "frf/convert.h"

namespace {

constexpr long long kMaxPoints = 100000000;  // points of one dataset, at most

std::string_view trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

std::vector<std::string_view> tokens(std::string_view s) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    const size_t b = i;
    while (i < s.size() && !std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    if (i > b) out.push_back(s.substr(b, i - b));
  }
  return out;
}

// Columns [begin, begin + width) of line, as far as the line reaches.
std::string_view column(std::string_view line, size_t begin, size_t width) {
  if (begin >= line.size()) return {};
  return line.substr(begin, std::min(width, line.size() - begin));
}

// A whole integer field; a blank field reads as blank_value when blank_ok.
int parse_int(std::string_view text, long long* value, int blank_ok = 0,
              long long blank_value = 0) {
  text = trim(text);
  if (text.empty()) {
    if (!blank_ok) return 0;
    *value = blank_value;
    return 1;
  }
  size_t i = 0;
  bool negative = false;
  if (text[0] == '+' || text[0] == '-') negative = text[0] == '-', ++i;
  if (i == text.size() || text.size() - i > 12) return 0;
  long long v = 0;
  for (; i < text.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return 0;
    v = v * 10 + (text[i] - '0');
  }
  *value = negative ? -v : v;
  return 1;
}

// Splits a line of numbers that may run together ("1.0E+00-2.0E+00"):
// each number is read as far as its grammar goes; the next starts after
// blanks or at a sign.
int scan_numbers(std::string_view line, std::vector<double>* out) {
  size_t i = 0;
  while (true) {
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    if (i == line.size()) return 1;
    const size_t b = i;
    if (line[i] == '+' || line[i] == '-') ++i;
    while (i < line.size() && (std::isdigit(static_cast<unsigned char>(line[i])) || line[i] == '.'))
      ++i;
    if (i < line.size() && std::strchr("eEdD", line[i]) != nullptr) {
      ++i;
      if (i < line.size() && (line[i] == '+' || line[i] == '-')) ++i;
      while (i < line.size() && std::isdigit(static_cast<unsigned char>(line[i]))) ++i;
    }
    double v;
    if (!convert_parse_number(line.substr(b, i - b), 0, &v)) return 0;
    out->push_back(v);
    if (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i])) && line[i] != '+' &&
        line[i] != '-')
      return 0;
  }
}

// The numbers of one data line: by the fixed columns of widths when the
// line fills whole columns exactly (fields may then run together), else
// as blank-separated or run-together numbers.
int data_numbers(std::string_view line, const std::vector<int>& widths, std::vector<double>* out) {
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
    line.remove_suffix(1);
  size_t length = 0;
  for (size_t k = 0; k < widths.size() && length < line.size(); ++k) length += widths[k];
  if (length == line.size()) {
    std::vector<double> values;
    size_t at = 0;
    bool ok = true;
    for (size_t k = 0; at < line.size(); at += widths[k], ++k) {
      double v;
      if (!convert_parse_number(line.substr(at, widths[k]), 0, &v)) {
        ok = false;
        break;
      }
      values.push_back(v);
    }
    if (ok) {
      out->insert(out->end(), values.begin(), values.end());
      return 1;
    }
  }
  return scan_numbers(line, out);
}

double read_value(const unsigned char* p, int size, bool swap) {
  unsigned char b[8];
  for (int k = 0; k < size; ++k) b[k] = swap ? p[size - 1 - k] : p[k];
  if (size == 4) {
    float f;
    std::memcpy(&f, b, 4);
    return f;
  }
  double d;
  std::memcpy(&d, b, 8);
  return d;
}

// The file as lines, with the position of each for the binary data of 58b.
struct Reader {
  const std::string& path;
  const std::string& text;
  std::string* error;
  size_t pos = 0;
  int line = 1;  // number of the line that starts at pos

  bool at_end() const { return pos >= text.size(); }

  // The next line without its line end (LF, CR LF, or a lone CR before LF); 0 at the end.
  int next(std::string_view* out, int* number) {
    if (at_end()) return 0;
    const size_t nl = text.find('\n', pos);
    const size_t end = nl == std::string::npos ? text.size() : nl;
    std::string_view s(text.data() + pos, end - pos);
    while (!s.empty() && s.back() == '\r') s.remove_suffix(1);
    *out = s;
    *number = line++;
    pos = nl == std::string::npos ? text.size() : nl + 1;
    return 1;
  }

  int fail(int at, const std::string& what) {
    *error = path + (at > 0 ? ":" + std::to_string(at) : std::string()) + ": " + what;
    return 0;
  }
};

struct Units {
  double length = 1.0, force = 1.0;  // file units per SI unit
};

struct AxisType {
  long long type = 0, length_exp = 0, force_exp = 0;
};

int parse_axis(std::string_view line, AxisType* axis) {
  long long v[4];
  bool ok = true;
  const size_t at[4] = {0, 10, 15, 20}, width[4] = {10, 5, 5, 5};
  for (int k = 0; k < 4 && ok; ++k)
    ok = parse_int(column(line, at[k], width[k]), &v[k], k > 0) != 0;
  if (!ok) {
    const auto t = tokens(line);
    ok = t.size() >= 4;
    for (int k = 0; k < 4 && ok; ++k) ok = parse_int(t[k], &v[k]) != 0;
  }
  if (!ok) return 0;
  *axis = {v[0], v[1], v[2]};
  return 1;
}

struct Header {
  long long function_type = 0, response_dir = 0, reference_dir = 0;
  long long ordinate_type = 0, points = 0, even = 0;
  double x_min = 0.0, x_step = 0.0;
  AxisType abscissa, numerator, denominator;
};

int parse_record6(std::string_view line, Header* h) {
  long long v[10];
  const size_t at[] = {0, 5, 15, 20, 41, 51, 66, 76};
  const size_t width[] = {5, 10, 5, 10, 10, 4, 10, 4};
  bool ok = true;
  for (int k = 0; k < 8 && ok; ++k)
    ok = parse_int(column(line, at[k], width[k]), &v[k], k > 0) != 0;
  if (ok) {
    h->function_type = v[0], h->response_dir = v[5], h->reference_dir = v[7];
    return 1;
  }
  // Written without the fixed columns: numbers and entity names separated by blanks.
  const auto t = tokens(line);
  long long unused;
  if (t.size() == 10 && parse_int(t[0], &h->function_type) && parse_int(t[5], &unused) &&
      parse_int(t[8], &unused) && parse_int(t[6], &h->response_dir) &&
      parse_int(t[9], &h->reference_dir))
    return 1;
  if (t.size() == 8 && parse_int(t[0], &h->function_type) && parse_int(t[5], &h->response_dir) &&
      parse_int(t[7], &h->reference_dir))
    return 1;
  return 0;
}

int parse_record7(std::string_view line, Header* h) {
  long long v[3];
  double x[3];
  bool ok = true;
  for (int k = 0; k < 3 && ok; ++k) ok = parse_int(column(line, 10 * k, 10), &v[k]) != 0;
  for (int k = 0; k < 3 && ok; ++k)
    ok = convert_parse_number(column(line, 30 + 13 * k, 13), 0, &x[k]) != 0 ||
         (k == 2 && trim(column(line, 56, 13)).empty() && ((x[2] = 0.0), true));
  if (!ok) {
    const auto t = tokens(line);
    ok = t.size() >= 5 && t.size() <= 6;
    for (int k = 0; k < 3 && ok; ++k) ok = parse_int(t[k], &v[k]) != 0;
    for (int k = 0; k < 2 && ok; ++k) ok = convert_parse_number(t[3 + k], 0, &x[k]) != 0;
  }
  if (!ok) return 0;
  h->ordinate_type = v[0], h->points = v[1], h->even = v[2], h->x_min = x[0], h->x_step = x[1];
  return 1;
}

const char* function_name(long long type) {
  switch (type) {
    case 0:
      return "general";
    case 1:
      return "time response";
    case 2:
      return "auto-spectrum";
    case 3:
      return "cross-spectrum";
    case 5:
      return "transmissibility";
    case 6:
      return "coherence";
    case 9:
      return "power spectral density";
    default:
      return "not an FRF";
  }
}

struct Dataset {
  Header h;
  int header_line = 0;  // line of the dataset's number
  int data_line = 0;    // first line of record 12 (or of the binary data)
  std::vector<double> x, re, im;
};

class UffReader {
 public:
  UffReader(const std::string& path, const std::string& text, const UffHint& hint,
            std::string* error)
      : r_{path, text, error}, hint_(hint) {}

  int read(std::vector<FrfData>* frfs) {
    std::string_view s;
    int n;
    int datasets = 0;
    while (true) {
      // Blank lines between datasets are tolerated.
      do {
        if (!r_.next(&s, &n)) {
          if (datasets == 0) return r_.fail(n_last_, "no dataset 58 or 58b in the file");
          return 1;
        }
        n_last_ = n;
      } while (trim(s).empty());
      if (trim(s) != "-1")
        return r_.fail(n, "expected the -1 that starts a dataset, found \"" +
                              convert_shown(trim(s), 20) + "\"");
      if (!r_.next(&s, &n)) return r_.fail(n_last_, "the file ends after a dataset's -1");
      n_last_ = n;
      const auto t = tokens(s);
      const std::string id = t.empty() ? std::string() : std::string(t[0]);
      if (id == "58" || id == "58b") {
        Dataset d;
        d.header_line = n;
        if (!read_58(id == "58b", s, &d)) return 0;
        FrfData frf;
        if (!finish(d, &frf)) return 0;
        frfs->push_back(std::move(frf));
        ++datasets;
      } else if (id == "164") {
        if (!read_164(n)) return 0;
      } else {
        if (!skip_dataset(n)) return 0;
      }
    }
  }

 private:
  Reader r_;
  UffHint hint_;
  Units units_;
  int n_last_ = 1;

  int skip_dataset(int started) {
    std::string_view s;
    int n;
    while (r_.next(&s, &n))
      if (trim(s) == "-1") return 1;
    return r_.fail(started, "the dataset has no closing -1");
  }

  int closing(const char* what) {
    std::string_view s;
    int n;
    while (r_.next(&s, &n)) {
      if (trim(s).empty()) continue;
      if (trim(s) == "-1") return 1;
      return r_.fail(n, std::string("expected the -1 that closes ") + what + ", found \"" +
                            convert_shown(trim(s), 20) + "\"");
    }
    return r_.fail(n_last_, std::string("the file ends before the -1 that closes ") + what);
  }

  int read_164(int started) {
    std::string_view s;
    int n;
    if (!r_.next(&s, &n)) return r_.fail(started, "dataset 164 ends after its number");
    long long code;
    if (!parse_int(column(s, 0, 10), &code))
      return r_.fail(n, "dataset 164 record 1: the units code is not a number");
    if (!r_.next(&s, &n)) return r_.fail(started, "dataset 164 ends before its unit factors");
    std::vector<double> f;
    if (!data_numbers(s, {25, 25, 25}, &f) || f.size() != 3)
      return r_.fail(n, "dataset 164 record 2: expected the length, force and temperature factors");
    if (!(f[0] > 0.0) || !(f[1] > 0.0))
      return r_.fail(n, "dataset 164 record 2: a unit factor is not above 0");
    units_.length = f[0];
    units_.force = f[1];
    if (!r_.next(&s, &n) || trim(s) == "-1")
      return r_.fail(started, "dataset 164 ends before its temperature offset");
    n_last_ = n;
    return closing("dataset 164");
  }

  int read_58(bool binary, std::string_view id_line, Dataset* d) {
    long long byte_order = 1, float_format = 2, ascii_lines = 11, byte_count = 0;
    const int started = d->header_line;
    if (binary) {
      const auto t = tokens(id_line);
      if (t.size() < 5 || !parse_int(t[1], &byte_order) || !parse_int(t[2], &float_format) ||
          !parse_int(t[3], &ascii_lines) || !parse_int(t[4], &byte_count))
        return r_.fail(started, "the 58b header does not give byte order, format, lines and bytes");
      if (byte_order != 1 && byte_order != 2)
        return r_.fail(started, "58b byte order " + std::to_string(byte_order) +
                                    " is neither 1 (little endian) nor 2 (big endian)");
      if (float_format != 2)
        return r_.fail(started, "58b floating-point format " + std::to_string(float_format) +
                                    " is not 2 (IEEE 754)");
      if (ascii_lines != 11)
        return r_.fail(started, "58b has " + std::to_string(ascii_lines) +
                                    " header lines; records 1 to 11 take 11");
      if (byte_count < 0) return r_.fail(started, "58b byte count is negative");
    }
    std::string_view rec[12];
    int at[12];
    for (int k = 1; k <= 11; ++k) {
      if (!r_.next(&rec[k], &at[k]))
        return r_.fail(started, "the dataset ends before record " + std::to_string(k));
      if (trim(rec[k]) == "-1")
        return r_.fail(at[k], "the dataset ends before record " + std::to_string(k));
    }
    Header& h = d->h;
    if (!parse_record6(rec[6], &h))
      return r_.fail(at[6], "record 6 does not give function type and directions");
    if (h.function_type != 4)
      return r_.fail(at[6], "function type " + std::to_string(h.function_type) + " (" +
                                function_name(h.function_type) + ") is not an FRF");
    if (std::abs(h.response_dir) > 6 || std::abs(h.reference_dir) > 6)
      return r_.fail(at[6], "record 6: a direction is outside -6..6");
    if (!parse_record7(rec[7], &h))
      return r_.fail(at[7], "record 7 does not give data type, points, spacing and abscissa");
    if (h.ordinate_type != 2 && h.ordinate_type != 4 && h.ordinate_type != 5 &&
        h.ordinate_type != 6)
      return r_.fail(at[7], "ordinate data type " + std::to_string(h.ordinate_type) +
                                " is not 2, 4, 5 or 6 (real or complex, single or double)");
    if (h.points < 1 || h.points > kMaxPoints)
      return r_.fail(at[7], "the number of points " + std::to_string(h.points) +
                                " is not between 1 and " + std::to_string(kMaxPoints));
    if (h.even != 0 && h.even != 1)
      return r_.fail(at[7], "abscissa spacing " + std::to_string(h.even) +
                                " is neither 0 (uneven) nor 1 (even)");
    if (!parse_axis(rec[8], &h.abscissa))
      return r_.fail(at[8], "record 8 does not give the abscissa data type");
    if (!parse_axis(rec[9], &h.numerator))
      return r_.fail(at[9], "record 9 does not give the ordinate numerator data type");
    if (!parse_axis(rec[10], &h.denominator))
      return r_.fail(at[10], "record 10 does not give the ordinate denominator data type");
    if (h.abscissa.type != 18 && h.abscissa.type != 0)
      return r_.fail(at[8], "abscissa data type " + std::to_string(h.abscissa.type) +
                                " is not frequency (18)");
    d->data_line = r_.line;
    return binary ? read_binary(byte_order == 2, byte_count, d) : read_ascii(d);
  }

  int read_ascii(Dataset* d) {
    const Header& h = d->h;
    const bool complex_values = h.ordinate_type == 5 || h.ordinate_type == 6;
    const bool single = h.ordinate_type == 2 || h.ordinate_type == 5;
    const int per_point = (complex_values ? 2 : 1) + (h.even ? 0 : 1);
    std::vector<int> widths;
    if (single)
      widths.assign(6, 13);
    else if (h.even)
      widths.assign(4, 20);
    else if (complex_values)
      widths = {13, 20, 20};
    else
      widths = {13, 20, 13, 20};
    const long long total = h.points * per_point;
    if (static_cast<long long>(r_.text.size() - r_.pos) < total)
      return r_.fail(d->header_line + 7, "record 7 gives " + std::to_string(h.points) +
                                             " points, more than the rest of the file can hold");
    std::vector<double> values;
    values.reserve(static_cast<size_t>(std::min<long long>(total, 1 << 20)));
    std::string_view s;
    int n = d->data_line;
    while (static_cast<long long>(values.size()) < total) {
      if (!r_.next(&s, &n) || trim(s) == "-1")
        return r_.fail(n, "the data end after " + std::to_string(values.size()) + " of the " +
                              std::to_string(total) + " values that record 7 gives");
      if (!data_numbers(s, widths, &values))
        return r_.fail(
            n, "record 12: \"" + convert_shown(trim(s), 40) + "\" is not a line of numbers");
      if (static_cast<long long>(values.size()) > total)
        return r_.fail(n, "record 12 holds more values than the " + std::to_string(h.points) +
                              " points of record 7");
    }
    n_last_ = n;
    unpack(values, complex_values, d);
    return closing("dataset 58");
  }

  int read_binary(bool big_endian, long long byte_count, Dataset* d) {
    const Header& h = d->h;
    const bool complex_values = h.ordinate_type == 5 || h.ordinate_type == 6;
    const int size = (h.ordinate_type == 2 || h.ordinate_type == 5) ? 4 : 8;
    const int ordinates = complex_values ? 2 : 1;
    int x_size = h.even ? 0 : size;
    // A double-precision file may store its abscissa in single precision;
    // the byte count tells which when it matches one of them exactly.
    if (!h.even && size == 8 && byte_count == h.points * (4 + 8 * ordinates)) x_size = 4;
    const long long needed = h.points * (x_size + size * ordinates);
    if (byte_count != 0 && byte_count < needed)
      return r_.fail(d->data_line, "58b byte count " + std::to_string(byte_count) +
                                       " is less than the " + std::to_string(needed) +
                                       " bytes of record 7's " + std::to_string(h.points) +
                                       " points");
    const long long counted = std::max(byte_count, needed);
    if (static_cast<long long>(r_.text.size() - r_.pos) < counted)
      return r_.fail(d->data_line,
                     "the file ends inside the " + std::to_string(counted) + " bytes of 58b data");
    const bool swap = big_endian != (std::endian::native == std::endian::big);
    const auto* p = reinterpret_cast<const unsigned char*>(r_.text.data() + r_.pos);
    std::vector<double> values;
    values.reserve(h.points * ((h.even ? 0 : 1) + ordinates));
    for (long long i = 0; i < h.points; ++i) {
      if (!h.even) values.push_back(read_value(p, x_size, swap)), p += x_size;
      for (int k = 0; k < ordinates; ++k) values.push_back(read_value(p, size, swap)), p += size;
    }
    for (double v : values)
      if (!std::isfinite(v))
        return r_.fail(d->data_line, "58b data hold a value that is not finite");
    // Bytes counted beyond the last value, and any line end after the data,
    // are not part of the data.
    for (long long k = 0; k < counted; ++k)
      if (r_.text[r_.pos + k] == '\n') ++r_.line;
    r_.pos += counted;
    n_last_ = r_.line;
    unpack(values, complex_values, d);
    return closing("dataset 58b");
  }

  void unpack(const std::vector<double>& values, bool complex_values, Dataset* d) {
    const Header& h = d->h;
    size_t k = 0;
    for (long long i = 0; i < h.points; ++i) {
      d->x.push_back(h.even ? h.x_min + static_cast<double>(i) * h.x_step : values[k++]);
      d->re.push_back(values[k++]);
      d->im.push_back(complex_values ? values[k++] : 0.0);
    }
  }

  int finish(const Dataset& d, FrfData* frf) {
    const Header& h = d.h;
    long long numerator = h.numerator.type, denominator = h.denominator.type;
    if (numerator == 8)
      frf->kind = FRF_RECEPTANCE;
    else if (numerator == 11)
      frf->kind = FRF_MOBILITY;
    else if (numerator == 12)
      frf->kind = FRF_ACCELERANCE;
    else if (numerator == 0 && hint_.kind >= 0)
      frf->kind = static_cast<FrfKind>(hint_.kind);
    else if (numerator == 0)
      return r_.fail(d.header_line + 9, "the ordinate numerator type is 0 (unknown); give --type");
    else
      return r_.fail(d.header_line + 9, "ordinate numerator type " + std::to_string(numerator) +
                                            " is not displacement (8), velocity (11) or "
                                            "acceleration (12)");
    if (denominator != 13 && !(denominator == 0 && numerator == 0))
      return r_.fail(d.header_line + 10, "ordinate denominator type " +
                                             std::to_string(denominator) +
                                             " is not excitation force (13)");
    // Unit exponents of the ordinate: those of records 9 and 10, or those of
    // the data types (length over force) when the records give none.
    long long length_exp = h.numerator.length_exp - h.denominator.length_exp;
    long long force_exp = h.numerator.force_exp - h.denominator.force_exp;
    if (h.numerator.length_exp == 0 && h.numerator.force_exp == 0 &&
        h.denominator.length_exp == 0 && h.denominator.force_exp == 0)
      length_exp = 1, force_exp = -1;
    const double factor = std::pow(units_.length, static_cast<double>(length_exp)) *
                          std::pow(units_.force, static_cast<double>(force_exp));
    frf->response_dir = static_cast<int>(h.response_dir);
    frf->reference_dir = static_cast<int>(h.reference_dir);
    frf->source = r_.path + ": dataset at line " + std::to_string(d.header_line);
    size_t first = 0;
    if (!d.x.empty() && d.x[0] == 0.0) first = 1;  // a 0 Hz point carries no dynamics
    for (size_t i = first; i < d.x.size(); ++i) {
      if (!std::isfinite(d.x[i]) || d.x[i] < 0.0)
        return r_.fail(d.data_line, "frequency " + std::to_string(d.x[i]) + " Hz of point " +
                                        std::to_string(i + 1) + " is negative");
      if (i > first && !(d.x[i] > d.x[i - 1]))
        return r_.fail(d.data_line, "the frequencies are not increasing at point " +
                                        std::to_string(i + 1) + " (" + std::to_string(d.x[i]) +
                                        " Hz after " + std::to_string(d.x[i - 1]) + " Hz)");
      frf->freq.push_back(d.x[i]);
      frf->value.push_back(std::complex<double>(d.re[i], d.im[i]) / factor);
    }
    if (frf->freq.empty()) return r_.fail(d.data_line, "the dataset has no point above 0 Hz");
    return 1;
  }
};

// ---- writing ----

std::string number(double v, int width, const UffLayout& layout) {
  char buf[64];
  const int digits = width == 13 ? 5 : width == 20 ? 12 : 17;
  std::snprintf(buf, sizeof buf, "%*.*E", width, digits + (layout.full_width ? 1 : 0), v);
  std::string s = buf;
  if (layout.d_exponents)
    for (char& c : s)
      if (c == 'E') c = 'D';
  return s;
}

void put_bytes(std::string* out, double v, int size, bool big_endian) {
  unsigned char b[8];
  if (size == 4) {
    const float f = static_cast<float>(v);
    std::memcpy(b, &f, 4);
  } else {
    std::memcpy(b, &v, 8);
  }
  const bool swap = big_endian != (std::endian::native == std::endian::big);
  for (int k = 0; k < size; ++k) out->push_back(static_cast<char>(b[swap ? size - 1 - k : k]));
}

int numerator_type(FrfKind kind) {
  return kind == FRF_MOBILITY ? 11 : kind == FRF_ACCELERANCE ? 12 : 8;
}

const char* numerator_units(FrfKind kind) {
  return kind == FRF_MOBILITY ? "m/s" : kind == FRF_ACCELERANCE ? "m/s^2" : "m";
}

}  // namespace

int uff_read(const std::string& path, const UffHint& hint, std::vector<FrfData>* frfs,
             std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = path + ": cannot be opened: " + std::strerror(errno);
    return 0;
  }
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) {
    *error = path + ": cannot be read";
    return 0;
  }
  const std::string text = buffer.str();
  std::vector<FrfData> read;
  UffReader reader(path, text, hint, error);
  if (!reader.read(&read)) return 0;
  for (auto& f : read) {
    if (read.size() == 1) f.source = path;  // "FILE: dataset at line N" only when there are several
    frfs->push_back(std::move(f));
  }
  return 1;
}

int uff_write(const std::string& path, const std::vector<FrfData>& frfs, const UffLayout& layout,
              const UffUnits* units, std::string* error) {
  const char* eol = layout.crlf ? "\r\n" : "\n";
  std::string out;
  auto line = [&](const std::string& s) { out += s + eol; };
  char buf[256];
  double factor_length = 1.0, factor_force = 1.0;
  if (units != nullptr) {
    factor_length = units->length;
    factor_force = units->force;
    line("    -1");
    line("   164");
    std::snprintf(buf, sizeof buf, "%10d%-20s%10d", units->code, "file units", 2);
    line(buf);
    line(number(units->length, 25, layout) + number(units->force, 25, layout) +
         number(units->temperature, 25, layout));
    line(number(0.0, 25, layout));
    line("    -1");
  }
  for (const FrfData& frf : frfs) {
    const size_t n = frf.freq.size();
    if (n == 0 || frf.value.size() != n) {
      *error = path + ": an FRF to write has no points or unequal columns";
      return 0;
    }
    const bool single = !layout.double_precision;
    const int ordinate_type = layout.complex_values ? (single ? 5 : 6) : (single ? 2 : 4);
    const int size = single ? 4 : 8;
    const int x_size = layout.even ? 0 : (single || layout.single_abscissa ? 4 : 8);
    const size_t data_bytes = n * (x_size + size * (layout.complex_values ? 2 : 1));
    const double to_file = factor_length / factor_force;
    line("    -1");
    if (layout.binary) {
      std::snprintf(buf, sizeof buf, "%6d%c%6d%6d%12d%12zu%6d%6d%12d%12d", 58, 'b',
                    layout.big_endian ? 2 : 1, 2, 11,
                    data_bytes + static_cast<size_t>(layout.extra_count_bytes), 0, 0, 0, 0);
      line(buf);
    } else {
      line("    58");
    }
    line(frf.source.empty() ? "NONE" : frf.source.substr(0, 80));
    for (int k = 2; k <= 5; ++k) line("NONE");
    std::snprintf(buf, sizeof buf, "%5d%10d%5d%10d %-10s%10d%4d %-10s%10d%4d", 4, 1, 1, 0, "NONE",
                  1, frf.response_dir, "NONE", 1, frf.reference_dir);
    line(buf);
    const double step = n > 1 ? (frf.freq[n - 1] - frf.freq[0]) / static_cast<double>(n - 1) : 0.0;
    std::snprintf(buf, sizeof buf, "%10d%10zu%10d", ordinate_type, n, layout.even ? 1 : 0);
    line(buf + number(layout.even ? frf.freq[0] : 0.0, 13, layout) +
         number(layout.even ? step : 0.0, 13, layout) + number(0.0, 13, layout));
    std::snprintf(buf, sizeof buf, "%10d%5d%5d%5d %-20s %-20s", 18, 0, 0, 0, "Frequency", "Hz");
    line(buf);
    std::snprintf(buf, sizeof buf, "%10d%5d%5d%5d %-20s %-20s", numerator_type(frf.kind), 1, 0, 0,
                  convert_kind_name(frf.kind), numerator_units(frf.kind));
    line(buf);
    std::snprintf(buf, sizeof buf, "%10d%5d%5d%5d %-20s %-20s", 13, 0, 1, 0, "Force", "N");
    line(buf);
    std::snprintf(buf, sizeof buf, "%10d%5d%5d%5d %-20s %-20s", 0, 0, 0, 0, "NONE", "NONE");
    line(buf);
    // One point's numbers with their column widths, in the record 12 order.
    std::vector<std::pair<double, int>> fields;
    const int width = single ? 13 : 20;
    for (size_t i = 0; i < n; ++i) {
      const std::complex<double> v = frf.value[i] * to_file;
      if (!layout.even) fields.push_back({frf.freq[i], 13});
      fields.push_back({v.real(), width});
      if (layout.complex_values) fields.push_back({v.imag(), width});
    }
    if (layout.binary) {
      for (const auto& [v, w] : fields) {
        // Abscissa values of single-precision data are 4 bytes like the rest.
        const bool abscissa = w == 13 && !single;
        put_bytes(&out, v, abscissa ? x_size : size, layout.big_endian);
      }
      out.append(static_cast<size_t>(layout.extra_count_bytes), '\n');
      if (layout.line_end_before_end) out += eol;
      line("    -1");
      continue;
    }
    size_t per_line = single ? 6 : 4;
    if (!single && !layout.even) per_line = layout.complex_values ? 3 : 4;
    std::string text;
    size_t on_line = 0;
    for (const auto& [v, w] : fields) {
      text += number(v, w, layout);
      if (++on_line == per_line) line(text), text.clear(), on_line = 0;
    }
    if (!text.empty()) line(text);
    line("    -1");
  }
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    *error = path + ": cannot be created: " + std::strerror(errno);
    return 0;
  }
  const bool written = std::fwrite(out.data(), 1, out.size(), f) == out.size();
  if (std::fclose(f) != 0 || !written) {
    *error = path + ": cannot be written";
    return 0;
  }
  return 1;
}
