// Chip geometry and the empirical cutting coefficients Kf, Kn and the chip
// flow angle (power laws in English units, stored in SI).
#pragma once

#include "engine/memo.h"
#include "engine/run_constants.h"
#include "materials/matdb.h"
#include "model/params.h"
#include "model/state.h"
#include "model/units.h"

// Cutting speed (m/min) at a diameter (m) turning at rpm (rev/min): pi d n.
inline double cut_coefficients_speed(double diameter, double rpm) {
  return kPi * diameter * rpm;
}

// Length of cutting edge engaged at depth `depth` (nose radius and result
// in the same length unit as depth; edge_angle in rad).
double chip_engaged_length(double depth, double nose_radius, double edge_angle);

// Average uncut chip thickness of the nominal cut, m.
double chip_average_thickness(const SimParams* params);

// Sets the edge angle (the side cutting edge angle in turning) and the
// average chip thickness (m), then the 24 database numbers of the job's pair
// from db (null re-reads the files). Returns 0 when the lookup fails.
int cut_coefficients_lookup(SimParams* params, const MatDb* db);

// The memo of one power of the speed (field) in memo, or null for a null memo.
inline PowMemo* cut_coefficients_memo(CutMemo* memo, PowMemo CutMemo::*field) {
  return memo != nullptr ? &(memo->*field) : nullptr;
}

// Average-chip coefficients at the state's cutting speed (m/min), from the
// run's constants of the looked-up job. memo (may be null) saves the powers
// of the speed that the step's instantaneous coefficients repeat. Inline:
// every step takes it.
inline void cut_coefficients_at_speed(SimParams* params, const SimState* state,
                                      const RunConstants& constants, CutMemo* memo = nullptr) {
  // kPsi Kf constant (average chip)^exponent v^exponent, each factor before
  // the speed's power the run's own; the same for Kn and the chip flow angle
  // (kDegToRad constant depth^exponent v^exponent).
  double v = state->cutting_speed / kFoot;  // ft/min
  params->kf = constants.kf_average_factor *
               memo_pow(cut_coefficients_memo(memo, &CutMemo::kf_speed), v, params->kf_speed_exp);
  params->kn = constants.kn_average_factor *
               memo_pow(cut_coefficients_memo(memo, &CutMemo::kn_speed), v, params->kn_speed_exp);
  const double speed_power =
      params->cfa_speed_exp == 0
          ? 1.0
          : memo_pow(cut_coefficients_memo(memo, &CutMemo::cfa_speed), v, params->cfa_speed_exp);
  params->chip_flow_angle = constants.cfa_average_factor * speed_power;
}

// The lookup and the average-chip coefficients in one call (for a single
// evaluation; a run looks up once and then calls cut_coefficients_at_speed).
// Returns 0 when the lookup fails.
int cut_coefficients_average(SimParams* params, const SimState* state, const MatDb* db);

// Coefficients of the step's chip: chip_thickness and depth in m. constants
// null computes them from the job; memo (may be null) as above.
void cut_coefficients_instant(SimParams* params, const SimState* state, double chip_thickness,
                              double depth, const RunConstants* constants = nullptr,
                              CutMemo* memo = nullptr);
