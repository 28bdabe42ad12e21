#include "sweep/plan.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "app/jobfile.h"
#include "engine/modal_params.h"
#include "model/state.h"
#include "sweep/limit.h"

#ifndef CORVANEL_DEFAULT_BINARY
#define CORVANEL_DEFAULT_BINARY ""
#endif

namespace fs = std::filesystem;

namespace {

using Params = std::unique_ptr<SimParams, void (*)(SimParams*)>;

Params new_params() {
  return Params(params_create(), params_free);
}

// The value as a job file holds it: printed with six decimals and read back.
double six_decimals(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%lf", value);
  return std::strtod(text, nullptr);
}

bool parse_number(std::string_view text, double* value) {
  std::string s(text);
  if (s.empty() || std::isspace(static_cast<unsigned char>(s[0]))) return false;
  char* end = nullptr;
  errno = 0;
  *value = std::strtod(s.c_str(), &end);
  return end == s.c_str() + s.size() && errno == 0 && std::isfinite(*value);
}

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (size_t at; (at = text.find(separator, start)) != std::string_view::npos; start = at + 1)
    parts.push_back(text.substr(start, at - start));
  parts.push_back(text.substr(start));
  return parts;
}

// Adds the values of one item (a value or FROM:TO:STEP) of an axis.
int add_axis_item(std::string_view item, std::vector<double>* values, std::string* error) {
  const std::vector<std::string_view> parts = split(item, ':');
  double from, to, step;
  if (parts.size() == 1 && parse_number(parts[0], &from)) {
    values->push_back(six_decimals(from));
    return 1;
  }
  if (parts.size() != 3 || !parse_number(parts[0], &from) || !parse_number(parts[1], &to) ||
      !parse_number(parts[2], &step)) {
    *error = "'" + std::string(item) + "' is neither a number nor FROM:TO:STEP";
    return 0;
  }
  if (!(step > 0) || to < from) {
    *error = "'" + std::string(item) + "' needs a positive STEP and TO not below FROM";
    return 0;
  }
  // A TO that the steps miss by rounding alone still counts.
  const double count = std::floor((to - from) / step * (1 + 1e-12) + 1e-9) + 1;
  if (count > kPlanMaxRuns || values->size() + count > kPlanMaxRuns) {
    *error =
        "'" + std::string(item) + "' has more than " + std::to_string(kPlanMaxRuns) + " values";
    return 0;
  }
  for (int i = 0; i < static_cast<int>(count); ++i)
    values->push_back(six_decimals(from + i * step));
  return 1;
}

bool is_executable(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec) && access(path.c_str(), X_OK) == 0;
}

