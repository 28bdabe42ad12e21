#include "engine/intake.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/modal_params.h"
#include "model/fields.h"
#include "model/paths.h"
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

constexpr int kLongestSuffix = 7;  // ".fx.dat"; ".html", ".rms" and the others are shorter
// Revolutions whose global step numbers (34200 a revolution) fit in 32 bits.
constexpr int kMaxRevolutions = 2147483647 / kGridSteps - 1;

bool set_error(std::string* error, const std::string& text) {
  if (error != nullptr) *error = text;
  return false;
}

bool fail(std::string* error, SimNotes* notes, const IntakeNote& note) {
  if (notes != nullptr) notes->field = note.field;
  return set_error(error, note.text);
}

// The entered numbers that the engine computes with must be finite.
bool check_numbers(const SimParams* p, IntakeNote* fault) {
  for (const EnteredNumber& entered : kEnteredNumbers) {
    const double* value = &(p->*entered.field);
    if (!std::isfinite(*value)) {
      *fault = {value, std::string("the ") + entered.name + " is not a finite number"};
      return false;
    }
  }
  if (!(p->spindle_rpm > 0)) {
    *fault = {&p->spindle_rpm,
              "the spindle speed " + std::to_string(p->spindle_rpm) + " rpm is not positive"};
    return false;
  }
  return true;
}

bool check_run_control(const SimParams* p, IntakeNote* fault) {
  if (p->angular_increments < 1) {
    *fault = {&p->angular_increments, "the angular increments must be at least 1"};
    return false;
  }
  // More increments than grid positions leave a revolution without a step,
  // whose summary would hold only the reset extremes.
  if (p->angular_increments > kGridSteps) {
    *fault = {&p->angular_increments,
              "the angular increments " + std::to_string(p->angular_increments) +
                  " leave no step in a revolution (" + std::to_string(kGridSteps) + " at most)"};
    return false;
  }
  if (p->revs_total < 0) {
    *fault = {&p->revs_total,
              "the revolutions to simulate (" + std::to_string(p->revs_total) + ") are negative"};
    return false;
  }
  if (p->revs_total > kMaxRevolutions) {
    *fault = {&p->revs_total, "the revolutions to simulate (" + std::to_string(p->revs_total) +
                                  ") are above the limit of " + std::to_string(kMaxRevolutions)};
    return false;
  }
  return true;
}

// The first number of the list that the lookup left non-finite, or -1.
template <size_t N>
int first_non_finite(const SimParams& probe, const DatabaseNumber (&numbers)[N]) {
  for (size_t i = 0; i < N; ++i) {
    if (!std::isfinite(probe.*numbers[i].field)) return static_cast<int>(i);
  }
  return -1;
}

// The refusal of a pair and edge angle without a coefficient row: what the
// database holds nearest to it, the angles held for the pair or else the
// pairs whose names match when case and blanks are ignored.
std::string missing_row(const SimParams* p, const MatDb* db, const SimParams* probe,
                        const std::string& pair, int angle) {
  std::string text = std::string(p->database_file) + ": the row for " + pair + " at " +
                     std::to_string(angle) + " degrees: there is none";
  const std::vector<long long> angles = matdb_angles_of(db, probe);
  if (!angles.empty()) {
    text += "; the pair has rows at";
    for (size_t i = 0; i < angles.size(); ++i) {
      text += (i == 0 ? " " : ", ") + std::to_string(angles[i]);
    }
    return text + " degrees";
  }
  const std::vector<std::string> pairs = matdb_pairs_like(db, probe);
  if (pairs.empty())
    return text + ", nor a pair whose names match when case and blanks are ignored";
  text += "; pairs whose names match when case and blanks are ignored:";
  for (size_t i = 0; i < pairs.size(); ++i) text += (i == 0 ? " \"" : ", \"") + pairs[i] + "\"";
  return text;
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

int sim_check_database(const SimParams* p, const MatDb* db, std::string* error,
                       std::string* warning) {
  if (db == nullptr) return set_error(error, "the databases are not loaded");
  if (!db->wear_opened) {
    return set_error(
        error, std::string("wear.db: cannot read the wear file: ") + std::strerror(db->wear_error));
  }
  if (!db->database_opened) {
    return set_error(error, std::string(p->database_file) +
                                ": cannot read the cutting-coefficient database: " +
                                std::strerror(db->database_error));
  }
  // Only turning cuts: another process takes no number from the databases.
  if (p->process != 'T') {
    if (error != nullptr) error->clear();
    return 1;
  }
  // The lookup the first step makes: the angles in radians, the edge angle
  // copied for turning, every database field cleared beforehand so that only
  // what the files hold for this pair is seen.
  SimParams probe = *p;
  units_angles_to_radians(&probe);
  if (probe.process == 'T') probe.cutting_edge_angle = probe.side_cutting_edge_angle;
  for (const DatabaseNumber& cleared : kWearNumbers) probe.*cleared.field = 0;
  for (const DatabaseNumber& cleared : kCoefficientNumbers) probe.*cleared.field = 0;
  const int found = matdb_lookup_loaded(db, &probe);
  const std::string pair = std::string("workpiece \"") + p->workpiece_material +
                           "\" and insert \"" + p->insert_material + "\"";
  const int angle = matdb_angle_key(probe.cutting_edge_angle);
  if (!found) return set_error(error, missing_row(p, db, &probe, pair, angle));
  const int wear = first_non_finite(probe, kWearNumbers);
  if (wear >= 0) {
    return set_error(error, "wear.db: the record for " + pair + ": number " +
                                std::to_string(wear + 1) + " (" + kWearNumbers[wear].name +
                                ") is " + number(probe.*kWearNumbers[wear].field) +
                                ", not a finite number");
  }
  const int coefficient = first_non_finite(probe, kCoefficientNumbers);
  if (coefficient >= 0) {
    return set_error(
        error, std::string(p->database_file) + ": the row for " + pair + " at " +
                   std::to_string(angle) + " degrees: number " + std::to_string(coefficient + 1) +
                   " (" + kCoefficientNumbers[coefficient].name + ") is " +
                   number(probe.*kCoefficientNumbers[coefficient].field) + ", not a finite number");
  }
  if (!matdb_has_wear(db, &probe) && warning != nullptr) {
    *warning = "wear.db: the wear record for " + pair +
               ": there is none; the tool stays sharp (no wear, no wear-land force)";
  }
  if (error != nullptr) error->clear();
  return 1;
}

int sim_check_job(const SimParams* p, const char* output_base, std::string* error,
                  SimNotes* notes) {
  if (notes != nullptr) notes->field = nullptr;
  if (std::strlen(output_base) + kLongestSuffix > kPathSize - 1) {
    return set_error(error,
                     std::string("the output name ") + output_base +
                         " leaves no room for its result file names (99 characters at most)");
  }
  IntakeNote fault{nullptr, {}};
  std::vector<IntakeNote> warnings;
  if (!check_numbers(p, &fault) || !intake_check_cut(p, &fault, &warnings) ||
      !check_run_control(p, &fault)) {
    return fail(error, notes, fault);
  }
  const int steps_per_rev = kGridSteps / p->angular_increments;
  if (!intake_check_travel(p, steps_per_rev, &fault)) return fail(error, notes, fault);
  const void* mode_field = nullptr;
  if (!modal_check(p, steps_per_rev, error, &mode_field)) {
    if (notes != nullptr) notes->field = mode_field;
    return 0;
  }
  if (notes != nullptr) notes->warnings = warnings;
  return 1;
}
