#include "sweep/index.h"

#include <cstdio>
#include <fstream>

#include "sweep/grid.h"

std::string index_text(const std::vector<PlanRun>& runs) {
  std::string text = "row,rpm,depth,folder\n";
  char line[160];
  for (const PlanRun& r : runs) {
    std::snprintf(line, sizeof line, "%d,%.6f,%.6f,%s\n", r.row, r.rpm, r.depth, r.folder.c_str());
    text += line;
  }
  return text;
}

int index_read(const std::string& out_dir, std::vector<PlanRun>* runs, std::string* error) {
  runs->clear();
  const std::string path = out_dir + "/" + kPlanIndex;
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line) || line != "row,rpm,depth,folder") {
    *error = "cannot read the plan index " + path + " (is " + out_dir + " a plan folder?)";
    return 0;
  }
  for (int n = 2; std::getline(in, line); ++n) {
    const std::vector<std::string_view> f = grid_split(line, ',');
    PlanRun run{0, 0, 0, ""};
    double row = 0;
    if (f.size() != 4 || !grid_parse_number(f[0], &row) || !grid_parse_number(f[1], &run.rpm) ||
        !grid_parse_number(f[2], &run.depth) || f[3].empty() ||
        f[3].find("..") != std::string::npos || f[3][0] == '/' || row != n - 1) {
      *error = path + " line " + std::to_string(n) + " is damaged";
      return 0;
    }
    run.row = n - 1;
    run.folder = std::string(f[3]);
    runs->push_back(run);
  }
  return 1;
}
