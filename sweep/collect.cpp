#include "sweep/collect.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/jobfile.h"
#include "engine/cut_coefficients.h"
#include "engine/verdict.h"
#include "model/units.h"
#include "sweep/boundary.h"
#include "sweep/index.h"
#include "sweep/plan.h"
#include "sweep/svg.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int kLimitSamples = 1200;     // points of the analytic curve across the map
constexpr size_t kListedProblems = 10;  // failed or missing runs named in the summary
constexpr size_t kListedBottoms = 6;    // lobe bottoms named in the summary

const char* const kClassNames[kCollectClasses] = {"stable",    "chatter", "left-cut",
                                                  "undecided", "failed",  "missing"};

// The map's class of each engine verdict.
constexpr std::pair<VerdictClass, CollectClass> kVerdictClasses[] = {
    {VERDICT_STABLE, COLLECT_STABLE},
    {VERDICT_CHATTER, COLLECT_CHATTER},
    {VERDICT_TOOL_LEFT_CUT, COLLECT_LEFT_CUT},
    {VERDICT_UNDECIDED, COLLECT_UNDECIDED},
};

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

std::string cell(double v, const char* format = "%.6g") {
  if (std::isnan(v)) return "";
  if (std::isinf(v)) return "inf";
  char text[64];
  std::snprintf(text, sizeof text, format, v);
  return text;
}

std::string map_csv(const std::vector<CollectResult>& results) {
  std::string s = "row,rpm,depth,growth_rate,chatter_hz,force_pp,class,exit_status,folder\n";
  for (const CollectResult& r : results) {
    s += std::to_string(r.run.row) + "," + cell(r.run.rpm, "%.6f") + "," +
         cell(r.run.depth, "%.6f") + "," + cell(r.growth_rate) + "," + cell(r.frequency) + "," +
         cell(r.force_pp, "%.6f") + "," + collect_class_name(r.cls) + "," +
         (r.exit_status >= 0 ? std::to_string(r.exit_status) : std::string()) + "," + r.run.folder +
         "\n";
  }
  return s;
}

std::string boundary_csv(const std::vector<Boundary>& bounds) {
  std::string s = "rpm,last_stable,first_unstable,boundary,analytic\n";
  for (const Boundary& b : bounds)
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
            (std::isfinite(depth) ? cell(p.chatter_freq / (2 * kPi)) + "," + std::to_string(p.lobe)
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
void print_bottoms(const LimitModel* model, const std::vector<Boundary>& bounds, double from,
                   double to, const std::string& unit) {
  if (model == nullptr || bounds.empty()) return;
  const std::vector<LimitBottom> bottoms = limit_bottoms(model, from, to);
  for (size_t i = 0; i < bottoms.size(); ++i) {
    if (i == kListedBottoms) {
      std::printf("... and %zu more lobe bottoms at lower speeds\n", bottoms.size() - i);
      break;
    }
    const LimitBottom& lb = bottoms[i];
    const Boundary* near = &bounds.front();
    for (const Boundary& b : bounds)
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

int collect_read_verdict(const std::string& path, CollectVerdict* verdict, std::string* error) {
  std::ifstream in(path);
  if (!in) {
    *error = "no run summary";
    return 0;
  }
  const nlohmann::json j = nlohmann::json::parse(in, nullptr, false);
  // A number the engine could not give (too few revolutions, no spectrum) is null.
  const auto number = [](const nlohmann::json& v) {
    return v.is_number() ? v.get<double>() : kNaN;
  };
  const nlohmann::json* name = nullptr;
  if (j.is_object() && j.contains("verdict") && j["verdict"].is_object() &&
      j["verdict"].contains("class") && j["verdict"]["class"].is_string())
    name = &j["verdict"]["class"];
  if (name == nullptr) {
    *error = "the run summary holds no verdict";
    return 0;
  }
  for (const auto& [engine, cls] : kVerdictClasses) {
    if (name->get<std::string>() != verdict_name(engine)) continue;
    verdict->cls = cls;
    verdict->growth_rate =
        number(j["verdict"].value("growth_rate_per_revolution", nlohmann::json()));
    verdict->frequency =
        j.contains("vibration") && j["vibration"].is_object()
            ? number(j["vibration"].value("dominant_frequency_Hz", nlohmann::json()))
            : kNaN;
    return 1;
  }
  *error = "unknown verdict '" + name->get<std::string>().substr(0, 40) + "' in the run summary";
  return 0;
}

CollectResult collect_run(const std::string& out_dir, const PlanRun& run, int expected) {
  CollectResult r{run, COLLECT_MISSING, -1, 0, kNaN, kNaN, kNaN, ""};
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
  CollectVerdict verdict{};
  if (!collect_read_verdict(dir + kPlanJob + ".summary.json", &verdict, &r.note)) return r;
  r.force_pp = revs.back().force_x_range;
  r.cls = verdict.cls;
  r.growth_rate = verdict.growth_rate;
  r.frequency = verdict.frequency;
  return r;
}

int collect_all(const std::string& out, std::string* error) {
  std::vector<PlanRun> runs;
  if (!index_read(out, &runs, error)) return 2;
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
    results.push_back(collect_run(out, run, expected));
    ++counts[results.back().cls];
  }
  const std::vector<Boundary> bounds = boundary_per_speed(results, m);
  std::vector<double> speeds;
  for (const Boundary& b : bounds) speeds.push_back(b.rpm);
  double from = 0, to = 0;
  svg_axis_range(speeds, &from, &to);
  std::string limit_text;
  SvgMap map{model->params->title, unit, results, limit_curve(m, from, to, &limit_text), {}, 0};
  for (const Boundary& b : bounds)
    map.boundary.push_back({b.rpm, b.last_stable, b.first_unstable, b.boundary});
  // The engine's cutting speed at the first step, per rev/min.
  map.cutting_speed_per_rpm = cut_coefficients_speed(2 * model->params->workpiece_radius, 1.0);
  if (!plan_write_text(out + "/map.csv", map_csv(results), error) ||
      !plan_write_text(out + "/boundary.csv", boundary_csv(bounds), error) ||
      !plan_write_text(out + "/limit.csv", limit_text, error) ||
      !plan_write_text(out + "/map.svg", svg_map(map), error))
    return 2;
  std::printf(
      "%zu runs: %d stable, %d chatter, %d left the cut, %d undecided, %d failed, %d missing\n",
      results.size(), counts[COLLECT_STABLE], counts[COLLECT_CHATTER], counts[COLLECT_LEFT_CUT],
      counts[COLLECT_UNDECIDED], counts[COLLECT_FAILED], counts[COLLECT_MISSING]);
  print_problems(results, unit);
  print_bottoms(m, bounds, from, to, unit);
  std::printf("wrote %s/map.csv, boundary.csv, limit.csv and map.svg\n", out.c_str());
  return counts[COLLECT_FAILED] + counts[COLLECT_MISSING] == 0 ? 0 : 1;
}
