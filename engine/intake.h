// The checks of a job and of its databases, made on the entered job (lengths
// in mm or in, angles in degrees) before any result file is touched: the
// cutting conditions and tool geometry every number the engine computes
// needs to stay finite, the run control, the travel to the centre of the
// face, the modes and the database rows.
#pragma once

#include <string>
#include <vector>

#include "materials/matdb.h"
#include "model/params.h"

// One refusal or warning: the job field it names (for the job file's line,
// null when it names none) and "ITEM: what is wrong".
struct IntakeNote {
  const void* field;
  std::string text;
};

// What a check or a run has to say beyond its result.
struct SimNotes {
  const void* field = nullptr;            // job field a refusal names, or null
  std::vector<IntakeNote> warnings;       // the job check's warnings (field, "ITEM: what")
  std::vector<std::string> run_warnings;  // warning lines the run printed (databases)
  int stopped = 0;                        // 1 when the run stopped at a non-finite number
  std::string verdict;                    // the run summary's console line, once written
};

// Largest spindle speed, workpiece radius, nose radius, depth of cut and
// initial wear accepted (rev/min and mm); far beyond any lathe, they keep the
// power laws of the databases' constants inside the range of doubles.
inline constexpr double kIntakeMaxRpm = 100000.0;
inline constexpr double kIntakeMaxWorkpieceRadius = 5000.0;  // mm
inline constexpr double kIntakeMaxNoseRadius = 50.0;         // mm
inline constexpr double kIntakeMaxDepth = 100.0;             // mm
inline constexpr double kIntakeMaxWear = 1.0;                // mm
inline constexpr double kIntakeMaxEdgeAngle = 90.0;          // degrees, excluded (either sign)

// Checks the cutting numbers (all finite): spindle speed, radii, edge angle,
// feed, depth and initial wear within the ranges above. 0 with *fault on the
// first that is outside; warnings (zero feed or depth: no material removed)
// are appended to *warnings when it is given.
int intake_check_cut(const SimParams* params, IntakeNote* fault, std::vector<IntakeNote>* warnings);

// How far the job can run before the tool reaches the centre of the face,
// where the cutting speed (from the diameter that shrinks by 2 feeds per
// 34200 simulated steps) stops being positive. With steps_per_rev steps a
// revolution: *fits is the largest revolution count whose every step has a
// positive speed, *centre the revolution (from 1) whose step first has none.
// Returns 0 when the feed is zero or so fine that no run gets there.
int intake_travel(const SimParams* params, int steps_per_rev, long long* fits, long long* centre);

// Checks that revs_total keeps the tool short of the centre (see intake_travel).
int intake_check_travel(const SimParams* params, int steps_per_rev, IntakeNote* fault);

// Checks the whole job before any result file is touched: the composed file
// names under output_base, the cutting numbers and tool geometry, the run
// control, the travel to the centre of the face and the modes. On failure
// returns 0, says in *error which item is wrong and why, and names the field
// in notes->field; warnings go to notes->warnings.
int sim_check_job(const SimParams* params, const char* output_base, std::string* error,
                  SimNotes* notes = nullptr);

// Checks the databases for the job (its angles still in degrees): both files
// could be read, a coefficient row matches the pair and edge angle, and the
// numbers the run would use are finite. On failure returns 0 and says in
// *error which file, pair and number are wrong (and, for a missing row, what
// the database holds nearest to it). A pair without a wear record is
// accepted with a warning line in *warning.
int sim_check_database(const SimParams* params, const MatDb* db, std::string* error,
                       std::string* warning = nullptr);
