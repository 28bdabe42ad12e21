// corvanel --hdf5: BASE.h5 read back through the HDF5 library against the
// text files and the run summary of the same run.
#include <gtest/gtest.h>
#include <hdf5.h>
#include <hdf5_hl.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "model/units.h"
#include "tests/support/run_job.h"

using test_support::file_exists;
using test_support::Job;
using test_support::read_file;
using test_support::run_program;
using test_support::ScratchDir;
using test_support::write_file;
using test_support::write_job;

namespace {

// An open HDF5 file, closed with the object.
struct H5File {
  hid_t id;
  explicit H5File(const std::string& path)
      : id(H5Fopen(path.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT)) {}
  ~H5File() {
    if (id >= 0) H5Fclose(id);
  }
};

std::vector<double> read_doubles(hid_t file, const std::string& name) {
  std::vector<double> values;
  const hid_t dataset = H5Dopen2(file, name.c_str(), H5P_DEFAULT);
  if (dataset < 0) return values;
  const hid_t space = H5Dget_space(dataset);
  values.resize(static_cast<size_t>(H5Sget_simple_extent_npoints(space)));
  if (!values.empty())
    H5Dread(dataset, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data());
  H5Sclose(space);
  H5Dclose(dataset);
  return values;
}

// A string attribute of the object at path ("" when absent).
std::string text_attribute(hid_t file, const std::string& path, const std::string& name) {
  if (H5Aexists_by_name(file, path.c_str(), name.c_str(), H5P_DEFAULT) <= 0) return "";
  const hid_t attribute =
      H5Aopen_by_name(file, path.c_str(), name.c_str(), H5P_DEFAULT, H5P_DEFAULT);
  const hid_t type = H5Tcopy(H5T_C_S1);
  H5Tset_size(type, H5T_VARIABLE);
  H5Tset_cset(type, H5T_CSET_UTF8);
  char* value = nullptr;
  std::string text;
  if (H5Aread(attribute, type, &value) >= 0 && value != nullptr) text = value;
  if (value != nullptr) H5free_memory(value);
  H5Tclose(type);
  H5Aclose(attribute);
  return text;
}

double number_attribute(hid_t file, const std::string& path, const std::string& name) {
  double value = NAN;
  if (H5Aexists_by_name(file, path.c_str(), name.c_str(), H5P_DEFAULT) <= 0) return value;
  const hid_t attribute =
      H5Aopen_by_name(file, path.c_str(), name.c_str(), H5P_DEFAULT, H5P_DEFAULT);
  H5Aread(attribute, H5T_NATIVE_DOUBLE, &value);
  H5Aclose(attribute);
  return value;
}

std::string six_decimals(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6f", value);
  return text;
}

// The angle and value columns of each row of a series file, as printed.
struct Printed {
  std::string angle, value;
};

std::vector<Printed> printed_rows(const std::string& text) {
  std::vector<Printed> rows;
  for (const std::string& row : test_support::lines_of(text)) {
    char step[32], angle[32], value[64];
    if (std::sscanf(row.c_str(), "%31s %31s %63s", step, angle, value) == 3)
      rows.push_back({angle, value});
  }
  return rows;
}

// A job with one mode in X of each structure, so that both move, at every
// tenth angular step: 3420 steps a revolution.
Job short_job(int units) {
  Job job;
  job.units = units;
  if (units == 0) {
    job.feed = 0.008, job.depth = 0.08, job.radius = 2.0, job.nose = 0.03;
    job.spindle_modes = "1\n0.05\n0.04\n300000\n0\n0\n0\n";
    job.tool_modes = "1\n0.003\n0.03\n200000\n0\n0\n0\n";
  } else {
    job.spindle_modes = "1\n8.0\n0.04\n60000\n0\n0\n0\n";
    job.tool_modes = "1\n0.5\n0.03\n30000\n0\n0\n0\n";
  }
  job.revs_total = 3;
  job.revs_skipped = 1;
  job.increments = 10;
  return job;
}

constexpr int kStepsPerRevolution = 3420;
constexpr int kRecordedSteps = 2 * kStepsPerRevolution;

const char* const kChannels[][2] = {{"time", "s"},
                                    {"angle", "degree"},
                                    {"revolution", "1"},
                                    {"force_x", "N"},
                                    {"force_y", "N"},
                                    {"force_z", "N"},
                                    {"relative_x", "m"},
                                    {"relative_y", "m"},
                                    {"relative_z", "m"},
                                    {"workpiece_x", "m"},
                                    {"workpiece_y", "m"},
                                    {"workpiece_z", "m"},
                                    {"tool_x", "m"},
                                    {"tool_y", "m"},
                                    {"tool_z", "m"},
                                    {"chip_thickness", "m"},
                                    {"depth_effective", "m"},
                                    {"cutting_speed", "m/min"},
                                    {"wear_land", "mm"},
                                    {"kf", "Pa"},
                                    {"kn", "Pa"}};

}  // namespace

