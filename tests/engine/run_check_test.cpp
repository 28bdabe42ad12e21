// The checks a run makes before it touches a result file: run control and
// the database numbers of the job's material pair.
#include <gtest/gtest.h>

#include <string>

#include "engine/run.h"
#include "materials/matdb.h"
#include "tests/support/records.h"
#include "tests/support/test_support.h"

using test_support::ScratchDir;
using test_support::WorkingDir;
using test_support::write_file;

namespace {

// A metric turning job in entered units (degrees), without modes, read from its job file.
test_support::Job entered_job() {
  test_support::Job job;
  job.revs_total = 1;
  job.increments = 100;
  job.workpiece = "STEEL 1045";
  return job;
}

struct EnteredJob {
  test_support::Params job = test_support::read_job(entered_job());
  SimParams* p = job.get();
};

const char kWear[] = "STEEL CARB 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15\n";
const char kRow15[] =
    "STEEL           CARB                            15 100000 0 0 250000 0 0 5 0 0\n";

// The database check on the files given, read from a scratch working folder.
std::string database_fault(const SimParams* p, const std::string& wear, const std::string& rows) {
  ScratchDir dir;
  WorkingDir here(dir.path());
  write_file("wear.db", wear);
  write_file("kfkncfa.db", rows);
  MatDb* db = matdb_load(p);
  std::string error;
  const int accepted = sim_check_database(p, db, &error);
  matdb_free(db);
  EXPECT_EQ(accepted == 1, error.empty()) << error;
  return error;
}

}  // namespace

TEST(RunCheck, RunControlNeedsAStepARevolutionAndNoNegativeCount) {
  EnteredJob job;
  std::string error;
  job.p->angular_increments = 34200;  // one step a revolution
  EXPECT_EQ(sim_check_job(job.p, "out", &error), 1) << error;
  job.p->angular_increments = 34201;
  EXPECT_EQ(sim_check_job(job.p, "out", &error), 0);
  EXPECT_EQ(error, "the angular increments 34201 leave no step in a revolution (34200 at most)");
  job.p->angular_increments = 100;
  job.p->revs_total = 0;  // writes the report and empty result files
  EXPECT_EQ(sim_check_job(job.p, "out", &error), 1) << error;
  job.p->revs_total = -2;
  EXPECT_EQ(sim_check_job(job.p, "out", &error), 0);
  EXPECT_EQ(error, "the revolutions to simulate (-2) are negative");
}

TEST(RunCheck, NonFiniteNumbersOfTheMatchingRowOrRecordAreRefused) {
  EnteredJob job;
  EXPECT_EQ(database_fault(job.p, kWear, kRow15), "");
  EXPECT_EQ(database_fault(job.p, kWear,
                           "STEEL           CARB                            15 100000 0 0 "
                           "250000 0 0 nan 0 0\n"),
            "kfkncfa.db: the row for workpiece \"STEEL 1045\" and insert \"CARB\" at 15 degrees: "
            "number 7 (chip flow angle constant) is nan, not a finite number");
  // Overflow reads as infinity.
  EXPECT_EQ(database_fault(job.p, "STEEL CARB 1 2 3 4 5 6 7 8 9 10 11 12 13 1e999 15\n", kRow15),
            "wear.db: the record for workpiece \"STEEL 1045\" and insert \"CARB\": number 14 (Z "
            "wear force feed exponent) is inf, not a finite number");
  // The key is the side cutting edge angle in whole degrees: 15.4 still uses the row of 15.
  job.p->side_cutting_edge_angle = 15.4;
  EXPECT_NE(
      database_fault(job.p, kWear,
                     "STEEL           CARB                            15 -inf 0 0 1 0 0 5 0 0\n"),
      "");
}

