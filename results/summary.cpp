#include "results/summary.h"

#include "model/units.h"

void summary_write_rms(FILE* out, const SimState* state, int units) {
  if (out == nullptr || state == nullptr) return;
  const SimState& s = *state;
  // The extremes are SI; the ranges are converted here, the RMS values
  // already are in output units.
  const double fdiv = units == 0 ? kNewtonsPerPound : 1.0;
  const double ldiv = units == 0 ? kInch : 1.0;
  std::fprintf(out,
               "%lf %lf %lf %lf %lf %lf %lf %lf %lf %lf %lf %lf %lf %lf %lf %lf %lf %lf\n",
               (s.force_x_max - s.force_x_min) / fdiv, (s.force_y_max - s.force_y_min) / fdiv,
               (s.force_z_max - s.force_z_min) / fdiv, (s.sw_disp_x_max - s.sw_disp_x_min) / ldiv,
               (s.sw_disp_y_max - s.sw_disp_y_min) / ldiv,
               (s.sw_disp_z_max - s.sw_disp_z_min) / ldiv,
               (s.tool_disp_x_max - s.tool_disp_x_min) / ldiv,
               (s.tool_disp_y_max - s.tool_disp_y_min) / ldiv,
               (s.tool_disp_z_max - s.tool_disp_z_min) / ldiv, s.force_x_rms, s.force_y_rms,
               s.force_z_rms, s.sw_disp_x_rms, s.sw_disp_y_rms, s.sw_disp_z_rms, s.tool_disp_x_rms,
               s.tool_disp_y_rms, s.tool_disp_z_rms);
}

void summary_write_ave(FILE* out, const SimState* state) {
  if (out == nullptr || state == nullptr) return;
  const SimState& s = *state;
  std::fprintf(out, "%lf %lf %lf %lf %lf %lf %lf %lf %lf\n", s.force_x_mean, s.force_y_mean,
               s.force_z_mean, s.sw_disp_x_mean, s.sw_disp_y_mean, s.sw_disp_z_mean,
               s.tool_disp_x_mean, s.tool_disp_y_mean, s.tool_disp_z_mean);
}