TEST(Hdf5, EveryChannelHoldsEveryRecordedStepWithItsUnitsAndTheTimeScale) {
  ScratchDir dir;
  write_job(dir.path(), "h5", short_job(1));
  const auto outcome = run_program(dir.path(), "--hdf5 h5 .");
  ASSERT_EQ(outcome.exit_code, 0) << outcome.err;
  EXPECT_FALSE(file_exists(dir.file("h5.h5.part")));
  H5File file(dir.file("h5.h5"));
  ASSERT_GE(file.id, 0);
  const hid_t time = H5Dopen2(file.id, "/steps/time", H5P_DEFAULT);
  EXPECT_EQ(H5DSis_scale(time), 1);
  for (const auto& channel : kChannels) {
    const std::string path = std::string("/steps/") + channel[0];
    EXPECT_EQ(read_doubles(file.id, path).size(), static_cast<size_t>(kRecordedSteps)) << path;
    EXPECT_EQ(text_attribute(file.id, path, "units"), channel[1]) << path;
    EXPECT_NE(text_attribute(file.id, path, "long_name"), "") << path;
    if (std::string(channel[0]) == "time") continue;
    const hid_t dataset = H5Dopen2(file.id, path.c_str(), H5P_DEFAULT);
    EXPECT_EQ(H5DSis_attached(dataset, time, 0), 1) << path;
    H5Dclose(dataset);
  }
  H5Dclose(time);
  // Time from the start of the run, by the run's time step; revolutions from 1.
  const double time_step = number_attribute(file.id, "/", "time_step");
  EXPECT_DOUBLE_EQ(time_step, 60.0 / (kStepsPerRevolution * 1000.0));
  const auto times = read_doubles(file.id, "/steps/time");
  EXPECT_DOUBLE_EQ(times[0], kStepsPerRevolution * time_step);  // the skipped revolution
  for (size_t i = 1; i < times.size(); ++i)
    ASSERT_NEAR(times[i] - times[i - 1], time_step, 1e-12 * times[i]) << i;
  const auto revolutions = read_doubles(file.id, "/steps/revolution");
  EXPECT_EQ(revolutions.front(), 2);
  EXPECT_EQ(revolutions.back(), 3);
  // The effective depth and the chip are the cut's: near 2 mm and 0.2 mm.
  const auto depth = read_doubles(file.id, "/steps/depth_effective");
  const auto chip = read_doubles(file.id, "/steps/chip_thickness");
  EXPECT_NEAR(depth[100], 0.002, 1e-4);
  EXPECT_NEAR(chip[100], 0.0002, 5e-5);
}

