// Running a plan: the command rows as written, a Slurm array task by hand,
// the local runner through GNU parallel and the built-in pool, and resuming
// an interrupted sweep.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <map>
#include <thread>

#include "sweep/runner.h"
#include "tests/sweep/sweep_support.h"

using sweep_test::lines_of;
using sweep_test::quoted;
using sweep_test::sweep;
using test_support::file_exists;
using test_support::read_file;
using test_support::run_command;
using test_support::ScratchDir;
using test_support::write_file;

namespace {

std::string run_dir(const ScratchDir& dir, int row) {
  char name[32];
  std::snprintf(name, sizeof name, "out/runs/%04d/", row);
  return dir.file(name);
}

// A stand-in for corvanel that notes each call, waits, then runs the real one.
std::string write_slow_corvanel(const ScratchDir& dir, double seconds) {
  const std::string path = dir.file("slow-corvanel");
  write_file(path, "#!/bin/sh\necho \"$2\" >> " + quoted(dir.file("calls")) + "\nsleep " +
                       std::to_string(seconds) + "\nexec " + quoted(CORVANEL_BINARY) + " \"$@\"\n");
  run_command("chmod +x " + quoted(path));
  return path;
}

std::map<std::string, int> calls_per_folder(const ScratchDir& dir) {
  std::map<std::string, int> calls;
  for (const std::string& line : lines_of(read_file(dir.file("calls")))) ++calls[line];
  return calls;
}

bool wait_for(const std::function<bool()>& done, double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

void expect_finished(const ScratchDir& dir, int row) {
  const std::string d = run_dir(dir, row);
  EXPECT_EQ(read_file(d + "exit-status"), "0\n") << row;
  EXPECT_EQ(lines_of(read_file(d + "job.rms")).size(), 3u) << row;
  EXPECT_NE(read_file(d + "corvanel.log").find("Running Revolution Number 4"), std::string::npos);
}

}  // namespace

TEST(CommandRows, RunAsWrittenFromAnyFolder) {
  ScratchDir dir;
  sweep_test::write_base(dir, sweep_test::base_job());
  sweep_test::plan(dir, "--rpm 1000,2000 --depth 1");
  const auto rows = lines_of(read_file(dir.file("out/commands.txt")));
  ASSERT_EQ(rows.size(), 2u);
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(run_command("cd / && sh -c " + quoted(rows[i])), 0) << rows[i];
    expect_finished(dir, static_cast<int>(i) + 1);
    // The time series are not kept by default; the summaries and the report are.
    EXPECT_FALSE(file_exists(run_dir(dir, 1) + "job.dat"));
    EXPECT_FALSE(file_exists(run_dir(dir, 1) + "job.wx.dat"));
    EXPECT_TRUE(file_exists(run_dir(dir, 1) + "job.rpt"));
    EXPECT_TRUE(file_exists(run_dir(dir, 1) + "job.summary.json"));
  }
  // The binary variable replaces the planned binary; the row fails with the run.
  EXPECT_NE(run_command("cd / && CORVANEL_BIN=/bin/false sh -c " + quoted(rows[0])), 0);
  EXPECT_EQ(read_file(run_dir(dir, 1) + "exit-status"), "1\n");
}

TEST(CommandRows, KeepSeriesKeepsTheTimeSeries) {
  ScratchDir dir;
  sweep_test::write_base(dir, sweep_test::base_job());
  sweep_test::plan(dir, "--rpm 1000 --depth 1", "--keep-series");
  const auto rows = lines_of(read_file(dir.file("out/commands.txt")));
  ASSERT_EQ(run_command("sh -c " + quoted(rows[0])), 0);
  EXPECT_TRUE(file_exists(run_dir(dir, 1) + "job.dat"));
  EXPECT_TRUE(file_exists(run_dir(dir, 1) + "job.wz.dat"));
}

TEST(CommandRows, Hdf5MakesEveryRunWriteItsFile) {
  for (const bool hdf5 : {false, true}) {
    ScratchDir dir;
    sweep_test::write_base(dir, sweep_test::base_job());
    sweep_test::plan(dir, "--rpm 1000 --depth 1", hdf5 ? "--hdf5" : "");
    const auto rows = lines_of(read_file(dir.file("out/commands.txt")));
    ASSERT_EQ(run_command("sh -c " + quoted(rows[0])), 0);
    EXPECT_EQ(file_exists(run_dir(dir, 1) + "job.h5"), hdf5);
    EXPECT_FALSE(file_exists(run_dir(dir, 1) + "job.h5.part"));
  }
}

