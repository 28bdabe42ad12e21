#include "sweep/collect.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>

#include "engine/cut_coefficients.h"
#include "sweep/boundary.h"
#include "sweep/index.h"
#include "sweep/mapfiles.h"
#include "sweep/plan.h"
#include "sweep/rundir.h"
#include "sweep/search.h"
#include "sweep/svg.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

const char* const kClassNames[kCollectClasses] = {"stable",    "chatter", "left-cut",
                                                  "undecided", "failed",  "missing"};

bool all_finite(const std::vector<RundirRevolution>& revs) {
  for (const RundirRevolution& r : revs)
    if (!std::isfinite(r.force_x_range) || !std::isfinite(r.force_x_rms) ||
        !std::isfinite(r.force_x_mean))
      return false;
  return true;
}

using Model = std::unique_ptr<LimitModel, void (*)(LimitModel*)>;

// The base job's analytic model and what collect says of it; null with *error.
Model open_model(const std::string& out, const LimitModel** usable, std::string* error) {
  Model model(
      limit_create((out + "/" + kPlanBase).c_str(), (out + "/" + kPlanDatabase).c_str(), error),
      limit_free);
  if (!model) return model;
  *usable = limit_has_coefficients(model.get()) ? model.get() : nullptr;
  if (*usable == nullptr) std::printf("no coefficients for the base job: no analytic limit\n");
  if (std::string w = plan_increments_warning(model->params); !w.empty())
    std::printf("warning: %s\n", w.c_str());
  return model;
}

// Writes limit.csv and map.svg over the speeds given; 0 with *error.
int write_picture(const std::string& out, SvgMap* map, const LimitModel* usable,
                  const SimParams* base, const std::vector<double>& speeds, double* from,
                  double* to, std::string* error) {
  svg_axis_range(speeds, from, to);
  std::string limit_text;
  map->limit = mapfiles_limit_curve(usable, *from, *to, &limit_text);
  // The engine's cutting speed at the first step, per rev/min.
  map->cutting_speed_per_rpm = cut_coefficients_speed(2 * base->workpiece_radius, 1.0);
  return plan_write_text(out + "/limit.csv", limit_text, error) &&
         plan_write_text(out + "/map.svg", svg_map(*map), error);
}

// Collects a boundary plan: each row's boundary into boundary.csv, drawn in map.svg.
int collect_search(const std::string& out, const std::vector<PlanRun>& rows, std::string* error) {
  const LimitModel* m = nullptr;
  Model model = open_model(out, &m, error);
  if (!model) return 2;
  SearchSettings settings{};
  if (!search_read_settings(out, &settings, error)) return 2;
  const std::string unit = model->params->units == 0 ? "in" : "mm";
  std::vector<MapfilesSearchRow> found;
  std::map<std::string, int> counts;
  std::vector<Boundary> bounds;
  std::vector<double> speeds;
  SvgMap map{model->params->title, unit, {}, {}, {}, 0};
  map.depth_from = settings.from;
  map.depth_to = settings.to;
  int problems = 0;
  for (const PlanRun& row : rows) {
    const std::string dir = out + "/" + row.folder + "/";
    MapfilesSearchRow r{row.rpm, kNaN, kNaN, kNaN, 0, kNaN, "missing"};
    std::string why;
    int code = 0;
    if (!search_read_result(dir + kSearchResult, &r, &why)) {
      if (rundir_read_exit_status(dir + kPlanExitFile, &code) > 0 && code != 0) {
        r.status = "failed";
        why = rundir_log_line(dir + kSearchLog);
      }
      if (m != nullptr) r.analytic = limit_at_speed(m, row.rpm).depth / m->length_unit;
      if (problems++ < 10)
        std::printf("  row %d (%s, %g rpm): %s%s%s\n", row.row, row.folder.c_str(), row.rpm,
                    r.status.c_str(), why.empty() ? "" : ", ", why.c_str());
    }
    ++counts[r.status];
    found.push_back(r);
    speeds.push_back(r.rpm);
    const bool edge = r.status == "stable-throughout" || r.status == "unstable-throughout";
    bounds.push_back({r.rpm, r.low, r.high, edge ? kNaN : r.depth, r.analytic});
    map.boundary.push_back({r.rpm, r.low, r.high, edge ? kNaN : r.depth});
  }
  double from = 0, to = 0;
  if (!plan_write_text(out + "/boundary.csv", mapfiles_search_boundary_csv(found), error) ||
      !write_picture(out, &map, m, model->params, speeds, &from, &to, error))
    return 2;
  std::printf("%zu speeds:", found.size());
  const char* separator = " ";
  for (const auto& [status, n] : counts) {
    std::printf("%s%d %s", separator, n, status.c_str());
    separator = ", ";
  }
  std::printf("\n");
  mapfiles_print_bottoms(m, bounds, from, to, unit);
  std::printf("wrote %s/boundary.csv, limit.csv and map.svg\n", out.c_str());
  return counts["missing"] + counts["failed"] + counts["unresolved"] == 0 ? 0 : 1;
}

}  // namespace

