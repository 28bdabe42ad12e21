#include "engine/verdict.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/cut_forces.h"
#include "engine/libm.h"

namespace {

constexpr double kScatterRms = kScatterFraction / 1.7320508075688772;  // RMS of the uniform scatter
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Sum over one X mode list of 1 / (4 sigma m^2 wn^2), the integral of the
// squared unit impulse response (m^2/(N^2 s)).
double impulse_energy(const ModalMode* modes, int count, const ModeResponse* response) {
  double sum = 0;
  for (int i = 0; i < std::min(count, kMaxModesPerDirection); ++i) {
    const double sigma = response->decay_rate[i];
    if (!(sigma > 0)) continue;
    const double m = modes[i].mass;
    sum += 1.0 / (4.0 * sigma * m * m * response->natural_freq_sq[i]);
  }
  return sum;
}

}  // namespace

const char* verdict_name(VerdictClass cls) {
  switch (cls) {
    case VERDICT_STABLE:
      return "stable";
    case VERDICT_CHATTER:
      return "chatter";
    case VERDICT_TOOL_LEFT_CUT:
      return "tool-left-cut";
    case VERDICT_UNDECIDED:
      break;
  }
  return "undecided";
}

double verdict_scatter_floor(const SimParams* p, const SimState* state, double reference_force_x) {
  const double force_rms = kScatterRms * std::fabs(reference_force_x);  // N
  const double energy =
      impulse_energy(p->spindle_modes.x_modes, p->spindle_modes.x_count, state->sw_modes_x) +
      impulse_energy(p->tool_modes.x_modes, p->tool_modes.x_count, state->tool_modes_x);
  // White noise of variance F^2 held for dt has the two-sided density F^2 dt.
  return force_rms * std::sqrt(state->time_step * energy);
}

VerdictGrowth verdict_growth(const std::vector<double>& vibration, double floor) {
  VerdictGrowth g{kNaN, kNaN};
  const size_t n = vibration.size();
  if (n < 2) return g;
  std::vector<double> y(n);
  for (size_t i = 0; i < n; ++i) {
    const double v = vibration[i];
    const double above = v * v - floor * floor;
    const double least = floor / 5;
    y[i] = std::log(std::max(above > 0 ? std::sqrt(above) : 0.0, least > 0 ? least : v));
  }
  const double mean_x = (static_cast<double>(n) - 1) / 2;
  double mean_y = 0;
  for (double v : y) mean_y += v;
  mean_y /= static_cast<double>(n);
  double sxx = 0, sxy = 0;
  for (size_t i = 0; i < n; ++i) {
    const double dx = static_cast<double>(i) - mean_x;
    sxx += dx * dx;
    sxy += dx * (y[i] - mean_y);
  }
  g.rate = sxy / sxx;
  if (n < 3) return g;
  double residual = 0;
  for (size_t i = 0; i < n; ++i) {
    const double e = y[i] - mean_y - g.rate * (static_cast<double>(i) - mean_x);
    residual += e * e;
  }
  g.rate_sd = std::sqrt(residual / static_cast<double>(n - 2) / sxx);
  return g;
}

Verdict verdict_decide(const std::vector<double>& vibration, double floor,
                       int left_cut_revolutions) {
  Verdict v{VERDICT_UNDECIDED, verdict_growth(vibration, floor), ""};
  if (left_cut_revolutions > 0) {
    v.cls = VERDICT_TOOL_LEFT_CUT;
    v.rule = "the chip thickness fell below zero (the tool left the cut) in a recorded revolution";
    return v;
  }
  if (vibration.empty()) {
    v.rule = "no revolution was recorded";
    return v;
  }
  if (!(vibration.back() > kVerdictClearOfScatter * floor)) {
    v.cls = VERDICT_STABLE;
    v.rule = "the last recorded revolution's vibration stays within twice the force scatter's";
    return v;
  }
  if (!std::isfinite(v.growth.rate_sd)) {
    v.rule = "fewer than 3 recorded revolutions: the growth rate has no uncertainty";
    return v;
  }
  const double margin = kVerdictSignificance * v.growth.rate_sd;
  if (v.growth.rate > margin) {
    v.cls = VERDICT_CHATTER;
    v.rule = "the vibration grows: the rate lies above zero by more than 2 standard errors";
  } else if (v.growth.rate < -margin) {
    v.cls = VERDICT_STABLE;
    v.rule = "the vibration decays: the rate lies below zero by more than 2 standard errors";
  } else {
    v.rule = "the growth rate lies within 2 standard errors of zero";
  }
  return v;
}

namespace {

// The vibration (m) with the scatter's share taken out, as the growth fit takes it.
double above_scatter(double v, double floor) {
  const double above = v * v - floor * floor;
  const double least = floor / 5;
  return std::max(above > 0 ? std::sqrt(above) : 0.0, least > 0 ? least : v);
}

}  // namespace

const char* verdict_stop_name(VerdictStop stop) {
  switch (stop) {
    case VERDICT_STOP_LEFT_CUT:
      return "tool-left-cut";
    case VERDICT_STOP_GROWN:
      return "grown";
    case VERDICT_STOP_DECAYED:
      return "decayed";
    case VERDICT_GOES_ON:
      break;
  }
  return "none";
}

const char* verdict_stop_rule(VerdictStop stop) {
  switch (stop) {
    case VERDICT_STOP_LEFT_CUT:
      return "the tool left the cut in a recorded revolution";
    case VERDICT_STOP_GROWN:
      return "the vibration grew by 1.1 times or more over the last 3 revolutions, its rate "
             "resolved to 20 %, and stays twice below losing contact up to the last revolution";
    case VERDICT_STOP_DECAYED:
      return "the vibration decayed by 1.1 times or more over the last 3 revolutions, or to "
             "within twice the force scatter's, its rate resolved to 20 %";
    case VERDICT_GOES_ON:
      break;
  }
  return "the run went on to the job's last revolution";
}

double verdict_contact_vibration(double feed_per_rev) {
  return std::fabs(feed_per_rev) / (2 * 1.4142135623730951);
}

VerdictStop verdict_settled(const std::vector<double>& vibration, double floor,
                            int left_cut_revolutions, int revolutions_left,
                            double contact_vibration) {
  if (revolutions_left <= 0) return VERDICT_GOES_ON;  // the run ends by itself
  if (left_cut_revolutions > 0) return VERDICT_STOP_LEFT_CUT;
  const size_t n = vibration.size();
  if (n < static_cast<size_t>(kStopMinRevolutions) ||
      n <= static_cast<size_t>(kStopSpanRevolutions))
    return VERDICT_GOES_ON;
  const Verdict v = verdict_decide(vibration, floor, 0);
  const double rate = v.growth.rate, sd = v.growth.rate_sd;
  if (!std::isfinite(rate) || !(sd <= kStopRatePrecision * std::fabs(rate))) return VERDICT_GOES_ON;
  const double now = above_scatter(vibration[n - 1], floor);
  const double before = above_scatter(vibration[n - 1 - kStopSpanRevolutions], floor);
  if (v.cls == VERDICT_CHATTER && rate > 0 && now >= kStopChangeFactor * before) {
    const double last = vibration[n - 1] * libm_exp(rate * revolutions_left);
    return last * kStopContactMargin <= contact_vibration ? VERDICT_STOP_GROWN : VERDICT_GOES_ON;
  }
  if (v.cls == VERDICT_STABLE && rate < 0 &&
      (before >= kStopChangeFactor * now || !(vibration[n - 1] > kVerdictClearOfScatter * floor)))
    return VERDICT_STOP_DECAYED;
  return VERDICT_GOES_ON;
}