TEST(SlurmArray, RunsTheRowOfTheTaskIdOnly) {
  ScratchDir dir;
  sweep_test::write_base(dir, sweep_test::base_job());
  sweep_test::plan(dir, "--rpm 1000,2000 --depth 1,2");
  const std::string script = quoted(dir.file("out/slurm-array.sh"));
  EXPECT_EQ(run_command("cd / && SLURM_ARRAY_TASK_ID=3 sh " + script), 0);
  expect_finished(dir, 3);
  for (int row : {1, 2, 4}) EXPECT_FALSE(file_exists(run_dir(dir, row) + "exit-status")) << row;
  // A chunk offset moves the task onto later rows.
  EXPECT_EQ(run_command("cd / && SLURM_ARRAY_TASK_ID=1 ROW_OFFSET=3 " + script), 0);
  expect_finished(dir, 4);
  for (const char* bad : {"", "SLURM_ARRAY_TASK_ID=0", "SLURM_ARRAY_TASK_ID=5",
                          "SLURM_ARRAY_TASK_ID=x", "SLURM_ARRAY_TASK_ID=1 ROW_OFFSET=-1"}) {
    std::string out;
    EXPECT_EQ(
        run_command(std::string("env -u SLURM_ARRAY_TASK_ID ") + bad + " sh " + script + " 2>&1",
                    &out),
        2)
        << bad;
    EXPECT_NE(out.find("slurm-array.sh: "), std::string::npos) << out;
  }
  EXPECT_FALSE(file_exists(run_dir(dir, 1) + "exit-status"));
}

TEST(Runner, RunsEveryRowOnceAndThenNothing) {
  for (bool pool : {true, false}) {
    if (!pool && !runner_gnu_parallel_available()) {
      std::printf("GNU parallel is not installed: its runner is not tested\n");
      continue;
    }
    ScratchDir dir;
    sweep_test::write_base(dir, sweep_test::base_job());
    sweep_test::plan(dir, "--rpm 1000,2000 --depth 1,2");
    const std::string how = pool ? " --pool" : "";
    const auto first = sweep(dir.path(), "run out --jobs 2" + how);
    EXPECT_EQ(first.exit_code, 0) << first.err;
    EXPECT_NE(first.err.find(pool ? "(built-in pool)" : "(GNU parallel)"), std::string::npos);
    EXPECT_NE(first.err.find("4 of 4 rows ran, 0 of them failed, 0 not run yet"), std::string::npos)
        << first.err;
    for (int row = 1; row <= 4; ++row) expect_finished(dir, row);
    const auto log = runner_read_joblog(dir.file("out/joblog"));
    EXPECT_EQ(log, (std::map<int, int>{{1, 0}, {2, 0}, {3, 0}, {4, 0}}));
    const auto second = sweep(dir.path(), "run out" + how);
    EXPECT_EQ(second.exit_code, 0);
    EXPECT_NE(second.err.find("4 already run, 0 to run"), std::string::npos) << second.err;
  }
}

TEST(Runner, FailedRowsCountAndRunAgainOnlyWhenAsked) {
  ScratchDir dir;
  sweep_test::write_base(dir, sweep_test::base_job());
  sweep_test::plan(dir, "--rpm 1000,2000 --depth 1");
  const auto failing = sweep(dir.path(), "run out --pool", "CORVANEL_BIN=/bin/false");
  EXPECT_EQ(failing.exit_code, 1);
  EXPECT_NE(failing.err.find("2 of 2 rows ran, 2 of them failed"), std::string::npos)
      << failing.err;
  EXPECT_EQ(sweep(dir.path(), "run out --pool").err.find("0 to run") != std::string::npos, true);
  const auto retry = sweep(dir.path(), "run out --pool --retry-failed");
  EXPECT_EQ(retry.exit_code, 0) << retry.err;
  expect_finished(dir, 1);
  expect_finished(dir, 2);
}

