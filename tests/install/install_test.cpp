// The installed programs, as a user gets them: `cmake --install` of the
// release package build into a scratch prefix, and the Debian package that
// cpack made from it, installed with dpkg. Each runs the example from a copy
// of the installed examples with nothing of the build tree on the PATH.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

using test_support::file_exists;
using test_support::read_file;
using test_support::run_command;
using test_support::ScratchDir;

namespace fs = std::filesystem;

namespace {

std::string quoted(const std::string& text) {
  std::string q = "'";
  for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::istringstream in(text);
  for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
  return parts;
}

// Every program the build installs (cmake/programs.cmake).
std::vector<std::string> programs() {
  return split(CORVANEL_PROGRAMS, ',');
}

// Runs a shell command in a clean environment whose PATH is bin and the
// system's folders only; standard output and error in *out.
int run_installed(const std::string& bin, const std::string& home, const std::string& command,
                  std::string* out) {
  return run_command("env -i HOME=" + quoted(home) + " LC_ALL=C PATH=" + quoted(bin) +
                         ":/usr/bin:/bin sh -c " + quoted(command) + " 2>&1",
                     out);
}

std::set<std::string> files_under(const std::string& root) {
  std::set<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (!entry.is_directory()) files.insert(fs::relative(entry.path(), root).string());
  return files;
}

// The installed tree under prefix: programs, manual pages and examples.
void expect_layout(const std::string& prefix) {
  for (const std::string& program : programs()) {
    EXPECT_EQ(access((prefix + "/bin/" + program).c_str(), X_OK), 0) << program;
    const std::string page = read_file(prefix + "/share/man/man1/" + program + ".1");
    EXPECT_NE(page.find(".SH SYNOPSIS"), std::string::npos) << program;
    EXPECT_NE(page.find("Exit status"), std::string::npos) << program;
  }
  const std::string examples = prefix + "/share/corvanel/examples";
  const std::set<std::string> expected = {"README.md",
                                          "demo.in",
                                          "kfkncfa.db",
                                          "wear.db",
                                          "validation/README.md",
                                          "validation/kfkncfa.db",
                                          "validation/map.svg",
                                          "validation/validation.in",
                                          "validation/wear.db"};
  ASSERT_TRUE(fs::is_directory(examples)) << examples;
  EXPECT_EQ(files_under(examples), expected);
  EXPECT_EQ(read_file(examples + "/demo.in"), read_file(CORVANEL_SOURCE_DIR "/examples/demo.in"));
}

// Runs the installed programs from bin on a copy of the installed examples.
void expect_programs_work(const std::string& bin, const std::string& examples) {
  ScratchDir dir;
  const std::string work = dir.file("work");
  ASSERT_EQ(run_command("cp -R " + quoted(examples) + " " + quoted(work) + " && chmod -R u+w " +
                        quoted(work)),
            0);
  std::string out;
  ASSERT_EQ(run_installed(bin, dir.path(), "command -v corvanel", &out), 0);
  EXPECT_EQ(out, bin + "/corvanel\n");

  // One version for every program, with the same revision line (if any).
  std::string revision_of_first;
  for (const std::string& program : programs()) {
    ASSERT_EQ(run_installed(bin, dir.path(), program + " --version", &out), 0) << out;
    const auto lines = split(out, '\n');
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], program + " (Corvanel) " CORVANEL_VERSION);
    const std::string revision = lines.size() > 1 && lines[1].rfind("git revision ", 0) == 0
                                     ? lines[1]
                                     : std::string("none");
    if (revision_of_first.empty()) revision_of_first = revision;
    EXPECT_EQ(revision, revision_of_first) << program;
    ASSERT_EQ(run_installed(bin, dir.path(), program + " --help", &out), 0) << out;
    EXPECT_EQ(out.rfind("Usage: " + program + " ", 0), 0u) << out;
  }

  // The example, as the README runs it, with the HDF5 writer's plug-in.
  ASSERT_EQ(
      run_installed(
          bin, dir.path(),
          "cd " + quoted(work) + " && corvanel --hdf5 demo . && corvanel-plot demo --html", &out),
      0)
      << out;
  EXPECT_NE(out.find("Running Revolution Number 12"), std::string::npos) << out;
  EXPECT_EQ(split(read_file(work + "/demo.rms"), '\n').size(), 10u);
  for (const char* file : {"demo.rpt", "demo.html", "demo.h5", "demo.forces.svg",
                           "demo.vibration.svg", "demo.revolutions.svg", "demo.plots.html"})
    EXPECT_TRUE(file_exists(work + "/" + file)) << file;

  // The installed corvanel-sweep names the corvanel installed beside it.
  ASSERT_EQ(run_installed(bin, dir.path(),
                          "cd " + quoted(work) +
                              " && corvanel-sweep plan demo.in --rpm 640,700 --depth 2 map"
                              " && corvanel-sweep run map --jobs 2",
                          &out),
            0)
      << out;
  const std::string commands = read_file(work + "/map/commands.txt");
  EXPECT_NE(commands.find("${CORVANEL_BIN:-" + bin + "/corvanel}"), std::string::npos) << commands;
  EXPECT_EQ(read_file(work + "/map/runs/0002/exit-status"), "0\n");
}

