#include "sweep/collect.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <sstream>

#include "app/jobfile.h"
#include "model/units.h"
#include "sweep/plan.h"
#include "sweep/svg.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kFloorShare = 0.2;     // vibration below this share of the scatter RMS is noise
constexpr int kLimitSamples = 1200;     // points of the analytic curve across the map
constexpr size_t kListedProblems = 10;  // failed or missing runs named in the summary
constexpr size_t kListedBottoms = 6;    // lobe bottoms named in the summary

const char* const kClassNames[kCollectClasses] = {"stable", "chatter", "left-cut", "failed",
                                                  "missing"};

std::vector<std::vector<double>> read_rows(const std::string& path, size_t width, bool* ok) {
  std::vector<std::vector<double>> rows;
  std::ifstream in(path);
  *ok = static_cast<bool>(in);
  std::string line;
  while (*ok && std::getline(in, line)) {
    std::istringstream fields(line);
    std::vector<double> row;
    std::string token;
    while (fields >> token) {
      char* end = nullptr;
      row.push_back(std::strtod(token.c_str(), &end));
      if (*end != '\0') *ok = false;
    }
    if (row.size() != width) *ok = false;
    rows.push_back(row);
  }
  return rows;
}

double floor_of(double scatter_rms, const std::vector<CollectRevolution>& revs) {
  double largest = 0;
  for (const CollectRevolution& r : revs) largest = std::max(largest, r.force_x_rms);
  return std::max({kFloorShare * scatter_rms, 1e-12 * largest, 1e-300});
}

double vibration(const CollectRevolution& r, double scatter_rms, double floor) {
  const double v2 = r.force_x_rms * r.force_x_rms - scatter_rms * scatter_rms;
  return std::max(v2 > 0 ? std::sqrt(v2) : 0.0, floor);
}

std::string first_line(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("Running Revolution Number", 0) == 0 || line.empty()) continue;
    return line.substr(0, 200);
  }
  return {};
}

int read_exit_status(const std::string& path, int* code) {
  std::ifstream in(path);
  if (!in) return -1;
  std::string text;
  in >> text;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value < 0 || value > 255) return 0;
  *code = static_cast<int>(value);
  return 1;
}

bool all_finite(const std::vector<CollectRevolution>& revs) {
  for (const CollectRevolution& r : revs)
    if (!std::isfinite(r.force_x_range) || !std::isfinite(r.force_x_rms) ||
        !std::isfinite(r.force_x_mean))
      return false;
  return true;
}

// Depth where the growth ratio crosses 1 between a stable and a chatter run.
double crossing(const CollectResult& stable, const CollectResult& unstable) {
  const double d1 = stable.run.depth, d2 = unstable.run.depth;
  if (unstable.cls != COLLECT_CHATTER || !(stable.growth > 0) || !(unstable.growth > 1))
    return 0.5 * (d1 + d2);
  const double l1 = std::log(stable.growth), l2 = std::log(unstable.growth);
  if (!(l2 > l1)) return 0.5 * (d1 + d2);
  return std::clamp(d1 + (0 - l1) * (d2 - d1) / (l2 - l1), d1, d2);
}

CollectBoundary column_boundary(double rpm, std::vector<const CollectResult*> col) {
  std::sort(col.begin(), col.end(), [](const CollectResult* a, const CollectResult* b) {
    return a->run.depth < b->run.depth;
  });
  CollectBoundary b{rpm, kNaN, kNaN, kNaN, kInfinity};
  const CollectResult* stable = nullptr;
  for (const CollectResult* r : col) {
    if (r->cls == COLLECT_STABLE) stable = r;
    if (r->cls != COLLECT_CHATTER && r->cls != COLLECT_LEFT_CUT) continue;
    b.first_unstable = r->run.depth;
    if (stable != nullptr) {
      b.last_stable = stable->run.depth;
      b.boundary = crossing(*stable, *r);
    }
    break;
  }
  return b;
}

