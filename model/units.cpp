#include "model/units.h"

namespace {

// Applies units_scale_mode to every mode of a set, X then Y then Z.
void scale_set(ModalSet* set, double factor, int stiffness_only) {
  for (int i = 0; i < set->x_count; ++i) units_scale_mode(&set->x_modes[i], factor, stiffness_only);
  for (int i = 0; i < set->y_count; ++i) units_scale_mode(&set->y_modes[i], factor, stiffness_only);
  for (int i = 0; i < set->z_count; ++i) units_scale_mode(&set->z_modes[i], factor, stiffness_only);
}

void normalise_metric(SimParams* p) {
  p->workpiece_radius /= kMilli;
  p->feed_per_rev /= kMilli;
  p->depth_of_cut /= kMilli;
  p->avg_chip_thickness /= kMilli;
  p->nose_radius /= kMilli;
  p->kf *= kMega;
  p->kn *= kMega;
  if (p->runout != nullptr) {
    for (int i = 0; i < p->edge_count; ++i) {
      p->runout[i].radial /= kMilli;
      p->runout[i].axial /= kMilli;
    }
  }
  scale_set(&p->spindle_modes, kMilli, 1);
  scale_set(&p->tool_modes, kMilli, 1);
}

void normalise_english(SimParams* p) {
  p->workpiece_radius *= kInch;
  p->feed_per_rev *= kInch;
  p->depth_of_cut *= kInch;
  p->avg_chip_thickness *= kInch;
  p->nose_radius *= kInch;
  p->initial_wear *= kInch;
  p->initial_wear *= kMilli;
  p->kf *= kPsi;
  p->kn *= kPsi;
  if (p->runout != nullptr) {
    for (int i = 0; i < p->edge_count; ++i) {
      p->runout[i].radial *= kInch;
      p->runout[i].axial *= kInch;
    }
  }
  scale_set(&p->spindle_modes, kEnglishModalFactor, 0);
  scale_set(&p->tool_modes, kEnglishModalFactor, 0);
}

}  // namespace

SimParams* units_angles_to_radians(SimParams* p) {
  p->inclination_angle *= kDegToRad;
  p->normal_rake_angle *= kDegToRad;
  p->cutting_edge_angle *= kDegToRad;
  p->spare_angle1 *= kDegToRad;
  p->spare_angle2 *= kDegToRad;
  p->side_cutting_edge_angle *= kDegToRad;
  return p;
}

void units_normalise(SimParams* params) {
  if (params->units != 0) {
    normalise_metric(params);
  } else {
    normalise_english(params);
  }
}

void units_scale_mode(ModalMode* mode, double factor, int stiffness_only) {
  mode->stiffness *= factor;
  if (!stiffness_only) mode->mass *= factor;
}
