// The HDF5 writer on its own: steps across chunk boundaries read back bit
// for bit through the library's own shuffle and deflate filters, and the
// temporary file that only a finished writer renames.
#include "results/hdf5.h"

#include <gtest/gtest.h>
#include <hdf5.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "model/params.h"
#include "results/hdf5_buffered.h"
#include "tests/support/test_support.h"

using test_support::file_exists;
using test_support::read_file;
using test_support::ScratchDir;
using test_support::write_file;

namespace {

// Step i's value of channel c: smooth, noisy, tiny and negative values, as
// the channels of a run hold them, and in kn random bits in every byte (no
// byte plane compresses: the chunk is all stored blocks).
double value_of(int c, int64_t i) {
  if (c == HDF5_REVOLUTION) return static_cast<double>(i / 1000 + 1);
  if (c == HDF5_KN) {
    uint64_t z = static_cast<uint64_t>(i) * 0x9e3779b97f4a7c15u;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
    z ^= z >> 31;
    double bits;
    std::memcpy(&bits, &z, sizeof bits);
    return bits;
  }
  if (c == HDF5_TIME) return static_cast<double>(i) * 2.7412280701754384e-06;
  const double noise = std::sin(static_cast<double>(i) * 0.7 + c) * std::exp(-0.001 * c);
  return c % 2 == 0 ? 280.0 + noise : 1e-9 * noise - 3e-7;
}

struct Job {
  SimParams* params = params_create();
  RunSummary summary{};
  SummaryRun run{"1.0", 0x10000, 34200, 1e-6};
  Job() {
    summary.verdict = "stable";
    summary.verdict_rule = "rule";
    summary.revolutions.resize(2);
    summary.revolutions[1].revolution = 1;
    summary.revolutions[1].mean[0] = 281.5;
  }
  ~Job() { params_free(params); }
};

std::vector<double> read_channel(hid_t file, int c) {
  const std::string name = std::string("/steps/") + hdf5_channel_name(c);
  const hid_t dataset = H5Dopen2(file, name.c_str(), H5P_DEFAULT);
  const hid_t space = H5Dget_space(dataset);
  std::vector<double> values(static_cast<size_t>(H5Sget_simple_extent_npoints(space)));
  if (!values.empty())
    H5Dread(dataset, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data());
  H5Sclose(space);
  H5Dclose(dataset);
  return values;
}

// The filters of a /steps dataset, in order.
std::vector<H5Z_filter_t> filters_of(hid_t file, const char* name) {
  const hid_t dataset = H5Dopen2(file, (std::string("/steps/") + name).c_str(), H5P_DEFAULT);
  const hid_t properties = H5Dget_create_plist(dataset);
  std::vector<H5Z_filter_t> filters;
  for (int i = 0; i < H5Pget_nfilters(properties); ++i) {
    unsigned flags = 0;
    size_t count = 0;
    filters.push_back(H5Pget_filter2(properties, static_cast<unsigned>(i), &flags, &count, nullptr,
                                     0, nullptr, nullptr));
  }
  H5Pclose(properties);
  H5Dclose(dataset);
  return filters;
}

}  // namespace