std::string cell(double v, const char* format = "%.6g") {
  if (std::isnan(v)) return "";
  if (std::isinf(v)) return "inf";
  char text[64];
  std::snprintf(text, sizeof text, format, v);
  return text;
}

std::string map_csv(const std::vector<CollectResult>& results) {
  std::string s = "row,rpm,depth,growth,force_pp,class,exit_status,folder\n";
  for (const CollectResult& r : results) {
    s += std::to_string(r.run.row) + "," + cell(r.run.rpm, "%.6f") + "," +
         cell(r.run.depth, "%.6f") + "," + cell(r.growth) + "," + cell(r.force_pp, "%.6f") + "," +
         collect_class_name(r.cls) + "," +
         (r.exit_status >= 0 ? std::to_string(r.exit_status) : std::string()) + "," + r.run.folder +
         "\n";
  }
  return s;
}

std::string boundary_csv(const std::vector<CollectBoundary>& bounds) {
  std::string s = "rpm,last_stable,first_unstable,boundary,analytic\n";
  for (const CollectBoundary& b : bounds)
    s += cell(b.rpm, "%.6f") + "," + cell(b.last_stable) + "," + cell(b.first_unstable) + "," +
         cell(b.boundary) + "," + cell(b.analytic) + "\n";
  return s;
}

using Model = std::unique_ptr<LimitModel, void (*)(LimitModel*)>;

// The analytic curve across the map's speeds, with its csv text.
std::vector<SvgLimitPoint> limit_curve(const LimitModel* model, double from, double to,
                                       std::string* csv) {
  std::vector<SvgLimitPoint> curve;
  *csv = "rpm,depth,chatter_hz,lobe\n";
  if (model == nullptr || !(to > from)) return curve;
  for (int i = 0; i <= kLimitSamples; ++i) {
    const double rpm = from + (to - from) * i / kLimitSamples;
    const LimitPoint p = limit_at_speed(model, rpm);
    const double depth = p.depth / model->length_unit;
    curve.push_back({rpm, depth});
    *csv += cell(rpm, "%.3f") + "," + cell(depth) + "," +
            (std::isfinite(depth)
                 ? cell(p.chatter_freq / 6.283185307179586) + "," + std::to_string(p.lobe)
                 : std::string(",")) +
            "\n";
  }
  return curve;
}

void print_problems(const std::vector<CollectResult>& results, const std::string& unit) {
  size_t listed = 0, problems = 0;
  for (const CollectResult& r : results) {
    if (r.cls != COLLECT_FAILED && r.cls != COLLECT_MISSING) continue;
    if (listed++ < kListedProblems)
      std::printf("  row %d (%s, %g rpm, %g %s): %s%s%s\n", r.run.row, r.run.folder.c_str(),
                  r.run.rpm, r.run.depth, unit.c_str(), collect_class_name(r.cls),
                  r.note.empty() ? "" : ", ", r.note.c_str());
    ++problems;
  }
  if (problems > kListedProblems) std::printf("  ... and %zu more\n", problems - kListedProblems);
}

// The analytic lobe bottoms inside the map beside the simulated boundary of the nearest speed.
void print_bottoms(const LimitModel* model, const std::vector<CollectBoundary>& bounds, double from,
                   double to, const std::string& unit) {
  if (model == nullptr || bounds.empty()) return;
  const std::vector<LimitBottom> bottoms = limit_bottoms(model, from, to);
  for (size_t i = 0; i < bottoms.size(); ++i) {
    if (i == kListedBottoms) {
      std::printf("... and %zu more lobe bottoms at lower speeds\n", bottoms.size() - i);
      break;
    }
    const LimitBottom& lb = bottoms[i];
    const CollectBoundary* near = &bounds.front();
    for (const CollectBoundary& b : bounds)
      if (std::fabs(b.rpm - lb.rpm) < std::fabs(near->rpm - lb.rpm)) near = &b;
    std::printf("lobe %d bottom at %.1f rpm: analytic limit %.4g %s", lb.lobe, lb.rpm,
                lb.depth / model->length_unit, unit.c_str());
    if (std::isfinite(near->boundary)) {
      std::printf("; simulated boundary at %g rpm %.4g %s (analytic there %.4g, %+.1f %%)\n",
                  near->rpm, near->boundary, unit.c_str(), near->analytic,
                  100 * (near->boundary / near->analytic - 1));
    } else {
      std::printf("; no simulated boundary at %g rpm\n", near->rpm);
    }
  }
}

}  // namespace

