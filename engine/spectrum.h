// The dominant frequency of a vibration signal: a real FFT (KissFFT) of the
// detrended, Hann-windowed samples.
#pragma once

#include <vector>

struct SpectrumPeak {
  double frequency;   // Hz, interpolated between bins; 0 when there is no peak
  double resolution;  // Hz, the width of one bin (1 / record length)
  double amplitude;   // signal unit, amplitude of the sinusoid at the peak
};

// Amplitude spectrum of the latest samples taken every sample_period (s), as
// many as have no prime factor above 5 (the transform's fast case), linear
// trend removed and Hann window applied: amplitudes[j] (signal unit) at j *
// resolution Hz, j = 0 .. count / 2. 0 when there are fewer than 8 samples
// or the transform cannot be set up.
int spectrum_amplitudes(const std::vector<double>& samples, double sample_period,
                        std::vector<double>* amplitudes, double* resolution);

// The strongest peak of the amplitude spectrum above the lowest two bins
// (which hold what is left of the trend), with its frequency refined by a
// parabola through the three bins around it.
SpectrumPeak spectrum_dominant(const std::vector<double>& samples, double sample_period);

// The same peak found in amplitudes already computed by spectrum_amplitudes
// (resolution: their bin width, Hz), so that one transform serves both.
SpectrumPeak spectrum_peak(const std::vector<double>& amplitudes, double resolution);
