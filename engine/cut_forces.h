// The cutting force model: edge-frame forces of the chip, their rotation
// into the machine axes, the ±3 % scatter, the wear-land and damping forces.
#pragma once

#include "engine/memo.h"
#include "engine/random.h"
#include "engine/run_constants.h"
#include "engine/wear.h"
#include "model/params.h"
#include "model/state.h"

// The force scatter: uniform within +-3 % of the reference forces.
inline constexpr double kScatterFraction = 0.03;

// Reference forces (N) captured at step 1 of revolution 0, kept for the run.
struct ForceReference {
  double x;
  double y;
  double z;
  // The scatter per draw unit of each axis, kScatterFraction times the
  // reference over the middle of the draw range (N), as computed for the
  // references `scaled_from` (valid when `scaled`): the divisions of every
  // step, made once.
  double scale[3];
  double scaled_from[3];
  int scaled;
};

// A force along the machine axes X, Y, Z (N).
struct MachineForce {
  double x, y, z;
};

// Edge-frame forces (N) rotated into the machine axes about the shared Y axis
// by the side cutting edge angle, given as its sine and cosine.
inline MachineForce cut_machine_axes(double edge_x, double edge_y, double edge_z, double sin_k,
                                     double cos_k) {
  return {cos_k * edge_x - sin_k * edge_z, edge_y, sin_k * edge_x + cos_k * edge_z};
}

// Edge-frame forces of a chip of chip_thickness x depth (both m); turning
// only. constants null computes them from the job; memo (may be null) saves
// the sine and cosine of a chip flow angle that repeats.
void cut_edge_forces(const SimParams* params, SimState* state, double chip_thickness, double depth,
                     const RunConstants* constants = nullptr, CutMemo* memo = nullptr);

// Machine-axis forces of step k from the edge forces, wear land vb (mm) and
// the process-damping forces (N); turning only. constants null computes
// them from the job.
void cut_machine_forces(const SimParams* params, SimState* state, ForceReference* reference,
                        RandomState* random, double vb, const DampingForces& damping, int k,
                        const RunConstants* constants = nullptr);