// Each force and displacement, at the steps the text files sample, prints
// the text files' six decimals: in N and m for a metric job, and converted
// from the file's SI to lbf and inches for an English one.
TEST(Hdf5, ChannelsAtTheSampledStepsPrintTheTextFilesRows) {
  struct Case {
    int units;
    const char* suffix;
    const char* channel;
  } cases[] = {{1, ".fx.dat", "force_x"}, {1, ".fz.dat", "force_z"}, {1, ".sx.dat", "workpiece_x"},
               {1, ".wx.dat", "tool_x"},  {0, ".fx.dat", "force_x"}, {0, ".fy.dat", "force_y"}};
  for (int units : {1, 0}) {
    ScratchDir dir;
    write_job(dir.path(), "h5", short_job(units));
    const auto outcome = run_program(dir.path(), "--hdf5 h5 .");
    ASSERT_EQ(outcome.exit_code, 0) << outcome.err;
    H5File file(dir.file("h5.h5"));
    ASSERT_GE(file.id, 0);
    EXPECT_EQ(text_attribute(file.id, "/", "unit_system"), units == 0 ? "english" : "metric");
    for (const Case& c : cases) {
      if (c.units != units) continue;
      const auto values = read_doubles(file.id, std::string("/steps/") + c.channel);
      const auto angles = read_doubles(file.id, "/steps/angle");
      const auto printed = printed_rows(read_file(dir.file(std::string("h5") + c.suffix)));
      ASSERT_EQ(printed.size(), 2u * 35u) << c.suffix;  // steps 0 to 3400 of two revolutions
      ASSERT_EQ(values.size(), static_cast<size_t>(kRecordedSteps));
      for (size_t row = 0; row < printed.size(); ++row) {
        const size_t step = (row / 35) * kStepsPerRevolution + (row % 35) * 100;
        const double value = units != 0 ? values[step] : values[step] / kNewtonsPerPound;
        ASSERT_EQ(six_decimals(value), printed[row].value) << c.suffix << " row " << row;
        ASSERT_EQ(six_decimals(angles[step]), printed[row].angle) << c.suffix << " row " << row;
      }
    }
  }
}

TEST(Hdf5, RootAttributesHoldTheJobAsEnteredAndInSi) {
  ScratchDir dir;
  write_job(dir.path(), "h5", short_job(0));
  const auto outcome = run_program(dir.path(), "--hdf5 h5 .");
  ASSERT_EQ(outcome.exit_code, 0) << outcome.err;
  H5File file(dir.file("h5.h5"));
  ASSERT_GE(file.id, 0);
  const struct {
    const char* key;
    double value;
    const char* units;
  } cases[] = {{"entered_feed_per_rev", 0.008, "in/rev"},
               {"si_feed_per_rev", 0.008 * kInch, "m/rev"},
               {"entered_side_cutting_edge_angle", 15, "deg"},
               {"si_side_cutting_edge_angle", 15 * M_PI / 180, "rad"},
               {"entered_workpiece_x_stiffness", 300000, "lbf/in"},
               {"si_workpiece_x_stiffness", 300000 * kNewtonsPerPound / kInch, "N/m"},
               {"si_tool_x_mass", 0.003 * kNewtonsPerPound / kInch, "kg"}};
  for (const auto& c : cases) {
    EXPECT_NEAR(number_attribute(file.id, "/", c.key), c.value, 1e-9 * std::fabs(c.value)) << c.key;
    EXPECT_EQ(text_attribute(file.id, "/", std::string(c.key) + "_units"), c.units) << c.key;
  }
  EXPECT_EQ(text_attribute(file.id, "/", "program_version"), CORVANEL_VERSION);
  EXPECT_EQ(text_attribute(file.id, "/", "coefficient_file"), "kfkncfa.db");
  EXPECT_EQ(text_attribute(file.id, "/", "wear_file"), "wear.db");
  EXPECT_EQ(text_attribute(file.id, "/", "title"), "E2E job");
  // Kf = 100000 psi in the test database.
  EXPECT_DOUBLE_EQ(number_attribute(file.id, "/", "coefficient_row_kf_coef"), 100000);
  const std::string created = text_attribute(file.id, "/", "created");
  ASSERT_EQ(created.size(), 20u) << created;  // 2026-01-31T12:00:00Z
  EXPECT_EQ(created[10], 'T');
  EXPECT_EQ(created[19], 'Z');
}

