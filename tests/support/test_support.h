// Small helpers shared by the tests: scratch folders and whole-file I/O.
#pragma once

#include <string>
#include <utility>

namespace test_support {

// A fresh empty folder under the system's temporary folder, removed with the object.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(ScratchDir&& other) noexcept : path_(std::move(other.path_)) { other.path_.clear(); }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Changes the working directory for the object's lifetime.
class WorkingDir {
 public:
  explicit WorkingDir(const std::string& path);
  ~WorkingDir();
  WorkingDir(const WorkingDir&) = delete;
  WorkingDir& operator=(const WorkingDir&) = delete;

 private:
  std::string previous_;
};

void write_file(const std::string& path, const std::string& text);
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);

// The first token of the numeric result files under base (the ten series
// files, .rms and .ave; absent ones skipped) that is not a finite number,
// as "FILE: TOKEN", or "" when every token is one.
std::string non_finite_result(const std::string& base);

// A coefficient database with a row for STEEL and CARB at every whole edge
// angle the job check accepts (-89 to 89 degrees), each with the nine numbers given.
std::string steel_rows_at_every_angle(const std::string& numbers);

// Runs a shell command; returns its exit status, standard output in *out when given.
int run_command(const std::string& command, std::string* out = nullptr);

}  // namespace test_support
