#include "engine/cut_forces.h"

#include <bit>
#include <cmath>
#include <cstdint>

#include "model/units.h"

void cut_edge_forces(const SimParams* params, SimState* state, double chip_thickness, double depth,
                     const RunConstants* constants, CutMemo* memo) {
  if (constants == nullptr) {
    const RunConstants fresh = run_constants_of(params);
    return cut_edge_forces_run(params, state, chip_thickness, depth, fresh, memo);
  }
  cut_edge_forces_run(params, state, chip_thickness, depth, *constants, memo);
}

void cut_machine_forces(const SimParams* params, SimState* state, ForceReference* reference,
                        RandomState* random, double vb, const DampingForces& damping, int k,
                        const RunConstants* constants) {
  if (constants == nullptr) {
    const RunConstants fresh = run_constants_of(params);
    return cut_machine_forces_run(params, state, reference, random, vb, damping, k, fresh);
  }
  cut_machine_forces_run(params, state, reference, random, vb, damping, k, *constants);
}
