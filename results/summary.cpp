#include "results/summary.h"

#include "model/quantities.h"

void summary_write_rms(FILE* out, const SimState* state, int units) {
  if (out == nullptr || state == nullptr) return;
  // The extremes are SI, so the ranges are converted here; the RMS values
  // already are in output units. Ranges first, then RMS values, each in
  // the quantities' order.
  const char* separator = "";
  for (const RevolutionQuantity& q : kRevolutionQuantities) {
    std::fprintf(out, "%s%lf", separator,
                 quantity_range(q, state) / quantity_output_unit(q.kind, units));
    separator = " ";
  }
  for (const RevolutionQuantity& q : kRevolutionQuantities)
    std::fprintf(out, " %lf", state->*q.rms);
  std::fputc('\n', out);
}

void summary_write_ave(FILE* out, const SimState* state) {
  if (out == nullptr || state == nullptr) return;
  const char* separator = "";
  for (const RevolutionQuantity& q : kRevolutionQuantities) {
    std::fprintf(out, "%s%lf", separator, state->*q.mean);
    separator = " ";
  }
  std::fputc('\n', out);
}
