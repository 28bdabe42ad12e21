// The cutting force model: edge-frame forces of the chip, their rotation
// into the machine axes, the ±3 % scatter, the wear-land and damping forces.
#pragma once

#include "engine/memo.h"
#include "engine/random.h"
#include "engine/run_constants.h"
#include "engine/wear.h"
#include "model/params.h"
#include "model/state.h"

// Reference forces (N) captured at step 1 of revolution 0, kept for the run.
struct ForceReference {
  double x;
  double y;
  double z;
};

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
