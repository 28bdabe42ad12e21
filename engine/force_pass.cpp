#include "engine/force_pass.h"

#include <emmintrin.h>

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

// The half segments of heights q1 and q2 (m) together: half_segment's
// operations, each in its written order, on the two lanes of a register
// (every packed addition, multiplication, division and square root is
// correctly rounded per lane, so each lane's result is the scalar one to
// the last bit), with the two arcsines the library's scalar calls.
struct HalfSegments {
  double first, second;  // m^2
};

inline HalfSegments half_segments(const RunConstants& c, double r, double q1, double q2) {
  const __m128d q = _mm_set_pd(q2, q1);
  const __m128d rr = _mm_set1_pd(r);
  const __m128d r_less_q = _mm_sub_pd(rr, q);
  const __m128d half_chord = _mm_div_pd(r_less_q, _mm_set1_pd(2.0));
  const __m128d root =
      _mm_sqrt_pd(_mm_sub_pd(_mm_mul_pd(_mm_set1_pd(c.nose_diameter), q), _mm_mul_pd(q, q)));
  const __m128d ratio = _mm_div_pd(r_less_q, rr);
  const __m128d arc = _mm_set_pd(std::asin(_mm_cvtsd_f64(_mm_unpackhi_pd(ratio, ratio))),
                                 std::asin(_mm_cvtsd_f64(ratio)));
  const __m128d half =
      _mm_sub_pd(_mm_sub_pd(_mm_set1_pd(c.nose_quarter_disc), _mm_mul_pd(half_chord, root)),
                 _mm_mul_pd(_mm_set1_pd(c.nose_half_square), arc));
  return {_mm_cvtsd_f64(half), _mm_cvtsd_f64(_mm_unpackhi_pd(half, half))};
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
    const HalfSegments h = half_segments(c, r, a1, e);
    double area = std::fabs(h.first + h.second - half_segment(c, r, a1 + e));
    if (a > x) area += std::fabs(c.tan_side_edge * (a - x) * e);
    return -area / a;
  }
  // The nose segment at min(depth, nose depth) is the run's own (same arguments, same area).
  const double a2 = a <= nd ? a : nd;
  const HalfSegments h = half_segments(c, r, a2 - e, e);
  double area = std::fabs(h.first + h.second - c.nose_half_segment);
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