TEST(RunCheck, NumbersTheRunDoesNotUseMayBeAnything) {
  EnteredJob job;
  // Another pair, another angle, an earlier wear record overridden by a later
  // matching one: none of them reach the run.
  const std::string wear =
      "STEEL CARB nan 2 3 4 5 6 7 8 9 10 11 12 13 14 15\n"
      "ALU CARB inf 2 3 4 5 6 7 8 9 10 11 12 13 14 15\n" +
      std::string(kWear);
  const std::string rows =
      "ALU             CARB                            15 nan 0 0 1 0 0 5 0 0\n"
      "STEEL           CARB                            30 inf 0 0 1 0 0 5 0 0\n" +
      std::string(kRow15) +
      "STEEL           CARB                            15 nan 0 0 1 0 0 5 0 0\n";
  EXPECT_EQ(database_fault(job.p, wear, rows), "");
  // Without loaded files nothing can be looked up: refused.
  EXPECT_EQ(sim_check_database(job.p, nullptr, nullptr), 0);
}

// ---------------------------------------------------------------------------
// The cutting numbers and tool geometry at the edges of their ranges.

TEST(RunCheck, CuttingNumbersOutsideTheirRangesAreRefusedNamingTheField) {
  const struct {
    const char* name;
    void (*set)(SimParams*);
    const char* error;  // "" accepted
    double SimParams::*field;
  } cases[] = {
      {"depth 0 (warned)", [](SimParams* p) { p->depth_of_cut = 0; }, "", nullptr},
      {"depth -2", [](SimParams* p) { p->depth_of_cut = -2; },
       "the depth of cut: -2 mm is negative", &SimParams::depth_of_cut},
      {"depth 100", [](SimParams* p) { p->depth_of_cut = 100; }, "", nullptr},
      {"depth 100.5", [](SimParams* p) { p->depth_of_cut = 100.5; },
       "the depth of cut: 100.5 mm is above 100 mm (beyond any insert)", &SimParams::depth_of_cut},
      {"feed 0 (warned)", [](SimParams* p) { p->feed_per_rev = 0; }, "", nullptr},
      {"feed -0.2", [](SimParams* p) { p->feed_per_rev = -0.2; },
       "the feed per revolution: -0.2 mm is negative", &SimParams::feed_per_rev},
      {"feed one nose diameter", [](SimParams* p) { p->feed_per_rev = 1.6; }, "", nullptr},
      {"feed 25 on a nose of 0.8", [](SimParams* p) { p->feed_per_rev = 25; },
       "the feed per revolution: 25 mm is above the nose diameter 1.6 mm (twice the nose radius)",
       &SimParams::feed_per_rev},
      {"workpiece radius 0", [](SimParams* p) { p->workpiece_radius = 0; },
       "the workpiece radius: 0 mm is not positive", &SimParams::workpiece_radius},
      {"workpiece radius 5001 mm", [](SimParams* p) { p->workpiece_radius = 5001; },
       "the workpiece radius: 5001 mm is above 5000 mm (beyond any lathe)",
       &SimParams::workpiece_radius},
      {"nose radius 0", [](SimParams* p) { p->nose_radius = 0; },
       "the nose radius: 0 mm is not positive", &SimParams::nose_radius},
      {"nose radius -0.8", [](SimParams* p) { p->nose_radius = -0.8; },
       "the nose radius: -0.8 mm is not positive", &SimParams::nose_radius},
      {"edge angle 89.9", [](SimParams* p) { p->side_cutting_edge_angle = 89.9; }, "", nullptr},
      {"edge angle 90", [](SimParams* p) { p->side_cutting_edge_angle = 90; },
       "the side cutting edge angle: 90 degrees is not between -90 and 90 (the straight edge "
       "would not meet the cut)",
       &SimParams::side_cutting_edge_angle},
      {"edge angle -90", [](SimParams* p) { p->side_cutting_edge_angle = -90; },
       "the side cutting edge angle: -90 degrees is not between -90 and 90 (the straight edge "
       "would not meet the cut)",
       &SimParams::side_cutting_edge_angle},
      {"initial wear -0.1", [](SimParams* p) { p->initial_wear = -0.1; },
       "the initial wear: -0.1 mm is negative", &SimParams::initial_wear},
      {"initial wear 1 mm", [](SimParams* p) { p->initial_wear = 1; }, "", nullptr},
      {"initial wear 0.05 in (1.27 mm)",
       [](SimParams* p) {
         p->units = 0;
         p->feed_per_rev = 0.008;
         p->depth_of_cut = 0.08;
         p->nose_radius = 0.03;
         p->workpiece_radius = 2;
         p->initial_wear = 0.05;
       },
       "the initial wear: 0.05 in is above 1 mm (tool-life criteria end at 0.3 to 0.6 mm)",
       &SimParams::initial_wear},
      {"spindle speed 100001 rpm", [](SimParams* p) { p->spindle_rpm = 100001; },
       "the spindle speed: 100001 rpm is above 100000 rpm (beyond any lathe)",
       &SimParams::spindle_rpm},
  };
  for (const auto& c : cases) {
    EnteredJob job;
    c.set(job.p);
    std::string error;
    SimNotes notes;
    const int accepted = sim_check_job(job.p, "out", &error, &notes);
    EXPECT_EQ(accepted == 1, *c.error == '\0') << c.name << ": " << error;
    EXPECT_EQ(error, c.error) << c.name;
    const void* field = c.field != nullptr ? &(job.p->*c.field) : nullptr;
    EXPECT_EQ(notes.field, field) << c.name;
  }
}