TEST(Hdf5, RevolutionsAndSummaryAreTheRunSummarysValues) {
  ScratchDir dir;
  write_job(dir.path(), "h5", short_job(1));
  const auto outcome = run_program(dir.path(), "--hdf5 h5 .");
  ASSERT_EQ(outcome.exit_code, 0) << outcome.err;
  const auto summary = nlohmann::json::parse(read_file(dir.file("h5.summary.json")));
  H5File file(dir.file("h5.h5"));
  ASSERT_GE(file.id, 0);
  const auto numbers = read_doubles(file.id, "/revolutions/revolution");
  ASSERT_EQ(numbers.size(), summary["revolutions"].size());
  for (const char* statistic : {"range", "rms", "mean"}) {
    for (const char* quantity : {"force_x", "force_z", "workpiece_x", "tool_y"}) {
      const auto values =
          read_doubles(file.id, std::string("/revolutions/") + quantity + "_" + statistic);
      ASSERT_EQ(values.size(), numbers.size());
      const std::string key = std::string(quantity) + (quantity[0] == 'f' ? "_N" : "_m");
      for (size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(numbers[i], summary["revolutions"][i]["revolution"].get<double>());
        EXPECT_EQ(values[i], summary["revolutions"][i][statistic][key].get<double>())
            << quantity << " " << statistic << " " << i;
      }
    }
  }
  const auto vibration = read_doubles(file.id, "/revolutions/relative_x_vibration");
  EXPECT_EQ(vibration.back(),
            summary["revolutions"].back()["relative_x_vibration_m"].get<double>());
  EXPECT_EQ(text_attribute(file.id, "/summary", "verdict"), summary["verdict"]["class"]);
  EXPECT_EQ(number_attribute(file.id, "/summary", "growth_rate_per_revolution"),
            summary["verdict"]["growth_rate_per_revolution"].get<double>());
  EXPECT_EQ(number_attribute(file.id, "/summary", "force_y_mean_N"),
            summary["forces"]["y"]["mean_N"].get<double>());
  EXPECT_EQ(number_attribute(file.id, "/summary", "dominant_frequency_Hz"),
            summary["vibration"]["dominant_frequency_Hz"].get<double>());
}

TEST(Hdf5, WithoutTheOptionNoFileIsWritten) {
  ScratchDir dir;
  write_job(dir.path(), "h5", short_job(1));
  const auto outcome = run_program(dir.path(), "h5 .");
  ASSERT_EQ(outcome.exit_code, 0) << outcome.err;
  EXPECT_FALSE(file_exists(dir.file("h5.h5")));
  EXPECT_FALSE(file_exists(dir.file("h5.h5.part")));
}

TEST(Hdf5, TheDialogueWritesOutputH5) {
  ScratchDir dir;
  write_job(dir.path(), "job", short_job(1));
  const auto outcome = run_program(dir.path(), "--hdf5", "y\njob.in\n");
  ASSERT_EQ(outcome.exit_code, 0) << outcome.err;
  H5File file(dir.file("output.h5"));
  ASSERT_GE(file.id, 0);
  EXPECT_EQ(read_doubles(file.id, "/steps/force_x").size(), static_cast<size_t>(kRecordedSteps));
}