std::string number(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

void add_mode_fields(std::vector<std::pair<std::string, double>>* fields, const char* structure,
                     const char* axis, const ModalMode* modes, int count) {
  for (int i = 0; i < count; ++i) {
    const std::string name = std::string(structure) + " " + axis + " mode " + std::to_string(i + 1);
    fields->push_back({name + " mass", modes[i].mass});
    fields->push_back({name + " damping ratio", modes[i].damping_ratio});
    fields->push_back({name + " stiffness", modes[i].stiffness});
    fields->push_back({name + " modal angle", modes[i].modal_angle});
  }
}

// Every entered number of a job but the spindle speed and the depth of cut.
std::vector<std::pair<std::string, double>> fixed_numbers(const SimParams* p) {
  std::vector<std::pair<std::string, double>> f = {
      {"feed", p->feed_per_rev},
      {"initial wear", p->initial_wear},
      {"inclination angle", p->inclination_angle},
      {"normal rake angle", p->normal_rake_angle},
      {"side cutting edge angle", p->side_cutting_edge_angle},
      {"workpiece radius", p->workpiece_radius},
      {"nose radius", p->nose_radius}};
  const ModalSet* sets[] = {&p->spindle_modes, &p->tool_modes};
  const char* names[] = {"spindle-workpiece", "tool"};
  for (int s = 0; s < 2; ++s) {
    add_mode_fields(&f, names[s], "X", sets[s]->x_modes, sets[s]->x_count);
    add_mode_fields(&f, names[s], "Y", sets[s]->y_modes, sets[s]->y_count);
    add_mode_fields(&f, names[s], "Z", sets[s]->z_modes, sets[s]->z_count);
  }
  return f;
}

bool same_counts(const ModalSet& a, const ModalSet& b) {
  return a.x_count == b.x_count && a.y_count == b.y_count && a.z_count == b.z_count;
}

// True when job b is job a with the given speed and depth, every other entered field equal.
bool is_variant(const SimParams* a, const SimParams* b, double rpm, double depth) {
  if (std::strcmp(a->title, b->title) != 0 || a->process != b->process || a->units != b->units ||
      std::strcmp(a->workpiece_material, b->workpiece_material) != 0 ||
      std::strcmp(a->insert_material, b->insert_material) != 0 || a->calc_type != b->calc_type ||
      a->revs_total != b->revs_total || a->revs_skipped != b->revs_skipped ||
      a->angular_increments != b->angular_increments ||
      !same_counts(a->spindle_modes, b->spindle_modes) ||
      !same_counts(a->tool_modes, b->tool_modes) || b->spindle_rpm != rpm ||
      b->depth_of_cut != depth)
    return false;
  const auto fa = fixed_numbers(a), fb = fixed_numbers(b);
  for (size_t i = 0; i < fa.size(); ++i)
    if (fa[i].second != fb[i].second) return false;
  return true;
}

// Everything that can be refused is checked before the folder is touched.
int check_base(const PlanOptions& o, const SimParams* base, std::string* error) {
  if (base->revs_total - base->revs_skipped < 2) {
    *error = o.base_path + ": records " + std::to_string(base->revs_total - base->revs_skipped) +
             " revolutions (total minus skipped); a growth ratio needs at least 2";
    return 0;
  }
  const std::string inexact = plan_inexact_field(base);
  if (!inexact.empty()) {
    *error = o.base_path + ": " + inexact +
             " does not survive the job file's six decimals; round it in the base job";
    return 0;
  }
  if (o.rpms.empty() || o.depths.empty()) {
    *error = "the grid has no spindle speed or no depth of cut";
    return 0;
  }
  if (o.rpms.front() <= 0 || o.depths.front() <= 0) {
    *error = "spindle speeds and depths of cut must be positive";
    return 0;
  }
  if (o.rpms.size() * o.depths.size() > static_cast<size_t>(kPlanMaxRuns)) {
    *error = "the grid has " + std::to_string(o.rpms.size() * o.depths.size()) +
             " runs; a plan holds at most " + std::to_string(kPlanMaxRuns);
    return 0;
  }
  return 1;
}

// Each speed must give modal delays that fit the engine's histories.
int check_modes(const PlanOptions& o, SimParams* job, std::string* error) {
  const int steps = kGridSteps / std::max(1, job->angular_increments);
  const double base_rpm = job->spindle_rpm;
  for (double rpm : o.rpms) {
    job->spindle_rpm = rpm;
    std::string why;
    if (!modal_check(job, steps, &why)) {
      job->spindle_rpm = base_rpm;
      *error = o.base_path + " at " + number(rpm) + " rpm: " + why;
      return 0;
    }
  }
  job->spindle_rpm = base_rpm;
  return 1;
}

int check_databases(const PlanOptions& o, std::string* error) {
  std::ifstream wear(o.wear_path);
  if (!wear) {
    *error = "cannot read the wear file " + o.wear_path + " (name another with --wear FILE)";
    return 0;
  }
  std::unique_ptr<LimitModel, void (*)(LimitModel*)> model(
      limit_create(o.base_path.c_str(), o.database_path.c_str(), error), limit_free);
  if (!model) return 0;
  if (!limit_has_coefficients(model.get())) {
    const SimParams* p = model->params;
    *error = "the coefficient database " + o.database_path + " holds no row for workpiece '" +
             p->workpiece_material + "', insert '" + p->insert_material + "' at edge angle " +
             std::to_string(matdb_angle_key(p->side_cutting_edge_angle)) + " degrees";
    return 0;
  }
  return 1;
}

int check_out_dir(const std::string& out, std::string* error) {
  std::error_code ec;
  if (!fs::exists(out, ec)) return 1;
  if (!fs::is_directory(out, ec) || !fs::is_empty(out, ec)) {
    *error = out + " exists and is not an empty folder; plan into a new one";
    return 0;
  }
  return 1;
}

// Characters that the command rows cannot carry inside double quotes or at all.
int check_path_text(const std::string& what, const std::string& path, const char* banned,
                    std::string* error) {
  if (path.find_first_of(banned) != std::string::npos) {
    *error = what + " '" + path + "' holds a character the command rows cannot carry";
    return 0;
  }
  return 1;
}

int copy_into(const std::string& from, const fs::path& to, std::string* error) {
  std::error_code ec;
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
  if (ec) {
    *error = "cannot copy " + from + " to " + to.string() + ": " + ec.message();
    return 0;
  }
  return 1;
}

std::string folder_name(int row, int rows) {
  const size_t width = std::max<size_t>(4, std::to_string(rows).size());
  std::string digits = std::to_string(row);
  if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  return "runs/" + digits;
}

// Writes one run's job file and checks that it reads back as planned.
int write_job(SimParams* base, const PlanRun& run, const fs::path& out, std::string* error) {
  const double rpm = base->spindle_rpm, depth = base->depth_of_cut;
  base->spindle_rpm = run.rpm;
  base->depth_of_cut = run.depth;
  const fs::path path = out / run.folder / (std::string(kPlanJob) + ".in");
  std::string why;
  const int written = jobfile_write(base, path.c_str(), &why);
  base->spindle_rpm = rpm;
  base->depth_of_cut = depth;
  if (!written) {
    *error = path.string() + ": " + why;
    return 0;
  }
  Params back = new_params();
  if (!back || !jobfile_read(back.get(), path.c_str(), &why) ||
      !is_variant(base, back.get(), run.rpm, run.depth)) {
    *error = path.string() + " does not read back as the base job with the new speed and depth";
    return 0;
  }
  return 1;
}

std::string index_text(const std::vector<PlanRun>& runs) {
  std::string text = "row,rpm,depth,folder\n";
  char line[160];
  for (const PlanRun& r : runs) {
    std::snprintf(line, sizeof line, "%d,%.6f,%.6f,%s\n", r.row, r.rpm, r.depth, r.folder.c_str());
    text += line;
  }
  return text;
}

int write_runs(const PlanOptions& o, SimParams* base, const fs::path& out, const std::string& bin,
               std::vector<PlanRun>* runs, std::string* error) {
  const int rows = static_cast<int>(o.rpms.size() * o.depths.size());
  std::string commands;
  for (double rpm : o.rpms) {
    for (double depth : o.depths) {
      PlanRun run{static_cast<int>(runs->size()) + 1, rpm, depth, ""};
      run.folder = folder_name(run.row, rows);
      std::error_code ec;
      fs::create_directories(out / run.folder, ec);
      if (ec) {
        *error = "cannot create " + (out / run.folder).string() + ": " + ec.message();
        return 0;
      }
      if (!write_job(base, run, out, error)) return 0;
      commands += plan_command(out.string(), bin, run.folder, o.keep_series) + "\n";
      runs->push_back(run);
    }
  }
  if (!plan_write_text((out / kPlanIndex).string(), index_text(*runs), error)) return 0;
  if (!plan_write_text((out / kPlanCommands).string(), commands, error)) return 0;
  const fs::path slurm = out / kPlanSlurm;
  if (!plan_write_text(slurm.string(), plan_slurm_script(out.string(), rows), error)) return 0;
  std::error_code ec;
  fs::permissions(slurm, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                  fs::perm_options::add, ec);
  fs::create_directories(out / "slurm", ec);
  return 1;
}

}  // namespace

