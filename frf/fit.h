// Modal fit of measured receptance FRFs: poles from the stabilisation diagram
// (frf/lscf.h), modal constants with lower and upper residuals by linear least
// squares, then a bounded Levenberg-Marquardt refinement of every mode's
// frequency, damping ratio and modal stiffness, with uncertainties from the
// covariance of the fit. Modes the data do not support (peak within the misfit,
// stiffness undetermined, narrower than the point spacing) are dropped; weak
// modes hidden beside strong ones are sought again in what the modes found leave.
#pragma once

#include <complex>
#include <string>
#include <vector>

#include "frf/frf.h"

// What to fit. Orders 0, 0 take 2..40; a band 0, 0 takes the band every FRF measures.
struct FitOptions {
  double freq_from, freq_to;  // Hz, the band to fit (0, 0: the whole measured band)
  int order_min, order_max;   // model orders of the stabilisation diagram (e.g. 2..40)
  int max_modes;              // keep at most this many in the result, strongest first (0: all)
};

// One fitted real mode: receptance 1 / (k (1 - (f/fn)^2 + 2 i zeta f/fn)) at the measured point.
struct FittedMode {
  double natural_freq, natural_freq_sd;  // Hz, with standard deviation from the fit's covariance
  double damping_ratio, damping_ratio_sd;
  double stiffness, stiffness_sd;  // N/m, modal stiffness at the measured point
  double mass, mass_sd;            // kg, modal mass = stiffness / (2 pi fn)^2
};

// One pole of the stabilisation diagram; stable is 1 when its frequency changed by less
// than 1 % and its damping ratio by less than 5 % from the previous order of the diagram
// (orders go order_min, order_min + 2, ... up to order_max).
struct StabilisationPole {
  int order;
  double freq;
  double damping_ratio;
  int stable;
};  // Hz

struct FitResult {
  std::vector<FittedMode> modes;         // ascending frequency
  int dropped;                           // modes found but dropped by max_modes
  std::vector<StabilisationPole> poles;  // every pole of every order, for the diagram
  std::complex<double> lower_residual;   // (m/N)(rad/s)^2: adds lower_residual / -w^2
  std::complex<double> upper_residual;   // m/N: adds upper_residual
  double relative_error;                 // ||H_fit - H|| / ||H|| over the band, kept modes only
};

// Fits the modes shared by one or more receptance FRFs of the same direction; 1, or 0 with
// *error (one line naming the FRF's source and the problem). An FRF whose response and
// force directions have opposite signs is turned round first, so modes of a driving point
// come out with positive stiffness.
int fit_modes(const std::vector<FrfData>& frfs, const FitOptions& options, FitResult* result,
              std::string* error);

// The receptance (m/N) of fitted modes at f (Hz), residuals included when with_residuals is 1
// (the lower residual only at f > 0).
std::complex<double> fit_receptance(const FitResult& result, double f, int with_residuals);
