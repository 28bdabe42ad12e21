// The boundary search of one speed: the bracket from the analytic limit,
// its widening, Illinois regula falsi and bisection where a rate is
// undefined, the history it replays, and whole boundary sweeps that are run
// twice, or killed and run again.
#include "sweep/search.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cmath>
#include <functional>

#include "tests/sweep/sweep_support.h"

using sweep_test::lines_of;
using sweep_test::quoted;
using sweep_test::sweep;
using test_support::read_file;
using test_support::ScratchDir;
using test_support::write_file;

namespace {

// A run at depth whose growth rate is rate(depth): stable below zero, chatter
// above, the tool out of the cut (no rate) from `left_cut` on.
SearchRun synthetic(double depth, const std::function<double(double)>& rate,
                    double left_cut = INFINITY) {
  if (depth >= left_cut) return {depth, COLLECT_LEFT_CUT, NAN, NAN, 8};
  const double r = rate(depth);
  return {depth, r > 0 ? COLLECT_CHATTER : COLLECT_STABLE, r, 1e-4, 8};
}

struct Searched {
  SearchStep step;
  std::vector<SearchRun> history;
};

Searched search(const SearchSettings& s, const std::function<double(double)>& rate,
                double left_cut = INFINITY) {
  Searched out{search_step(s, {}), {}};
  while (!out.step.done && out.history.size() < 100) {
    out.history.push_back(synthetic(out.step.next_depth, rate, left_cut));
    out.step = search_step(s, out.history);
  }
  return out;
}

}  // namespace

TEST(SearchStep, RegulaFalsiClosesTheBracketAroundTheRoot) {
  const struct Case {
    const char* name;
    double root, analytic;
    std::function<double(double)> rate;
    size_t most_runs;
  } cases[] = {
      {"linear, analytic right", 5.5, 5.49, [](double d) { return 0.04 * (d - 5.5); }, 4},
      {"linear, analytic 5 % high", 5.5, 5.78, [](double d) { return 0.04 * (d - 5.5); }, 6},
      // Strongly curved: plain regula falsi would keep one end for many runs.
      {"exponential", 7.3, 7.0, [](double d) { return std::exp(d - 7.3) - 1; }, 7},
      {"cubic", 3.2, 3.1, [](double d) { return std::pow(d - 3.2, 3) + 0.001 * (d - 3.2); }, 12},
      {"analytic far off: widened", 9.1, 4.0, [](double d) { return 0.1 * (d - 9.1); }, 10},
      {"no analytic limit", 2.2, NAN, [](double d) { return d - 2.2; }, 12},
  };
  for (const Case& c : cases) {
    const SearchSettings s{1, 12, 0.05, c.analytic};
    const Searched r = search(s, c.rate);
    ASSERT_TRUE(r.step.done) << c.name;
    EXPECT_STREQ(r.step.status, "bracketed") << c.name;
    EXPECT_LE(r.step.low, c.root) << c.name;  // a run right at the root grows at 0: stable
    EXPECT_GT(r.step.high, c.root) << c.name;
    EXPECT_LT(r.step.high - r.step.low, 0.05) << c.name;
    EXPECT_NEAR(r.step.depth, c.root, 0.05) << c.name;
    EXPECT_LE(r.history.size(), c.most_runs) << c.name;
    // Every depth is one a job file holds.
    for (const SearchRun& run : r.history)
      EXPECT_EQ(run.depth, std::round(run.depth * 1e6) / 1e6) << c.name;
  }
}

TEST(SearchStep, BisectsWhereTheToolLeavesTheCut) {
  // Above 4 mm every run leaves the cut (no rate): bisection toward the edge.
  const SearchSettings s{1, 12, 0.05, 6.0};
  const Searched r = search(
      s, [](double d) { return 0.05 * (d - 8); }, 4.0);
  ASSERT_TRUE(r.step.done);
  EXPECT_STREQ(r.step.status, "bracketed");
  EXPECT_LT(r.step.low, 4.0);
  EXPECT_GE(r.step.high, 4.0);
  EXPECT_LT(r.step.high - r.step.low, 0.05);
  EXPECT_NEAR(r.step.depth, 4.0, 0.05);  // the middle of the last bracket
  EXPECT_LE(r.history.size(), 10u);
}

