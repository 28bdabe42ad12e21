#include "sweep/commands.h"

#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "sweep/grid.h"
#include "sweep/plan.h"

#ifndef CORVANEL_DEFAULT_BINARY
#define CORVANEL_DEFAULT_BINARY ""
#endif

namespace fs = std::filesystem;

namespace {

bool is_executable(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec) && access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::string commands_find_corvanel(const std::string& requested) {
  std::error_code ec;
  if (!requested.empty()) {
    const fs::path p = fs::absolute(requested, ec).lexically_normal();
    return !ec && is_executable(p) ? p.string() : std::string();
  }
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec && is_executable(self.parent_path() / "corvanel"))
    return (self.parent_path() / "corvanel").string();
  if (is_executable(CORVANEL_DEFAULT_BINARY)) return CORVANEL_DEFAULT_BINARY;
  const char* path = std::getenv("PATH");
  for (std::string_view dir : grid_split(path != nullptr ? path : "", ':')) {
    if (dir.empty()) continue;
    const fs::path candidate = fs::absolute(fs::path(dir) / "corvanel", ec).lexically_normal();
    if (!ec && is_executable(candidate)) return candidate.string();
  }
  return {};
}

std::string commands_shell_quote(std::string_view text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::string commands_row(const std::string& out_dir, const std::string& corvanel,
                         const std::string& folder, bool keep_series, bool hdf5) {
  const std::string f = folder + "/";
  std::string row = "cd " + commands_shell_quote(out_dir) + " && { rm -f " + f + kPlanExitFile +
                    "; \"${" + kPlanBinaryVariable + ":-" + corvanel + "}\" " +
                    (hdf5 ? "--hdf5 " : "") + kPlanJob + " " + folder + " >" + f + kPlanLogFile +
                    " 2>&1; s=$?; ";
  if (!keep_series) row += "rm -f " + f + kPlanJob + ".dat " + f + kPlanJob + ".*.dat; ";
  row += std::string("echo $s >") + f + kPlanExitFile + "; [ $s = 0 ]; }";
  return row;
}

std::string commands_slurm_script(const std::string& out_dir, int rows) {
  const std::string n = std::to_string(rows);
  const std::string commands = commands_shell_quote(out_dir + "/" + kPlanCommands);
  std::ostringstream s;
  s << "#!/bin/sh\n"
       "# Runs one row of commands.txt as one task of a Slurm job array.\n"
       "#   sbatch slurm-array.sh                  all "
    << n
    << " rows\n"
       "#   sbatch --array=5,9 slurm-array.sh      rows 5 and 9 only\n"
       "# Above the cluster's MaxArraySize submit in chunks, e.g. rows 1001-2000:\n"
       "#   sbatch --array=1-1000 --export=ALL,ROW_OFFSET=1000 slurm-array.sh\n"
       "# By hand: SLURM_ARRAY_TASK_ID=3 sh slurm-array.sh\n"
       "#SBATCH --job-name=corvanel-sweep\n"
       "#SBATCH --array=1-"
    << n << "\n#SBATCH --ntasks=1\n#SBATCH --cpus-per-task=1\n";
  if (out_dir.find_first_of(" \t'\"%") == std::string::npos)  // sbatch reads % as a pattern
    s << "#SBATCH --output=" << out_dir << "/slurm/%A_%a.out\n";
  s << "\nnumber() { case $1 in ''|*[!0-9]*) return 1;; esac; }\n"
       "if ! number \"${SLURM_ARRAY_TASK_ID:-}\"; then\n"
       "  echo \"slurm-array.sh: SLURM_ARRAY_TASK_ID must be a row of commands.txt (1 to "
    << n
    << ")\" >&2\n"
       "  exit 2\n"
       "fi\n"
       "if ! number \"${ROW_OFFSET:-0}\"; then\n"
       "  echo \"slurm-array.sh: ROW_OFFSET must be a whole number\" >&2\n"
       "  exit 2\n"
       "fi\n"
       "row=$((SLURM_ARRAY_TASK_ID + ${ROW_OFFSET:-0}))\n"
       "if [ \"$row\" -lt 1 ] || [ \"$row\" -gt "
    << n
    << " ]; then\n"
       "  echo \"slurm-array.sh: commands.txt has no row $row (it has "
    << n
    << ")\" >&2\n"
       "  exit 2\n"
       "fi\n"
       "command=$(sed -n \"${row}p\" "
    << commands << ")\nexec /bin/sh -c \"$command\"\n";
  return s.str();
}

std::string commands_search_row(const std::string& out_dir, const std::string& sweep,
                                const std::string& corvanel, const std::string& folder, int row) {
  const std::string f = folder + "/";
  return "cd " + commands_shell_quote(out_dir) + " && { rm -f " + f + kPlanExitFile + "; \"${" +
         kPlanSweepVariable + ":-" + sweep + "}\" search . " + std::to_string(row) +
         " --corvanel \"${" + kPlanBinaryVariable + ":-" + corvanel + "}\" >" + f + "search.log" +
         " 2>&1; s=$?; echo $s >" + f + kPlanExitFile + "; [ $s = 0 ]; }";
}

std::string commands_self() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : self.string();
}
