// The modal step of all modes together: the modes of a step sit in lanes
// (SimState::modal_lanes) and the step's arithmetic, divisions included,
// runs on whole registers of 2 (SSE2) or 4 (AVX2) modes. Every lane's
// operations are the scalar step's in their written order, and each packed
// addition, multiplication and division is correctly rounded per lane, so
// the results are those of modal_mode_step to the last bit. The sines,
// cosines and exponentials stay the scalar library calls.
#pragma once

#include "engine/modal_response.h"
#include "model/params.h"
#include "model/state.h"

// Lanes per register of the best kernel this processor runs: 4 with AVX2, else 2.
int modal_batch_width();

// Advances all modes of both structures by step k as modal_respond does,
// with kernels of width lanes (2, or 4 where the processor has AVX2; any
// other width uses 2).
void modal_batch_respond(const SimParams* params, SimState* state, int k, int width);

// Steps the live lanes by step k as modal_batch_respond_drives does, when
// they go on from their last step with the same mode lists and time step;
// 0 (nothing stepped) otherwise. Saves building the drives of a step.
int modal_batch_continue(const SimParams* params, SimState* state, int k, int width);

// modal_batch_continue without comparing the mode lists: for a caller that
// knows nothing has changed the job's mode lists or the state's workspaces
// (the pointers and counts) since the lanes' last step, as a revolution's
// loop knows between two of its steps with no listener called between them;
// such a caller takes the step by modal_respond when this returns 0.
int modal_batch_follow(SimState* state, int k, int width);

// Writes the running values the lanes carry from step to step back into
// the mode workspaces, which the packed step leaves stale between
// revolutions; for code that reads a workspace in mid-revolution.
void modal_batch_sync(SimState* state);

// modal_batch_sync, then the next packed step reads the workspaces afresh:
// for code that changes a workspace or a mode (modal_prepare does).
void modal_batch_release(SimState* state);

// The same for the six lists of modal_drives when they hold at least
// least_lanes modes; 0 (nothing stepped) when they hold fewer.
int modal_batch_respond_drives(SimState* state, const ModalDrive* drives, int k, int width,
                               int least_lanes);