std::string package_file() {
  std::vector<std::string> debs;
  for (const auto& entry : fs::directory_iterator(CORVANEL_PACKAGE_DIR)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("corvanel_" CORVANEL_VERSION "_", 0) == 0 && entry.path().extension() == ".deb")
      debs.push_back(entry.path().string());
  }
  return debs.size() == 1 ? debs[0] : std::string();
}

}  // namespace

TEST(Install, PutsProgramsManualPagesAndExamplesUnderThePrefix) {
  ScratchDir dir;
  const std::string prefix = dir.file("prefix");
  std::string out;
  ASSERT_EQ(run_command(quoted(CORVANEL_CMAKE) + " --install " + quoted(CORVANEL_PACKAGE_DIR) +
                            " --prefix " + quoted(prefix) + " 2>&1",
                        &out),
            0)
      << out;
  expect_layout(prefix);
  expect_programs_work(prefix + "/bin", prefix + "/share/corvanel/examples");
}

TEST(Package, DeclaresItsDependenciesAndRunsOnceInstalled) {
  const std::string deb = package_file();
  ASSERT_NE(deb, "") << "no single corvanel_" CORVANEL_VERSION "_*.deb in " CORVANEL_PACKAGE_DIR;
  std::string fields;
  ASSERT_EQ(
      run_command("dpkg-deb -f " + quoted(deb) + " Package Version Depends Recommends", &fields),
      0);
  EXPECT_NE(fields.find("Package: corvanel\n"), std::string::npos) << fields;
  EXPECT_NE(fields.find("Version: " CORVANEL_VERSION "\n"), std::string::npos) << fields;
  // The libraries the programs link (dpkg-shlibdeps), and gnuplot for the plots.
  for (const char* needed : {"libc6", "libstdc++6", "gnuplot-nox | gnuplot"})
    EXPECT_NE(fields.find(needed), std::string::npos) << needed << "\n" << fields;
  EXPECT_NE(fields.find("Recommends: parallel"), std::string::npos) << fields;

  std::string out;
  if (geteuid() != 0) {
    // Without root the package is unpacked instead; CI must install it.
    ASSERT_EQ(std::getenv("CI"), nullptr)
        << "the package test installs with dpkg -i: run CI as root";
    ScratchDir dir;
    ASSERT_EQ(run_command("dpkg-deb -x " + quoted(deb) + " " + quoted(dir.path()), &out), 0);
    expect_layout(dir.file("usr"));
    expect_programs_work(dir.file("usr/bin"), dir.file("usr/share/corvanel/examples"));
    return;
  }
  // Removed afterwards, whatever failed: the machine is left as it was.
  struct Remove {
    ~Remove() {
      std::string log;
      EXPECT_EQ(run_command("dpkg -r corvanel 2>&1", &log), 0) << log;
      EXPECT_FALSE(file_exists("/usr/bin/corvanel"));
      EXPECT_FALSE(file_exists("/usr/share/corvanel/examples/demo.in"));
    }
  } remove;
  ASSERT_EQ(run_command("dpkg -i " + quoted(deb) + " 2>&1", &out), 0) << out;
  expect_layout("/usr");
  expect_programs_work("/usr/bin", "/usr/share/corvanel/examples");
}
