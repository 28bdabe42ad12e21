// The shipped example databases: every row and record well-formed, and the
// demo pair's constants give plausible pressures at the demo conditions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "materials/matdb.h"
#include "model/params.h"
#include "tests/support/records.h"
#include "tests/support/test_support.h"

namespace {

constexpr double kDeg = 0.017453292519943295;

// Power law of the coefficient database: constant (psi) times chip thickness
// (m, taken in inches) and cutting speed (m/min, taken in ft/min) powers; N/mm^2.
double pressure(double coef, double thickness_exp, double speed_exp, double h, double v) {
  return 6894.755 * coef * std::pow(h / 0.0254, thickness_exp) * std::pow(v / 0.3048, speed_exp) /
         1e6;
}

struct Pair {
  double kn;   // N/mm^2 at 0.15 mm and 200 m/min
  double kf;   // N/mm^2
  double cfa;  // degrees
  int found;
};

Pair look_up(const char* workpiece, const char* insert, double degrees) {
  const test_support::Params p = test_support::new_params();
  std::snprintf(p->workpiece_material, kParamsTextSize, "%s", workpiece);
  std::snprintf(p->insert_material, kParamsTextSize, "%s", insert);
  p->cutting_edge_angle = degrees * kDeg;
  Pair pair;
  pair.found = matdb_lookup(p.get());
  pair.kn = pressure(p->kn_coef, p->kn_thickness_exp, p->kn_speed_exp, 0.15e-3, 200.0);
  pair.kf = pressure(p->kf_coef, p->kf_thickness_exp, p->kf_speed_exp, 0.15e-3, 200.0);
  pair.cfa = p->cfa_coef * std::pow(2.0 / 25.4, p->cfa_depth_exp) *
             std::pow(200.0 / 0.3048, p->cfa_speed_exp);
  return pair;
}

}  // namespace

TEST(MatDbExample, EveryRowAndRecordIsWellFormed) {
  test_support::WorkingDir cwd(std::string(CORVANEL_SOURCE_DIR) + "/examples");
  MatDb* db = matdb_load(test_support::new_params().get());
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(db->wear_opened, 1);
  EXPECT_EQ(db->database_opened, 1);
  EXPECT_EQ(db->wear.size(), 2u);
  EXPECT_EQ(db->rows.size(), 8u);
  matdb_free(db);
}

TEST(MatDbExample, DemoPairsGivePlausiblePressures) {
  test_support::WorkingDir cwd(std::string(CORVANEL_SOURCE_DIR) + "/examples");
  for (double angle : {0.0, 15.0, 30.0, 45.0}) {
    Pair steel = look_up("AISI1045", "CARBIDE-P25-CVD", angle);
    Pair alu = look_up("AL6061-T6", "CARBIDE-K10", angle);
    ASSERT_EQ(steel.found, 1);
    ASSERT_EQ(alu.found, 1);
    EXPECT_GT(steel.kn, 1800.0);
    EXPECT_LT(steel.kn, 2600.0);
    EXPECT_GT(steel.kf, 0.3 * steel.kn);
    EXPECT_LT(steel.kf, 0.6 * steel.kn);
    EXPECT_GT(steel.cfa, 2.0);
    EXPECT_LT(steel.cfa, 20.0);
    EXPECT_NEAR(alu.kn / steel.kn, 1.0 / 3.0, 0.05);
  }
  EXPECT_NEAR(look_up("AISI1045", "CARBIDE-P25-CVD", 15.0).cfa, 13.0, 1e-12);
  EXPECT_EQ(look_up("AISI1045", "CARBIDE-K10", 15.0).found, 0);  // pairs do not mix
}
