// The checks a run makes before it touches a result file: run control and
// the database numbers of the job's material pair.
#include <gtest/gtest.h>

#include <string>

#include "engine/run.h"
#include "materials/matdb.h"
#include "tests/support/test_support.h"

using test_support::ScratchDir;
using test_support::WorkingDir;
using test_support::write_file;

namespace {

// A metric turning job in entered units (degrees), without modes.
struct EnteredJob {
  SimParams* p = params_create();
  EnteredJob() {
    p->process = 'T';
    p->units = 1;
    p->spindle_rpm = 1000;
    p->feed_per_rev = 0.2;
    p->depth_of_cut = 2;
    p->side_cutting_edge_angle = 15;
    p->nose_radius = 0.8;
    p->workpiece_radius = 50;
    p->revs_total = 1;
    p->angular_increments = 100;
    snprintf(p->workpiece_material, sizeof p->workpiece_material, "%s", "STEEL 1045");
    snprintf(p->insert_material, sizeof p->insert_material, "%s", "CARB");
  }
  ~EnteredJob() { params_free(p); }
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
  // Files that cannot be read leave the coefficients zero: the run warns and goes on.
  EXPECT_EQ(sim_check_database(job.p, nullptr, nullptr), 1);
}