const char* collect_class_name(CollectClass cls) {
  return cls >= 0 && cls < kCollectClasses ? kClassNames[cls] : "?";
}

int collect_read_revolutions(const std::string& rms_path, const std::string& ave_path,
                             std::vector<CollectRevolution>* revolutions, std::string* error) {
  revolutions->clear();
  bool rms_ok = false, ave_ok = false;
  const auto rms = read_rows(rms_path, 18, &rms_ok);
  const auto ave = read_rows(ave_path, 9, &ave_ok);
  if (!rms_ok || !ave_ok) {
    *error = std::string("cannot read ") + (!rms_ok ? "the .rms" : "the .ave") + " file";
    return 0;
  }
  if (rms.size() != ave.size()) {
    *error = "the .rms and .ave files disagree on the revolutions";
    return 0;
  }
  for (size_t i = 0; i < rms.size(); ++i) revolutions->push_back({rms[i][0], rms[i][9], ave[i][0]});
  return 1;
}

double collect_scatter_rms(double reference_force) {
  // The draw q is uniform over 0..32767; the scatter is (q - 16383.5) * 0.03 R / 16383.5.
  const double draw_rms = std::sqrt((32768.0 * 32768.0 - 1.0) / 12.0);
  return draw_rms * 0.03 / 16383.5 * std::fabs(reference_force);
}

double collect_growth(const std::vector<CollectRevolution>& revs, double scatter_rms) {
  const size_t n = revs.size();
  if (n < 2) return kNaN;
  const double floor = floor_of(scatter_rms, revs);
  double mean_x = (n - 1) / 2.0, mean_y = 0;
  std::vector<double> y(n);
  for (size_t i = 0; i < n; ++i) mean_y += y[i] = std::log(vibration(revs[i], scatter_rms, floor));
  mean_y /= n;
  double sxy = 0, sxx = 0;
  for (size_t i = 0; i < n; ++i) {
    sxy += (i - mean_x) * (y[i] - mean_y);
    sxx += (i - mean_x) * (i - mean_x);
  }
  return std::exp(sxy / sxx * (n - 1));
}

CollectClass collect_classify(const std::vector<CollectRevolution>& revs, double scatter_rms,
                              double* growth) {
  *growth = collect_growth(revs, scatter_rms);
  for (const CollectRevolution& r : revs)
    if (r.force_x_range > 0 && r.force_x_range >= 2 * std::fabs(r.force_x_mean))
      return COLLECT_LEFT_CUT;
  if (revs.empty()) return COLLECT_STABLE;
  const double floor = floor_of(scatter_rms, revs);
  const bool above_scatter = vibration(revs.back(), scatter_rms, floor) > floor;
  return *growth > 1 && above_scatter ? COLLECT_CHATTER : COLLECT_STABLE;
}

CollectResult collect_run(const std::string& out_dir, const PlanRun& run, int expected,
                          double scatter_rms) {
  CollectResult r{run, COLLECT_MISSING, -1, 0, kNaN, kNaN, ""};
  const std::string dir = out_dir + "/" + run.folder + "/";
  int code = 0;
  const int status = read_exit_status(dir + kPlanExitFile, &code);
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
    const std::string why = first_line(dir + kPlanLogFile);
    r.note = "exit status " + std::to_string(code) + (why.empty() ? "" : ": " + why);
    return r;
  }
  std::vector<CollectRevolution> revs;
  std::string error;
  if (!collect_read_revolutions(dir + kPlanJob + ".rms", dir + kPlanJob + ".ave", &revs, &error)) {
    r.note = error;
    return r;
  }
  r.revolutions = static_cast<int>(revs.size());
  if (r.revolutions < expected || revs.empty()) {
    r.note =
        std::to_string(r.revolutions) + " of " + std::to_string(expected) + " revolutions recorded";
    return r;
  }
  if (!all_finite(revs)) {
    r.note = "the results are not all numbers";
    return r;
  }
  r.force_pp = revs.back().force_x_range;
  r.cls = collect_classify(revs, scatter_rms, &r.growth);
  return r;
}

