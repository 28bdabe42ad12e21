#include "sweep/boundary.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Depth where the growth rate crosses 0 between a stable and a chatter run;
// halfway when either rate is missing or they do not rise with depth.
double crossing(const CollectResult& stable, const CollectResult& unstable) {
  const double d1 = stable.run.depth, d2 = unstable.run.depth;
  const double r1 = stable.growth_rate, r2 = unstable.growth_rate;
  if (unstable.cls != COLLECT_CHATTER || !std::isfinite(r1) || !(r2 > 0) || !(r2 > r1))
    return 0.5 * (d1 + d2);
  return std::clamp(d1 + (0 - r1) * (d2 - d1) / (r2 - r1), d1, d2);
}

Boundary column_boundary(double rpm, std::vector<const CollectResult*> col) {
  std::sort(col.begin(), col.end(), [](const CollectResult* a, const CollectResult* b) {
    return a->run.depth < b->run.depth;
  });
  Boundary b{rpm, kNaN, kNaN, kNaN, kInfinity};
  const CollectResult* stable = nullptr;
  for (const CollectResult* r : col) {
    if (r->cls == COLLECT_STABLE) stable = r;
    if (r->cls != COLLECT_CHATTER && r->cls != COLLECT_LEFT_CUT) continue;
    b.first_unstable = r->run.depth;
    if (stable != nullptr) {
      b.last_stable = stable->run.depth;
      b.boundary = crossing(*stable, *r);
    }
    break;
  }
  return b;
}

}  // namespace

std::vector<Boundary> boundary_per_speed(const std::vector<CollectResult>& results,
                                         const LimitModel* model) {
  std::map<double, std::vector<const CollectResult*>> columns;
  for (const CollectResult& r : results) columns[r.run.rpm].push_back(&r);
  std::vector<Boundary> bounds;
  for (const auto& [rpm, col] : columns) {
    Boundary b = column_boundary(rpm, col);
    if (model != nullptr) b.analytic = limit_at_speed(model, rpm).depth / model->length_unit;
    bounds.push_back(b);
  }
  return bounds;
}
