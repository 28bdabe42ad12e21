#include "results/run_summary.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "model/fields.h"
#include "model/units.h"

namespace {

using Json = nlohmann::ordered_json;

const char* const kAxes[] = {"x", "y", "z"};

// v rounded to six significant digits, as text ("nan" or "inf" when it is not finite).
std::string six_digits(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", v);
  return text;
}

// A number, or null when it is not finite (JSON has no NaN).
Json number(double v) {
  return std::isfinite(v) ? Json(v) : Json(nullptr);
}

Json modes_json(const ModalSet& set, bool english_units, bool entered) {
  Json out = Json::object();
  const ModalMode* lists[] = {set.x_modes, set.y_modes, set.z_modes};
  const int counts[] = {set.x_count, set.y_count, set.z_count};
  for (int a = 0; a < 3; ++a) {
    Json list = Json::array();
    for (int i = 0; i < counts[a]; ++i) {
      Json mode = Json::object();
      for (const ModeNumber& n : kModeNumbers) mode[n.key] = number(lists[a][i].*n.field);
      list.push_back(mode);
    }
    out[kAxes[a]] = list;
  }
  Json units = Json::object();
  for (const ModeNumber& n : kModeNumbers)
    units[n.key] = entered ? (english_units ? n.english_unit : n.metric_unit) : n.engine_unit;
  out["units"] = units;
  return out;
}

// The job's numbers with their units, as entered or in engine units.
Json job_numbers(const SimParams* p, bool entered) {
  const bool english = p->units == 0;
  Json values = Json::object(), units = Json::object();
  for (const EnteredNumber& n : kEnteredNumbers) {
    values[n.key] = number(p->*n.field);
    units[n.key] = entered ? (english ? n.english_unit : n.metric_unit) : n.engine_unit;
  }
  values["units"] = units;
  values["workpiece_modes"] = modes_json(p->spindle_modes, english, entered);
  values["tool_modes"] = modes_json(p->tool_modes, english, entered);
  return values;
}

Json cutting_json(const SummaryCutting& c) {
  return {{"revolution", c.revolution + 1},
          {"step", c.step},
          {"cutting_speed_m_per_min", number(c.cutting_speed)},
          {"average_chip_thickness_m", number(c.avg_chip_thickness)},
          {"kf_Pa", number(c.kf)},
          {"kn_Pa", number(c.kn)},
          {"chip_flow_angle_deg", number(c.chip_flow_angle / kDegToRad)},
          {"wear_land_mm", number(c.wear_land)}};
}

Json quantities(const double (&v)[kSummaryQuantities]) {
  Json out = Json::object();
  for (int q = 0; q < kSummaryQuantities; ++q) out[kRevolutionQuantities[q].key] = number(v[q]);
  return out;
}

Json mode_json(const SummaryMode& m) {
  return {{"structure", m.structure == 0 ? "workpiece" : "tool"},
          {"axis", kAxes[m.axis]},
          {"index", m.index + 1},
          {"natural_frequency_Hz", number(m.natural_freq)},
          {"damped_frequency_Hz", number(m.damped_freq)},
          {"damping_ratio", number(m.damping_ratio)},
          {"stiffness_N_per_m", number(m.stiffness)},
          {"mass_kg", number(m.mass)},
          {"delay_steps", m.delay_steps}};
}

}  // namespace

