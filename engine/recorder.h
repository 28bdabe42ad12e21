// What a run tells the engineer beyond the result files, gathered at full
// precision while it runs: per recorded revolution the statistics in SI and
// the relative X vibration, decimated relative X samples for the spectrum,
// force extremes, the cutting data of the first and last cutting steps, and
// at the end the verdict, the dominant frequency, the static deflections and
// the modes.
#pragma once

#include <vector>

#include "model/params.h"
#include "model/state.h"
#include "results/run_summary.h"

struct Recorder;

// A recorder for a run whose modes are prepared (time_step, steps_per_rev
// and the modal constants set): its buffers are sized for every recorded
// revolution. Null when memory runs out.
Recorder* recorder_create(const SimParams* params, const SimState* state);

// Releases the recorder; null is ignored.
void recorder_free(Recorder* recorder);

// Step s of every revolution, after its response (vb: wear land, mm;
// left_cut: 1 when a pass of the step found a negative chip); the cutting
// data of the run's first cutting step and of each revolution's last step
// are kept.
void recorder_step(Recorder* recorder, const SimParams* params, const SimState* state, int s,
                   double vb, int left_cut);

// A recorded revolution, after stats_revolution_summary.
void recorder_revolution(Recorder* recorder, const SimParams* params, const SimState* state);

// The verdict, spectrum, deflections and modes; reference_force_x (N) is the
// X force the scatter is scaled by.
void recorder_finish(Recorder* recorder, const SimParams* params, const SimState* state,
                     double reference_force_x);

// The gathered values (valid after recorder_finish for the derived ones).
const RunSummary* recorder_result(const Recorder* recorder);

// Whether the verdict of the revolutions recorded so far can no longer
// change (a VerdictStop; 0 while it may); reference_force_x (N) as for
// recorder_finish. A stop other than 0 is noted for the run summary.
int recorder_settled(Recorder* recorder, const SimParams* params, const SimState* state,
                     double reference_force_x);

// Recorded revolutions so far.
int recorder_revolutions(const Recorder* recorder);