TEST(SearchStep, ARangeThatIsStableOrUnstableThroughoutEndsAtItsEdge) {
  const struct Case {
    double rate;
    const char* status;
    double depth;
  } cases[] = {{-0.01, "stable-throughout", 12}, {0.01, "unstable-throughout", 1}};
  for (const Case& c : cases) {
    const Searched r = search({1, 12, 0.05, 5.5}, [&](double) { return c.rate; });
    ASSERT_TRUE(r.step.done) << c.status;
    EXPECT_STREQ(r.step.status, c.status);
    EXPECT_EQ(r.step.depth, c.depth);
    EXPECT_LE(r.history.size(), 7u) << c.status;  // the widening doubles
  }
}

TEST(SearchStep, UndecidedRunsTakeTheSideOfTheirRate) {
  EXPECT_EQ(search_unstable({5, COLLECT_UNDECIDED, 1e-5, 1e-4, 20}), 1);
  EXPECT_EQ(search_unstable({5, COLLECT_UNDECIDED, -1e-5, 1e-4, 20}), 0);
  EXPECT_EQ(search_unstable({5, COLLECT_LEFT_CUT, -0.5, 1e-4, 20}), 1);
  EXPECT_TRUE(std::isnan(search_signed_rate({5, COLLECT_LEFT_CUT, 0.5, 1e-4, 20})));
  // A stable run whose fitted rate is positive gives regula falsi nothing.
  EXPECT_TRUE(std::isnan(search_signed_rate({5, COLLECT_STABLE, 0.01, 1e-4, 20})));
  EXPECT_EQ(search_signed_rate({5, COLLECT_STABLE, -0.01, 1e-4, 20}), -0.01);
}

TEST(SearchHistory, ReadsBackExactlyAndDropsAHalfWrittenLastLine) {
  ScratchDir dir;
  const std::vector<SearchRun> runs = {
      {5.320707, COLLECT_STABLE, -0.0062653982154595583, 0.00015625979942370633, 20},
      {5.649823, COLLECT_CHATTER, 0.1 / 3, NAN, 7},
      {9.5, COLLECT_LEFT_CUT, NAN, NAN, 3}};
  std::string text = "run,depth,class,growth_rate,growth_rate_sd,revolutions\n";
  for (size_t i = 0; i < runs.size(); ++i) text += search_history_line(int(i) + 1, runs[i]);
  const struct Case {
    const char* name;
    std::string text;
    int ok;
    size_t runs;
    int dropped;
  } cases[] = {
      {"whole", text, 1, 3, 0},
      {"last line cut short", text.substr(0, text.size() - 9), 1, 2, 1},
      {"last newline missing", text.substr(0, text.size() - 1), 1, 2, 1},
      {"header cut short", text.substr(0, 10), 1, 0, 1},
      {"a damaged line before the last", text.substr(0, 60) + "x" + text.substr(61), 0, 0, 0},
  };
  for (const Case& c : cases) {
    write_file(dir.file("history.csv"), c.text);
    std::vector<SearchRun> read;
    int dropped = -1;
    std::string error;
    ASSERT_EQ(search_read_history(dir.file("history.csv"), &read, &dropped, &error), c.ok)
        << c.name;
    if (!c.ok) {
      EXPECT_NE(error.find("history.csv line 2 is damaged"), std::string::npos) << error;
      continue;
    }
    EXPECT_EQ(dropped, c.dropped) << c.name;
    ASSERT_EQ(read.size(), c.runs) << c.name;
    for (size_t i = 0; i < read.size(); ++i) {
      EXPECT_EQ(read[i].depth, runs[i].depth) << c.name;
      EXPECT_EQ(read[i].cls, runs[i].cls) << c.name;
      EXPECT_EQ(read[i].revolutions, runs[i].revolutions) << c.name;
      // The rates to the last bit: a replay takes the same steps.
      if (std::isnan(runs[i].growth_rate))
        EXPECT_TRUE(std::isnan(read[i].growth_rate)) << c.name;
      else
        EXPECT_EQ(read[i].growth_rate, runs[i].growth_rate) << c.name;
    }
  }
}

