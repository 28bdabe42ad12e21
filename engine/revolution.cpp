#include <cmath>
#include <cstdio>

#include "engine/cut_coefficients.h"
#include "engine/cut_forces.h"
#include "engine/modal_response.h"
#include "engine/run.h"
#include "engine/stats.h"
#include "engine/wear.h"
#include "model/rounding.h"
#include "model/units.h"
#include "results/series.h"

namespace {

constexpr double kPi = 3.141592653589793;

// Half the area of the segment of height q cut from the nose circle of radius r (m^2).
double half_segment(double r, double q) {
  return kPi * (r * r) / 4 - ((r - q) / 2) * std::sqrt(2 * r * q - q * q) -
         ((r * r) / 2) * std::asin((r - q) / r);
}

double tan_of(CutMemo* memo, double angle) {
  return memo_unary(
      &memo->side_edge_tan, [](double x) { return std::tan(x); }, angle);
}

// Chip-thickness equivalent (m) of the area that the axial change dz (m)
// since the last revolution adds to or removes from the nose region.
double axial_correction(const SimParams* p, double rel_z, double h_eff, double nd, double dz,
                        CutMemo* memo) {
  const double a = p->depth_of_cut;
  const double r = p->nose_radius;
  const double kappa = p->side_cutting_edge_angle;
  const double e = std::fabs(dz);
  if (dz < 0) {
    const double x = nd + rel_z;
    const double a1 = a <= x ? a : x;
    double area = std::fabs(half_segment(r, a1) + half_segment(r, e) - half_segment(r, a1 + e));
    if (a > x) area += std::fabs(tan_of(memo, kappa) * (a - x) * e);
    return -area / a;
  }
  const double a2 = a <= nd ? a : nd;
  double area = std::fabs(half_segment(r, a2 - e) + half_segment(r, e) - half_segment(r, a2));
  if (a > nd) area += std::fabs(tan_of(memo, kappa) * (h_eff - nd) * e);
  return area / (a - e);
}

// One force pass of step s: regenerative chip, edge forces, wear, damping
// and machine forces.
void force_pass(SimParams* p, SimState* st, RunContext* run, int s) {
  double h_eff = p->depth_of_cut - st->rel_disp_z[s];
  if (h_eff < 0) h_eff = 0;
  const int i = round_half_away(std::fabs(static_cast<double>(s) / p->angular_increments));
  const double x_s = st->rel_disp_x[s];
  const double p_s = st->cut_surface[i];
  double sin_kappa, cos_kappa;
  memo_sincos(&run->memo.side_edge, p->side_cutting_edge_angle, &sin_kappa, &cos_kappa);
  const double nd = p->nose_radius * (1 - sin_kappa);
  const double dz =
      st->revolution == 0 ? st->rel_disp_z[s] : st->rel_disp_z[s] - run->prev_rel_disp_z[i];
  const double delta =
      dz == 0 ? 0.0 : axial_correction(p, st->rel_disp_z[s], h_eff, nd, dz, &run->memo);
  const double h = (p->feed_per_rev - x_s - delta) + p_s;
  if (!(h >= 0)) {  // out of the cut (a NaN chip counts as out)
    run->step_left_cut = 1;
    st->cut_surface[i] += p->feed_per_rev;
    st->edge_force_x = st->edge_force_y = st->edge_force_z = 0;
  } else {
    if (p->calc_type != 0) cut_coefficients_instant(p, st, h, h_eff, &run->memo);
    cut_edge_forces(p, st, h, h_eff, &run->memo);
    st->cut_surface[i] = x_s;
  }
  run->prev_rel_disp_z[i] = st->rel_disp_z[s];
  if (s == 1) std::printf("Running Revolution Number %d .......... \n", st->revolution + 1);
  const double vb = wear_land_width(p, st, &run->memo);
  run->step_vb = vb;
  const DampingForces damping = damping_forces(p, st, &run->damping, s, h_eff, vb, &run->memo);
  cut_machine_forces(st, p, &run->reference, &run->random, vb, damping.z, damping.x, s, &run->memo);
}

// Cutting speed of the step from the shrinking workpiece diameter (m/min).
void update_cutting_speed(const SimParams* p, SimState* st, RunContext* run, int s) {
  if (s == 0 && st->revolution == 0) run->work_diameter = 2 * p->workpiece_radius;
  st->cutting_speed = kPi * run->work_diameter * p->spindle_rpm;
  run->work_diameter -= 2 * p->feed_per_rev / kGridSteps;
}

// The first force or displacement of step s that is not a finite number, or
// null. The intake refuses the jobs known to lead to one; this catches the
// rest before it reaches a result file.
const char* non_finite_quantity(const SimState* st, int s) {
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
void record_step(const SimParams* p, SimState* st, RunContext* run, int s) {
  stats_update_extremes(st, s);
  st->force_hist_x[s] = st->force_x;
  st->force_hist_y[s] = st->force_y;
  st->force_hist_z[s] = st->force_z;
  if (params_output_enabled(p, OUTPUT_SERIES)) series_write_step(&run->series, st, s, p->units);
}

}  // namespace

int sim_revolution(SimParams* p, SimState* st, RunContext* run) {
  const bool recorded = st->revolution >= p->revs_skipped;
  const double revolution_degrees = static_cast<int64_t>(st->revolution) * 3600 / 10.0;
  for (int s = 0; s < st->steps_per_rev; ++s) {
    st->cut_angle = s * kGridStepDegrees + revolution_degrees;
    state_fire_event(st, SIM_EVENT_STEP_START);
    st->force_x = st->force_y = st->force_z = 0;
    if (p->process == 'T') run->pass_count = 1;
    if (s == 0 && st->revolution == 0) run->pass_count = 0;
    update_cutting_speed(p, st, run, s);
    // The intake made sure the lookup finds its row.
    (void)cut_coefficients_average(p, st, run->db, &run->memo);
    run->step_left_cut = 0;
    for (int pass = 0; pass < run->pass_count; ++pass) force_pass(p, st, run, s);
    modal_respond(p, st, s);
    if (const char* quantity = non_finite_quantity(st, s)) {
      run->stop_step = s;
      run->stop_quantity = quantity;
      return 0;
    }
    if (recorded) record_step(p, st, run, s);
    if (run->recorder != nullptr)
      recorder_step(run->recorder, p, st, s, run->step_vb, run->step_left_cut);
    state_fire_event(st, SIM_EVENT_STEP_END);
  }
  return 1;
}