TEST(RunCheck, ZeroFeedOrDepthIsAcceptedWithOneWarningEach) {
  EnteredJob job;
  job.p->feed_per_rev = 0;
  job.p->depth_of_cut = 0;
  std::string error;
  SimNotes notes;
  ASSERT_EQ(sim_check_job(job.p, "out", &error, &notes), 1) << error;
  ASSERT_EQ(notes.warnings.size(), 2u);
  EXPECT_EQ(notes.warnings[0].field, &job.p->feed_per_rev);
  EXPECT_EQ(notes.warnings[0].text,
            "the feed per revolution: 0 removes no material; every force is zero");
  EXPECT_EQ(notes.warnings[1].field, &job.p->depth_of_cut);
}

TEST(RunCheck, TheToolMayNotPassTheCentreOfTheFace) {
  // 40 mm at 0.25 mm a revolution: the diameter reaches zero after 160
  // revolutions of 34200 steps, or 16000 revolutions of 342 steps (the
  // diameter shrinks at every simulated step).
  const struct {
    int units;
    double radius, feed;
    int increments;
    long long fits, centre;
  } cases[] = {
      {1, 40, 0.25, 1, 160, 161},
      {1, 40, 0.25, 100, 16000, 16001},
      {0, 40 / 25.4, 0.25 / 25.4, 1, 160, 161},  // the same in inches
      {1, 1, 0.25, 1, 4, 5},
      {1, 1, 0.3, 1, 3, 4},  // 3.33 revolutions: the fourth would reach the centre
  };
  for (const auto& c : cases) {
    EnteredJob job;
    job.p->units = c.units;
    job.p->workpiece_radius = c.radius;
    job.p->feed_per_rev = c.feed;
    job.p->nose_radius = 0.8 / (c.units != 0 ? 1 : 25.4);
    job.p->depth_of_cut = 2 / (c.units != 0 ? 1 : 25.4);
    job.p->angular_increments = c.increments;
    long long fits = 0;
    long long centre = 0;
    ASSERT_EQ(intake_travel(job.p, kGridSteps / c.increments, &fits, &centre), 1);
    EXPECT_EQ(fits, c.fits) << c.radius << " " << c.feed << " " << c.increments;
    EXPECT_EQ(centre, c.centre) << c.radius << " " << c.feed << " " << c.increments;
    std::string error;
    SimNotes notes;
    job.p->revs_total = static_cast<int>(c.fits);
    EXPECT_EQ(sim_check_job(job.p, "out", &error, &notes), 1) << error;
    job.p->revs_total = static_cast<int>(c.fits + 1);
    EXPECT_EQ(sim_check_job(job.p, "out", &error, &notes), 0);
    EXPECT_EQ(error, "the revolutions to simulate: " + std::to_string(c.fits + 1) +
                         " take the tool past the centre of the face (its cutting speed reaches "
                         "zero in revolution " +
                         std::to_string(c.centre) + "); at most " + std::to_string(c.fits) +
                         " revolutions fit");
    EXPECT_EQ(notes.field, &job.p->revs_total);
  }
  // Without feed the tool stays where it is; with the finest feeds no run
  // gets there (and no count overflows).
  for (double feed : {0.0, 1e-300, 5e-324}) {
    EnteredJob still;
    still.p->feed_per_rev = feed;
    long long fits = 0;
    long long centre = 0;
    EXPECT_EQ(intake_travel(still.p, kGridSteps, &fits, &centre), 0) << feed;
    still.p->revs_total = 62790;
    std::string error;
    EXPECT_EQ(sim_check_job(still.p, "out", &error), 1) << feed << ": " << error;
  }
}

