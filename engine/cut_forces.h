// The cutting force model: edge-frame forces of the chip, their rotation
// into the machine axes, the ±3 % scatter, the wear-land and damping forces.
#pragma once

#include "engine/memo.h"
#include "engine/random.h"
#include "model/params.h"
#include "model/state.h"

// Reference forces (N) captured at step 1 of revolution 0, kept for the run.
struct ForceReference {
  double x;
  double y;
  double z;
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

// Edge-frame forces of a chip of chip_thickness x depth (both m); turning only.
// memo (may be null) saves the sines and cosines of angles that repeat.
void cut_edge_forces(const SimParams* params, SimState* state, double chip_thickness,
                     double depth, CutMemo* memo = nullptr);

// Machine-axis forces of step k from the edge forces, wear land vb (mm) and
// the damping forces damping_z, damping_x (N); turning only.
void cut_machine_forces(SimState* state, const SimParams* params, ForceReference* reference,
                        RandomState* random, double vb, double damping_z, double damping_x,
                        int k, CutMemo* memo = nullptr);