TEST(Runner, AnInterruptedSweepResumesWithoutRedoingFinishedRows) {
  ScratchDir dir;
  sweep_test::write_base(dir, sweep_test::base_job());
  sweep_test::plan(dir, "--rpm 1000:1500:100 --depth 1");  // 6 rows
  const std::string slow = write_slow_corvanel(dir, 0.4);
  // The pool runs in the background; the signal goes to it alone, as from kill.
  ASSERT_EQ(run_command("cd " + quoted(dir.path()) + " && (CORVANEL_BIN=" + quoted(slow) + " " +
                        quoted(CORVANEL_SWEEP_BINARY) +
                        " run out --pool --jobs 1 >first.log 2>&1 & echo $! >pid)"),
            0);
  ASSERT_TRUE(wait_for([&] { return !read_file(dir.file("pid")).empty(); }, 10));
  const pid_t pid = std::stoi(read_file(dir.file("pid")));
  ASSERT_TRUE(wait_for([&] { return runner_read_joblog(dir.file("out/joblog")).size() >= 2; }, 60));
  kill(pid, SIGINT);
  ASSERT_TRUE(wait_for([&] { return kill(pid, 0) != 0; }, 30));
  EXPECT_NE(read_file(dir.file("first.log")).find("interrupted: "), std::string::npos)
      << read_file(dir.file("first.log"));
  const auto done = runner_read_joblog(dir.file("out/joblog"));
  ASSERT_GE(done.size(), 2u);
  ASSERT_LT(done.size(), 6u);

  const auto resumed = sweep(dir.path(), "run out --jobs 2", "CORVANEL_BIN=" + quoted(slow));
  EXPECT_EQ(resumed.exit_code, 0) << resumed.err;
  EXPECT_NE(resumed.err.find(std::to_string(done.size()) + " already run"), std::string::npos)
      << resumed.err;
  EXPECT_EQ(runner_read_joblog(dir.file("out/joblog")).size(), 6u);
  const auto calls = calls_per_folder(dir);
  for (const auto& [row, code] : done) {
    char folder[32];
    std::snprintf(folder, sizeof folder, "runs/%04d", row);
    EXPECT_EQ(calls.at(folder), 1) << folder << " ran again";
  }
  for (int row = 1; row <= 6; ++row) expect_finished(dir, row);
}

TEST(Runner, RefusesAFolderWithoutAPlan) {
  ScratchDir dir;
  const auto o = sweep(dir.path(), "run .");
  EXPECT_EQ(o.exit_code, 1);
  EXPECT_NE(o.err.find("commands.txt"), std::string::npos) << o.err;
  EXPECT_EQ(sweep(dir.path(), "run . --jobs 0").exit_code, 2);
}

TEST(CommandRows, RunUnchangedOnOtherHostsThroughGnuParallel) {
  if (!runner_gnu_parallel_available()) GTEST_SKIP() << "GNU parallel is not installed";
  ScratchDir dir;
  sweep_test::write_base(dir, sweep_test::base_job());
  sweep_test::plan(dir, "--rpm 1000,2000 --depth 1");
  // A stand-in for ssh that runs the remote command here, from another folder,
  // the way sshd hands it to the login shell. sshd always sets SHELL, and
  // parallel's remote worker runs the job with it, so the stand-in sets it too:
  // a test run started without SHELL would otherwise run nothing.
  const std::string ssh = dir.file("ssh");
  write_file(ssh,
             "#!/bin/sh\nwhile [ $# -gt 0 ]; do case $1 in -*) shift;; *) break;; esac; done\n"
             "echo \"$1\" >> " +
                 quoted(dir.file("hosts")) +
                 "\nshift\n"
                 "[ \"$1\" = \"--\" ] && shift\ncd /\nSHELL=/bin/sh exec sh -c \"$*\"\n");
  ASSERT_EQ(run_command("chmod +x " + quoted(ssh)), 0);
  const std::string out = dir.file("out");
  EXPECT_EQ(run_command("cd / && parallel --ssh " + quoted(ssh) +
                        " --sshlogin 1/hostA,1/hostB --joblog " + quoted(out + "/joblog") +
                        " --resume -a " + quoted(out + "/commands.txt") + " 2>&1"),
            0);
  expect_finished(dir, 1);
  expect_finished(dir, 2);
  EXPECT_EQ(runner_read_joblog(out + "/joblog"), (std::map<int, int>{{1, 0}, {2, 0}}));
  EXPECT_NE(read_file(dir.file("hosts")).find("host"), std::string::npos);
}

TEST(Runner, WithoutGnuParallelSaysHowToInstallItAndRunsThePool) {
  ScratchDir dir;
  sweep_test::write_base(dir, sweep_test::base_job());
  sweep_test::plan(dir, "--rpm 1000 --depth 1,2");
  // A PATH with the shell tools the rows use and no parallel.
  ASSERT_EQ(run_command("mkdir " + quoted(dir.file("bin")) + " && ln -s \"$(command -v rm)\" " +
                        quoted(dir.file("bin/rm"))),
            0);
  const auto o = sweep(dir.path(), "run out", "PATH=" + quoted(dir.file("bin")));
  EXPECT_EQ(o.exit_code, 0) << o.err;
  EXPECT_NE(o.err.find("GNU parallel is not installed (Debian/Ubuntu: sudo apt-get install "
                       "parallel); running the rows with the built-in process pool"),
            std::string::npos)
      << o.err;
  expect_finished(dir, 1);
  expect_finished(dir, 2);
  EXPECT_FALSE(file_exists(run_dir(dir, 1) + "job.dat"));
}
