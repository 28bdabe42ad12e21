// Planning a sweep: the grid axes, the job files of the runs, the command
// table, and the refusals that leave nothing behind.
#include "sweep/plan.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "app/jobfile.h"
#include "sweep/grid.h"
#include "tests/sweep/sweep_support.h"

using sweep_test::lines_of;
using sweep_test::sweep;
using test_support::file_exists;
using test_support::read_file;
using test_support::ScratchDir;
using test_support::write_file;

namespace {

std::vector<double> axis(const char* text) {
  std::vector<double> values;
  std::string error;
  EXPECT_TRUE(grid_parse_axis(text, &values, &error)) << text << ": " << error;
  return values;
}

using Params = std::unique_ptr<SimParams, void (*)(SimParams*)>;

Params read_job(const std::string& path) {
  Params p(params_create(), params_free);
  EXPECT_TRUE(jobfile_read(p.get(), path.c_str())) << path;
  return p;
}

void expect_same_modes(const ModalMode* a, const ModalMode* b, int count) {
  for (int i = 0; i < count; ++i) {
    EXPECT_EQ(a[i].mass, b[i].mass);
    EXPECT_EQ(a[i].damping_ratio, b[i].damping_ratio);
    EXPECT_EQ(a[i].stiffness, b[i].stiffness);
    EXPECT_EQ(a[i].modal_angle, b[i].modal_angle);
  }
}

// Every entered field of run equals the base's, except speed and depth.
void expect_variant(const SimParams* base, const SimParams* run, double rpm, double depth) {
  EXPECT_EQ(run->spindle_rpm, rpm);
  EXPECT_EQ(run->depth_of_cut, depth);
  EXPECT_STREQ(run->title, base->title);
  EXPECT_EQ(run->process, base->process);
  EXPECT_EQ(run->units, base->units);
  EXPECT_EQ(run->feed_per_rev, base->feed_per_rev);
  EXPECT_EQ(run->initial_wear, base->initial_wear);
  EXPECT_EQ(run->inclination_angle, base->inclination_angle);
  EXPECT_EQ(run->normal_rake_angle, base->normal_rake_angle);
  EXPECT_EQ(run->side_cutting_edge_angle, base->side_cutting_edge_angle);
  EXPECT_EQ(run->workpiece_radius, base->workpiece_radius);
  EXPECT_EQ(run->nose_radius, base->nose_radius);
  EXPECT_STREQ(run->workpiece_material, base->workpiece_material);
  EXPECT_STREQ(run->insert_material, base->insert_material);
  EXPECT_EQ(run->calc_type, base->calc_type);
  EXPECT_EQ(run->revs_total, base->revs_total);
  EXPECT_EQ(run->revs_skipped, base->revs_skipped);
  EXPECT_EQ(run->angular_increments, base->angular_increments);
  const ModalSet* a[] = {&base->spindle_modes, &base->tool_modes};
  const ModalSet* b[] = {&run->spindle_modes, &run->tool_modes};
  for (int s = 0; s < 2; ++s) {
    ASSERT_EQ(a[s]->x_count, b[s]->x_count);
    ASSERT_EQ(a[s]->y_count, b[s]->y_count);
    ASSERT_EQ(a[s]->z_count, b[s]->z_count);
    expect_same_modes(a[s]->x_modes, b[s]->x_modes, a[s]->x_count);
    expect_same_modes(a[s]->y_modes, b[s]->y_modes, a[s]->y_count);
    expect_same_modes(a[s]->z_modes, b[s]->z_modes, a[s]->z_count);
  }
}

}  // namespace

TEST(PlanAxis, RangesIncludeTheirEndAndMergeWithValues) {
  EXPECT_EQ(axis("3500:4000:250"), (std::vector<double>{3500, 3750, 4000}));
  // Ten steps of 0.1 reach 2 although 1 + 10 * 0.1 is not exactly 2.
  const std::vector<double> tenths = axis("1:2:0.1");
  ASSERT_EQ(tenths.size(), 11u);
  EXPECT_EQ(tenths[3], 1.3);
  EXPECT_EQ(tenths.back(), 2.0);
  EXPECT_EQ(axis("5,1:3:1,3"), (std::vector<double>{1, 2, 3, 5}));
  EXPECT_EQ(axis("4046"), (std::vector<double>{4046}));
  // Values are what the job file's six decimals keep.
  EXPECT_EQ(axis("0.1234567"), (std::vector<double>{0.123457}));
}

