#include "sweep/grid.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sweep/plan.h"

namespace {

// Adds the values of one item (a value or FROM:TO:STEP) of an axis.
int add_axis_item(std::string_view item, std::vector<double>* values, std::string* error) {
  const std::vector<std::string_view> parts = grid_split(item, ':');
  double from, to, step;
  if (parts.size() == 1 && grid_parse_number(parts[0], &from)) {
    values->push_back(grid_six_decimals(from));
    return 1;
  }
  if (parts.size() != 3 || !grid_parse_number(parts[0], &from) ||
      !grid_parse_number(parts[1], &to) || !grid_parse_number(parts[2], &step)) {
    *error = "'" + std::string(item) + "' is neither a number nor FROM:TO:STEP";
    return 0;
  }
  if (!(step > 0) || to < from) {
    *error = "'" + std::string(item) + "' needs a positive STEP and TO not below FROM";
    return 0;
  }
  // A TO that the steps miss by rounding alone still counts.
  const double count = std::floor((to - from) / step * (1 + 1e-12) + 1e-9) + 1;
  if (count > kPlanMaxRuns || static_cast<double>(values->size()) + count > kPlanMaxRuns) {
    *error =
        "'" + std::string(item) + "' has more than " + std::to_string(kPlanMaxRuns) + " values";
    return 0;
  }
  for (int i = 0; i < static_cast<int>(count); ++i)
    values->push_back(grid_six_decimals(from + i * step));
  return 1;
}

}  // namespace

// The value as a job file holds it: printed with six decimals and read back.
double grid_six_decimals(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%lf", value);
  return std::strtod(text, nullptr);
}

int grid_parse_number(std::string_view text, double* value) {
  std::string s(text);
  if (s.empty() || std::isspace(static_cast<unsigned char>(s[0]))) return false;
  char* end = nullptr;
  errno = 0;
  *value = std::strtod(s.c_str(), &end);
  return end == s.c_str() + s.size() && errno == 0 && std::isfinite(*value) ? 1 : 0;
}

std::vector<std::string_view> grid_split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (size_t at; (at = text.find(separator, start)) != std::string_view::npos; start = at + 1)
    parts.push_back(text.substr(start, at - start));
  parts.push_back(text.substr(start));
  return parts;
}

int grid_parse_axis(std::string_view text, std::vector<double>* values, std::string* error) {
  values->clear();
  for (std::string_view item : grid_split(text, ',')) {
    if (!add_axis_item(item, values, error)) return 0;
  }
  std::sort(values->begin(), values->end());
  values->erase(std::unique(values->begin(), values->end()), values->end());
  return 1;
}
