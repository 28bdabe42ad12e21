#include "engine/stats.h"

#include <cmath>

#include "model/quantities.h"

namespace {

constexpr int kQuantities = kRevolutionQuantityCount;

// Means and sums of squared deviations of the nine histories over n steps,
// each value divided by its output unit (when `divide`) before it counts.
// The quantities' loops are unrolled so that the nine sums stay in
// registers; each sum still adds its values in step order.
template <bool divide>
void accumulate(const double* const* hist, const double* div, int n, double* avg, double* dev) {
  double sum[kQuantities] = {};
  for (int i = 0; i < n; ++i) {
#pragma GCC unroll 9
    for (int q = 0; q < kQuantities; ++q) sum[q] += divide ? hist[q][i] / div[q] : hist[q][i];
  }
  for (int q = 0; q < kQuantities; ++q) avg[q] = sum[q] / n;
  double squares[kQuantities] = {};
  for (int i = 0; i < n; ++i) {
#pragma GCC unroll 9
    for (int q = 0; q < kQuantities; ++q) {
      const double d = (divide ? hist[q][i] / div[q] : hist[q][i]) - avg[q];
      squares[q] += d * d;
    }
  }
  for (int q = 0; q < kQuantities; ++q) dev[q] += squares[q];
}

}  // namespace

void stats_revolution_summary(const SimParams* params, SimState* state, int n) {
  // A count outside the histories would read past them (or divide by zero):
  // the previous summary is kept instead.
  if (params == nullptr || state == nullptr || n < 1 || n > state->capacity) return;
  const bool english = params->units == 0;
  const double* hist[kQuantities];
  double div[kQuantities];  // SI units per output unit
  for (int q = 0; q < kQuantities; ++q) {
    hist[q] = state->*kRevolutionQuantities[q].history;
    div[q] = quantity_output_unit(kRevolutionQuantities[q].kind, params->units);
  }
  // Metric values are used as they are: dividing by 1.0 is exact, so the
  // metric loops leave the division out and give the same sums.
  double avg[kQuantities];
  double dev[kQuantities] = {};
  if (english)
    accumulate<true>(hist, div, n, avg, dev);
  else
    accumulate<false>(hist, div, n, avg, dev);
  for (int q = 0; q < kQuantities; ++q) {
    state->*kRevolutionQuantities[q].mean = avg[q];
    state->*kRevolutionQuantities[q].rms = std::sqrt(dev[q] / n);
  }
}