std::string run_summary_json(const SimParams* entered, const SimParams* si, const SummaryRun& run,
                             const RunSummary& s) {
  Json j = Json::object();
  char engine[16];
  std::snprintf(engine, sizeof engine, "%u.%02u", run.engine_version >> 16,
                run.engine_version & 0xffffu);
  j["program"] = {{"name", "corvanel"}, {"version", run.program_version}, {"engine", engine}};
  Json job = {{"title", entered->title},
              {"process", std::string(1, entered->process)},
              {"unit_system", entered->units == 0 ? "english" : "metric"},
              {"workpiece_material", entered->workpiece_material},
              {"insert_material", entered->insert_material},
              {"calculation", entered->calc_type == 0 ? "average" : "instantaneous"},
              {"revolutions", entered->revs_total},
              {"revolutions_skipped", entered->revs_skipped},
              {"angular_increments", entered->angular_increments},
              {"steps_per_revolution", run.steps_per_rev},
              {"time_step_s", number(run.time_step)}};
  job["entered"] = job_numbers(entered, true);
  job["si"] = job_numbers(si, false);
  j["job"] = job;
  Json wear = Json::object(), row = Json::object();
  for (const DatabaseNumber& n : kWearNumbers) wear[n.key] = number(si->*n.field);
  for (const DatabaseNumber& n : kCoefficientNumbers) row[n.key] = number(si->*n.field);
  j["databases"] = {{"wear_file", "wear.db"},
                    {"coefficient_file", si->database_file},
                    {"wear_record", wear},
                    {"coefficient_row", row},
                    {"edge_angle_deg", number(si->cutting_edge_angle / kDegToRad)}};
  j["verdict"] = {{"class", s.verdict},
                  {"rule", s.verdict_rule},
                  {"growth_rate_per_revolution", number(s.growth_rate)},
                  {"growth_rate_standard_error", number(s.growth_rate_sd)},
                  {"scatter_vibration_m", number(s.scatter_floor)}};
  if (s.stop_rule != nullptr) {
    j["verdict"]["stopped_at_revolution"] = s.stopped_at_revolution;
    j["verdict"]["stop_rule"] = s.stop_rule;
    j["verdict"]["stop_rule_text"] = s.stop_rule_text != nullptr ? s.stop_rule_text : "";
  }
  Json nearest = nullptr;
  if (s.nearest_mode >= 0) nearest = mode_json(s.modes[static_cast<size_t>(s.nearest_mode)]);
  j["vibration"] = {{"dominant_frequency_Hz", number(s.peak_frequency)},
                    {"frequency_resolution_Hz", number(s.peak_resolution)},
                    {"amplitude_m", number(s.peak_amplitude)},
                    {"nearest_mode", nearest},
                    {"samples", s.samples},
                    {"sample_period_s", number(s.sample_period)}};
  // Six significant digits, as many as the single-precision transform holds.
  Json amplitudes = Json::array();
  for (double a : s.spectrum)
    amplitudes.push_back(number(std::strtod(six_digits(a).c_str(), nullptr)));
  j["spectrum"] = {{"frequency_resolution_Hz", number(s.spectrum_resolution)},
                   {"amplitude_m", amplitudes}};
  Json forces = Json::object();
  for (int a = 0; a < 3; ++a) {
    const SummaryForce& f = s.force[a];
    forces[kAxes[a]] = {{"mean_N", number(f.mean)},
                        {"min_N", number(f.min)},
                        {"max_N", number(f.max)},
                        {"peak_to_peak_N", number(f.max - f.min)}};
  }
  j["forces"] = forces;
  j["cutting"] = {{"first_step", cutting_json(s.first)}, {"last_step", cutting_json(s.last)}};
  Json deflection = Json::object();
  const char* const structures[] = {"workpiece", "tool"};
  for (int st = 0; st < 2; ++st) {
    Json axes = Json::object();
    for (int a = 0; a < 3; ++a)
      axes[std::string(kAxes[a]) + "_m"] = number(s.static_deflection[st][a]);
    deflection[structures[st]] = axes;
  }
  Json relative = Json::object();
  for (int a = 0; a < 3; ++a)
    relative[std::string(kAxes[a]) + "_m"] = number(s.relative_static_deflection[a]);
  deflection["relative"] = relative;
  j["static_deflection"] = deflection;
  Json modes = Json::array();
  for (const SummaryMode& m : s.modes) modes.push_back(mode_json(m));
  j["modes"] = modes;
  Json revs = Json::array();
  for (const SummaryRevolution& r : s.revolutions) {
    revs.push_back({{"revolution", r.revolution + 1},
                    {"range", quantities(r.range)},
                    {"rms", quantities(r.rms)},
                    {"mean", quantities(r.mean)},
                    {"relative_x_at_step_0_m", number(r.relative_x)},
                    {"relative_x_vibration_m", number(r.vibration)},
                    {"steps_out_of_cut", r.left_cut_steps}});
  }
  j["revolutions"] = revs;
  // Texts from the job are bytes, not necessarily UTF-8: invalid sequences
  // become U+FFFD rather than an error.
  return j.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string run_summary_line(const RunSummary& s) {
  char text[256];
  std::string line = std::string("verdict ") + s.verdict;
  if (std::isfinite(s.growth_rate)) {
    std::snprintf(text, sizeof text, " (vibration %+.2f %% a revolution)",
                  100 * std::expm1(s.growth_rate));
    line += text;
  }
  if (s.peak_frequency > 0) {
    std::snprintf(text, sizeof text, "; dominant relative X vibration %.1f Hz (bins of %.2f Hz)",
                  s.peak_frequency, s.peak_resolution);
    line += text;
    if (s.nearest_mode >= 0) {
      const SummaryMode& m = s.modes[static_cast<size_t>(s.nearest_mode)];
      std::snprintf(text, sizeof text, ", nearest mode %s %c%d at %.1f Hz",
                    m.structure == 0 ? "workpiece" : "tool", "XYZ"[m.axis], m.index + 1,
                    m.damped_freq);
      line += text;
    }
  }
  return line;
}

int run_summary_write(const std::string& json, const char* path) {
  const std::string temporary = std::string(path) + ".part";
  FILE* out = std::fopen(temporary.c_str(), "w");
  if (out == nullptr) return 0;
  const bool written = std::fwrite(json.data(), 1, json.size(), out) == json.size();
  const bool closed = std::fclose(out) == 0;
  if (!written || !closed || std::rename(temporary.c_str(), path) != 0) {
    const int error = errno;
    std::remove(temporary.c_str());
    errno = error;
    return 0;
  }
  return 1;
}
