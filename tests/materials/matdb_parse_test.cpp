// Splitting of coefficient-database lines, name trimming, name matching and
// the edge-angle key.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "materials/matdb.h"

namespace {

constexpr double kDeg = 0.017453292519943295;

// Names padded to columns 1-16 and 17-48, then the rest of the row.
std::string columns(std::string workpiece, std::string insert, const std::string& rest) {
  workpiece.resize(16, ' ');
  insert.resize(32, ' ');
  return workpiece + insert + rest;
}

struct Parsed {
  char workpiece[17];
  char insert[33];
  double angle = -999.0;
  double values[9] = {-1, -1, -1, -1, -1, -1, -1, -1, -1};
  int ok = -1;
};

Parsed parse(const std::string& line) {
  Parsed p;
  std::memset(p.workpiece, 'W', sizeof p.workpiece);
  std::memset(p.insert, 'I', sizeof p.insert);
  p.ok = matdb_parse_row(line.c_str(), p.workpiece, p.insert, &p.angle, p.values);
  return p;
}

std::string trimmed(std::string text, int width) {
  text.resize(static_cast<size_t>(width) + 1, '\0');
  matdb_trim_right(text.data(), width);
  return std::string(text.c_str());
}

}  // namespace

TEST(MatDbTrim, RemovesOnlyTrailingBlanks) {
  EXPECT_EQ(trimmed("STEEL           ", 16), "STEEL");
  EXPECT_EQ(trimmed("AISI 1045       ", 16), "AISI 1045");
  EXPECT_EQ(trimmed("  LEAD    ", 10), "  LEAD");
  EXPECT_EQ(trimmed("TAB\t  ", 6), "TAB\t");  // a tab is not a blank
  EXPECT_EQ(trimmed("NL\n ", 4), "NL\n");     // nor a line end
  EXPECT_EQ(trimmed("                ", 16), "");
  EXPECT_EQ(trimmed("ABCDEFGH", 4), "ABCD");  // the field ends at its width
  EXPECT_EQ(trimmed("AB  ", 2), "AB");
  EXPECT_EQ(trimmed("AB", 6), "AB");  // shorter text: only its own blanks count
}

TEST(MatDbParse, SplitsColumnsAndKeepsFileOrder) {
  Parsed p = parse(columns("AISI 1045", "CARBIDE P25", "-15 1 2 3 4 5 6 7 8 9.5\n"));
  ASSERT_EQ(p.ok, 1);
  EXPECT_STREQ(p.workpiece, "AISI 1045");
  EXPECT_STREQ(p.insert, "CARBIDE P25");
  EXPECT_EQ(p.angle, -15.0);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(p.values[i], i + 1.0);
  EXPECT_EQ(p.values[8], 9.5);
}

TEST(MatDbParse, NumbersNeedNotKeepColumnsAndMayUseExponents) {
  Parsed p =
      parse(columns("A", "B", "\t  +30    4.1e5  -0.25 -1E-1 2 3 4 5 6 .5  trailing words\n"));
  ASSERT_EQ(p.ok, 1);
  EXPECT_EQ(p.angle, 30.0);
  EXPECT_EQ(p.values[0], 4.1e5);
  EXPECT_EQ(p.values[1], -0.25);
  EXPECT_EQ(p.values[2], -0.1);
  EXPECT_EQ(p.values[8], 0.5);
}

TEST(MatDbParse, BlankNameColumnsGiveEmptyNames) {
  Parsed p = parse(columns("", "", "0 1 2 3 4 5 6 7 8 9"));
  ASSERT_EQ(p.ok, 1);  // the last number may end the text without a line end
  EXPECT_STREQ(p.workpiece, "");
  EXPECT_STREQ(p.insert, "");
  EXPECT_EQ(p.values[8], 9.0);
}

TEST(MatDbParse, NameColumnsAreCutAtTheirWidth) {
  // Seventeen letters: the seventeenth is the first character of the insert field.
  std::string line = "ABCDEFGHIJKLMNOPQ" + std::string(31, ' ') + " 0 1 2 3 4 5 6 7 8 9\n";
  Parsed p = parse(line);
  ASSERT_EQ(p.ok, 1);
  EXPECT_STREQ(p.workpiece, "ABCDEFGHIJKLMNOP");
  EXPECT_STREQ(p.insert, "Q");
}