namespace {

// A boundary plan of the small test job (8 revolutions, 2 skipped, whole
// revolutions) at two speeds in dir/out.
void plan_boundary(const ScratchDir& dir) {
  sweep_test::write_base(dir, sweep_test::base_job(8, 2, 1));
  sweep_test::plan(dir, "--rpm 4046,8664 --boundary 1:12 --tolerance 0.1");
}

std::string run_and_collect(const ScratchDir& dir) {
  const auto run = sweep(dir.path(), "run out --jobs 2");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  const auto collect = sweep(dir.path(), "collect out");
  EXPECT_EQ(collect.exit_code, 0) << collect.out << collect.err;
  return read_file(dir.file("out/boundary.csv"));
}

}  // namespace

TEST(BoundarySweep, PlansOneSearchRowPerSpeedAndCollectsTheirBoundaries) {
  ScratchDir dir;
  plan_boundary(dir);
  const std::vector<std::string> commands = lines_of(read_file(dir.file("out/commands.txt")));
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_NE(commands[1].find("\" search . 2 --corvanel \"${CORVANEL_BIN:-"), std::string::npos)
      << commands[1];
  // The Slurm script runs the same table.
  EXPECT_NE(read_file(dir.file("out/slurm-array.sh")).find("#SBATCH --array=1-2\n"),
            std::string::npos);
  EXPECT_EQ(read_file(dir.file("out/search.csv")),
            "from,to,tolerance\n1.000000,12.000000,0.100000\n");
  const std::vector<std::string> rows = lines_of(run_and_collect(dir));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], "rpm,depth,bracket_low,bracket_high,runs,analytic,status");
  for (size_t i = 1; i < rows.size(); ++i) {
    double rpm, depth, low, high, analytic;
    int runs;
    char status[32];
    ASSERT_EQ(std::sscanf(rows[i].c_str(), "%lf,%lf,%lf,%lf,%d,%lf,%31s", &rpm, &depth, &low, &high,
                          &runs, &analytic, status),
              7)
        << rows[i];
    EXPECT_STREQ(status, "bracketed");
    EXPECT_LT(high - low, 0.1) << rows[i];
    EXPECT_GE(depth, low);
    EXPECT_LE(depth, high);
    EXPECT_GE(runs, 3);
    // The history holds every run, each once.
    const std::string folder = "out/runs/000" + std::to_string(i) + "/";
    EXPECT_EQ(lines_of(read_file(dir.file(folder + "history.csv"))).size(), size_t(runs) + 1);
  }
  const std::string svg = read_file(dir.file("out/map.svg"));
  EXPECT_EQ(sweep_test::xml_problem(svg), "");
  EXPECT_NE(svg.find("simulated boundary"), std::string::npos);
  EXPECT_NE(svg.find("analytic limit"), std::string::npos);
}

TEST(BoundarySweep, RunAgainOrResumedAfterAKillGivesTheSameBoundaries) {
  ScratchDir dir;
  plan_boundary(dir);
  const std::string first = run_and_collect(dir);
  const std::string history = read_file(dir.file("out/runs/0001/history.csv"));
  // Idempotent: the rows run again (joblog gone) replay their histories and run nothing.
  std::remove(dir.file("out/joblog").c_str());
  EXPECT_EQ(run_and_collect(dir), first);
  EXPECT_EQ(read_file(dir.file("out/runs/0001/history.csv")), history);
  // Killed in the middle of writing its third line: the row has no
  // boundary yet and its history ends in half a line.
  const std::vector<std::string> lines = lines_of(history);
  ASSERT_GE(lines.size(), 4u);
  write_file(dir.file("out/runs/0001/history.csv"),
             lines[0] + "\n" + lines[1] + "\n" + lines[2] + "\n" + lines[3].substr(0, 9));
  std::remove(dir.file("out/runs/0001/boundary.csv").c_str());
  std::remove(dir.file("out/runs/0001/exit-status").c_str());
  std::remove(dir.file("out/joblog").c_str());
  const auto missing = sweep(dir.path(), "collect out");
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_NE(read_file(dir.file("out/boundary.csv")).find(",missing\n"), std::string::npos);
  EXPECT_EQ(run_and_collect(dir), first);
  EXPECT_EQ(read_file(dir.file("out/runs/0001/history.csv")), history);
  EXPECT_NE(read_file(dir.file("out/runs/0001/search.log")).find("resuming after 2 runs"),
            std::string::npos);
}

