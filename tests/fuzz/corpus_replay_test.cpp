// Replays the kept fuzzing corpus (tests/fuzz/corpus/<target>/) through the
// same entry code as the fuzzers, under the test build's sanitizers: an input
// that once found a fault, or that reaches a rarely taken path, is tried on
// every test run.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_support.h"
#include "tests/support/test_support.h"

namespace {

using Target = std::string (*)(const uint8_t* data, size_t size);

std::vector<std::string> corpus_files(const std::string& target) {
  const std::string dir = std::string(CORVANEL_SOURCE_DIR) + "/tests/fuzz/corpus/" + target;
  std::vector<std::string> files;
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return files;
  while (dirent* entry = readdir(d)) {
    if (entry->d_name[0] != '.') files.push_back(dir + "/" + entry->d_name);
  }
  closedir(d);
  std::sort(files.begin(), files.end());
  return files;
}

void replay(const std::string& target, Target entry) {
  const std::vector<std::string> files = corpus_files(target);
  ASSERT_GE(files.size(), 10u) << "the " << target << " corpus is missing";
  for (const std::string& file : files) {
    const std::string bytes = test_support::read_file(file);
    const std::string fault = entry(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    EXPECT_EQ(fault, "") << file;
  }
}

}  // namespace

TEST(CorpusReplay, JobFiles) {
  replay("jobfile", fuzz::jobfile_input);
}

TEST(CorpusReplay, Databases) {
  replay("matdb", fuzz::matdb_input);
}

TEST(CorpusReplay, Dialogues) {
  replay("dialogue", fuzz::dialogue_input);
}
