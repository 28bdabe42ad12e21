#include "plot/runsummary.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>

namespace {

using Json = nlohmann::json;

constexpr long kLargestSummary = 256L
                                 << 20;  // bytes; a summary of a million revolutions is smaller

const char* const kAxes[3] = {"x", "y", "z"};

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};

// Takes values out of the document, remembering the first key that is
// missing or of the wrong kind; later lookups then do nothing.
class Reader {
 public:
  const std::string& fault() const { return fault_; }

  // The member key of object (named where, for the message), or null.
  const Json* member(const Json& object, const char* key, const std::string& where) {
    if (!fault_.empty()) return nullptr;
    if (!object.is_object() || !object.contains(key)) {
      fault_ = "no \"" + where + key + "\"";
      return nullptr;
    }
    return &object[key];
  }
  // A number; null (how the summary writes what is not finite) reads as NaN.
  double number(const Json& object, const char* key, const std::string& where) {
    const Json* v = member(object, key, where);
    if (v == nullptr) return std::numeric_limits<double>::quiet_NaN();
    if (v->is_null()) return std::numeric_limits<double>::quiet_NaN();
    if (!v->is_number()) return wrong(where + key, "a number");
    return v->get<double>();
  }
  int integer(const Json& object, const char* key, const std::string& where) {
    const Json* v = member(object, key, where);
    if (v == nullptr) return 0;
    if (!v->is_number_integer() || v->get<long long>() < std::numeric_limits<int>::min() ||
        v->get<long long>() > std::numeric_limits<int>::max()) {
      wrong(where + key, "a whole number");
      return 0;
    }
    return static_cast<int>(v->get<long long>());
  }
  std::string text(const Json& object, const char* key, const std::string& where) {
    const Json* v = member(object, key, where);
    if (v == nullptr) return {};
    if (!v->is_string()) {
      wrong(where + key, "a text");
      return {};
    }
    return v->get<std::string>();
  }
  // The member key, which must be an object (or an array when array is set).
  const Json& part(const Json& object, const char* key, const std::string& where,
                   bool array = false) {
    static const Json kEmpty;
    const Json* v = member(object, key, where);
    if (v == nullptr) return kEmpty;
    if (array ? !v->is_array() : !v->is_object()) {
      wrong(where + key, array ? "a list" : "an object");
      return kEmpty;
    }
    return *v;
  }

 private:
  double wrong(const std::string& key, const char* kind) {
    if (fault_.empty()) fault_ = "\"" + key + "\" is not " + kind;
    return std::numeric_limits<double>::quiet_NaN();
  }
  std::string fault_;
};

RunSummaryMode mode_of(Reader* r, const Json& m, const std::string& where) {
  RunSummaryMode mode;
  mode.structure = r->text(m, "structure", where);
  mode.axis = r->text(m, "axis", where);
  mode.index = r->integer(m, "index", where);
  mode.natural_frequency = r->number(m, "natural_frequency_Hz", where);
  mode.damped_frequency = r->number(m, "damped_frequency_Hz", where);
  mode.damping_ratio = r->number(m, "damping_ratio", where);
  mode.stiffness = r->number(m, "stiffness_N_per_m", where);
  mode.mass = r->number(m, "mass_kg", where);
  mode.delay_steps = r->integer(m, "delay_steps", where);
  return mode;
}

RunSummaryCutting cutting_of(Reader* r, const Json& c, const std::string& where) {
  RunSummaryCutting out;
  out.revolution = r->integer(c, "revolution", where);
  out.step = r->integer(c, "step", where);
  out.cutting_speed = r->number(c, "cutting_speed_m_per_min", where);
  out.chip_thickness = r->number(c, "average_chip_thickness_m", where);
  out.kf = r->number(c, "kf_Pa", where);
  out.kn = r->number(c, "kn_Pa", where);
  out.chip_flow_angle = r->number(c, "chip_flow_angle_deg", where);
  out.wear_land = r->number(c, "wear_land_mm", where);
  return out;
}

void quantities(Reader* r, const Json& revolution, const char* key, const std::string& where,
                double (&out)[kRunSummaryQuantities]) {
  const Json& values = r->part(revolution, key, where);
  const std::string inner = where + key + ".";
  for (int q = 0; q < kRunSummaryQuantities; ++q)
    out[q] = r->number(values, kRevolutionQuantities[q].key, inner);
}

