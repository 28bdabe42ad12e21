// The files collect writes into a plan folder, as text: map.csv (one row per
// run), boundary.csv (per spindle speed: of a grid, the runs either side of
// the boundary; of a boundary search, each row's boundary and bracket),
// limit.csv (the analytic curve) and map.svg, and the lines collect prints.
#pragma once

#include <string>
#include <vector>

#include "sweep/boundary.h"
#include "sweep/collect.h"
#include "sweep/limit.h"
#include "sweep/svg.h"

// The boundary that one row of a boundary search found (sweep/search.h).
struct MapfilesSearchRow {
  double rpm;          // rev/min
  double depth;        // job length unit: the boundary; NaN when the row has none yet
  double low, high;    // job length unit: the final bracket, deepest stable and shallowest
                       // unstable run; NaN when the range holds no such run
  int runs;            // runs the row made
  double analytic;     // job length unit, the analytic limit; +inf when none
  std::string status;  // "bracketed", "stable-throughout", "unstable-throughout",
                       // "unresolved", "failed" or "missing"
};

// A number of a csv cell in the printf format given: empty for NaN, "inf" for an infinity.
std::string mapfiles_cell(double value, const char* format);

// map.csv of a grid.
std::string mapfiles_map_csv(const std::vector<CollectResult>& results);

// boundary.csv of a grid.
std::string mapfiles_grid_boundary_csv(const std::vector<Boundary>& bounds);

// boundary.csv of a boundary search: rpm,depth,bracket_low,bracket_high,runs,analytic,status.
std::string mapfiles_search_boundary_csv(const std::vector<MapfilesSearchRow>& rows);

// The analytic curve (depths in the job's length unit) at 1201 speeds from
// rpm_from to rpm_to, with limit.csv's text in *csv; empty without a model.
std::vector<SvgLimitPoint> mapfiles_limit_curve(const LimitModel* model, double rpm_from,
                                                double rpm_to, std::string* csv);

// Prints the failed and missing runs (the first ten) to standard output.
void mapfiles_print_problems(const std::vector<CollectResult>& results, const std::string& unit);

// Prints the analytic lobe bottoms from rpm_from to rpm_to beside the simulated
// boundary of the nearest speed (depths in unit).
void mapfiles_print_bottoms(const LimitModel* model, const std::vector<Boundary>& bounds,
                            double rpm_from, double rpm_to, const std::string& unit);