// A file that cannot be written, at its creation or half way through the
// run, fails the run with one line naming it; the complete BASE.h5 of an
// earlier run stays as it was, and no temporary file is left.
TEST(Hdf5, AFailedWriteKeepsTheEarlierFile) {
  ScratchDir dir;
  write_job(dir.path(), "h5", short_job(1));
  ASSERT_EQ(run_program(dir.path(), "--hdf5 h5 .").exit_code, 0);
  const std::string earlier = read_file(dir.file("h5.h5"));
  ASSERT_GT(earlier.size(), 300000u);
  const std::string part = dir.file("h5.h5.part");
  // Its name taken by a folder: the file cannot be created.
  ASSERT_EQ(mkdir(part.c_str(), 0755), 0);
  auto outcome = run_program(dir.path(), "--hdf5 h5 .");
  EXPECT_EQ(outcome.exit_code, 1);
  EXPECT_NE(outcome.err.find("corvanel: ./h5.h5: cannot create the result file: Is a directory"),
            std::string::npos)
      << outcome.err;
  EXPECT_EQ(read_file(dir.file("h5.h5")), earlier);
  ASSERT_EQ(rmdir(part.c_str()), 0);
  // Files limited to 200 kB, as a full disk would: the chunks stop fitting
  // after the text files were written.
  const std::string command = "cd '" + dir.path() + "' && trap '' XFSZ && ulimit -f 400 && '" +
                              CORVANEL_BINARY "' --hdf5 h5 . > .stdout 2> .stderr";
  EXPECT_EQ(test_support::run_command(command), 1);
  const std::string err = read_file(dir.file(".stderr"));
  EXPECT_NE(err.find("corvanel: ./h5.h5: writing the result file failed: File too large"),
            std::string::npos)
      << err;
  EXPECT_EQ(read_file(dir.file("h5.h5")), earlier);
  EXPECT_FALSE(file_exists(part));
  EXPECT_TRUE(file_exists(dir.file("h5.summary.json")));
}

// The writer is a plug-in: one that cannot be loaded, or a library that is
// not the writer, refuses an --hdf5 run with one line naming BASE.h5 and the
// reason, and an earlier BASE.h5 stays as it was. A run without the option
// never looks for the plug-in.
TEST(Hdf5, AWriterThatCannotBeLoadedRefusesTheRun) {
  ScratchDir dir;
  write_job(dir.path(), "h5", short_job(1));
  ASSERT_EQ(run_program(dir.path(), "--hdf5 h5 .").exit_code, 0);
  const std::string earlier = read_file(dir.file("h5.h5"));
  // The earlier run's text files, which a refused run leaves as they were.
  std::vector<std::pair<std::string, std::string>> text_files;
  for (const char* name : {"h5.rms", "h5.ave", "h5.dat", "h5.fx.dat", "h5.summary.json"})
    if (file_exists(dir.file(name))) text_files.emplace_back(name, read_file(dir.file(name)));
  ASSERT_GE(text_files.size(), 3u);
  write_file(dir.file("not-a-library.so"), "text\n");
  const struct {
    std::string module;
    const char* reason;
  } cases[] = {
      {dir.file("not-a-library.so"), "not-a-library.so cannot be loaded: "},
      {"/lib/x86_64-linux-gnu/libm.so.6", "libm.so.6 is not the HDF5 writer of this program"},
  };
  for (const auto& c : cases) {
    const auto outcome =
        run_program(dir.path(), "--hdf5 h5 .", "", "CORVANEL_HDF5_MODULE='" + c.module + "'");
    EXPECT_EQ(outcome.exit_code, 1) << c.module;
    EXPECT_NE(outcome.err.find("corvanel: ./h5.h5: cannot create the result file: "),
              std::string::npos)
        << outcome.err;
    EXPECT_NE(outcome.err.find(c.reason), std::string::npos) << outcome.err;
    EXPECT_EQ(read_file(dir.file("h5.h5")), earlier) << c.module;
    for (const auto& [name, text] : text_files)
      EXPECT_EQ(read_file(dir.file(name)), text) << name << " after " << c.module;
    const auto plain =
        run_program(dir.path(), "h5 .", "", "CORVANEL_HDF5_MODULE='" + c.module + "'");
    EXPECT_EQ(plain.exit_code, 0) << plain.err;
  }
}