int plan_parse_axis(std::string_view text, std::vector<double>* values, std::string* error) {
  values->clear();
  for (std::string_view item : split(text, ',')) {
    if (!add_axis_item(item, values, error)) return 0;
  }
  std::sort(values->begin(), values->end());
  values->erase(std::unique(values->begin(), values->end()), values->end());
  return 1;
}

std::string plan_find_corvanel(const std::string& requested) {
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
  for (std::string_view dir : split(path != nullptr ? path : "", ':')) {
    if (dir.empty()) continue;
    const fs::path candidate = fs::absolute(fs::path(dir) / "corvanel", ec).lexically_normal();
    if (!ec && is_executable(candidate)) return candidate.string();
  }
  return {};
}

std::string plan_inexact_field(const SimParams* job) {
  for (const auto& [name, value] : fixed_numbers(job)) {
    if (six_decimals(value) != value) return name + " " + number(value);
  }
  return {};
}

std::string plan_increments_warning(const SimParams* job) {
  if (job->angular_increments <= 1) return {};
  return "angular increments " + std::to_string(job->angular_increments) +
         ": each simulated revolution covers only part of the angular grid, with free vibration"
         " between revolutions, and the revolution statistics average over the whole grid; the"
         " classes of the map need angular increments 1";
}

int plan_write(const PlanOptions& o, std::vector<PlanRun>* runs, std::vector<std::string>* warnings,
               std::string* error) {
  runs->clear();
  warnings->clear();
  Params base = new_params();
  std::string why;
  if (!base || !jobfile_read(base.get(), o.base_path.c_str(), &why)) {
    *error = o.base_path + ": " + (why.empty() ? "cannot read the job file" : why);
    return 0;
  }
  const std::string bin = plan_find_corvanel(o.corvanel);
  if (bin.empty()) {
    *error = o.corvanel.empty() ? "cannot find the corvanel program; name it with --corvanel PATH"
                                : "'" + o.corvanel + "' is not an executable program";
    return 0;
  }
  std::error_code ec;
  const fs::path out = fs::absolute(o.out_dir, ec).lexically_normal();
  if (ec) {
    *error = "cannot resolve " + o.out_dir + ": " + ec.message();
    return 0;
  }
  if (!check_base(o, base.get(), error) || !check_modes(o, base.get(), error) ||
      !check_databases(o, error) || !check_out_dir(o.out_dir, error) ||
      !check_path_text("the corvanel path", bin, "\"$`\\}\n", error) ||
      !check_path_text("the plan folder", out.string(), "\n", error))
    return 0;
  if (std::string w = plan_increments_warning(base.get()); !w.empty()) warnings->push_back(w);
  fs::create_directories(out, ec);
  if (ec) {
    *error = "cannot create " + out.string() + ": " + ec.message();
    return 0;
  }
  if (!copy_into(o.base_path, out / kPlanBase, error) ||
      !copy_into(o.wear_path, out / kPlanWear, error) ||
      !copy_into(o.database_path, out / kPlanDatabase, error))
    return 0;
  return write_runs(o, base.get(), out, bin, runs, error);
}