TEST(Hdf5Writer, EveryStepReadsBackBitForBitAcrossChunkBoundaries) {
  const int64_t chunk = kHdf5ChunkSteps;
  for (int64_t steps : {int64_t{0}, int64_t{1}, chunk - 1, chunk, chunk + 1, 2 * chunk + 5}) {
    ScratchDir dir;
    const std::string base = dir.file("run");
    Job job;
    Hdf5Writer* writer = hdf5_create(base.c_str());
    ASSERT_NE(writer, nullptr);
    Hdf5Step step{};
    for (int64_t i = 0; i < steps; ++i) {
      for (int c = 0; c < kHdf5ChannelCount; ++c) step.value[c] = value_of(c, i);
      hdf5_write_step(writer, step);
    }
    ASSERT_EQ(hdf5_finish(writer, job.params, job.params, job.run, job.summary), 1);
    hdf5_free(writer);
    const hid_t file = H5Fopen((base + ".h5").c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
    ASSERT_GE(file, 0) << steps;
    for (int c = 0; c < kHdf5ChannelCount; ++c) {
      const std::vector<double> values = read_channel(file, c);
      ASSERT_EQ(values.size(), static_cast<size_t>(steps)) << hdf5_channel_name(c);
      for (int64_t i = 0; i < steps; ++i) {
        const double expected = value_of(c, i);
        ASSERT_EQ(std::memcmp(&values[static_cast<size_t>(i)], &expected, sizeof expected), 0)
            << hdf5_channel_name(c) << " step " << i << " of " << steps;
      }
    }
    EXPECT_EQ(filters_of(file, "force_x"),
              (std::vector<H5Z_filter_t>{H5Z_FILTER_SHUFFLE, H5Z_FILTER_DEFLATE}));
    H5Fclose(file);
  }
}

TEST(Hdf5Writer, AFinishedFileTakesThePlaceOfWhateverWasThere) {
  const struct {
    const char* name;
    bool earlier_file;  // a regular BASE.h5 before the run
    bool earlier_link;  // a symbolic link BASE.h5 (to a file that stays)
  } cases[] = {{"nothing there", false, false},
               {"an earlier run's file", true, false},
               {"a link", false, true}};
  for (const auto& c : cases) {
    ScratchDir dir;
    const std::string base = dir.file("run");
    if (c.earlier_file) write_file(base + ".h5", "an earlier run's file");
    if (c.earlier_link) {
      write_file(dir.file("kept"), "kept");
      ASSERT_EQ(symlink(dir.file("kept").c_str(), (base + ".h5").c_str()), 0);
    }
    Job job;
    Hdf5Writer* writer = hdf5_create(base.c_str());
    ASSERT_NE(writer, nullptr) << c.name;
    Hdf5Step step{};
    step.value[HDF5_FORCE_X] = 7.5;
    hdf5_write_step(writer, step);
    ASSERT_EQ(hdf5_finish(writer, job.params, job.params, job.run, job.summary), 1) << c.name;
    hdf5_free(writer);
    EXPECT_FALSE(file_exists(base + ".h5.part")) << c.name;
    const hid_t file = H5Fopen((base + ".h5").c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
    ASSERT_GE(file, 0) << c.name;
    EXPECT_EQ(read_channel(file, HDF5_FORCE_X), std::vector<double>{7.5}) << c.name;
    H5Fclose(file);
    if (c.earlier_link) {
      EXPECT_EQ(read_file(dir.file("kept")), "kept");
    }
  }
}

TEST(Hdf5Writer, OnlyAFinishedFileReplacesTheEarlierOne) {
  ScratchDir dir;
  const std::string base = dir.file("run");
  write_file(base + ".h5", "an earlier run's file");
  Hdf5Writer* writer = hdf5_create(base.c_str());
  ASSERT_NE(writer, nullptr);
  Hdf5Step step{};
  for (int i = 0; i < kHdf5ChunkSteps + 10; ++i) hdf5_write_step(writer, step);
  EXPECT_TRUE(file_exists(base + ".h5.part"));
  EXPECT_EQ(read_file(base + ".h5"), "an earlier run's file");
  hdf5_free(writer);  // not finished: the run stopped
  EXPECT_FALSE(file_exists(base + ".h5.part"));
  EXPECT_EQ(read_file(base + ".h5"), "an earlier run's file");
}

TEST(Hdf5Buffered, WhatTheLibraryWritesThroughItReadsBackThroughTheDefaultDriver) {
  // Writes of every size: a dataset larger than what is gathered (written
  // at once), small chunks appended one after the other (gathered), and the
  // metadata the library writes back at other addresses on closing.
  ScratchDir dir;
  const std::string path = dir.file("buffered.h5");
  const hid_t access = hdf5_buffered_access();
  ASSERT_GE(access, 0);
  const hid_t file = H5Fcreate(path.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, access);
  H5Pclose(access);
  ASSERT_GE(file, 0);
  const size_t sizes[] = {300000, 7, 1, 20000, 131072, 3};
  int index = 0;
  for (size_t n : sizes) {
    std::vector<double> values(n);
    for (size_t i = 0; i < n; ++i) values[i] = value_of(HDF5_KN, static_cast<int64_t>(i + n));
    const hsize_t dims[1] = {n};
    const hid_t space = H5Screate_simple(1, dims, nullptr);
    const hid_t set = H5Dcreate2(file, ("d" + std::to_string(index++)).c_str(), H5T_NATIVE_DOUBLE,
                                 space, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
    ASSERT_GE(H5Dwrite(set, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data()), 0);
    H5Dclose(set);
    H5Sclose(space);
  }
  ASSERT_GE(H5Fclose(file), 0);
  const hid_t back = H5Fopen(path.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
  ASSERT_GE(back, 0);
  index = 0;
  for (size_t n : sizes) {
    const hid_t set = H5Dopen2(back, ("d" + std::to_string(index++)).c_str(), H5P_DEFAULT);
    ASSERT_GE(set, 0) << n;
    std::vector<double> values(n);
    ASSERT_GE(H5Dread(set, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data()), 0);
    for (size_t i = 0; i < n; ++i) {
      const double expected = value_of(HDF5_KN, static_cast<int64_t>(i + n));
      ASSERT_EQ(std::memcmp(&values[i], &expected, sizeof expected), 0) << n << " " << i;
    }
    H5Dclose(set);
  }
  H5Fclose(back);
}
