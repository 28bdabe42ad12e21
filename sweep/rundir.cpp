#include "sweep/rundir.h"

#include <cstdlib>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>

#include "engine/verdict.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

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

}  // namespace

int rundir_read_exit_status(const std::string& path, int* code) {
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

std::string rundir_log_line(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("Running Revolution Number", 0) == 0 || line.empty()) continue;
    return line.substr(0, 200);
  }
  return {};
}

int rundir_read_revolutions(const std::string& rms_path, const std::string& ave_path,
                            std::vector<RundirRevolution>* revolutions, std::string* error) {
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

int rundir_read_verdict(const std::string& path, RundirVerdict* verdict, std::string* error) {
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
    const nlohmann::json& v = j["verdict"];
    verdict->cls = cls;
    verdict->growth_rate = number(v.value("growth_rate_per_revolution", nlohmann::json()));
    verdict->growth_rate_sd = number(v.value("growth_rate_standard_error", nlohmann::json()));
    const double stopped = number(v.value("stopped_at_revolution", nlohmann::json()));
    verdict->stopped_at_revolution = stopped >= 1 && stopped <= 1e9 ? static_cast<int>(stopped) : 0;
    verdict->frequency =
        j.contains("vibration") && j["vibration"].is_object()
            ? number(j["vibration"].value("dominant_frequency_Hz", nlohmann::json()))
            : kNaN;
    return 1;
  }
  *error = "unknown verdict '" + name->get<std::string>().substr(0, 40) + "' in the run summary";
  return 0;
}