// Fills *s from the document; "" or the first fault.
std::string take(const Json& j, PlotSummary* s) {
  Reader r;
  const Json& verdict = r.part(j, "verdict", "");
  s->verdict = r.text(verdict, "class", "verdict.");
  s->verdict_rule = r.text(verdict, "rule", "verdict.");
  s->growth_rate = r.number(verdict, "growth_rate_per_revolution", "verdict.");
  const Json& vibration = r.part(j, "vibration", "");
  s->dominant_frequency = r.number(vibration, "dominant_frequency_Hz", "vibration.");
  s->frequency_resolution = r.number(vibration, "frequency_resolution_Hz", "vibration.");
  s->amplitude = r.number(vibration, "amplitude_m", "vibration.");
  if (const Json* nearest = r.member(vibration, "nearest_mode", "vibration.");
      nearest != nullptr && !nearest->is_null()) {
    s->nearest_mode =
        mode_of(&r, r.part(vibration, "nearest_mode", "vibration."), "vibration.nearest_mode.");
    s->has_nearest_mode = true;
  }
  const Json& forces = r.part(j, "forces", "");
  for (int a = 0; a < 3; ++a) {
    const std::string where = std::string("forces.") + kAxes[a] + ".";
    const Json& f = r.part(forces, kAxes[a], "forces.");
    s->forces[a] = {r.number(f, "mean_N", where), r.number(f, "min_N", where),
                    r.number(f, "max_N", where), r.number(f, "peak_to_peak_N", where)};
  }
  const Json& cutting = r.part(j, "cutting", "");
  s->first_step = cutting_of(&r, r.part(cutting, "first_step", "cutting."), "cutting.first_step.");
  s->last_step = cutting_of(&r, r.part(cutting, "last_step", "cutting."), "cutting.last_step.");
  const Json& deflection = r.part(j, "static_deflection", "");
  const char* const structures[3] = {"workpiece", "tool", "relative"};
  for (int st = 0; st < 3; ++st) {
    const Json& axes = r.part(deflection, structures[st], "static_deflection.");
    const std::string where = std::string("static_deflection.") + structures[st] + ".";
    for (int a = 0; a < 3; ++a)
      s->static_deflection[st][a] = r.number(axes, (std::string(kAxes[a]) + "_m").c_str(), where);
  }
  for (const Json& m : r.part(j, "modes", "", true)) s->modes.push_back(mode_of(&r, m, "modes[]."));
  for (const Json& rev : r.part(j, "revolutions", "", true)) {
    RunSummaryRevolution out;
    out.revolution = r.integer(rev, "revolution", "revolutions[].");
    quantities(&r, rev, "range", "revolutions[].", out.range);
    quantities(&r, rev, "rms", "revolutions[].", out.rms);
    quantities(&r, rev, "mean", "revolutions[].", out.mean);
    out.relative_x_vibration = r.number(rev, "relative_x_vibration_m", "revolutions[].");
    s->revolutions.push_back(out);
  }
  // Summaries of earlier versions carry no spectrum: the picture is then left out.
  if (r.fault().empty() && j.contains("spectrum")) {
    const Json& spectrum = r.part(j, "spectrum", "");
    s->spectrum_resolution = r.number(spectrum, "frequency_resolution_Hz", "spectrum.");
    for (const Json& a : r.part(spectrum, "amplitude_m", "spectrum.", true)) {
      if (!a.is_number() && !a.is_null())
        return "\"spectrum.amplitude_m\" holds what is not a number";
      s->spectrum.push_back(a.is_null() ? std::numeric_limits<double>::quiet_NaN()
                                        : a.get<double>());
    }
    if (r.fault().empty() && !(s->spectrum_resolution > 0) && !s->spectrum.empty())
      return "\"spectrum.frequency_resolution_Hz\" is not a positive number";
  }
  return r.fault();
}

// The whole file at path in *text; 0 with *error, and *missing set when there is no file.
int read_text(const std::string& path, std::string* text, bool* missing, std::string* error) {
  errno = 0;
  std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    *missing = errno == ENOENT;
    *error = path + ": cannot be read: " + std::strerror(errno != 0 ? errno : EIO);
    return 0;
  }
  char buffer[65536];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
    if (static_cast<long>(text->size() + got) > kLargestSummary) {
      *error = path + ": larger than " + std::to_string(kLargestSummary >> 20) +
               " MB, not a run summary";
      return 0;
    }
    text->append(buffer, got);
  }
  if (std::ferror(file.get())) {
    *error = path + ": cannot be read: " + std::strerror(errno != 0 ? errno : EIO);
    return 0;
  }
  return 1;
}

bool any_finite(const std::vector<RunSummaryRevolution>& revs,
                const double (RunSummaryRevolution::*values)[kRunSummaryQuantities], int first) {
  for (const RunSummaryRevolution& rev : revs)
    for (int q = first; q < first + 3; ++q)
      if (std::isfinite((rev.*values)[q])) return true;
  return false;
}

}  // namespace

int runsummary_read(const std::string& path, PlotSummary* summary, std::string* error) {
  *summary = PlotSummary{};
  summary->path = path;
  std::string text;
  bool missing = false;
  if (!read_text(path, &text, &missing, error)) {
    if (missing) error->clear();
    return missing ? 1 : 0;
  }
  const Json j = Json::parse(text, nullptr, false);
  if (j.is_discarded() || !j.is_object()) {
    *error = path + ": not a run summary (not a JSON object)";
    return 0;
  }
  const std::string fault = take(j, summary);
  if (!fault.empty()) {
    *error = path + ": not a run summary of this version: " + fault;
    *summary = PlotSummary{};
    summary->path = path;
    return 0;
  }
  summary->present = true;
  return 1;
}

bool runsummary_has_spectrum(const PlotSummary& s) {
  if (!s.present || s.spectrum.size() < 2 || !(s.spectrum_resolution > 0)) return false;
  for (double a : s.spectrum)
    if (std::isfinite(a)) return true;
  return false;
}

bool runsummary_displacements_drawable(const PlotSummary& s) {
  for (int first = 3; first < kRunSummaryQuantities; first += 3) {
    if (!any_finite(s.revolutions, &RunSummaryRevolution::range, first) ||
        !any_finite(s.revolutions, &RunSummaryRevolution::rms, first) ||
        !any_finite(s.revolutions, &RunSummaryRevolution::mean, first))
      return false;
  }
  return true;
}