TEST(MatDbParse, MalformedRowsAreRejectedWithoutStoringNumbers) {
  const char* bad_rests[] = {
      "",                                          // nothing from column 49
      "30 1 2 3 4 5 6 7 8\n",                      // eight numbers
      "30.0 1 2 3 4 5 6 7 8 9\n",                  // angle with a decimal point
      "thirty 1 2 3 4 5 6 7 8 9\n",                // angle not a number
      "30 1 2 3 x 5 6 7 8 9\n",                    // a word among the numbers
      "30 1 2 3 4.5x 5 6 7 8 9\n",                 // a number with trailing letters
      "30 1 2 3 4 5 6 7 8 9z\n",                   // the ninth one too
      "99999999999999999999 1 2 3 4 5 6 7 8 9\n",  // angle out of range
  };
  for (const char* rest : bad_rests) {
    Parsed p = parse(columns("STEEL", "CARBIDE", rest));
    EXPECT_EQ(p.ok, 0) << rest;
    EXPECT_EQ(p.angle, -999.0) << rest;
    for (double v : p.values) EXPECT_EQ(v, -1.0) << rest;
    EXPECT_STREQ(p.workpiece, "STEEL");  // the names are always delivered
  }
}

TEST(MatDbParse, LineEndInsideANameFieldStaysInTheName) {
  Parsed p = parse("STEEL\n");
  EXPECT_EQ(p.ok, 0);
  EXPECT_STREQ(p.workpiece, "STEEL\n");
  EXPECT_STREQ(p.insert, "");
  p = parse(std::string(16, ' ') + "CARBIDE  \n");
  EXPECT_STREQ(p.workpiece, "");
  EXPECT_STREQ(p.insert, "CARBIDE  \n");
}

TEST(MatDbParse, NonFiniteNumbersAreTakenAsWritten) {
  Parsed p = parse(columns("A", "B", "0 nan inf -inf 4 5 6 7 8 1e999\n"));
  ASSERT_EQ(p.ok, 1);
  EXPECT_TRUE(std::isnan(p.values[0]));
  EXPECT_EQ(p.values[1], INFINITY);
  EXPECT_EQ(p.values[2], -INFINITY);
  EXPECT_EQ(p.values[8], INFINITY);  // overflow reads as infinity
}

TEST(MatDbNames, PrefixRuleByteByByte) {
  EXPECT_EQ(matdb_name_matches("STEEL", "STEEL1045"), 1);
  EXPECT_EQ(matdb_name_matches("STEEL1045", "STEEL1045"), 1);
  EXPECT_EQ(matdb_name_matches("", "ANYTHING"), 1);
  EXPECT_EQ(matdb_name_matches("", ""), 1);
  EXPECT_EQ(matdb_name_matches("STEEL10450", "STEEL1045"), 0);  // longer never matches
  EXPECT_EQ(matdb_name_matches("STEEL", "steel"), 0);           // case-sensitive
  EXPECT_EQ(matdb_name_matches("AISI", "AISI 1045"), 1);
  EXPECT_EQ(matdb_name_matches("AISI 1045", "AISI 1045"), 1);
  EXPECT_EQ(matdb_name_matches("AISI 1045", "AISI1045"), 0);
}

TEST(MatDbAngleKey, RoundsWholeDegreesHalvesAwayFromZero) {
  EXPECT_EQ(matdb_angle_key(30 * kDeg), 30);  // 29.999999999999996 after the division
  EXPECT_EQ(matdb_angle_key(29.6 * kDeg), 30);
  EXPECT_EQ(matdb_angle_key(30.4 * kDeg), 30);
  EXPECT_EQ(matdb_angle_key(2.5 * kDeg), 3);
  EXPECT_EQ(matdb_angle_key(-2.5 * kDeg), -3);
  EXPECT_EQ(matdb_angle_key(30.6 * kDeg), 31);
  EXPECT_EQ(matdb_angle_key(29.49 * kDeg), 29);
  EXPECT_EQ(matdb_angle_key(44.5 * kDeg), 45);
  EXPECT_EQ(matdb_angle_key(-44.5 * kDeg), -45);
  EXPECT_EQ(matdb_angle_key(-44.4 * kDeg), -44);
  EXPECT_EQ(matdb_angle_key(15 * kDeg), 15);
  EXPECT_EQ(matdb_angle_key(0.0), 0);
}
