// Run-level values of the engine: everything that persists from one step and
// one revolution to the next, created fresh by each run and released with it.
#pragma once

#include "engine/cut_forces.h"
#include "engine/random.h"
#include "engine/recorder.h"
#include "engine/run_constants.h"
#include "engine/wear.h"
#include "materials/matdb.h"

inline constexpr int kSurfaceIndexCount = 36000;  // entries of prev_rel_disp_z

struct RunContext {
  double work_diameter;                        // m, shrinks by 2 feeds per 34200 steps
  double prev_rel_disp_z[kSurfaceIndexCount];  // m, axial displacement per surface index
  DampingMemory damping;                       // step-34199 displacements
  ForceReference reference;                    // forces captured at step 1 of revolution 0
  RandomState random;                          // force scatter sequence
  RunConstants constants;     // set once after normalisation and the lookup; read-only after
  int row_found;              // 1 when the databases hold the job's row (always, for turning)
  CutMemo memo;               // powers and angles that repeat from step to step
  MatDb* db;                  // both database files, read once per run
  int stop_step;              // step at which a non-finite value stopped the run, or -1
  const char* stop_quantity;  // the quantity that was not finite, or null
  Recorder* recorder;         // full-precision values for the run summary, or null
  double step_vb;             // mm, wear land width of the current step's pass
  int step_left_cut;          // 1 when the current step's chip fell below zero
  bool until_decided;         // end once the verdict can no longer change
};

// Fresh run values (random state 1) with the job's database files loaded;
// null when memory runs out.
RunContext* run_context_create(const SimParams* params);

// Releases the run values, the loaded files and the recorder; null is ignored.
void run_context_free(RunContext* run);
