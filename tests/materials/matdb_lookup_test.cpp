// Lookups of wear and coefficient constants in small databases written into a
// scratch folder. Every lookup runs in both forms, re-reading and loaded, and
// the two must leave identical fields and results.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "materials/matdb.h"
#include "model/params.h"
#include "tests/support/test_support.h"

using test_support::ScratchDir;
using test_support::WorkingDir;
using test_support::write_file;

namespace {

constexpr double kDeg = 0.017453292519943295;

// The 15 wear and 9 coefficient fields, in file order.
constexpr double SimParams::*kWearFields[] = {&SimParams::wear_factor,
                                              &SimParams::wear_breakin_amount,
                                              &SimParams::wear_breakin_rate,
                                              &SimParams::wear_rate_coef,
                                              &SimParams::wear_rate_speed_exp,
                                              &SimParams::wear_rate_depth_exp,
                                              &SimParams::wear_force_x_coef,
                                              &SimParams::wear_force_x_feed_exp,
                                              &SimParams::wear_force_x_depth_exp,
                                              &SimParams::wear_force_y_coef,
                                              &SimParams::wear_force_y_feed_exp,
                                              &SimParams::wear_force_y_depth_exp,
                                              &SimParams::wear_force_z_coef,
                                              &SimParams::wear_force_z_feed_exp,
                                              &SimParams::wear_force_z_depth_exp};
constexpr double SimParams::*kCoefFields[] = {
    &SimParams::kf_coef,  &SimParams::kf_thickness_exp, &SimParams::kf_speed_exp,
    &SimParams::kn_coef,  &SimParams::kn_thickness_exp, &SimParams::kn_speed_exp,
    &SimParams::cfa_coef, &SimParams::cfa_depth_exp,    &SimParams::cfa_speed_exp};

// A coefficient row whose nine numbers are base+1 ... base+9.
std::string row(std::string workpiece, std::string insert, const std::string& angle, int base) {
  workpiece.resize(16, ' ');
  insert.resize(32, ' ');
  std::string text = workpiece + insert + angle;
  for (int i = 1; i <= 9; ++i) text += " " + std::to_string(base + i);
  return text + "\n";
}

// A wear record whose fifteen numbers are base+1 ... base+15.
std::string wear(const std::string& workpiece, const std::string& insert, int base) {
  std::string text = workpiece + " " + insert;
  for (int i = 1; i <= 15; ++i) text += " " + std::to_string(base + i);
  return text + "\n";
}

// Bitwise, so that NaN equals NaN.
bool same_double(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// Stale values in all 24 fields, so that "unchanged" can be seen.
void fill_stale(SimParams* p) {
  for (auto field : kWearFields) p->*field = -7.0;
  for (auto field : kCoefFields) p->*field = -8.0;
}

class MatDbLookup : public ::testing::Test {
 protected:
  MatDbLookup() : cwd_(dir_.path()) {
    literal_ = params_create();
    loaded_ = params_create();
    fill_stale(literal_);
    fill_stale(loaded_);
  }
  ~MatDbLookup() override {
    matdb_free(db_);
    params_free(literal_);
    params_free(loaded_);
  }

  void files(const std::string& wear_text, const std::string& database_text) {
    write_file("wear.db", wear_text);
    write_file("kfkncfa.db", database_text);
  }

  void job(const char* workpiece, const char* insert, double angle_degrees) {
    for (SimParams* p : {literal_, loaded_}) {
      std::snprintf(p->workpiece_material, kParamsTextSize, "%s", workpiece);
      std::snprintf(p->insert_material, kParamsTextSize, "%s", insert);
      p->cutting_edge_angle = angle_degrees * kDeg;
    }
  }

  // Both forms; the database is loaded at the first lookup of a test.
  int lookup() {
    if (db_ == nullptr) db_ = matdb_load(literal_);
    EXPECT_NE(db_, nullptr);
    int re_read = matdb_lookup(literal_);
    int from_memory = matdb_lookup_loaded(db_, loaded_);
    EXPECT_EQ(re_read, from_memory);
    for (auto field : kWearFields) EXPECT_TRUE(same_double(literal_->*field, loaded_->*field));
    for (auto field : kCoefFields) EXPECT_TRUE(same_double(literal_->*field, loaded_->*field));
    return re_read;
  }

  // The wear fields hold base+1 ... base+15.
  void expect_wear(int base) {
    for (int i = 0; i < 15; ++i) EXPECT_EQ(literal_->*kWearFields[i], base + i + 1.0) << i;
  }
  void expect_coefficients(int base) {
    for (int i = 0; i < 9; ++i) EXPECT_EQ(literal_->*kCoefFields[i], base + i + 1.0) << i;
  }
  void expect_wear_unchanged() {
    for (auto field : kWearFields) EXPECT_EQ(literal_->*field, -7.0);
  }
  void expect_coefficients_unchanged() {
    for (auto field : kCoefFields) EXPECT_EQ(literal_->*field, -8.0);
  }

  ScratchDir dir_;
  WorkingDir cwd_;
  SimParams* literal_ = nullptr;
  SimParams* loaded_ = nullptr;
  MatDb* db_ = nullptr;
};

}  // namespace

TEST_F(MatDbLookup, StoresBothRecordsInFieldOrder) {
  files(wear("STEEL", "CARBIDE", 100), row("STEEL", "CARBIDE", "30", 200));
  job("STEEL", "CARBIDE", 30);
  EXPECT_EQ(lookup(), 1);
  expect_wear(100);
  // File order kf_coef, kf_thickness_exp, kf_speed_exp, kn_coef, ... cfa_speed_exp.
  EXPECT_EQ(literal_->kf_coef, 201.0);
  EXPECT_EQ(literal_->kf_thickness_exp, 202.0);
  EXPECT_EQ(literal_->kn_coef, 204.0);
  EXPECT_EQ(literal_->cfa_speed_exp, 209.0);
  expect_coefficients(200);
}

TEST_F(MatDbLookup, LastMatchingWearRecordWinsByPrefix) {
  files(wear("STEEL", "CARBIDE", 100) + wear("STEEL", "CARBIDE_X", 300) +
            wear("ALU", "CARBIDE_X", 500),
        row("STEEL", "CARBIDE", "30", 200));
  job("STEEL1045", "CARBIDE_X", 30);
  EXPECT_EQ(lookup(), 1);  // the row's CARBIDE is a prefix of CARBIDE_X
  expect_wear(300);
  job("STEEL1045", "CARBIDE", 30);  // CARBIDE_X is longer than the job's name
  EXPECT_EQ(lookup(), 1);
  expect_wear(100);
}

TEST_F(MatDbLookup, FirstMatchingRowWins) {
  files(wear("A", "B", 0), row("STEEL", "CARBIDE_X", "30", 100) +
                               row("STEEL", "CARBIDE", "30", 200) +
                               row("STEEL", "CARBIDE", "30", 300));
  job("STEEL1045", "CARBIDE_X", 30);
  EXPECT_EQ(lookup(), 1);
  expect_coefficients(100);
  job("STEEL1045", "CARBIDE", 30);
  EXPECT_EQ(lookup(), 1);
  expect_coefficients(200);
}

TEST_F(MatDbLookup, BlankWorkpieceColumnsMatchEveryWorkpiece) {
  files(wear("X", "Y", 0), row("", "CARBIDE", "0", 100) + row("STEEL", "CARBIDE", "0", 200));
  job("STEEL", "CARBIDE", 0);
  EXPECT_EQ(lookup(), 1);
  expect_coefficients(100);  // the blank row comes first
  job("TITANIUM", "CARBIDE", 0);
  EXPECT_EQ(lookup(), 1);
  expect_coefficients(100);
  job("TITANIUM", "CERAMIC", 0);
  EXPECT_EQ(lookup(), 0);
}

TEST_F(MatDbLookup, NamesWithBlanks) {
  files(wear("AISI", "CARBIDE", 100),
        row("AISI 1045X", "CARBIDE", "15", 300) + row("AISI 1045", "CARBIDE", "15", 200));
  job("AISI 1045", "CARBIDE", 15);
  EXPECT_EQ(lookup(), 1);
  expect_wear(100);
  expect_coefficients(200);
}

TEST_F(MatDbLookup, MatchingIsCaseSensitive) {
  files(wear("STEEL", "CARBIDE", 100), row("STEEL", "CARBIDE", "30", 200));
  job("steel", "CARBIDE", 30);
  EXPECT_EQ(lookup(), 0);
  expect_wear_unchanged();
  expect_coefficients_unchanged();
  job("STEEL", "Carbide", 30);
  EXPECT_EQ(lookup(), 0);
  expect_wear_unchanged();
}

TEST_F(MatDbLookup, EdgeAngleKey) {
  files(wear("S", "C", 0), row("S", "C", "29", 290) + row("S", "C", "30", 300) +
                               row("S", "C", "31", 310) + row("S", "C", "-45", 450));
  for (double angle : {30.0, 29.6, 30.4}) {
    job("S", "C", angle);
    EXPECT_EQ(lookup(), 1) << angle;
    expect_coefficients(300);
  }
  job("S", "C", 29.4);
  EXPECT_EQ(lookup(), 1);
  expect_coefficients(290);
  job("S", "C", 30.6);
  EXPECT_EQ(lookup(), 1);
  expect_coefficients(310);
  job("S", "C", -44.5);
  EXPECT_EQ(lookup(), 1);
  expect_coefficients(450);
}

TEST_F(MatDbLookup, RowsForOtherAnglesGiveNoCoefficientsButTheWearStays) {
  files(wear("S", "C", 100), row("S", "C", "29", 290) + row("S", "C", "31", 310));
  job("S", "C", 30);
  EXPECT_EQ(lookup(), 0);
  expect_wear(100);
  expect_coefficients_unchanged();
}

TEST_F(MatDbLookup, NoMatchingWearRecordLeavesTheWearFields) {
  files(wear("ALU", "C", 100), row("S", "C", "30", 200));
  job("S", "C", 30);
  EXPECT_EQ(lookup(), 1);
  expect_wear_unchanged();
  expect_coefficients(200);
}

TEST_F(MatDbLookup, EmptyFilesMatchNothing) {
  files("", "");
  job("S", "C", 30);
  EXPECT_EQ(lookup(), 0);
  expect_wear_unchanged();
  expect_coefficients_unchanged();
}

TEST_F(MatDbLookup, MissingWearFileChangesNothing) {
  write_file("kfkncfa.db", row("S", "C", "30", 200));
  job("S", "C", 30);
  EXPECT_EQ(lookup(), 0);
  expect_coefficients_unchanged();
  EXPECT_EQ(db_->wear_opened, 0);
  EXPECT_EQ(db_->database_opened, 1);
}

TEST_F(MatDbLookup, MissingDatabaseChangesNotEvenTheWear) {
  write_file("wear.db", wear("S", "C", 100));
  job("S", "C", 30);
  EXPECT_EQ(lookup(), 0);
  expect_wear_unchanged();
  EXPECT_EQ(db_->wear_opened, 1);
  EXPECT_EQ(db_->database_opened, 0);
  EXPECT_EQ(db_->database_file, "kfkncfa.db");
}

TEST_F(MatDbLookup, UnreadableFilesCountAsMissing) {
  // A folder opens for reading on some systems but yields a read error.
  files(wear("S", "C", 100), row("S", "C", "30", 200));
  mkdir("folder.db", 0700);
  for (SimParams* p : {literal_, loaded_}) params_set_database_file(p, "folder.db");
  job("S", "C", 30);
  EXPECT_EQ(lookup(), 0);
  expect_wear_unchanged();
  EXPECT_EQ(db_->database_opened, 0);

  for (SimParams* p : {literal_, loaded_}) params_set_database_file(p, "kfkncfa.db");
  std::remove("wear.db");
  mkdir("wear.db", 0700);
  matdb_free(db_);
  db_ = nullptr;
  EXPECT_EQ(lookup(), 0);  // the database row alone is not enough
  expect_coefficients_unchanged();
  EXPECT_EQ(db_->wear_opened, 0);
}

TEST_F(MatDbLookup, DatabaseNameComesFromTheJob) {
  files(wear("S", "C", 100), row("S", "C", "30", 200));
  write_file("other.db", row("S", "C", "30", 700));
  for (SimParams* p : {literal_, loaded_}) params_set_database_file(p, "other.db");
  job("S", "C", 30);
  EXPECT_EQ(lookup(), 1);
  expect_coefficients(700);
  EXPECT_EQ(db_->database_file, "other.db");
}

TEST_F(MatDbLookup, LongLinesAreReadIn199CharacterPieces) {
  // A row padded with blanks to exactly 199 characters, then a second row on
  // the same line: the second piece starts its own columns at character 200.
  std::string first = row("S", "C", "15", 150);
  first.pop_back();
  first.resize(199, ' ');
  std::string second = row("S", "C", "30", 300);
  // A row of 198 characters plus its line end is read whole: its ninth
  // number ends at character 198.
  std::string whole = row("S", "C", "45", 450);
  whole.insert(whole.size() - 5, 198 - (whole.size() - 1), ' ');
  ASSERT_EQ(whole.size(), 199u);
  // Here the ninth number 12345 spans characters 197-201: the first piece
  // keeps 123, the rest "45\n" is a row of its own (and malformed).
  std::string cut = row("S", "C", "60", 600);
  cut.erase(cut.rfind(' '));
  cut.resize(196, ' ');
  cut += "12345\n";
  files(wear("S", "C", 0), first + second + whole + cut);

  job("S", "C", 15);
  EXPECT_EQ(lookup(), 1);
  expect_coefficients(150);
  job("S", "C", 30);
  EXPECT_EQ(lookup(), 1);
  expect_coefficients(300);
  job("S", "C", 45);
  EXPECT_EQ(lookup(), 1);
  expect_coefficients(450);
  job("S", "C", 60);
  EXPECT_EQ(lookup(), 1);
  EXPECT_EQ(literal_->cfa_coef, 607.0);
  EXPECT_EQ(literal_->cfa_speed_exp, 123.0);
}

TEST_F(MatDbLookup, MalformedRowsAreSkipped) {
  std::string eight = row("S", "C", "30", 100);
  eight.erase(eight.rfind(' '));  // drops the ninth number
  eight += "\n";
  files(wear("S", "C", 0),
        "no row here at all\n" + eight + row("S", "C", "30.0", 200) + row("S", "C", "30", 300));
  job("S", "C", 30);
  EXPECT_EQ(lookup(), 1);
  expect_coefficients(300);
}

TEST_F(MatDbLookup, MalformedWearRecordsAreSkippedAndReadingResynchronises) {
  // 14 numbers: the next record's name is not a number, so the short record
  // is dropped and reading restarts at that name.
  std::string short_record = wear("S", "C", 900);
  short_record.erase(short_record.rfind(' '));
  std::string word_inside = "S C 1 2 3 oops 5 6 7 8 9 10 11 12 13 14 15\n";
  std::string long_name(5000, 'N');
  files(short_record + "\n" + wear("S", "C", 100) + word_inside + wear(long_name, "C", 400) +
            wear("S", "C", 200),
        row("S", "C", "30", 0));
  job("S", "C", 30);
  EXPECT_EQ(lookup(), 1);
  expect_wear(200);

  // A record cut short by the end of the file is not half-stored.
  files(wear("S", "C", 100) + "S C 1 2 3\n", row("S", "C", "30", 0));
  matdb_free(db_);
  db_ = nullptr;
  fill_stale(literal_);
  fill_stale(loaded_);
  EXPECT_EQ(lookup(), 1);
  expect_wear(100);
}

TEST_F(MatDbLookup, WearRecordsIgnoreLineBreaks) {
  files("S\tC 1 2 3\n4 5 6 7\n\n8 9 10 11 12 13\r\n 14   15", row("S", "C", "30", 0));
  job("S", "C", 30);
  EXPECT_EQ(lookup(), 1);
  expect_wear(0);
}

TEST_F(MatDbLookup, NonFiniteNumbersAreStoredAsWritten) {
  files("S C nan 2 3 4 5 6 7 8 9 10 11 12 13 14 inf\n", std::string("S") + std::string(15, ' ') +
                                                            "C" + std::string(31, ' ') +
                                                            "30 1 2 3 nan 5 6 7 8 -inf\n");
  job("S", "C", 30);
  EXPECT_EQ(lookup(), 1);
  EXPECT_TRUE(std::isnan(literal_->wear_factor));
  EXPECT_EQ(literal_->wear_force_z_depth_exp, INFINITY);
  EXPECT_TRUE(std::isnan(literal_->kn_coef));
  EXPECT_EQ(literal_->cfa_speed_exp, -INFINITY);
}

TEST_F(MatDbLookup, LoadedFormReadsTheFilesOnce) {
  files(wear("S", "C", 100), row("S", "C", "30", 200));
  job("S", "C", 30);
  db_ = matdb_load(literal_);
  ASSERT_NE(db_, nullptr);
  std::remove("wear.db");
  std::remove("kfkncfa.db");
  EXPECT_EQ(matdb_lookup_loaded(db_, loaded_), 1);
  for (int i = 0; i < 15; ++i) EXPECT_EQ(loaded_->*kWearFields[i], 100 + i + 1.0);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(loaded_->*kCoefFields[i], 200 + i + 1.0);
  EXPECT_EQ(matdb_lookup(literal_), 0);  // the re-reading form sees the files gone
  EXPECT_EQ(matdb_lookup_loaded(nullptr, loaded_), 0);
  matdb_free(nullptr);
}

namespace {

int open_descriptors() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir) != nullptr) ++count;
    closedir(dir);
  }
  return count;
}

}  // namespace

