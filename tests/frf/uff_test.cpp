// Universal files: every layout of datasets 58 and 58b, with the defects of
// real files, read back to the values written; a hand-written dataset read
// column by column; unit factors; and one refusal per fault, naming the line.
#include "frf/uff.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

using test_support::read_file;
using test_support::ScratchDir;
using test_support::write_file;

namespace {

// A receptance-like FRF with values of both signs: one mode at 15 Hz.
FrfData sample(bool even, FrfKind kind = FRF_RECEPTANCE, int response = 1, int reference = 1) {
  FrfData f;
  f.kind = kind;
  f.response_dir = response;
  f.reference_dir = reference;
  f.source = "sample";
  for (int i = 0; i < 40; ++i) {
    const double freq = 10.0 + 0.25 * i + (even ? 0.0 : 0.0625 * (i % 3));
    const double r = freq / 15.0;
    f.freq.push_back(freq);
    f.value.push_back(1e-6 / std::complex<double>(1.0 - r * r, 0.04 * r));
  }
  return f;
}

void expect_same(const FrfData& want, const FrfData& got, bool complex_values, double tol,
                 const std::string& what) {
  ASSERT_EQ(want.freq.size(), got.freq.size()) << what;
  for (size_t i = 0; i < want.freq.size(); ++i) {
    EXPECT_NEAR(got.freq[i], want.freq[i], 1e-6 * want.freq[i]) << what << " point " << i;
    const auto w = want.value[i], g = got.value[i];
    EXPECT_NEAR(g.real(), w.real(), tol * std::abs(w.real())) << what << " point " << i;
    EXPECT_NEAR(g.imag(), complex_values ? w.imag() : 0.0, tol * std::abs(w.imag()))
        << what << " point " << i;
  }
  EXPECT_EQ(got.kind, want.kind) << what;
  EXPECT_EQ(got.response_dir, want.response_dir) << what;
  EXPECT_EQ(got.reference_dir, want.reference_dir) << what;
}

std::string layout_name(const UffLayout& l) {
  std::string s = l.binary ? "58b" : "58";
  s += l.binary ? (l.big_endian ? " big" : " little") : "";
  s += l.double_precision ? " double" : " single";
  s += l.even ? " even" : " uneven";
  s += l.complex_values ? " complex" : " real";
  if (l.crlf) s += " crlf";
  if (l.d_exponents) s += " D";
  if (l.full_width) s += " full-width";
  if (l.line_end_before_end) s += " eol-before-end";
  if (l.extra_count_bytes) s += " odd-count";
  if (l.single_abscissa) s += " single-abscissa";
  return s;
}

TEST(Uff, EveryLayoutAndDefectReadsBackTheValuesWritten) {
  std::vector<UffLayout> layouts;
  for (int binary = 0; binary <= 1; ++binary)
    for (int big = 0; big <= binary; ++big)
      for (int dbl = 0; dbl <= 1; ++dbl)
        for (int even = 0; even <= 1; ++even)
          for (int cplx = 0; cplx <= 1; ++cplx)
            layouts.push_back({binary, big, dbl, even, cplx, 0, 0, 0, 0, 0, 0});
  // The defects of real files, each on a layout it applies to.
  layouts.push_back({0, 0, 1, 1, 1, 1, 0, 0, 0, 0, 0});  // CR LF
  layouts.push_back({0, 0, 1, 0, 1, 0, 1, 0, 0, 0, 0});  // D exponents
  layouts.push_back({0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0});  // single columns running together
  layouts.push_back({0, 0, 1, 0, 1, 0, 1, 1, 0, 0, 0});  // double columns running together, D
  layouts.push_back({0, 0, 1, 0, 0, 1, 0, 1, 0, 0, 0});  // real uneven 2(E13.5,E20.12) together
  layouts.push_back({1, 0, 1, 1, 1, 0, 0, 0, 1, 0, 0});  // line end before the closing -1
  layouts.push_back({1, 1, 1, 1, 1, 1, 0, 0, 1, 0, 0});  // CR LF before the closing -1
  layouts.push_back({1, 0, 1, 0, 1, 0, 0, 0, 0, 1, 0});  // byte count one beyond the values
  layouts.push_back({1, 1, 0, 1, 0, 0, 0, 0, 1, 3, 0});  // three beyond, and a line end
  layouts.push_back({1, 0, 1, 0, 1, 0, 0, 0, 0, 0, 1});  // 4-byte abscissa of double data
  layouts.push_back({1, 1, 1, 0, 0, 1, 0, 0, 1, 0, 1});  // the same, real, big endian, CR LF
  ScratchDir dir;
  for (const UffLayout& layout : layouts) {
    const std::string what = layout_name(layout);
    const std::string path = dir.file("round.uff");
    // Two datasets with different kinds and signed directions in one file.
    const std::vector<FrfData> frfs = {sample(layout.even),
                                       sample(layout.even, FRF_MOBILITY, -2, 3)};
    std::string error;
    ASSERT_TRUE(uff_write(path, frfs, layout, nullptr, &error)) << error;
    std::vector<FrfData> got;
    ASSERT_TRUE(uff_read(path, UffHint{-1}, &got, &error)) << what << ": " << error;
    ASSERT_EQ(got.size(), 2u) << what;
    double tol = 1e-11;
    if (!layout.double_precision) tol = layout.binary ? 1e-7 : 1e-5;
    if (layout.binary && layout.double_precision) tol = 1e-15;
    expect_same(frfs[0], got[0], layout.complex_values, tol, what);
    expect_same(frfs[1], got[1], layout.complex_values, tol, what);
  }
}

TEST(Uff, HandWrittenDatasetReadsColumnByColumn) {
  // Complex single even: fields of 13 columns, the fourth running into the
  // third, one with a D exponent; directions -1 and +3; a 0 Hz first point.
  const std::string text =
      "    -1\n"
      "    58\n"
      "tap test\nNONE\nNONE\nNONE\nNONE\n"
      "    4         1    1         0 NONE               1  -1 NONE               1   3\n"
      "         5         4         1  0.00000E+00  5.00000E-01  0.00000E+00\n"
      "        18    0    0    0 Frequency            Hz\n"
      "         8    1    0    0 Displacement         m\n"
      "        13    0    1    0 Force                N\n"
      "         0    0    0    0 NONE                 NONE\n"
      "  7.00000E+00  8.00000E+00 1.000000E-06-2.000000E-06  3.00000D-06  4.00000E-06\n"
      "  5.00000E-06 -6.00000E-06\n"
      "    -1\n";
  ScratchDir dir;
  write_file(dir.file("hand.uff"), text);
  std::vector<FrfData> got;
  std::string error;
  ASSERT_TRUE(uff_read(dir.file("hand.uff"), UffHint{-1}, &got, &error)) << error;
  ASSERT_EQ(got.size(), 1u);
  const FrfData& f = got[0];
  ASSERT_EQ(f.freq.size(), 3u);  // the 0 Hz point is left out
  EXPECT_EQ(f.freq[0], 0.5);
  EXPECT_EQ(f.freq[2], 1.5);
  EXPECT_EQ(f.value[0], std::complex<double>(1e-6, -2e-6));
  EXPECT_EQ(f.value[1], std::complex<double>(3e-6, 4e-6));
  EXPECT_EQ(f.value[2], std::complex<double>(5e-6, -6e-6));
  EXPECT_EQ(f.response_dir, -1);
  EXPECT_EQ(f.reference_dir, 3);
  EXPECT_EQ(f.kind, FRF_RECEPTANCE);

  // Record 6 written with blanks between the fields instead of in columns,
  // with and without entity names.
  for (const char* record6 : {"4 1 1 0 TOOL 7 -2 HAMMER 7 2", "4 1 1 0 7 -2 7 2"}) {
    std::string free = text;
    const size_t at = free.find("    4         1");
    free.replace(at, free.find('\n', at) - at, record6);
    write_file(dir.file("free.uff"), free);
    got.clear();
    ASSERT_TRUE(uff_read(dir.file("free.uff"), UffHint{-1}, &got, &error))
        << record6 << ": " << error;
    EXPECT_EQ(got[0].response_dir, -2) << record6;
    EXPECT_EQ(got[0].reference_dir, 2) << record6;
  }
  // Records 7 and 9 the same way: data type, points, spacing, start, step; an accelerance.
  std::string free = text;
  for (auto [from, to] :
       {std::pair<const char*, const char*>{"         5         4", "5 4 1 0.0 0.5D+00 0"},
        {"         8    1", "12 1 0 0 Acceleration m/s^2"}}) {
    const size_t at = free.find(from);
    free.replace(at, free.find('\n', at) - at, to);
  }
  write_file(dir.file("free.uff"), free);
  got.clear();
  ASSERT_TRUE(uff_read(dir.file("free.uff"), UffHint{-1}, &got, &error)) << error << "\n" << free;
  EXPECT_EQ(got[0].kind, FRF_ACCELERANCE);
  EXPECT_EQ(got[0].freq[2], 1.5);
  EXPECT_EQ(got[0].value[2], std::complex<double>(5e-6, -6e-6));
}

TEST(Uff, Dataset164FactorsTakeFileUnitsToSi) {
  ScratchDir dir;
  const UffUnits mm{5, 1000.0, 1.0, 1.0};                             // millimetres
  const UffUnits inch{7, 39.37007874015748, 0.224808943099711, 1.8};  // inches, pound-force
  for (const UffUnits* units : {&mm, &inch}) {
    UffLayout layout{0, 0, 1, 1, 1, 0, 1, 0, 0, 0, 0};  // with D exponents, as real files
    const FrfData want = sample(true);
    std::string error;
    ASSERT_TRUE(uff_write(dir.file("u.uff"), {want}, layout, units, &error)) << error;
    std::vector<FrfData> got;
    ASSERT_TRUE(uff_read(dir.file("u.uff"), UffHint{-1}, &got, &error)) << error;
    expect_same(want, got[0], true, 1e-11, "units");
    // Without its dataset 164 the same numbers read as SI: larger by length / force.
    std::string text = read_file(dir.file("u.uff"));
    text.erase(0, text.find("    -1\n    58\n"));
    write_file(dir.file("plain.uff"), text);
    got.clear();
    ASSERT_TRUE(uff_read(dir.file("plain.uff"), UffHint{-1}, &got, &error)) << error;
    EXPECT_NEAR(got[0].value[3].real() / want.value[3].real(), units->length / units->force, 1e-9);
  }
}

struct Refusal {
  const char* name;
  UffLayout layout;
  const char* from;  // text replaced in the written file (first occurrence)
  const char* to;
  int line;  // line the refusal names
  const char* says;
};

TEST(Uff, RefusesWhatItCannotReadNamingTheLine) {
  const UffLayout ascii{0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0};
  const UffLayout binary{1, 0, 1, 1, 1, 0, 0, 0, 0, 0, 0};
  const Refusal cases[] = {
      {"transmissibility", ascii, "    4         1", "    5         1", 8,
       "function type 5 (transmissibility) is not an FRF"},
      {"coherence", ascii, "    4         1", "    6         1", 8, "function type 6 (coherence)"},
      {"ordinate type", ascii, "         6        40", "         3        40", 9,
       "ordinate data type 3"},
      {"abscissa not frequency", ascii, "        18    0", "        17    0", 10,
       "abscissa data type 17 is not frequency"},
      {"numerator", ascii, "         8    1", "        13    1", 11, "ordinate numerator type 13"},
      {"numerator unknown", ascii, "         8    1", "         0    1", 11, "give --type"},
      {"denominator", ascii, "        13    0    1", "         8    0    1", 12,
       "ordinate denominator type 8"},
      {"no points", ascii, "         6        40", "         6         0", 9, "number of points 0"},
      {"too many points", ascii, "         6        40", "         6  90000000", 9,
       "more than the rest of the file"},
      {"not increasing", ascii, "  1.07500E+01", "  1.06000E+01", 14, "not increasing at point 4"},
      {"text in the data", ascii, "  1.07500E+01", "  1.0750xE+01", 17, "is not a line of numbers"},
      {"data cut short", ascii, "  1.97500E+01", "    -1\n", 53,
       "the data end after 117 of the 120"},
      {"not a universal file", ascii, "    -1\n    58\n", "hello\n", 1, "expected the -1"},
      {"byte order", binary, "    58b     1", "    58b     3", 2, "byte order 3"},
      {"float format", binary, "    58b     1     2", "    58b     1     1", 2,
       "floating-point format 1"},
      {"byte count short", binary, "         640", "         639", 14, "is less than the 640"},
      {"file ends inside data", binary, "         640", "        9640", 14, "the file ends inside"},
  };
  ScratchDir dir;
  const std::string path = dir.file("bad.uff");
  for (const Refusal& c : cases) {
    std::string error;
    FrfData f = sample(c.layout.even);
    f.source = "";
    ASSERT_TRUE(uff_write(path, {f}, c.layout, nullptr, &error)) << error;
    std::string text = read_file(path);
    const size_t at = text.find(c.from);
    ASSERT_NE(at, std::string::npos) << c.name << ": no \"" << c.from << "\" in\n" << text;
    text.replace(at, std::string(c.from).size(), c.to);
    write_file(path, text);
    std::vector<FrfData> got;
    EXPECT_FALSE(uff_read(path, UffHint{-1}, &got, &error)) << c.name;
    EXPECT_TRUE(got.empty()) << c.name;
    const std::string where = path + ":" + std::to_string(c.line) + ": ";
    EXPECT_EQ(error.substr(0, where.size()), where) << c.name << ": " << error;
    EXPECT_NE(error.find(c.says), std::string::npos) << c.name << ": " << error;
  }
}

TEST(Uff, UnknownOrdinateTypeReadsAsTheTypeGiven) {
  ScratchDir dir;
  std::string error;
  const UffLayout ascii{0, 0, 1, 1, 1, 0, 0, 0, 0, 0, 0};
  ASSERT_TRUE(uff_write(dir.file("a.uff"), {sample(true)}, ascii, nullptr, &error));
  std::string text = read_file(dir.file("a.uff"));
  text.replace(text.find("         8    1"), 15, "         0    1");
  text.replace(text.find("        13    0    1"), 20, "         0    0    1");
  write_file(dir.file("a.uff"), text);
  std::vector<FrfData> got;
  ASSERT_TRUE(uff_read(dir.file("a.uff"), UffHint{FRF_ACCELERANCE}, &got, &error)) << error;
  EXPECT_EQ(got[0].kind, FRF_ACCELERANCE);
}

TEST(Uff, ClosingMinusOneMissingAtTheEndIsRefused) {
  ScratchDir dir;
  std::string error;
  ASSERT_TRUE(uff_write(dir.file("a.uff"), {sample(true)},
                        UffLayout{1, 0, 1, 1, 1, 0, 0, 0, 0, 0, 0}, nullptr, &error));
  std::string text = read_file(dir.file("a.uff"));
  text.erase(text.rfind("    -1"));
  write_file(dir.file("a.uff"), text);
  std::vector<FrfData> got;
  EXPECT_FALSE(uff_read(dir.file("a.uff"), UffHint{-1}, &got, &error));
  EXPECT_NE(error.find("the file ends before the -1 that closes dataset 58b"), std::string::npos)
      << error;
}

}  // namespace

