// The pictures of corvanel-frf as gnuplot scripts, each drawing one SVG
// document on gnuplot's standard output with its data inline.
#pragma once

#include <string>
#include <vector>

#include "frf/fit.h"
#include "frf/frf.h"

// Measured FRFs (points) against the fitted modes with residuals (line): real and imaginary
// parts, magnitude and phase, four panels; values in m/N, frequencies in Hz.
std::string frfplot_fit_script(const std::vector<FrfData>& frfs, const FitResult& fit,
                               const std::string& title);

// The stabilisation diagram: every pole by model order against frequency (Hz), stable ones
// marked, the fitted modes as vertical lines, over the measured magnitude.
std::string frfplot_stabilisation_script(const std::vector<FrfData>& frfs, const FitResult& fit,
                                         const std::string& title);

// One point of a stability lobe curve.
struct FrfplotLimit {
  double rpm;    // rev/min
  double depth;  // job length unit (mm or in); +inf where no limit
};

// The stability limit from the measured FRF beside the one from the fitted modes, depth in
// depth_unit against spindle speed.
std::string frfplot_lobes_script(const std::vector<FrfplotLimit>& measured,
                                 const std::vector<FrfplotLimit>& fitted, const char* depth_unit,
                                 const std::string& title);