// ---------------------------------------------------------------------------
// Databases that cannot answer for the job.

TEST(RunCheck, MissingFilesRowsAndRecordsAreNamedWithWhatIsNearest) {
  EnteredJob job;  // STEEL 1045 with CARB at 15 degrees
  const std::string rows = std::string(kRow15) +
                           "STEEL           CARB                            30 1 0 0 1 0 0 5 0 0\n"
                           "STEEL 1045      CARB                            0 1 0 0 1 0 0 5 0 0\n";
  job.p->side_cutting_edge_angle = 20;
  EXPECT_EQ(database_fault(job.p, kWear, rows),
            "kfkncfa.db: the row for workpiece \"STEEL 1045\" and insert \"CARB\" at 20 degrees: "
            "there is none; the pair has rows at 15, 30, 0 degrees");
  job.p->side_cutting_edge_angle = 15;
  snprintf(job.p->workpiece_material, sizeof job.p->workpiece_material, "%s", "steel1045");
  EXPECT_EQ(database_fault(job.p, kWear, rows),
            "kfkncfa.db: the row for workpiece \"steel1045\" and insert \"CARB\" at 15 degrees: "
            "there is none; pairs whose names match when case and blanks are ignored: \"STEEL / "
            "CARB\", \"STEEL 1045 / CARB\"");
  snprintf(job.p->workpiece_material, sizeof job.p->workpiece_material, "%s", "C45");
  EXPECT_EQ(database_fault(job.p, kWear, rows),
            "kfkncfa.db: the row for workpiece \"C45\" and insert \"CARB\" at 15 degrees: there is "
            "none, nor a pair whose names match when case and blanks are ignored");

  // A file that cannot be read, named with the reason.
  ScratchDir dir;
  WorkingDir here(dir.path());
  EnteredJob steel;
  std::string error;
  MatDb* db = matdb_load(steel.p);
  EXPECT_EQ(sim_check_database(steel.p, db, &error), 0);
  EXPECT_EQ(error, "wear.db: cannot read the wear file: No such file or directory");
  matdb_free(db);
  write_file("wear.db", kWear);
  db = matdb_load(steel.p);
  EXPECT_EQ(sim_check_database(steel.p, db, &error), 0);
  EXPECT_EQ(error,
            "kfkncfa.db: cannot read the cutting-coefficient database: No such file or directory");
  matdb_free(db);

  // Coefficients without a wear record: a sharp tool, accepted with a warning.
  write_file("wear.db", "ALU CARB 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15\n");
  write_file("kfkncfa.db", kRow15);
  db = matdb_load(steel.p);
  std::string warning;
  EXPECT_EQ(sim_check_database(steel.p, db, &error, &warning), 1) << error;
  EXPECT_EQ(warning,
            "wear.db: the wear record for workpiece \"STEEL 1045\" and insert \"CARB\": there is "
            "none; the tool stays sharp (no wear, no wear-land force)");
  matdb_free(db);
}