namespace {

// Damaged files: bytes overwritten, lines cut and the end lost. Each must be
// read or refused with a line naming the file; the sanitizers watch for reads
// past the text.
TEST(Uff, DamagedFilesAreReadOrRefusedNeverOverrun) {
  ScratchDir dir;
  const std::string path = dir.file("damaged.uff");
  const UffLayout layouts[] = {{0, 0, 0, 0, 1, 0, 1, 1, 0, 0, 0},
                               {1, 1, 1, 0, 1, 1, 0, 0, 1, 1, 0}};
  unsigned state = 12345u;
  auto next = [&state]() { return state = state * 1103515245u + 12345u, (state >> 8) & 0xffffu; };
  const char bytes[] = {'-', '1', ' ', '\n', '\r', '9', 'E', 'D', '.', '\0', '\xff', 'b'};
  for (const UffLayout& layout : layouts) {
    std::string error;
    ASSERT_TRUE(uff_write(path, {sample(layout.even)}, layout, nullptr, &error));
    const std::string good = read_file(path);
    for (int trial = 0; trial < 300; ++trial) {
      std::string text = good;
      const int edits = 1 + static_cast<int>(next() % 4);
      for (int e = 0; e < edits; ++e) {
        const size_t at = next() % text.size();
        switch (next() % 3) {
          case 0:
            text[at] = bytes[next() % sizeof bytes];
            break;
          case 1:
            text.erase(at, 1 + next() % 40);
            break;
          default:
            text.resize(at);
            break;
        }
        if (text.empty()) text = "\n";
      }
      write_file(path, text);
      std::vector<FrfData> got;
      if (uff_read(path, UffHint{-1}, &got, &error)) {
        for (const FrfData& f : got) EXPECT_EQ(f.freq.size(), f.value.size());
      } else {
        EXPECT_EQ(error.rfind(path, 0), 0u) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        EXPECT_EQ(error.find('\0'), std::string::npos) << error;
      }
    }
  }
}

}  // namespace
