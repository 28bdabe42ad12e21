#include "results/labels.h"

namespace {

constexpr UnitLabels kEnglish = {"inch", "in/rev", "psi", "lbs", "lb/in"};
constexpr UnitLabels kMetric = {"mm", "mm/rev", "N/mm^2", "kg", "N/mm"};

}  // namespace

const UnitLabels* labels_for_units(int units) {
  return units == 0 ? &kEnglish : &kMetric;
}
