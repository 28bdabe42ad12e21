#include "sweep/mapfiles.h"

#include <cmath>
#include <cstdio>

#include "model/units.h"

namespace {

constexpr int kLimitSamples = 1200;     // points of the analytic curve across the map
constexpr size_t kListedProblems = 10;  // failed or missing runs named in the summary
constexpr size_t kListedBottoms = 6;    // lobe bottoms named in the summary

std::string cell(double v, const char* format = "%.6g") {
  return mapfiles_cell(v, format);
}

}  // namespace

std::string mapfiles_cell(double v, const char* format) {
  if (std::isnan(v)) return "";
  if (std::isinf(v)) return "inf";
  char text[64];
  std::snprintf(text, sizeof text, format, v);
  return text;
}

std::string mapfiles_map_csv(const std::vector<CollectResult>& results) {
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

std::string mapfiles_grid_boundary_csv(const std::vector<Boundary>& bounds) {
  std::string s = "rpm,last_stable,first_unstable,boundary,analytic\n";
  for (const Boundary& b : bounds)
    s += cell(b.rpm, "%.6f") + "," + cell(b.last_stable) + "," + cell(b.first_unstable) + "," +
         cell(b.boundary) + "," + cell(b.analytic) + "\n";
  return s;
}

std::string mapfiles_search_boundary_csv(const std::vector<MapfilesSearchRow>& rows) {
  std::string s = "rpm,depth,bracket_low,bracket_high,runs,analytic,status\n";
  for (const MapfilesSearchRow& r : rows)
    s += cell(r.rpm, "%.6f") + "," + cell(r.depth, "%.6f") + "," + cell(r.low, "%.6f") + "," +
         cell(r.high, "%.6f") + "," + std::to_string(r.runs) + "," + cell(r.analytic, "%.6f") +
         "," + r.status + "\n";
  return s;
}

std::vector<SvgLimitPoint> mapfiles_limit_curve(const LimitModel* model, double from, double to,
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

void mapfiles_print_problems(const std::vector<CollectResult>& results, const std::string& unit) {
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

void mapfiles_print_bottoms(const LimitModel* model, const std::vector<Boundary>& bounds,
                            double from, double to, const std::string& unit) {
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
