// Flank wear land growth and the process-damping forces of the worn flank.
#pragma once

#include "engine/memo.h"
#include "engine/run_constants.h"
#include "model/params.h"
#include "model/state.h"

// Relative displacements at step 34199 of the previous revolution (m), kept
// for the whole run.
struct DampingMemory {
  double last_rel_disp_x;
  double last_rel_disp_z;
};

// Process-damping forces of one pass, N.
struct DampingForces {
  double z;  // added to force_z
  double x;  // added to force_x
};

// The contact geometry's sines and cosines for a nose arc of angle phi (rad).
ContactTrig wear_contact_trig(double phi);

// Flank wear land width VB at the state's cut angle, mm. constants null
// computes them from the job.
double wear_land_width(const SimParams* params, const SimState* state,
                       const RunConstants* constants = nullptr);

// Damping forces of step s for effective depth h_eff (m) and wear land vb
// (mm); records the step-34199 displacements in memory. constants null
// computes them from the job; memo (may be null) saves the contact angles'
// sines and cosines, which repeat while the engagement stays put.
DampingForces damping_forces(const SimParams* params, const SimState* state, DampingMemory* memory,
                             int s, double h_eff, double vb,
                             const RunConstants* constants = nullptr, CutMemo* memo = nullptr);
