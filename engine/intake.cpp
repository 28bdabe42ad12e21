#include "engine/intake.h"

#include <cmath>
#include <cstdio>

#include "model/state.h"
#include "model/units.h"

namespace {

std::string number(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

bool refuse(IntakeNote* fault, const void* field, const std::string& text) {
  if (fault != nullptr) *fault = {field, text};
  return false;
}

// A length as entered, in millimetres.
double in_mm(const SimParams* p, double length) {
  return p->units != 0 ? length : length * kInch * kMilli;
}

// A length as entered, in metres, converted as units_normalise converts it.
double in_metres(const SimParams* p, double length) {
  return p->units != 0 ? length / kMilli : length * kInch;
}

const char* unit_of(const SimParams* p) {
  return p->units != 0 ? "mm" : "in";
}

// "the X: V unit" for messages.
std::string stated(const SimParams* p, const char* what, double value) {
  return std::string(what) + ": " + number(value) + " " + unit_of(p);
}

// A length above zero (or at zero when zero_allowed) and at most max_mm.
bool check_length(const SimParams* p, const double* field, const char* what, bool zero_allowed,
                  double max_mm, const char* why_max, IntakeNote* fault) {
  const double value = *field;
  if (value < 0 || (!zero_allowed && value == 0)) {
    return refuse(fault, field,
                  stated(p, what, value) + (zero_allowed ? " is negative" : " is not positive"));
  }
  if (in_mm(p, value) > max_mm) {
    return refuse(fault, field,
                  stated(p, what, value) + " is above " + number(max_mm) + " mm (" + why_max + ")");
  }
  return true;
}

}  // namespace

int intake_check_cut(const SimParams* p, IntakeNote* fault, std::vector<IntakeNote>* warnings) {
  if (p->spindle_rpm > kIntakeMaxRpm) {
    return refuse(fault, &p->spindle_rpm,
                  "the spindle speed: " + number(p->spindle_rpm) + " rpm is above " +
                      number(kIntakeMaxRpm) + " rpm (beyond any lathe)");
  }
  // The cutting speed starts from the diameter, and the nose geometry
  // divides by the nose radius.
  if (!check_length(p, &p->workpiece_radius, "the workpiece radius", false,
                    kIntakeMaxWorkpieceRadius, "beyond any lathe", fault) ||
      !check_length(p, &p->nose_radius, "the nose radius", false, kIntakeMaxNoseRadius,
                    "beyond any insert", fault)) {
    return 0;
  }
  // The straight edge's length divides by cos(angle), and the flank contact
  // angle 90 degrees minus it must stay inside (0, 180) degrees.
  const double kappa = p->side_cutting_edge_angle;
  if (!(std::fabs(kappa) < kIntakeMaxEdgeAngle)) {
    return refuse(fault, &p->side_cutting_edge_angle,
                  "the side cutting edge angle: " + number(kappa) +
                      " degrees is not between -90 and 90 (the straight edge would not meet the "
                      "cut)");
  }
  // Powers of a negative feed or depth are not numbers, and acos(1 - d/r) of
  // the nose arc needs a depth of at least 0.
  if (!check_length(p, &p->depth_of_cut, "the depth of cut", true, kIntakeMaxDepth,
                    "beyond any insert", fault)) {
    return 0;
  }
  if (p->feed_per_rev < 0) {
    return refuse(fault, &p->feed_per_rev,
                  stated(p, "the feed per revolution", p->feed_per_rev) + " is negative");
  }
  // The nose arc's contact angle acos(f / 2r) exists up to a feed of one
  // nose diameter; beyond it the nose leaves ridges the chip model has no
  // shape for.
  if (p->feed_per_rev > 2 * p->nose_radius) {
    return refuse(fault, &p->feed_per_rev,
                  stated(p, "the feed per revolution", p->feed_per_rev) +
                      " is above the nose diameter " + number(2 * p->nose_radius) + " " +
                      unit_of(p) + " (twice the nose radius)");
  }
  if (!check_length(p, &p->initial_wear, "the initial wear", true, kIntakeMaxWear,
                    "tool-life criteria end at 0.3 to 0.6 mm", fault)) {
    return 0;
  }
  if (warnings != nullptr) {
    if (p->feed_per_rev == 0) {
      warnings->push_back({&p->feed_per_rev,
                           "the feed per revolution: 0 removes no material; every force is zero"});
    }
    if (p->depth_of_cut == 0) {
      warnings->push_back(
          {&p->depth_of_cut, "the depth of cut: 0 removes no material; every force is zero"});
    }
  }
  return 1;
}

int intake_travel(const SimParams* p, int steps_per_rev, long long* fits, long long* centre) {
  if (!(p->feed_per_rev > 0) || steps_per_rev <= 0) return 0;
  // The engine starts from 2R and subtracts c = 2f / 34200 at every step;
  // step k cuts at the speed of D0 - k c. Each subtraction rounds by at most
  // half an ulp of D0, so k steps may drift by k D0 2^-53.
  const double d0 = 2 * in_metres(p, p->workpiece_radius);
  const double c = 2 * in_metres(p, p->feed_per_rev) / kGridSteps;
  const long double zero_at = static_cast<long double>(d0) / c;  // step where D0 - k c = 0
  // A feed so fine that the centre lies beyond any run (more steps than 62790
  // revolutions hold, by far): no limit.
  if (!(zero_at < 1e15L)) return 0;
  const long double drift = zero_at * std::ldexp(1.0L, -53) * d0 / c;  // steps
  const long long first_at_zero = static_cast<long long>(std::ceil(zero_at));
  const long long safe_steps = static_cast<long long>(std::ceil(zero_at - drift));
  *fits = safe_steps / steps_per_rev;
  *centre = first_at_zero / steps_per_rev + 1;
  return 1;
}

int intake_check_travel(const SimParams* p, int steps_per_rev, IntakeNote* fault) {
  long long fits = 0;
  long long centre = 0;
  if (!intake_travel(p, steps_per_rev, &fits, &centre) || p->revs_total <= fits) return 1;
  return refuse(fault, &p->revs_total,
                "the revolutions to simulate: " + std::to_string(p->revs_total) +
                    " take the tool past the centre of the face (its cutting speed reaches zero "
                    "in revolution " +
                    std::to_string(centre) + "); at most " + std::to_string(fits) +
                    " revolutions fit");
}
