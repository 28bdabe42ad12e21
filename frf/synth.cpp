#include "frf/synth.h"

#include <algorithm>
#include <cmath>
#include <random>

std::complex<double> synth_receptance(const std::vector<SynthMode>& modes, double f) {
  std::complex<double> h = 0;
  for (const SynthMode& m : modes) {
    const double r = f / m.natural_freq;
    h += 1.0 / (m.stiffness * std::complex<double>(1 - r * r, 2 * m.damping_ratio * r));
  }
  return h;
}

FrfData synth_frf(const std::vector<SynthMode>& modes, double freq_from, double freq_to,
                  double step, double proportional, double floor, unsigned seed) {
  FrfData frf{};
  frf.kind = FRF_RECEPTANCE;
  frf.response_dir = 1;
  frf.reference_dir = 1;
  frf.source = "synthetic";
  if (!(step > 0) || !(freq_to >= freq_from) || !std::isfinite(freq_from) ||
      !std::isfinite(freq_to))
    return frf;
  const double span = (freq_to - freq_from) / step;
  if (span > 1e7) return frf;
  // A small tolerance keeps freq_to on the grid when the span is a whole number of steps.
  const size_t count = static_cast<size_t>(std::floor(span + 1e-9)) + 1;
  frf.freq.resize(count);
  frf.value.resize(count);
  double peak = 0;
  for (size_t i = 0; i < count; ++i) {
    frf.freq[i] = freq_from + static_cast<double>(i) * step;
    frf.value[i] = synth_receptance(modes, frf.freq[i]);
    peak = std::max(peak, std::abs(frf.value[i]));
  }
  std::mt19937_64 generator(seed);
  std::normal_distribution<double> normal(0.0, 1.0);
  for (std::complex<double>& v : frf.value) {
    const double scale = proportional * std::abs(v);
    const std::complex<double> relative(normal(generator), normal(generator));
    const std::complex<double> absolute(normal(generator), normal(generator));
    v += scale * relative + floor * peak * absolute;
  }
  return frf;
}
