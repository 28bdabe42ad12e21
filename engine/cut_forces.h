// The cutting force model: edge-frame forces of the chip, their rotation
// into the machine axes, the ±3 % scatter, the wear-land and damping forces.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

#include "engine/memo.h"
#include "engine/random.h"
#include "engine/run_constants.h"
#include "engine/wear.h"
#include "model/params.h"
#include "model/state.h"

// The force scatter: uniform within +-3 % of the reference forces.
inline constexpr double kScatterFraction = 0.03;
inline constexpr double kScatterMid = 16383.5;  // middle of the draw range 0..32767

// Reference forces (N) captured at step 1 of revolution 0, kept for the run.
struct ForceReference {
  double x;
  double y;
  double z;
  // The scatter per draw unit of each axis, kScatterFraction times the
  // reference over the middle of the draw range (N), as computed for the
  // references `scaled_from` (valid when `scaled`): the divisions of every
  // step, made once.
  double scale[3];
  double scaled_from[3];
  int scaled;
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

// Edge-frame forces of a chip of chip_thickness x depth (both m); turning
// only. constants null computes them from the job; memo (may be null) saves
// the sine and cosine of a chip flow angle that repeats.
void cut_edge_forces(const SimParams* params, SimState* state, double chip_thickness, double depth,
                     const RunConstants* constants = nullptr, CutMemo* memo = nullptr);

// Machine-axis forces of step k from the edge forces, wear land vb (mm) and
// the process-damping forces (N); turning only. constants null computes
// them from the job.
void cut_machine_forces(const SimParams* params, SimState* state, ForceReference* reference,
                        RandomState* random, double vb, const DampingForces& damping, int k,
                        const RunConstants* constants = nullptr);

// The step's forms, inline, with the run's constants c: the engine's steps
// call these, the functions above call them with constants of their own.

// cut_edge_forces with the constants c.
[[gnu::always_inline]] inline void cut_edge_forces_run(const SimParams* params, SimState* state,
                                                       double chip_thickness, double depth,
                                                       const RunConstants& c, CutMemo* memo) {
  if (params->process != 'T') return;
  double area = chip_thickness * depth;  // m^2
  if (area == 0) {
    // No chip, no force; the coefficients of a zero thickness may be
    // infinite (negative thickness exponent) and must not turn 0 into NaN.
    state->edge_force_x = 0.0;
    state->edge_force_y = 0.0;
    state->edge_force_z = 0.0;
    return;
  }
  double kf = params->kf;
  double kn = params->kn;
  double sin_l = c.sin_inclination, cos_l = c.cos_inclination;
  double sin_a = c.sin_rake, cos_a = c.cos_rake;
  double sin_e, cos_e;
  memo_sincos(memo != nullptr ? &memo->chip_flow : nullptr, params->chip_flow_angle, &sin_e,
              &cos_e);
  state->edge_force_x = area * (kf * cos_e * cos_a - kn * sin_a);
  state->edge_force_y = area * (kf * (sin_a * cos_l * cos_e + sin_l * sin_e) + kn * cos_a * cos_l);
  state->edge_force_z = area * (kf * (sin_e * cos_l - sin_a * sin_l * cos_e) - kn * cos_a * sin_l);
}

// Area of the worn flank in contact with the work for wear land vb (mm):
// the nose arc in mm^2, plus the straight-edge strip taken as metres times
// millimetres. With r the nose radius, d the depth of cut and kappa the side
// cutting edge angle: 1000 r vb (pi/2 + nose arc - feed arc) when d is
// within the nose, else 1000 r vb (pi/2 - kappa) + (d - nose depth) vb /
// cos kappa; the constants hold 1000 r, the angle and d - nose depth.
inline double cut_worn_contact_area(const SimParams* params, double vb, const RunConstants& c) {
  if (params->depth_of_cut < c.nose_depth) return c.contact_radius * vb * c.contact_angle;
  return c.contact_radius * vb * c.contact_angle + c.edge_strip_depth * vb / c.cos_side_edge;
}

// Wear-land force of one axis (N): factor times contact area times the
// reference force, switched by the cutting flag. Without a cut there is no
// force, even where the factor or the area of a zero feed or depth is
// infinite (a product that would be inf * 0).
inline double cut_wear_force(double factor, double contact, double reference, double cutting) {
  const double force = factor * contact * reference * cutting;
  return cutting == 0 && !std::isfinite(force) ? 0.0 : force;
}

// kScatterFraction * reference / kScatterMid of each axis (N per draw
// unit), computed again only when a reference changes a bit.
inline const double* cut_scatter_scale(ForceReference* reference) {
  const auto same = [](double a, double b) {
    return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
  };
  if (!(reference->scaled && same(reference->x, reference->scaled_from[0]) &&
        same(reference->y, reference->scaled_from[1]) &&
        same(reference->z, reference->scaled_from[2]))) {
    const double now[3] = {reference->x, reference->y, reference->z};
    for (int a = 0; a < 3; ++a) {
      reference->scale[a] = kScatterFraction * now[a] / kScatterMid;
      reference->scaled_from[a] = now[a];
    }
    reference->scaled = 1;
  }
  return reference->scale;
}

// cut_machine_forces with the constants c.
[[gnu::always_inline]] inline void cut_machine_forces_run(const SimParams* params, SimState* state,
                                                          ForceReference* reference,
                                                          RandomState* random, double vb,
                                                          const DampingForces& damping, int k,
                                                          const RunConstants& c) {
  if (params->process != 'T') return;
  const MachineForce rotated =
      cut_machine_axes(state->edge_force_x, state->edge_force_y, state->edge_force_z,
                       c.sin_side_edge, c.cos_side_edge);
  double fx = rotated.x;
  double fy = rotated.y;
  double fz = rotated.z;

  double contact = cut_worn_contact_area(params, vb, c);
  // Wear-land force factors: constant times feed and depth (in) raised to their exponents.
  double wx = c.wear_force_factor[0];
  double wy = c.wear_force_factor[1];
  double wz = c.wear_force_factor[2];
  // The first step that computes forces sets the scale of the scatter and
  // of the wear-land force for the rest of the run.
  if (state->revolution == 0 && k == 1) {
    reference->x = fx;
    reference->y = fy;
    reference->z = fz;
  }
  double cutting = (fx != 0 && fy != 0 && fz != 0) ? 1.0 : 0.0;

  double ex = cut_wear_force(wx, contact, reference->x, cutting);
  double ey = cut_wear_force(wy, contact, reference->y, cutting);
  double ez = cut_wear_force(wz, contact, reference->z, cutting);

  // One draw scatters all three axes together.
  double u = random_draw(random) - kScatterMid;
  const double* scale = cut_scatter_scale(reference);
  fx += u * scale[0];
  fy += u * scale[1];
  fz += u * scale[2];

  state->force_x = ex + fx + damping.x;
  state->force_y = ey + fy;
  state->force_z = ez + fz + damping.z;
}