TEST(PlanAxis, RefusesTextThatIsNotAGrid) {
  for (const char* bad : {"", "a", "1:2", "1:2:3:4", "2:1:1", "1:2:0", "1:2:-1", "1,,2", "nan",
                          "1:inf:1", " 5", "1:1e9:1e-3"}) {
    std::vector<double> values;
    std::string error;
    EXPECT_FALSE(grid_parse_axis(bad, &values, &error)) << "'" << bad << "'";
    EXPECT_FALSE(error.empty()) << bad;
  }
}

TEST(Plan, JobFilesDifferFromTheBaseInSpeedAndDepthOnly) {
  ScratchDir dir;
  const std::string base_text = sweep_test::base_job();
  sweep_test::write_base(dir, base_text);
  sweep_test::plan(dir, "--rpm 1000,1500.5 --depth 1:2:0.5");
  const Params base = read_job(dir.file("base.in"));
  const auto base_lines = lines_of(base_text);
  const std::vector<std::string> index = lines_of(read_file(dir.file("out/plan.csv")));
  ASSERT_EQ(index.size(), 7u);
  EXPECT_EQ(index[0], "row,rpm,depth,folder");
  EXPECT_EQ(index[2], "2,1000.000000,1.500000,runs/0002");
  int row = 0;
  for (double rpm : {1000.0, 1500.5}) {
    for (double depth : {1.0, 1.5, 2.0}) {
      char folder[32];
      std::snprintf(folder, sizeof folder, "out/runs/%04d/job.in", ++row);
      const Params run = read_job(dir.file(folder));
      expect_variant(base.get(), run.get(), rpm, depth);
      // Textually only the speed (line 4) and the depth (line 6) change.
      const auto lines = lines_of(read_file(dir.file(folder)));
      ASSERT_EQ(lines.size(), base_lines.size());
      for (size_t i = 0; i < lines.size(); ++i) {
        if (i == 3 || i == 5) continue;
        EXPECT_EQ(lines[i], base_lines[i]) << folder << " line " << i + 1;
      }
      char speed[32], cut[32];
      std::snprintf(speed, sizeof speed, "%lf", rpm);
      std::snprintf(cut, sizeof cut, "%lf", depth);
      EXPECT_EQ(lines[3], speed);
      EXPECT_EQ(lines[5], cut);
    }
  }
  EXPECT_EQ(read_file(dir.file("out/base.in")), base_text);
  EXPECT_EQ(read_file(dir.file("out/wear.db")), sweep_test::kWearDb);
  EXPECT_EQ(read_file(dir.file("out/kfkncfa.db")), sweep_test::kCoefficientDb);
}

TEST(Plan, AFreeFormBaseIsKeptFieldForField) {
  ScratchDir dir;
  // Numbers sharing lines, a blank line before the material, two X modes of the spindle.
  sweep_test::write_base(dir,
                         "Free form\nTurning\n1 1000 0.1 2 0.05\n5 6 0 50 0.8\n\n"
                         "SWEEPSTEEL\nSWEEPTOOL\n0\n2 20 0.02 100000 10  30 0.03 200000 -20\n"
                         "0 1 15 0.05 150000 0\n1 91.59435 0.012 226000 0 0 0\n6 2 3420\n");
  sweep_test::plan(dir, "--rpm 2000 --depth 3");
  const Params base = read_job(dir.file("base.in"));
  const Params run = read_job(dir.file("out/runs/0001/job.in"));
  expect_variant(base.get(), run.get(), 2000, 3);
  ASSERT_EQ(run->spindle_modes.x_count, 2);
  EXPECT_EQ(run->spindle_modes.x_modes[1].modal_angle, -20);
}

