// Chip geometry and the empirical cutting coefficients Kf, Kn and the chip
// flow angle (power laws in English units, stored in SI).
#pragma once

#include "engine/memo.h"
#include "materials/matdb.h"
#include "model/params.h"
#include "model/state.h"
#include "model/units.h"

// Cutting speed (m/min) at a diameter (m) turning at rpm (rev/min): pi d n.
inline double cut_coefficients_speed(double diameter, double rpm) { return kPi * diameter * rpm; }

// Length of cutting edge engaged at depth `depth` (nose radius and result
// in the same length unit as depth; edge_angle in rad).
double chip_engaged_length(double depth, double nose_radius, double edge_angle);

// Average uncut chip thickness of the nominal cut, m.
double chip_average_thickness(const SimParams* params);

// Average-chip coefficients from the database pair and the state's cutting
// speed (m/min). db null re-reads the files; memo (may be null) saves the
// powers and angles that repeat. Returns 0 when the lookup fails.
int cut_coefficients_average(SimParams* params, const SimState* state, const MatDb* db,
                             CutMemo* memo = nullptr);

// Coefficients of the step's chip: chip_thickness and depth in m.
void cut_coefficients_instant(SimParams* params, const SimState* state, double chip_thickness,
                              double depth, CutMemo* memo = nullptr);
