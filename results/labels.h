// Unit labels of the report and the HTML summary.
#pragma once

struct UnitLabels {
  const char* length;     // "inch" / "mm"
  const char* feed;       // "in/rev" / "mm/rev"
  const char* stress;     // "psi" / "N/mm^2"
  const char* mass;       // "lbs" / "kg"
  const char* stiffness;  // "lb/in" / "N/mm"
};

// English labels for units 0, metric ones otherwise.
const UnitLabels* labels_for_units(int units);
