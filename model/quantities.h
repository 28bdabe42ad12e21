// The nine quantities summarised for each recorded revolution: the forces on
// the tool and the displacements of the two structures, X, Y and Z each. The
// table's order is the order of the .rms and .ave columns and of the run
// summary's lists; every writer, reader and check iterates it.
#pragma once

#include "model/state.h"
#include "model/units.h"

// What a quantity measures, and so which output unit it is written in.
enum class QuantityKind {
  kForce,   // N (lbf for English jobs)
  kLength,  // m (in for English jobs)
};

struct RevolutionQuantity {
  const char* name;  // as messages name it: "X force"
  const char* key;   // the run summary's key, SI unit included: "force_x_N"
  QuantityKind kind;
  double* SimState::*history;  // SI, one value per step of the revolution
  double SimState::*max;       // SI, the revolution's extremes
  double SimState::*min;
  double SimState::*mean;  // output units (see QuantityKind)
  double SimState::*rms;   // output units, RMS deviation from the mean
};

inline constexpr int kRevolutionQuantityCount = 9;

inline constexpr RevolutionQuantity kRevolutionQuantities[kRevolutionQuantityCount] = {
    {"X force", "force_x_N", QuantityKind::kForce, &SimState::force_hist_x, &SimState::force_x_max,
     &SimState::force_x_min, &SimState::force_x_mean, &SimState::force_x_rms},
    {"Y force", "force_y_N", QuantityKind::kForce, &SimState::force_hist_y, &SimState::force_y_max,
     &SimState::force_y_min, &SimState::force_y_mean, &SimState::force_y_rms},
    {"Z force", "force_z_N", QuantityKind::kForce, &SimState::force_hist_z, &SimState::force_z_max,
     &SimState::force_z_min, &SimState::force_z_mean, &SimState::force_z_rms},
    {"spindle-workpiece X displacement", "workpiece_x_m", QuantityKind::kLength,
     &SimState::sw_disp_x, &SimState::sw_disp_x_max, &SimState::sw_disp_x_min,
     &SimState::sw_disp_x_mean, &SimState::sw_disp_x_rms},
    {"spindle-workpiece Y displacement", "workpiece_y_m", QuantityKind::kLength,
     &SimState::sw_disp_y, &SimState::sw_disp_y_max, &SimState::sw_disp_y_min,
     &SimState::sw_disp_y_mean, &SimState::sw_disp_y_rms},
    {"spindle-workpiece Z displacement", "workpiece_z_m", QuantityKind::kLength,
     &SimState::sw_disp_z, &SimState::sw_disp_z_max, &SimState::sw_disp_z_min,
     &SimState::sw_disp_z_mean, &SimState::sw_disp_z_rms},
    {"tool X displacement", "tool_x_m", QuantityKind::kLength, &SimState::tool_disp_x,
     &SimState::tool_disp_x_max, &SimState::tool_disp_x_min, &SimState::tool_disp_x_mean,
     &SimState::tool_disp_x_rms},
    {"tool Y displacement", "tool_y_m", QuantityKind::kLength, &SimState::tool_disp_y,
     &SimState::tool_disp_y_max, &SimState::tool_disp_y_min, &SimState::tool_disp_y_mean,
     &SimState::tool_disp_y_rms},
    {"tool Z displacement", "tool_z_m", QuantityKind::kLength, &SimState::tool_disp_z,
     &SimState::tool_disp_z_max, &SimState::tool_disp_z_min, &SimState::tool_disp_z_mean,
     &SimState::tool_disp_z_rms},
};

// The quantity's range over the revolution (max - min), SI.
inline double quantity_range(const RevolutionQuantity& q, const SimState* state) {
  return state->*q.max - state->*q.min;
}

// SI units per output unit of a quantity of this kind: N per lbf and m per
// in for English jobs (units 0), 1 for metric ones.
inline double quantity_output_unit(QuantityKind kind, int units) {
  if (units != 0) return 1.0;
  return kind == QuantityKind::kForce ? kNewtonsPerPound : kInch;
}
