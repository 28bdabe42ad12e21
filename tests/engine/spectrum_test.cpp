// The amplitude spectrum of a record whose length KissFFT would transform slowly.
#include "engine/spectrum.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr double kTwoPi = 6.283185307179586;

// count samples every dt (s) of a 1 um sinusoid at frequency (Hz); the first
// `loud` samples carry a 100 um one at 2000 Hz instead.
std::vector<double> record(int count, double dt, double frequency, int loud) {
  std::vector<double> x;
  for (int i = 0; i < count; ++i) {
    const double t = i * dt;
    x.push_back(i < loud ? 1e-4 * std::sin(kTwoPi * 2000 * t)
                         : 1e-6 * std::sin(kTwoPi * frequency * t));
  }
  return x;
}

}  // namespace

TEST(Spectrum, ARecordOfPrimeHalfLengthIsCutToAFastLengthKeepingItsLatestSamples) {
  const double dt = 5e-5;
  struct Case {
    int count;                  // samples
    int used;                   // the longest even count up to it whose half has no factor above 5
  } cases[] = {{19858, 19440},  // 9929 is prime
               {4001, 4000},    // odd: the oldest sample goes
               {8, 8}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.count);
    // The samples before the last `used` ones are loud and must not count.
    const std::vector<double> x = record(c.count, dt, 634.3, c.count - c.used);
    std::vector<double> amplitudes;
    double resolution = 0;
    ASSERT_EQ(spectrum_amplitudes(x, dt, &amplitudes, &resolution), 1);
    EXPECT_DOUBLE_EQ(resolution, 1 / (c.used * dt));
    EXPECT_EQ(amplitudes.size(), static_cast<size_t>(c.used / 2 + 1));
    if (c.used < 1000) continue;
    const SpectrumPeak peak = spectrum_peak(amplitudes, resolution);
    EXPECT_NEAR(peak.frequency, 634.3, resolution / 2);
    EXPECT_NEAR(peak.amplitude / 1e-6, 1.0, 0.2);
    const SpectrumPeak same = spectrum_dominant(x, dt);
    EXPECT_EQ(same.frequency, peak.frequency);
    EXPECT_EQ(same.amplitude, peak.amplitude);
  }
}
