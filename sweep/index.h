// The plan index plan.csv: row,rpm,depth,folder, one line per run.
#pragma once

#include <string>
#include <vector>

#include "sweep/plan.h"

// The index text of the runs.
std::string index_text(const std::vector<PlanRun>& runs);

// Reads plan.csv of a plan folder. 0 with *error when it is missing or damaged.
int index_read(const std::string& out_dir, std::vector<PlanRun>* runs, std::string* error);