std::string plan_shell_quote(std::string_view text) {
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

std::string plan_command(const std::string& out_dir, const std::string& corvanel,
                         const std::string& folder, bool keep_series) {
  const std::string f = folder + "/";
  std::string row = "cd " + plan_shell_quote(out_dir) + " && { rm -f " + f + kPlanExitFile +
                    "; \"${" + kPlanBinaryVariable + ":-" + corvanel + "}\" " + kPlanJob + " " +
                    folder + " >" + f + kPlanLogFile + " 2>&1; s=$?; ";
  if (!keep_series) row += "rm -f " + f + kPlanJob + ".dat " + f + kPlanJob + ".*.dat; ";
  row += std::string("echo $s >") + f + kPlanExitFile + "; [ $s = 0 ]; }";
  return row;
}

std::string plan_slurm_script(const std::string& out_dir, int rows) {
  const std::string n = std::to_string(rows);
  const std::string commands = plan_shell_quote(out_dir + "/" + kPlanCommands);
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

int plan_read_index(const std::string& out_dir, std::vector<PlanRun>* runs, std::string* error) {
  runs->clear();
  const std::string path = out_dir + "/" + kPlanIndex;
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line) || line != "row,rpm,depth,folder") {
    *error = "cannot read the plan index " + path + " (is " + out_dir + " a plan folder?)";
    return 0;
  }
  for (int n = 2; std::getline(in, line); ++n) {
    const std::vector<std::string_view> f = split(line, ',');
    PlanRun run{0, 0, 0, ""};
    double row = 0;
    if (f.size() != 4 || !parse_number(f[0], &row) || !parse_number(f[1], &run.rpm) ||
        !parse_number(f[2], &run.depth) || f[3].empty() || f[3].find("..") != std::string::npos ||
        f[3][0] == '/' || row != n - 1) {
      *error = path + " line " + std::to_string(n) + " is damaged";
      return 0;
    }
    run.row = n - 1;
    run.folder = std::string(f[3]);
    runs->push_back(run);
  }
  return 1;
}

int plan_write_text(const std::string& path, const std::string& text, std::string* error) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  out.close();
  if (!out) {
    *error = "cannot write " + path;
    return 0;
  }
  return 1;
}
