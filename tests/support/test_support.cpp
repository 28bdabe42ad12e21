#include "tests/support/test_support.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace test_support {

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "corvanel-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  if (path_.empty()) return;  // moved from
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

WorkingDir::WorkingDir(const std::string& path) : previous_(std::filesystem::current_path()) {
  std::filesystem::current_path(path);
}

WorkingDir::~WorkingDir() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
}

void write_file(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool file_exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

int run_command(const std::string& command, std::string* out) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  std::string text;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
  int status = pclose(pipe);
  if (out != nullptr) *out = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string steel_rows_at_every_angle(const std::string& numbers) {
  std::string rows;
  for (int angle = -89; angle <= 89; ++angle) {
    char key[64];
    std::snprintf(key, sizeof key, "%-16s%-32s%d ", "STEEL", "CARB", angle);
    rows += key + numbers + "\n";
  }
  return rows;
}

std::string non_finite_result(const std::string& base) {
  static const char* const kSuffixes[] = {".dat",    ".fx.dat", ".fy.dat", ".fz.dat",
                                          ".sx.dat", ".sy.dat", ".sz.dat", ".wx.dat",
                                          ".wy.dat", ".wz.dat", ".rms",    ".ave"};
  for (const char* suffix : kSuffixes) {
    const std::string path = base + suffix;
    if (!file_exists(path)) continue;
    std::istringstream text(read_file(path));
    std::string token;
    while (text >> token) {
      char* end = nullptr;
      const double value = std::strtod(token.c_str(), &end);
      if (end != token.c_str() + token.size() || !std::isfinite(value)) return path + ": " + token;
    }
  }
  return "";
}

}  // namespace test_support
