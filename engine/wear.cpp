#include "engine/wear.h"

#include <cmath>

#include "model/units.h"

namespace {

ContactTrig contact_trig(double phi, CutMemo* memo) {
  ContactTrig t;
  memo_sincos(memo != nullptr ? &memo->contact_phi : nullptr, phi, &t.sin_phi, &t.cos_phi);
  double theta1 = (phi * t.sin_phi + t.cos_phi - 1) / t.sin_phi;
  double theta2 = (t.sin_phi - phi * t.cos_phi) / (1 - t.cos_phi);
  memo_sincos(memo != nullptr ? &memo->contact_theta1 : nullptr, theta1, &t.sin_theta1,
              &t.cos_theta1);
  memo_sincos(memo != nullptr ? &memo->contact_theta2 : nullptr, theta2, &t.sin_theta2,
              &t.cos_theta2);
  return t;
}

}  // namespace

DampingForces wear_nose_contact(double k, double w, double r, double h_eff, double slope_z,
                                double slope_x, CutMemo* memo) {
  double phi = std::acos(1 - h_eff / r);
  // An engagement too thin to change 1 - h/r leaves no arc in contact: the
  // forces' limit is 0, where the resultant angles would be 0/0.
  if (phi == 0) return {0.0, 0.0};
  ContactTrig t = contact_trig(phi, memo);
  double pz = k * w * (r * t.sin_phi) * slope_z;
  double px = k * w * h_eff * slope_x;
  DampingForces forces;
  forces.z = t.cos_theta1 * pz + t.cos_theta2 * px;
  forces.x = t.sin_theta1 * pz + t.sin_theta2 * px;
  return forces;
}

ContactTrig wear_contact_trig(double phi) {
  return contact_trig(phi, nullptr);
}

double wear_land_width(const SimParams* params, const SimState* state,
                       const RunConstants* constants) {
  if (constants == nullptr) return wear_land_width_run(params, state, run_constants_of(params));
  return wear_land_width_run(params, state, *constants);
}

DampingForces damping_forces(const SimParams* params, const SimState* state, DampingMemory* memory,
                             int s, double h_eff, double vb, const RunConstants* constants,
                             CutMemo* memo) {
  if (constants == nullptr) {
    const RunConstants fresh = run_constants_of(params);
    return damping_forces_run(params, state, memory, s, h_eff, vb, fresh, memo);
  }
  return damping_forces_run(params, state, memory, s, h_eff, vb, *constants, memo);
}