TEST(Plan, CommandTableNamesTheBinaryAndOneFolderPerRow) {
  ScratchDir dir;
  sweep_test::write_base(dir, sweep_test::base_job());
  sweep_test::plan(dir, "--rpm 1000:1200:100 --depth 1,2");
  const auto rows = lines_of(read_file(dir.file("out/commands.txt")));
  ASSERT_EQ(rows.size(), 6u);
  std::set<std::string> folders;
  for (size_t i = 0; i < rows.size(); ++i) {
    char folder[32];
    std::snprintf(folder, sizeof folder, " job runs/%04zu ", i + 1);
    EXPECT_NE(rows[i].find(folder), std::string::npos) << rows[i];
    EXPECT_NE(rows[i].find(std::string("${CORVANEL_BIN:-") + CORVANEL_BINARY + "}"),
              std::string::npos)
        << rows[i];
    EXPECT_EQ(rows[i].rfind("cd '" + dir.path() + "/out' && ", 0), 0u) << rows[i];
    folders.insert(folder);
  }
  EXPECT_EQ(folders.size(), 6u);
  const std::string slurm = read_file(dir.file("out/slurm-array.sh"));
  EXPECT_NE(slurm.find("#SBATCH --array=1-6\n"), std::string::npos);
}

TEST(Plan, RefusalsNameTheProblemAndCreateNothing) {
  struct Case {
    const char* what;
    std::string job;
    const char* coefficients;
    const char* wear;
    const char* extra;
    const char* message;
  };
  const std::string ok = sweep_test::base_job();
  std::string long_mass = ok;
  long_mass.replace(long_mass.find("91.594350"), 9, "91.5943501");
  std::string long_radius = ok;
  long_radius.replace(long_radius.find("\n50.000000\n"), 11, "\n50.0000004\n");
  const Case cases[] = {
      {"too few recorded revolutions", sweep_test::base_job(3, 2), sweep_test::kCoefficientDb,
       sweep_test::kWearDb, "", "at least 2"},
      {"a mass with seven decimals", long_mass, sweep_test::kCoefficientDb, sweep_test::kWearDb, "",
       "tool X mode 1 mass 91.5943501"},
      {"a workpiece radius with seven decimals", long_radius, sweep_test::kCoefficientDb,
       sweep_test::kWearDb, "", "workpiece radius 50.0000004"},
      {"a pair missing from the database", ok, "OTHER           TOOL      0 1 0 0 1 0 0 0 0 0\n",
       sweep_test::kWearDb, "", "holds no row for workpiece 'SWEEPSTEEL'"},
      {"no wear file", ok, sweep_test::kCoefficientDb, nullptr, "", "wear file"},
      {"a binary that is not there", ok, sweep_test::kCoefficientDb, sweep_test::kWearDb,
       "--corvanel /nonexistent/corvanel", "not an executable"},
      {"a speed whose modal delay overruns the histories",
       ok.substr(0, ok.find("226000.000000\n0.000000")) +
           "226000.000000\n100000.000000\n0\n0\n4\n1\n1\n",
       sweep_test::kCoefficientDb, sweep_test::kWearDb, "", "at 1000 rpm"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    write_file(dir.file("base.in"), c.job);
    write_file(dir.file("kfkncfa.db"), c.coefficients);
    if (c.wear != nullptr) write_file(dir.file("wear.db"), c.wear);
    const auto o =
        sweep(dir.path(), std::string("plan base.in --rpm 1000 --depth 1 out ") +
                              (std::strlen(c.extra) ? c.extra : "--corvanel " CORVANEL_BINARY));
    EXPECT_EQ(o.exit_code, 1) << c.what;
    EXPECT_NE(o.err.find(c.message), std::string::npos) << c.what << ": " << o.err;
    EXPECT_FALSE(file_exists(dir.file("out"))) << c.what;
  }
}

TEST(Plan, RefusesAFolderThatHoldsSomething) {
  ScratchDir dir;
  sweep_test::write_base(dir, sweep_test::base_job());
  sweep_test::plan(dir, "--rpm 1000 --depth 1");
  const auto again = sweep(dir.path(), "plan base.in --rpm 1000 --depth 2 out");
  EXPECT_EQ(again.exit_code, 1);
  EXPECT_NE(again.err.find("not an empty folder"), std::string::npos) << again.err;
  EXPECT_EQ(read_file(dir.file("out/plan.csv")),
            "row,rpm,depth,folder\n1,1000.000000,1.000000,runs/0001\n");
  const auto usage = sweep(dir.path(), "plan base.in --rpm 1000 out2");
  EXPECT_EQ(usage.exit_code, 2);
  EXPECT_NE(usage.err.find("Usage: corvanel-sweep plan "), std::string::npos);
}
