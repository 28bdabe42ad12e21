#include "engine/revolution.h"

#include <emmintrin.h>

#include <cmath>
#include <cstdio>

#include "engine/cut_coefficients.h"
#include "engine/force_pass.h"
#include "engine/modal_batch.h"
#include "engine/modal_response.h"
#include "engine/stats.h"
#include "model/units.h"

namespace {

// Cutting speed of the step from the shrinking workpiece diameter (m/min).
// shrink (m) is what a step takes off the diameter: 2 feeds per 34200 steps.
void update_cutting_speed(const SimParams* p, SimState* st, RunContext* run, int s, double shrink) {
  if (s == 0 && st->revolution == 0) run->work_diameter = 2 * p->workpiece_radius;
  st->cutting_speed = cut_coefficients_speed(run->work_diameter, p->spindle_rpm);
  run->work_diameter -= shrink;
}

// The first force or displacement of step s that is not a finite number, or
// null. The intake refuses the jobs known to lead to one; this catches the
// rest before it reaches a result file.
[[gnu::always_inline]] inline const char* non_finite_quantity(const SimState* st, int s) {
  // The usual step: every value finite, told by one test of the sum of the
  // zeros that each finite value gives (inf - inf and NaN are not zero),
  // two values to a register.
  const auto pair = [](const double* low, const double* high) {
    return _mm_loadh_pd(_mm_load_sd(low), high);
  };
  const auto zero_pair = [](__m128d v) { return _mm_sub_pd(v, v); };
  const __m128d forces_xy = _mm_loadu_pd(&st->force_x);  // force_x and force_y, side by side
  const __m128d sum = _mm_add_pd(
      _mm_add_pd(
          _mm_add_pd(zero_pair(forces_xy), zero_pair(pair(&st->force_z, &st->rel_disp_x[s]))),
          _mm_add_pd(zero_pair(pair(&st->rel_disp_y[s], &st->rel_disp_z[s])),
                     zero_pair(pair(&st->sw_disp_x[s], &st->sw_disp_y[s])))),
      _mm_add_pd(zero_pair(pair(&st->sw_disp_z[s], &st->tool_disp_x[s])),
                 zero_pair(pair(&st->tool_disp_y[s], &st->tool_disp_z[s]))));
  const double zeros = _mm_cvtsd_f64(_mm_add_sd(sum, _mm_unpackhi_pd(sum, sum)));
  if (zeros == 0.0) return nullptr;
  const struct {
    const char* name;
    double value;
  } quantities[] = {{"X force", st->force_x},
                    {"Y force", st->force_y},
                    {"Z force", st->force_z},
                    {"relative X displacement", st->rel_disp_x[s]},
                    {"relative Y displacement", st->rel_disp_y[s]},
                    {"relative Z displacement", st->rel_disp_z[s]},
                    {"spindle-workpiece X displacement", st->sw_disp_x[s]},
                    {"spindle-workpiece Y displacement", st->sw_disp_y[s]},
                    {"spindle-workpiece Z displacement", st->sw_disp_z[s]},
                    {"tool X displacement", st->tool_disp_x[s]},
                    {"tool Y displacement", st->tool_disp_y[s]},
                    {"tool Z displacement", st->tool_disp_z[s]}};
  for (const auto& quantity : quantities) {
    if (!std::isfinite(quantity.value)) return quantity.name;
  }
  return nullptr;
}

// Extremes, force history and series rows of a recorded revolution.
void record_step(const SimParams* p, SimState* st, ResultFiles* files, int s) {
  stats_update_extremes(st, s);
  st->force_hist_x[s] = st->force_x;
  st->force_hist_y[s] = st->force_y;
  st->force_hist_z[s] = st->force_z;
  if (files != nullptr) result_files_write_step(files, p, st, s);
}

// Force passes of step s. Step 0 of revolution 0 makes none: nothing has
// been cut yet and its forces stay zero; step 1 is the first to cut and sets
// the reference forces of the scatter and the wear land. Every other step of
// a turning cut makes one pass.
int force_passes(const SimParams* p, const SimState* st, int s) {
  if (s == 0 && st->revolution == 0) return 0;
  return p->process == 'T' ? 1 : 0;
}

}  // namespace

int sim_revolution(SimParams* p, SimState* st, RunContext* run, ResultFiles* files) {
  const bool recorded = st->revolution >= p->revs_skipped;
  const double revolution_degrees = static_cast<int64_t>(st->revolution) * 3600 / 10.0;
  const bool step_start_event = state_wants_event(st, SIM_EVENT_STEP_START);
  const bool step_end_event = state_wants_event(st, SIM_EVENT_STEP_END);
  const double shrink = 2 * p->feed_per_rev / kGridSteps;  // m of diameter a step
  for (int s = 0; s < st->steps_per_rev; ++s) {
    st->cut_angle = s * kGridStepDegrees + revolution_degrees;
    if (step_start_event) state_fire_event(st, SIM_EVENT_STEP_START);
    st->force_x = st->force_y = st->force_z = 0;
    update_cutting_speed(p, st, run, s, shrink);
    // The memo keeps the speed's powers for the step's instantaneous
    // coefficients, which take them again; the average ones alone meet a
    // new speed at every step and gain nothing from it.
    if (run->row_found)
      cut_coefficients_at_speed(p, st, run->constants, p->calc_type != 0 ? &run->memo : nullptr);
    run->step_left_cut = 0;
    const int passes = force_passes(p, st, s);
    for (int pass = 0; pass < passes; ++pass) force_pass(p, st, run, s);
    if (s == 1 && passes > 0)
      std::printf("Running Revolution Number %d .......... \n", st->revolution + 1);
    // Between two steps of this loop only a listener could change the mode
    // lists; with none called, the lanes go on from their last step without
    // comparing them, and modal_respond takes the steps they cannot.
    if (!(s > 0 && !step_start_event && !step_end_event && modal_batch_follow(st, s, 4)))
      modal_respond(p, st, s);
    if (const char* quantity = non_finite_quantity(st, s)) {
      run->stop_step = s;
      run->stop_quantity = quantity;
      return 0;
    }
    if (recorded) record_step(p, st, files, s);
    if (run->recorder != nullptr)
      recorder_step(run->recorder, p, st, s, run->step_vb, run->step_left_cut);
    if (step_end_event) state_fire_event(st, SIM_EVENT_STEP_END);
  }
  return 1;
}
