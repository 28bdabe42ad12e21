// Measured frequency response functions (FRFs) of one structure point, as
// corvanel-frf reads, converts, fits and draws them.
#pragma once

#include <complex>
#include <string>
#include <vector>

// What an FRF's ordinate measures over force.
enum FrfKind {
  FRF_RECEPTANCE = 0,   // displacement / force, m/N
  FRF_MOBILITY = 1,     // velocity / force, (m/s)/N
  FRF_ACCELERANCE = 2,  // acceleration / force, (m/s^2)/N
};

// One measured FRF. After reading, every FRF is receptance in SI units.
struct FrfData {
  std::vector<double> freq;                 // Hz, strictly increasing, > 0 after conversion
  std::vector<std::complex<double>> value;  // m/N (receptance) once converted
  FrfKind kind;                             // FRF_RECEPTANCE once converted
  int response_dir;    // signed direction: +-1 X, +-2 Y, +-3 Z, +-4..6 rotations, 0 unknown/scalar
  int reference_dir;   // as response_dir, for the force
  std::string source;  // "FILE" or "FILE: dataset N", for messages and legends
};
