// The grid axes of a plan: lists of spindle speeds or depths of cut, given
// as values and FROM:TO:STEP ranges, held to a job file's six decimals.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Parses a grid axis: comma-separated values and FROM:TO:STEP ranges (TO
// included), each value rounded to the job file's six decimals, sorted and
// without repeats. 0 with *error for bad text or more than kPlanMaxRuns values.
int grid_parse_axis(std::string_view text, std::vector<double>* values, std::string* error);

// The value as a job file holds it: printed with six decimals and read back.
double grid_six_decimals(double value);

// The whole text as one finite number (no leading blank). 1 on success.
int grid_parse_number(std::string_view text, double* value);

// The parts of text between separators (an empty text gives one empty part).
std::vector<std::string_view> grid_split(std::string_view text, char separator);
