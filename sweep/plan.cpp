#include "sweep/plan.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>

#include "app/jobfile.h"
#include "engine/intake.h"
#include "engine/modal_params.h"
#include "model/fields.h"
#include "model/state.h"
#include "sweep/commands.h"
#include "sweep/grid.h"
#include "sweep/index.h"
#include "sweep/limit.h"
#include "sweep/search.h"

namespace fs = std::filesystem;

namespace {

using Params = std::unique_ptr<SimParams, void (*)(SimParams*)>;

Params new_params() {
  return Params(params_create(), params_free);
}

std::string number(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

// Every entered number of a job but the spindle speed and the depth of cut,
// named as the job's tables name them.
std::vector<std::pair<std::string, double>> fixed_numbers(const SimParams* p) {
  std::vector<std::pair<std::string, double>> f;
  for (const EnteredNumber& n : kEnteredNumbers) {
    if (n.field != &SimParams::spindle_rpm && n.field != &SimParams::depth_of_cut)
      f.push_back({n.name, p->*n.field});
  }
  const ModalSet* sets[] = {&p->spindle_modes, &p->tool_modes};
  const char* names[] = {"spindle-workpiece", "tool"};
  const char* axes[] = {"X", "Y", "Z"};
  for (int s = 0; s < 2; ++s) {
    const ModalMode* lists[] = {sets[s]->x_modes, sets[s]->y_modes, sets[s]->z_modes};
    const int counts[] = {sets[s]->x_count, sets[s]->y_count, sets[s]->z_count};
    for (int a = 0; a < 3; ++a) {
      for (int i = 0; i < counts[a]; ++i) {
        const std::string mode =
            std::string(names[s]) + " " + axes[a] + " mode " + std::to_string(i + 1) + " ";
        for (const ModeNumber& n : kModeNumbers) f.push_back({mode + n.name, lists[a][i].*n.field});
      }
    }
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

// The speeds, depth range and tolerance of a boundary plan.
int check_search(const PlanOptions& o, const SimParams* base, std::string* error) {
  if (o.rpms.empty() || !(o.rpms.front() > 0)) {
    *error = "spindle speeds must be positive";
    return 0;
  }
  if (!(o.boundary_from > 0) || !(o.boundary_to > o.boundary_from)) {
    *error = "--boundary FROM:TO needs 0 < FROM < TO";
    return 0;
  }
  const double mm = base->units == 0 ? 25.4 : 1.0;  // per job length unit
  if (o.boundary_to * mm > kIntakeMaxDepth) {
    *error = "--boundary reaches a depth of " + number(o.boundary_to * mm) +
             " mm; corvanel takes depths of cut up to " + number(kIntakeMaxDepth) + " mm";
    return 0;
  }
  if (!(o.tolerance > 0) || !(o.tolerance < o.boundary_to - o.boundary_from)) {
    *error = "--tolerance must be positive and below the width of --boundary";
    return 0;
  }
  if (o.hdf5) {
    // A search keeps each trial depth's summary, not its results.
    *error = "--hdf5 writes every run's steps, which a boundary search does not keep; plan a grid";
    return 0;
  }
  if (o.rpms.size() > static_cast<size_t>(kPlanMaxRuns)) {
    *error = "the plan has " + std::to_string(o.rpms.size()) + " speeds; a plan holds at most " +
             std::to_string(kPlanMaxRuns);
    return 0;
  }
  return 1;
}

// Everything that can be refused is checked before the folder is touched.
int check_base(const PlanOptions& o, const SimParams* base, std::string* error) {
  if (base->revs_total - base->revs_skipped < 2) {
    *error = o.base_path + ": records " + std::to_string(base->revs_total - base->revs_skipped) +
             " revolutions (total minus skipped); a growth rate needs at least 2";
    return 0;
  }
  const std::string inexact = plan_inexact_field(base);
  if (!inexact.empty()) {
    *error = o.base_path + ": " + inexact +
             " does not survive the job file's six decimals; round it in the base job";
    return 0;
  }
  if (o.boundary) return check_search(o, base, error);
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

// The first depth the search of each speed runs (job length unit).
std::vector<double> search_starts(const PlanOptions& o) {
  std::vector<double> starts;
  std::string why;
  std::unique_ptr<LimitModel, void (*)(LimitModel*)> model(
      limit_create(o.base_path.c_str(), o.database_path.c_str(), &why), limit_free);
  for (double rpm : o.rpms) {
    SearchSettings s{o.boundary_from, o.boundary_to, o.tolerance,
                     std::numeric_limits<double>::quiet_NaN()};
    if (model && limit_has_coefficients(model.get()))
      s.analytic = limit_at_speed(model.get(), rpm).depth / model->length_unit;
    starts.push_back(search_step(s, {}).next_depth);
  }
  return starts;
}

int write_runs(const PlanOptions& o, SimParams* base, const fs::path& out, const std::string& bin,
               std::vector<PlanRun>* runs, std::string* error) {
  const int rows = static_cast<int>(o.rpms.size() * (o.boundary ? 1 : o.depths.size()));
  const std::vector<double> starts = o.boundary ? search_starts(o) : std::vector<double>();
  const std::string sweep = commands_self();
  std::string commands;
  for (size_t speed = 0; speed < o.rpms.size(); ++speed) {
    const double rpm = o.rpms[speed];
    for (double depth : o.boundary ? std::vector<double>{starts[speed]} : o.depths) {
      PlanRun run{static_cast<int>(runs->size()) + 1, rpm, depth, ""};
      run.folder = folder_name(run.row, rows);
      std::error_code ec;
      fs::create_directories(out / run.folder, ec);
      if (ec) {
        *error = "cannot create " + (out / run.folder).string() + ": " + ec.message();
        return 0;
      }
      if (!write_job(base, run, out, error)) return 0;
      commands +=
          (o.boundary ? commands_search_row(out.string(), sweep, bin, run.folder, run.row)
                      : commands_row(out.string(), bin, run.folder, o.keep_series, o.hdf5)) +
          "\n";
      runs->push_back(run);
    }
  }
  if (!plan_write_text((out / kPlanIndex).string(), index_text(*runs), error)) return 0;
  if (o.boundary &&
      !plan_write_text((out / kSearchSettings).string(),
                       search_settings_text(o.boundary_from, o.boundary_to, o.tolerance), error))
    return 0;
  if (!plan_write_text((out / kPlanCommands).string(), commands, error)) return 0;
  const fs::path slurm = out / kPlanSlurm;
  if (!plan_write_text(slurm.string(), commands_slurm_script(out.string(), rows), error)) return 0;
  std::error_code ec;
  fs::permissions(slurm, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                  fs::perm_options::add, ec);
  fs::create_directories(out / "slurm", ec);
  return 1;
}

}  // namespace

std::string plan_inexact_field(const SimParams* job) {
  for (const auto& [name, value] : fixed_numbers(job)) {
    if (grid_six_decimals(value) != value) return name + " " + number(value);
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
  const std::string bin = commands_find_corvanel(o.corvanel);
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
      !check_path_text("the plan folder", out.string(), "\n", error) ||
      (o.boundary &&
       !check_path_text("the corvanel-sweep path", commands_self(), "\"$`\\}\n", error)))
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