std::vector<CollectBoundary> collect_boundaries(const std::vector<CollectResult>& results,
                                                const LimitModel* model) {
  std::map<double, std::vector<const CollectResult*>> columns;
  for (const CollectResult& r : results) columns[r.run.rpm].push_back(&r);
  std::vector<CollectBoundary> bounds;
  for (const auto& [rpm, col] : columns) {
    CollectBoundary b = column_boundary(rpm, col);
    if (model != nullptr) b.analytic = limit_at_speed(model, rpm).depth / model->length_unit;
    bounds.push_back(b);
  }
  return bounds;
}

int collect_all(const std::string& out, std::string* error) {
  std::vector<PlanRun> runs;
  if (!plan_read_index(out, &runs, error)) return 2;
  const std::string base = out + "/" + kPlanBase;
  std::string why;
  Model model(limit_create(base.c_str(), (out + "/" + kPlanDatabase).c_str(), &why), limit_free);
  if (!model) {
    *error = why;
    return 2;
  }
  const LimitModel* m = limit_has_coefficients(model.get()) ? model.get() : nullptr;
  if (m == nullptr) std::printf("no coefficients for the base job: no analytic limit\n");
  const int expected = model->params->revs_total - model->params->revs_skipped;
  if (std::string w = plan_increments_warning(model->params); !w.empty())
    std::printf("warning: %s\n", w.c_str());
  const std::string unit = model->params->units == 0 ? "in" : "mm";
  std::vector<CollectResult> results;
  int counts[kCollectClasses] = {};
  for (const PlanRun& run : runs) {
    // The reference force of the scatter is the X force of the nominal chip.
    const double reference =
        limit_nominal_force(model.get(), run.rpm, run.depth * model->length_unit) /
        model->force_unit;
    results.push_back(collect_run(out, run, expected, collect_scatter_rms(reference)));
    ++counts[results.back().cls];
  }
  const std::vector<CollectBoundary> bounds = collect_boundaries(results, m);
  std::vector<double> speeds;
  for (const CollectBoundary& b : bounds) speeds.push_back(b.rpm);
  double from = 0, to = 0;
  svg_axis_range(speeds, &from, &to);
  std::string limit_text;
  SvgMap map{model->params->title, unit, results, limit_curve(m, from, to, &limit_text), {}, 0};
  for (const CollectBoundary& b : bounds)
    map.boundary.push_back({b.rpm, b.last_stable, b.first_unstable, b.boundary});
  // The engine's cutting speed at the first step: pi x diameter x rpm, in m/min.
  map.cutting_speed_per_rpm = kPi * (2 * model->params->workpiece_radius);
  if (!plan_write_text(out + "/map.csv", map_csv(results), error) ||
      !plan_write_text(out + "/boundary.csv", boundary_csv(bounds), error) ||
      !plan_write_text(out + "/limit.csv", limit_text, error) ||
      !plan_write_text(out + "/map.svg", svg_map(map), error))
    return 2;
  std::printf("%zu runs: %d stable, %d chatter, %d left the cut, %d failed, %d missing\n",
              results.size(), counts[COLLECT_STABLE], counts[COLLECT_CHATTER],
              counts[COLLECT_LEFT_CUT], counts[COLLECT_FAILED], counts[COLLECT_MISSING]);
  print_problems(results, unit);
  print_bottoms(m, bounds, from, to, unit);
  std::printf("wrote %s/map.csv, boundary.csv, limit.csv and map.svg\n", out.c_str());
  return counts[COLLECT_FAILED] + counts[COLLECT_MISSING] == 0 ? 0 : 1;
}
