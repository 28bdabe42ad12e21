// Conversion of a job from its entered units to the engine's SI units.
#pragma once

#include "model/params.h"

inline constexpr double kDegToRad = 0.017453292519943295;         // degrees -> radians
inline constexpr double kInch = 0.0254;                           // inches -> metres
inline constexpr double kMilli = 1000.0;                          // mm -> m (divide)
inline constexpr double kPsi = 6894.755;                          // psi -> Pa
inline constexpr double kMega = 1e6;                              // N/mm^2 -> Pa
inline constexpr double kEnglishModalFactor = 175.1259842519685;  // lbf/in -> N/m (4.4482 / 0.0254)
inline constexpr double kNewtonsPerPound = 4.4482;                // lbf -> N in the outputs
inline constexpr double kFoot = 0.3048;                // feet -> metres (speeds in the power laws)
inline constexpr double kInchesPerMetre = 39.37;       // metres -> inches in the wear laws
inline constexpr double kFeetPerMetre = 3.28084;       // metres -> feet in the wear rate
inline constexpr double kPi = 3.141592653589793;       // rad
inline constexpr double kTwoPi = 6.283185307179586;    // rad, one turn
inline constexpr double kHalfPi = 1.5707963267948966;  // rad

// Multiplies the six angle fields by kDegToRad (degrees -> radians); returns the record.
SimParams* units_angles_to_radians(SimParams* params);

// Converts lengths to m, coefficients to Pa, modal mass to kg and stiffness
// to N/m, and the initial wear to mm, from the system `units` selects.
void units_normalise(SimParams* params);

// stiffness *= factor, and mass *= factor unless stiffness_only is set.
void units_scale_mode(ModalMode* mode, double factor, int stiffness_only);