TEST_F(MatDbLookup, EveryPathClosesItsFiles) {
  files(wear("S", "C", 100), row("S", "C", "30", 200));
  const int before = open_descriptors();
  job("S", "C", 30);
  EXPECT_EQ(matdb_lookup(literal_), 1);  // match
  job("S", "C", 31);
  EXPECT_EQ(matdb_lookup(literal_), 0);  // no row
  params_set_database_file(literal_, "absent.db");
  EXPECT_EQ(matdb_lookup(literal_), 0);  // wear opened, database missing
  mkdir("folder.db", 0700);
  params_set_database_file(literal_, "folder.db");
  EXPECT_EQ(matdb_lookup(literal_), 0);  // read error
  std::remove("wear.db");
  EXPECT_EQ(matdb_lookup(literal_), 0);  // wear missing
  matdb_free(matdb_load(literal_));
  EXPECT_EQ(open_descriptors(), before);
}

// The same sequence of lookups, with changing keys and repeated keys that the
// loaded form answers from its last outcome, must leave the same 24 fields and
// results after every call, in each arrangement of present and missing files.
TEST(MatDbEquivalence, CachedAndReReadingFormsAgreeOverASequence) {
  const std::string wear_text = wear("STEEL", "CARBIDE", 100) + wear("STEEL", "CARBIDE_X", 200) +
                                wear("ALU", "K10", 300) + "broken 1 2\n" + wear("ST", "CARB", 600);
  const std::string rows = row("STEEL", "CARBIDE", "30", 1000) +
                           row("STEEL", "CARBIDE_X", "30", 2000) +
                           row("STEEL", "CARBIDE", "45", 3000) + row("ALU", "K10", "0", 4000) +
                           row("", "CERAMIC", "30", 5000) + "S C bad\n";
  struct Key {
    const char* workpiece;
    const char* insert;
    double degrees;
  };
  const Key sequence[] = {
      {"STEEL1045", "CARBIDE_X", 30},   {"STEEL1045", "CARBIDE_X", 30},
      {"STEEL1045", "CARBIDE_X", 29.6}, {"STEEL1045", "CARBIDE", 30},
      {"STEEL1045", "CARBIDE", 45},     {"STEEL1045", "CARBIDE", 46},
      {"STEEL1045", "CARBIDE", 46},     {"ALU6061", "K10", 0.3},
      {"ALU6061", "K10", 15},           {"TITANIUM", "CERAMIC", 30},
      {"TITANIUM", "CERAMIC", 30},      {"steel", "CARBIDE", 30},
      {"STEEL1045", "CARBIDE_X", 30},   {"", "", 30},
      {"ALU6061", "K10", -0.4},
  };
  enum Files { kBoth, kNoWear, kNoDatabase, kNeither };
  for (Files present : {kBoth, kNoWear, kNoDatabase, kNeither}) {
    SCOPED_TRACE(present);
    ScratchDir dir;
    WorkingDir cwd(dir.path());
    if (present == kBoth || present == kNoDatabase) write_file("wear.db", wear_text);
    if (present == kBoth || present == kNoWear) write_file("kfkncfa.db", rows);
    SimParams* literal = params_create();
    SimParams* loaded = params_create();
    fill_stale(literal);
    fill_stale(loaded);
    MatDb* db = matdb_load(loaded);
    ASSERT_NE(db, nullptr);
    int found = 0;
    for (const Key& key : sequence) {
      for (SimParams* p : {literal, loaded}) {
        std::snprintf(p->workpiece_material, kParamsTextSize, "%s", key.workpiece);
        std::snprintf(p->insert_material, kParamsTextSize, "%s", key.insert);
        p->cutting_edge_angle = key.degrees * kDeg;
      }
      int re_read = matdb_lookup(literal);
      ASSERT_EQ(re_read, matdb_lookup_loaded(db, loaded)) << key.workpiece << " " << key.degrees;
      found += re_read;
      for (auto field : kWearFields) ASSERT_TRUE(same_double(literal->*field, loaded->*field));
      for (auto field : kCoefFields) ASSERT_TRUE(same_double(literal->*field, loaded->*field));
    }
    EXPECT_EQ(found, present == kBoth ? 10 : 0);
    matdb_free(db);
    params_free(literal);
    params_free(loaded);
  }
}

TEST_F(MatDbLookup, CoefficientsAloneAnswerAsTheFullLoadWithoutWear) {
  files(wear("STEEL", "CARBIDE", 100), row("STEEL", "CARBIDE", "5", 200));
  MatDb db;
  ASSERT_EQ(matdb_load_coefficients(&db, "kfkncfa.db"), 1);
  EXPECT_EQ(db.rows.size(), 1u);
  EXPECT_TRUE(db.wear.empty());
  job("STEEL", "CARBIDE", 5);
  ASSERT_EQ(matdb_lookup_loaded(&db, literal_), 1);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(literal_->*kCoefFields[i], 200 + i + 1.0) << i;
  for (auto field : kWearFields) EXPECT_EQ(literal_->*field, -7.0);  // the wear is left alone
  // A second load replaces the rows; a missing file reads as nothing, with errno.
  ASSERT_EQ(matdb_load_coefficients(&db, "kfkncfa.db"), 1);
  EXPECT_EQ(db.rows.size(), 1u);
  EXPECT_EQ(matdb_load_coefficients(&db, "no-such.db"), 0);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_TRUE(db.rows.empty());
  EXPECT_EQ(matdb_lookup_loaded(&db, literal_), 0);
}
