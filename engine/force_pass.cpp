#include "engine/force_pass.h"

#include <cmath>

#include "engine/cut_coefficients.h"
#include "engine/cut_forces.h"
#include "engine/wear.h"
#include "model/rounding.h"
#include "model/units.h"

double force_pass_half_segment(double r, double q) {
  return kPi * (r * r) / 4 - ((r - q) / 2) * std::sqrt(2 * r * q - q * q) -
         ((r * r) / 2) * std::asin((r - q) / r);
}

namespace {

// force_pass_half_segment(r, q) of the run's nose radius r, whose own terms
// the constants c hold.
inline double half_segment(const RunConstants& c, double r, double q) {
  return c.nose_quarter_disc - ((r - q) / 2) * std::sqrt(c.nose_diameter * q - q * q) -
         c.nose_half_square * std::asin((r - q) / r);
}

// Chip-thickness equivalent (m) of the area that the axial change dz (m)
// since the last revolution adds to or removes from the nose region, for
// the relative axial displacement rel_z (m), the effective depth h_eff (m)
// and the nose depth nd (m).
double axial_correction(const SimParams* p, const RunConstants& c, double rel_z, double h_eff,
                        double nd, double dz) {
  const double a = p->depth_of_cut;
  const double r = p->nose_radius;
  const double e = std::fabs(dz);
  if (dz < 0) {
    const double x = nd + rel_z;
    const double a1 = a <= x ? a : x;
    double area =
        std::fabs(half_segment(c, r, a1) + half_segment(c, r, e) - half_segment(c, r, a1 + e));
    if (a > x) area += std::fabs(c.tan_side_edge * (a - x) * e);
    return -area / a;
  }
  // The nose segment at min(depth, nose depth) is the run's own (same arguments, same area).
  const double a2 = a <= nd ? a : nd;
  double area = std::fabs(half_segment(c, r, a2 - e) + half_segment(c, r, e) - c.nose_half_segment);
  if (a > nd) area += std::fabs(c.tan_side_edge * (h_eff - nd) * e);
  return area / (a - e);
}

}  // namespace

int force_pass_surface_index(const SimParams* p, int s) {
  if (p->angular_increments == 1 && s >= 0) return s;  // s / 1 is s, a whole number
  return round_half_away(std::fabs(static_cast<double>(s) / p->angular_increments));
}

// The regenerative chip. At step s the tool stands at the relative radial
// displacement x(s); the cut one revolution earlier left the surface at
// x_last at the same surface index. With feed f per revolution and the
// axial correction delta of the nose region, the uncut chip is
//
//   h = (f - x(s) - delta) + x_last,
//
// over the effective depth h_eff = depth of cut - z(s), where z(s) is the
// relative axial displacement. A chip below zero means the tool has left
// the cut: no edge force, and the surface it did not touch moves on by one
// feed, so the next revolution meets a chip one feed thicker.
void force_pass(SimParams* p, SimState* st, RunContext* run, int s) {
  const double rel_x = st->rel_disp_x[s];  // m
  const double rel_z = st->rel_disp_z[s];  // m
  double h_eff = p->depth_of_cut - rel_z;  // m, the effective depth of cut
  if (h_eff < 0) h_eff = 0;
  const int surface_index = force_pass_surface_index(p, s);
  const double last_surface = st->cut_surface[surface_index];  // m, left by the last cut
  const RunConstants& c = run->constants;
  const double nose_depth = c.nose_depth;  // m, depth the nose arc covers
  // Axial change since the last cut at this index (m); the first revolution
  // measures it from the undisturbed position.
  const double axial_change =
      st->revolution == 0 ? rel_z : rel_z - run->prev_rel_disp_z[surface_index];
  const double delta =
      axial_change == 0 ? 0.0 : axial_correction(p, c, rel_z, h_eff, nose_depth, axial_change);
  const double h = (p->feed_per_rev - rel_x - delta) + last_surface;  // m
  st->chip_thickness = h, st->depth_effective = h_eff;
  if (!(h >= 0)) {  // out of the cut (a NaN chip counts as out)
    run->step_left_cut = 1;
    st->cut_surface[surface_index] += p->feed_per_rev;
    st->edge_force_x = st->edge_force_y = st->edge_force_z = 0;
  } else {
    if (p->calc_type != 0) cut_coefficients_instant(p, st, h, h_eff, &c, &run->memo);
    cut_edge_forces_run(p, st, h, h_eff, c, &run->memo);
    st->cut_surface[surface_index] = rel_x;
  }
  run->prev_rel_disp_z[surface_index] = rel_z;
  // Wear land, the process damping of the worn flank, then the machine axes.
  const double vb = wear_land_width_run(p, st, c);
  run->step_vb = st->wear_land = vb;
  const DampingForces damping =
      damping_forces_run(p, st, &run->damping, s, h_eff, vb, c, &run->memo);
  cut_machine_forces_run(p, st, &run->reference, &run->random, vb, damping, s, c);
}