const char* collect_class_name(CollectClass cls) {
  return cls >= 0 && cls < kCollectClasses ? kClassNames[cls] : "?";
}

CollectResult collect_run(const std::string& out_dir, const PlanRun& run, int expected) {
  CollectResult r{run, COLLECT_MISSING, -1, 0, kNaN, kNaN, kNaN, ""};
  const std::string dir = out_dir + "/" + run.folder + "/";
  int code = 0;
  const int status = rundir_read_exit_status(dir + kPlanExitFile, &code);
  if (status < 0) {
    r.note = "no exit status: not run yet, still running or interrupted";
    return r;
  }
  r.cls = COLLECT_FAILED;
  if (status == 0) {
    r.note = "unreadable exit status";
    return r;
  }
  r.exit_status = code;
  if (code != 0) {
    const std::string why = rundir_log_line(dir + kPlanLogFile);
    r.note = "exit status " + std::to_string(code) + (why.empty() ? "" : ": " + why);
    return r;
  }
  std::vector<RundirRevolution> revs;
  std::string error;
  if (!rundir_read_revolutions(dir + kPlanJob + ".rms", dir + kPlanJob + ".ave", &revs, &error)) {
    r.note = error;
    return r;
  }
  r.revolutions = static_cast<int>(revs.size());
  RundirVerdict verdict{};
  std::string why;
  const bool read = rundir_read_verdict(dir + kPlanJob + ".summary.json", &verdict, &why);
  // A run that stopped once decided records fewer revolutions than the job asks for.
  if (revs.empty() || (r.revolutions < expected && !(read && verdict.stopped_at_revolution > 0))) {
    r.note =
        std::to_string(r.revolutions) + " of " + std::to_string(expected) + " revolutions recorded";
    return r;
  }
  if (!all_finite(revs)) {
    r.note = "the results are not all numbers";
    return r;
  }
  if (!read) {
    r.note = why;
    return r;
  }
  r.force_pp = revs.back().force_x_range;
  r.cls = verdict.cls;
  r.growth_rate = verdict.growth_rate;
  r.frequency = verdict.frequency;
  return r;
}

int collect_all(const std::string& out, std::string* error) {
  std::vector<PlanRun> runs;
  if (!index_read(out, &runs, error)) return 2;
  if (std::filesystem::exists(out + "/" + kSearchSettings)) return collect_search(out, runs, error);
  const LimitModel* m = nullptr;
  Model model = open_model(out, &m, error);
  if (!model) return 2;
  const int expected = model->params->revs_total - model->params->revs_skipped;
  const std::string unit = model->params->units == 0 ? "in" : "mm";
  std::vector<CollectResult> results;
  int counts[kCollectClasses] = {};
  for (const PlanRun& run : runs) {
    results.push_back(collect_run(out, run, expected));
    ++counts[results.back().cls];
  }
  const std::vector<Boundary> bounds = boundary_per_speed(results, m);
  std::vector<double> speeds;
  for (const Boundary& b : bounds) speeds.push_back(b.rpm);
  SvgMap map{model->params->title, unit, results, {}, {}, 0};
  for (const Boundary& b : bounds)
    map.boundary.push_back({b.rpm, b.last_stable, b.first_unstable, b.boundary});
  double from = 0, to = 0;
  if (!plan_write_text(out + "/map.csv", mapfiles_map_csv(results), error) ||
      !plan_write_text(out + "/boundary.csv", mapfiles_grid_boundary_csv(bounds), error) ||
      !write_picture(out, &map, m, model->params, speeds, &from, &to, error))
    return 2;
  std::printf(
      "%zu runs: %d stable, %d chatter, %d left the cut, %d undecided, %d failed, %d missing\n",
      results.size(), counts[COLLECT_STABLE], counts[COLLECT_CHATTER], counts[COLLECT_LEFT_CUT],
      counts[COLLECT_UNDECIDED], counts[COLLECT_FAILED], counts[COLLECT_MISSING]);
  mapfiles_print_problems(results, unit);
  mapfiles_print_bottoms(m, bounds, from, to, unit);
  std::printf("wrote %s/map.csv, boundary.csv, limit.csv and map.svg\n", out.c_str());
  return counts[COLLECT_FAILED] + counts[COLLECT_MISSING] == 0 ? 0 : 1;
}
