#include "engine/spectrum.h"

#include <kiss_fftr.h>

#include <cmath>
#include <memory>

#include "model/units.h"

namespace {

struct ConfigFree {
  void operator()(kiss_fftr_state* cfg) const { kiss_fftr_free(cfg); }
};

// Removes the least-squares line through the samples (index as abscissa).
std::vector<double> detrended(const std::vector<double>& x) {
  const double n = static_cast<double>(x.size());
  const double mean_i = (n - 1) / 2;
  double mean_x = 0;
  for (double v : x) mean_x += v;
  mean_x /= n;
  double sxy = 0, sxx = 0;
  for (size_t i = 0; i < x.size(); ++i) {
    const double di = static_cast<double>(i) - mean_i;
    sxy += di * (x[i] - mean_x);
    sxx += di * di;
  }
  const double slope = sxx > 0 ? sxy / sxx : 0;
  std::vector<double> out(x.size());
  for (size_t i = 0; i < x.size(); ++i)
    out[i] = x[i] - mean_x - slope * (static_cast<double>(i) - mean_i);
  return out;
}

// The largest length up to count whose only prime factors are 2, 3 and 5,
// even: the transform's fast case.
int fast_length(int count) {
  for (int n = count & ~1; n >= 2; n -= 2) {
    int m = n;
    for (int p : {2, 3, 5})
      while (m % p == 0) m /= p;
    if (m == 1) return n;
  }
  return 0;
}

}  // namespace

int spectrum_amplitudes(const std::vector<double>& samples, double sample_period,
                        std::vector<double>* amplitudes, double* resolution) {
  // The latest samples, as many as the transform takes fast.
  const int n = fast_length(static_cast<int>(samples.size()));
  if (n < 8 || !(sample_period > 0)) return 0;
  std::unique_ptr<kiss_fftr_state, ConfigFree> cfg(kiss_fftr_alloc(n, 0, nullptr, nullptr));
  if (!cfg) return 0;
  const std::vector<double> x = detrended(std::vector<double>(samples.end() - n, samples.end()));
  std::vector<float> in(static_cast<size_t>(n));
  double window_sum = 0;
  for (int i = 0; i < n; ++i) {
    const double w = 0.5 - 0.5 * std::cos(kTwoPi * i / n);
    window_sum += w;
    in[static_cast<size_t>(i)] = static_cast<float>(x[static_cast<size_t>(i)] * w);
  }
  std::vector<kiss_fft_cpx> out(static_cast<size_t>(n / 2 + 1));
  kiss_fftr(cfg.get(), in.data(), out.data());
  amplitudes->assign(out.size(), 0.0);
  for (size_t j = 0; j < out.size(); ++j) {
    // A sinusoid of amplitude a gives |X| = a * sum(w) / 2 at its bin.
    const double magnitude = std::hypot(out[j].r, out[j].i);
    (*amplitudes)[j] = magnitude * (j == 0 ? 1.0 : 2.0) / window_sum;
  }
  *resolution = 1.0 / (n * sample_period);
  return 1;
}

SpectrumPeak spectrum_dominant(const std::vector<double>& samples, double sample_period) {
  std::vector<double> a;
  double resolution = 0;
  if (!spectrum_amplitudes(samples, sample_period, &a, &resolution)) return SpectrumPeak{0, 0, 0};
  return spectrum_peak(a, resolution);
}

SpectrumPeak spectrum_peak(const std::vector<double>& a, double resolution) {
  SpectrumPeak peak{0, resolution, 0};
  size_t best = 0;
  for (size_t j = 2; j + 1 < a.size(); ++j)
    if (a[j] > a[best] || best == 0) best = j;
  if (best == 0 || !(a[best] > 0)) return peak;
  // Vertex of the parabola through the log amplitudes of the three bins.
  const double l = std::log(a[best - 1]), c = std::log(a[best]), r = std::log(a[best + 1]);
  double offset = 0;
  if (std::isfinite(l) && std::isfinite(r) && l - 2 * c + r < 0)
    offset = 0.5 * (l - r) / (l - 2 * c + r);
  peak.frequency = (static_cast<double>(best) + offset) * peak.resolution;
  peak.amplitude = a[best];
  return peak;
}