TEST(BoundarySweep, RefusesABadRangeBeforeWritingAnything) {
  const struct Case {
    const char* args;
    const char* error;
  } cases[] = {
      {"--boundary 5:2 --tolerance 0.1", "--boundary FROM:TO needs 0 < FROM < TO"},
      {"--boundary 1:12 --tolerance 20", "--tolerance must be positive and below"},
      {"--boundary 1:120 --tolerance 0.1",
       "--boundary reaches a depth of 120 mm; corvanel takes depths of cut up to 100 mm"},
      {"--boundary 1-12 --tolerance 0.1", "--boundary: '1-12' is not FROM:TO"},
      {"--boundary 1:12", "--boundary and --tolerance go together"},
      {"--boundary 1:12 --tolerance 0.1 --depth 1:3:1", "give either --depth LIST or --boundary"},
      {"--boundary 1:12 --tolerance 0.1 --hdf5", "--hdf5 writes every run's steps"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    sweep_test::write_base(dir, sweep_test::base_job(8, 2, 20));
    const auto o = sweep(dir.path(), std::string("plan base.in --rpm 4046 ") + c.args +
                                         " out --corvanel " + quoted(CORVANEL_BINARY));
    EXPECT_NE(o.exit_code, 0) << c.args;
    EXPECT_NE(o.err.find(c.error), std::string::npos) << c.args << ": " << o.err;
    EXPECT_FALSE(test_support::file_exists(dir.file("out"))) << c.args;
  }
}

TEST(BoundarySweep, ASecondSearchOfARowOrARowNotPlannedIsRefused) {
  ScratchDir dir;
  plan_boundary(dir);
  const int fd = open(dir.file("out/runs/0001/.search-lock").c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(flock(fd, LOCK_EX), 0);
  const std::string corvanel = " --corvanel " + quoted(CORVANEL_BINARY);
  const auto busy = sweep(dir.path() + "/out", "search . 1" + corvanel);
  close(fd);
  EXPECT_EQ(busy.exit_code, 1);
  EXPECT_EQ(busy.err, "corvanel-sweep: row 1 is being searched by another process\n");
  EXPECT_FALSE(test_support::file_exists(dir.file("out/runs/0001/history.csv")));
  const auto absent = sweep(dir.path() + "/out", "search . 3" + corvanel);
  EXPECT_EQ(absent.exit_code, 1);
  EXPECT_EQ(absent.err, "corvanel-sweep: the plan . has no row 3 (it has 2)\n");
}

TEST(GridSweep, RunsThatStopOnceDecidedAreClassifiedNotFailed) {
  ScratchDir dir;
  sweep_test::write_base(dir, sweep_test::base_job(10, 2, 1));
  sweep_test::plan(dir, "--rpm 4046 --depth 1,8");
  write_file(dir.file("decided.sh"),
             "#!/bin/sh\nexec " + quoted(CORVANEL_BINARY) + " --until-decided \"$@\"\n");
  ASSERT_EQ(test_support::run_command("chmod +x " + quoted(dir.file("decided.sh"))), 0);
  const auto run = sweep(dir.path(), "run out --jobs 2", "CORVANEL_BIN=" + dir.file("decided.sh"));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const auto collect = sweep(dir.path(), "collect out");
  EXPECT_EQ(collect.exit_code, 0) << collect.out;
  const std::vector<std::string> map = lines_of(read_file(dir.file("out/map.csv")));
  ASSERT_EQ(map.size(), 3u);
  EXPECT_NE(map[1].find(",stable,0,runs/0001"), std::string::npos) << map[1];
  EXPECT_NE(map[2].find(",chatter,0,runs/0002"), std::string::npos) << map[2];
  // Both stopped early: fewer rows than the 8 recorded revolutions of the job.
  for (const char* folder : {"out/runs/0001/job.rms", "out/runs/0002/job.rms"})
    EXPECT_LT(lines_of(read_file(dir.file(folder))).size(), 8u) << folder;
}
