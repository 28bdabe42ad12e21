// Text and CSV FRFs: the separators, decimal commas, column sets and units
// engineers' files use, read to SI; and the refusals, naming the line.
#include "frf/frftext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <string>

#include "frf/convert.h"
#include "tests/support/test_support.h"

using test_support::ScratchDir;
using test_support::write_file;

namespace {

constexpr double kPi = 3.141592653589793;

struct TextCase {
  const char* name;
  const char* text;
  FrfTextOptions options;
  FrfKind kind;
  double freq[2];                 // Hz, first two points
  std::complex<double> value[2];  // SI, first two points
};

const FrfTextOptions kNone{-1, 0.0, -1};

TEST(FrfText, ReadsTheLayoutsOfMeasurementFiles) {
  const std::complex<double> a(1e-6, -2e-6), b(-3e-6, 4e-6);
  const TextCase cases[] = {
      {"CSV with a header in mm/N",
       "Frequency [Hz],Real [mm/N],Imag [mm/N]\n10,0.001,-0.002\n10.5,-3e-3,4E-3\n",
       kNone,
       FRF_RECEPTANCE,
       {10.0, 10.5},
       {a, b}},
      {"semicolons and decimal commas, CR LF, a title and comments",
       "\xef\xbb\xbfTool X tap test\r\n# receptance\r\nf [Hz];Re [m/N];Im [m/N]\r\n"
       "10,25;1e-6;-2e-6\r\n% a comment\r\n10,5;-3,0e-6;4,0E-6\r\n",
       kNone,
       FRF_RECEPTANCE,
       {10.25, 10.5},
       {a, b}},
      {"tab separated magnitude and phase in degrees",
       "freq (Hz)\tMagnitude (um/N)\tPhase (deg)\n20\t2\t90\n30\t1\t-180\n",
       kNone,
       FRF_RECEPTANCE,
       {20.0, 30.0},
       {{0.0, 2e-6}, {-1e-6, 0.0}}},
      {"blanks, dB and phase in radians, rad/s",
       "omega (rad/s)  dB  phase (rad)\n62.83185307179586  -100 0\n125.66370614359172 -120 "
       "3.141592653589793\n",
       FrfTextOptions{FRF_RECEPTANCE, 1.0, -1},
       FRF_RECEPTANCE,
       {10.0, 20.0},
       {{1e-5, 0.0}, {-1e-6, 0.0}}},
      {"no header: frequency, real, imaginary with the unit from the command line",
       "10 1 -2\n10.5 -3 4\n",
       FrfTextOptions{FRF_RECEPTANCE, 1e-6, -1},
       FRF_RECEPTANCE,
       {10.0, 10.5},
       {a, b}},
      {"blank-separated decimal commas, a 0 Hz point left out, a coherence column",
       "Frequency (Hz) Real (m/N) Imag (m/N) Coherence\n0 0 0 1\n10 1e-6 -2e-6 0,9\n"
       "10,5 -3e-6 4e-6 0,8\n",
       kNone,
       FRF_RECEPTANCE,
       {10.0, 10.5},
       {a, b}},
      {"accelerance in g/N said by the header",
       "Frequency [Hz],Re [g/N],Im [g/N]\n10,1,0\n20,0,-1\n",
       kNone,
       FRF_ACCELERANCE,
       {10.0, 20.0},
       {{9.80665, 0.0}, {0.0, -9.80665}}},
      {"mobility named by a header word, unit from the command line",
       "# mobility, driving point\nFrequency [Hz], Real, Imag\n10,1,0\n20,0,1\n",
       FrfTextOptions{FRF_MOBILITY, 1.0, -1},
       FRF_MOBILITY,
       {10.0, 20.0},
       {{1.0, 0.0}, {0.0, 1.0}}},
  };
  ScratchDir dir;
  for (const TextCase& c : cases) {
    write_file(dir.file("f.txt"), c.text);
    FrfData f;
    std::string error;
    ASSERT_TRUE(frftext_read(dir.file("f.txt"), c.options, &f, &error)) << c.name << ": " << error;
    EXPECT_EQ(f.kind, c.kind) << c.name;
    ASSERT_EQ(f.freq.size(), 2u) << c.name;
    for (int i = 0; i < 2; ++i) {
      EXPECT_NEAR(f.freq[i], c.freq[i], 1e-12 * c.freq[i]) << c.name;
      const double scale = std::abs(c.value[i]);
      EXPECT_NEAR(f.value[i].real(), c.value[i].real(), 1e-12 * scale) << c.name << " point " << i;
      EXPECT_NEAR(f.value[i].imag(), c.value[i].imag(), 1e-12 * scale) << c.name << " point " << i;
    }
  }
}

struct TextRefusal {
  const char* name;
  const char* text;
  FrfTextOptions options;
  int line;
  const char* says;
};

TEST(FrfText, RefusesWhatItCannotReadNamingTheLine) {
  const TextRefusal cases[] = {
      {"no unit anywhere", "10 1 2\n20 3 4\n", kNone, 1, "neither the file nor the command line"},
      {"type without unit", "# mobility\n10 1 2\n20 3 4\n", kNone, 2,
       "neither the file nor the command line gives the unit"},
      {"file and command line disagree", "f [Hz],Re [mm/N],Im [mm/N]\n10,1,2\n",
       FrfTextOptions{FRF_RECEPTANCE, 1.0, -1}, 1, "the file gives its values in mm/n"},
      {"type and unit of the header disagree",
       "# accelerance\nf [Hz],Re [mm/N],Im [mm/N]\n10,1,2\n", kNone, 2,
       "calls the FRF a accelerance but gives it in a unit of receptance"},
      {"frequencies not increasing", "10 1 2\n20 3 4\n15 5 6\n",
       FrfTextOptions{FRF_RECEPTANCE, 1.0, -1}, 3, "not increasing"},
      {"a repeated frequency", "10 1 2\n10 3 4\n", FrfTextOptions{FRF_RECEPTANCE, 1.0, -1}, 2,
       "not increasing"},
      {"negative frequency", "-10 1 2\n", FrfTextOptions{FRF_RECEPTANCE, 1.0, -1}, 1, "negative"},
      {"phase without its unit", "f [Hz],Mag [m/N],Phase\n10,1,2\n", kNone, 1,
       "does not say deg or rad"},
      {"four unnamed columns", "10 1 2 3\n", FrfTextOptions{FRF_RECEPTANCE, 1.0, -1}, 1,
       "no header line names the columns"},
      {"text among the numbers", "10 1 2\n20 3 x\n", FrfTextOptions{FRF_RECEPTANCE, 1.0, -1}, 2,
       "is not a line of numbers"},
      {"a short line", "10 1 2\n20 3\n", FrfTextOptions{FRF_RECEPTANCE, 1.0, -1}, 2,
       "holds 2 numbers"},
      {"nothing to read", "just words\n", FrfTextOptions{FRF_RECEPTANCE, 1.0, -1}, 1,
       "no line of numbers"},
      {"unknown unit in the header", "f [Hz],Re [N/m],Im [N/m]\n10,1,2\n", kNone, 1,
       "neither the file nor the command line"},
      {"Hz said, rad/s given", "f [Hz],Re [m/N],Im [m/N]\n10,1,2\n", FrfTextOptions{-1, 0.0, 1}, 1,
       "the file gives frequencies in Hz, the command line in rad/s"},
  };
  ScratchDir dir;
  const std::string path = dir.file("bad.csv");
  for (const TextRefusal& c : cases) {
    write_file(path, c.text);
    FrfData f;
    std::string error;
    EXPECT_FALSE(frftext_read(path, c.options, &f, &error)) << c.name;
    const std::string where = path + ":" + std::to_string(c.line) + ": ";
    EXPECT_EQ(error.substr(0, where.size()), where) << c.name << ": " << error;
    EXPECT_NE(error.find(c.says), std::string::npos) << c.name << ": " << error;
  }
}

TEST(Convert, MobilityAndAccelerancesBecomeTheReceptance) {
  // One mode: receptance H; mobility i w H; accelerance -w^2 H.
  FrfData mob{{}, {}, FRF_MOBILITY, 1, 1, "m"}, acc{{}, {}, FRF_ACCELERANCE, 1, 1, "a"};
  std::vector<std::complex<double>> h;
  for (double f = 100.0; f <= 400.0; f += 50.0) {
    const double w = 2 * kPi * f, wn = 2 * kPi * 250.0;
    h.push_back(1.0 / (2.0 * std::complex<double>(wn * wn - w * w, 2 * 0.012 * wn * w)));
    mob.freq.push_back(f), acc.freq.push_back(f);
    mob.value.push_back(std::complex<double>(0.0, w) * h.back());
    acc.value.push_back(-w * w * h.back());
  }
  std::string error;
  ASSERT_TRUE(convert_to_receptance(&mob, &error)) << error;
  ASSERT_TRUE(convert_to_receptance(&acc, &error)) << error;
  for (size_t i = 0; i < h.size(); ++i) {
    EXPECT_NEAR(std::abs(mob.value[i] - h[i]), 0.0, 1e-14 * std::abs(h[i]));
    EXPECT_NEAR(std::abs(acc.value[i] - h[i]), 0.0, 1e-14 * std::abs(h[i]));
  }
  EXPECT_EQ(mob.kind, FRF_RECEPTANCE);
  FrfData at_zero{{0.0, 1.0}, {1.0, 1.0}, FRF_ACCELERANCE, 1, 1, "z"};
  EXPECT_FALSE(convert_to_receptance(&at_zero, &error));
  EXPECT_NE(error.find("above 0 Hz"), std::string::npos) << error;
}

TEST(Convert, UnitNamesAndDirections) {
  struct Unit {
    const char* text;
    int known;
    FrfKind kind;
    double to_si;
  };
  const Unit units[] = {
      {"m/N", 1, FRF_RECEPTANCE, 1.0},
      {"mm/N", 1, FRF_RECEPTANCE, 1e-3},
      {"um/N", 1, FRF_RECEPTANCE, 1e-6},
      {"\xc2\xb5m/N", 1, FRF_RECEPTANCE, 1e-6},
      {"(m/s)/N", 1, FRF_MOBILITY, 1.0},
      {"(m/s^2)/N", 1, FRF_ACCELERANCE, 1.0},
      {"(m/s\xc2\xb2)/N", 1, FRF_ACCELERANCE, 1.0},
      {"g/N", 1, FRF_ACCELERANCE, 9.80665},
      {"N/m", 0, FRF_RECEPTANCE, 0.0},
      {"in/lbf", 0, FRF_RECEPTANCE, 0.0},
  };
  for (const Unit& u : units) {
    FrfKind kind = FRF_RECEPTANCE;
    double to_si = 0.0;
    EXPECT_EQ(convert_parse_units(u.text, &kind, &to_si), u.known) << u.text;
    if (!u.known) continue;
    EXPECT_EQ(kind, u.kind) << u.text;
    EXPECT_EQ(to_si, u.to_si) << u.text;
  }
  // A response measured in -X for a force in +X is the +X/+X FRF negated.
  FrfData f{{10.0}, {{1.0, -2.0}}, FRF_RECEPTANCE, -1, 1, "s"};
  convert_positive_directions(&f);
  EXPECT_EQ(f.value[0], std::complex<double>(-1.0, 2.0));
  EXPECT_EQ(f.response_dir, 1);
  convert_positive_directions(&f);
  EXPECT_EQ(f.value[0], std::complex<double>(-1.0, 2.0));
  double v;
  EXPECT_TRUE(convert_parse_number(" -1.5D+02 ", 0, &v));
  EXPECT_EQ(v, -150.0);
  EXPECT_TRUE(convert_parse_number("2,5", 1, &v));
  EXPECT_EQ(v, 2.5);
  for (const char* bad : {"2,5", "0x10", "inf", "nan", "1e", "--1", "1.5.2", ""})
    EXPECT_FALSE(convert_parse_number(bad, 0, &v)) << bad;
}

TEST(FrfText, DamagedFilesAreReadOrRefusedInOneLine) {
  const std::string good =
      "# tap test\nFrequency [Hz];Real [mm/N];Imag [mm/N]\n10,0;1,5e-3;-2e-3\n10,5;1,4e-3;-2,1e-3\n"
      "11,0;1,3e-3;-2,2e-3\n11,5;1,2e-3;-2,3e-3\n";
  ScratchDir dir;
  const std::string path = dir.file("damaged.csv");
  unsigned state = 777u;
  auto next = [&state]() { return state = state * 1103515245u + 12345u, (state >> 8) & 0xffffu; };
  const char bytes[] = {';', ',', '\t', ' ', '\n', '\r', '-', 'e', '#', '\xb5', 'x', '0'};
  for (int trial = 0; trial < 400; ++trial) {
    std::string text = good;
    for (int e = 0; e < 1 + static_cast<int>(next() % 3); ++e) {
      const size_t at = next() % text.size();
      if (next() % 2)
        text[at] = bytes[next() % sizeof bytes];
      else
        text.erase(at, 1 + next() % 12);
      if (text.empty()) text = "\n";
    }
    write_file(path, text);
    FrfData f;
    std::string error;
    if (frftext_read(path, kNone, &f, &error)) {
      EXPECT_EQ(f.freq.size(), f.value.size());
      for (size_t i = 1; i < f.freq.size(); ++i) EXPECT_GT(f.freq[i], f.freq[i - 1]);
    } else {
      EXPECT_EQ(error.rfind(path, 0), 0u) << error;
      EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
  }
}

}  // namespace
