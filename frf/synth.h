// Synthetic receptance FRFs of known modes with seeded noise, for the tests
// and the worked example.
#pragma once

#include <vector>

#include "frf/frf.h"

// One real single-degree-of-freedom mode: receptance 1 / (k (1 - (f/fn)^2 + 2 i zeta f/fn)).
struct SynthMode {
  double natural_freq;   // Hz, undamped
  double damping_ratio;  // -
  double stiffness;      // N/m, modal stiffness at the point
};

// Receptance (m/N) of known modes at freq_from..freq_to (Hz) every step Hz, with
// 'proportional' relative noise (standard deviation of the real and of the imaginary
// part relative to the exact magnitude, e.g. 0.02) and 'floor' complex noise (the same
// per part, as a fraction of the peak magnitude, e.g. 0.005), from a seeded
// std::mt19937_64 so tests repeat. Directions +1/+1 (X over X), source "synthetic".
// Empty freq and value when step <= 0, freq_to < freq_from or the grid exceeds 10^7 points.
FrfData synth_frf(const std::vector<SynthMode>& modes, double freq_from, double freq_to,
                  double step, double proportional, double floor, unsigned seed);

// The exact receptance (m/N) of the modes at f (Hz), without noise.
std::complex<double> synth_receptance(const std::vector<SynthMode>& modes, double f);
