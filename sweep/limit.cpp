#include "sweep/limit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

#include "app/jobfile.h"
#include "engine/cut_coefficients.h"
#include "engine/cut_forces.h"
#include "engine/modal_params.h"
#include "model/state.h"
#include "model/units.h"

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr int kMaxScanPoints = 200000;  // frequency samples per spindle speed, at most
constexpr int kMaxLobes = 10000;

void add_modes(LimitModel* model, const ModalMode* modes, int count) {
  for (int i = 0; i < count; ++i) {
    const ModalConstants c = modal_constants(&modes[i]);
    model->modes.push_back({modes[i].mass, c.decay_rate, c.natural_freq, c.natural_freq_sq,
                            modal_wrapped_angle(modes[i].modal_angle)});
  }
}

// A shallow copy of the job for the coefficient functions, owning nothing.
SimParams coefficient_job(const LimitModel* model, double rpm, double depth) {
  SimParams p = *model->params;
  p.spindle_modes = {};
  p.tool_modes = {};
  p.runout = nullptr;
  p.spindle_rpm = rpm;
  p.depth_of_cut = depth;
  return p;
}

// Range and step of the frequency scan (rad/s) at period t (s).
struct Scan {
  double from, to, step;
};

// The narrowest feature of the FRF (rad/s): the smallest decay rate of the
// modes, or twice the finest spacing of a table.
double narrowest_feature(const LimitModel* model) {
  double narrowest = kInfinity;
  for (const LimitMode& m : model->modes) narrowest = std::min(narrowest, m.decay_rate);
  for (size_t i = 1; i < model->table_omega.size(); ++i)
    narrowest = std::min(narrowest, 2.0 * (model->table_omega[i] - model->table_omega[i - 1]));
  return narrowest;
}

bool has_frf(const LimitModel* model) {
  return !model->modes.empty() || !model->table_omega.empty();
}

Scan scan_range(const LimitModel* model, double period) {
  double lowest = kInfinity, highest = 0;
  for (const LimitMode& m : model->modes) {
    lowest = std::min(lowest, m.natural_freq);
    highest = std::max(highest, m.natural_freq);
  }
  const double narrowest = narrowest_feature(model);
  Scan s{0.02 * lowest, 4.0 * highest, 0};
  if (!model->table_omega.empty()) s = {model->table_omega.front(), model->table_omega.back(), 0};
  // Resolve both the turning of the regenerative phase and each resonance.
  s.step = std::min(kPi / (6.0 * period), narrowest / 2.0);
  s.step = std::max(s.step, (s.to - s.from) / kMaxScanPoints);
  return s;
}

// Re(e^(-i w T / 2) G(w)): zero where the regenerative loop gain is real.
double phase_condition(const LimitModel* model, double omega, double rpm, double period) {
  return std::real(std::polar(1.0, -omega * period / 2.0) * limit_frf(model, omega, rpm));
}

double bisect_root(const LimitModel* model, double a, double b, double rpm, double period) {
  double fa = phase_condition(model, a, rpm, period);
  for (int i = 0; i < 80 && b - a > 1e-12 * b; ++i) {
    const double mid = 0.5 * (a + b);
    const double fm = phase_condition(model, mid, rpm, period);
    if ((fm < 0) == (fa < 0)) {
      a = mid;
      fa = fm;
    } else {
      b = mid;
    }
  }
  return 0.5 * (a + b);
}

// Depth b with b * Kx(b) = q (N/m), starting from Kx at the base depth.
double depth_for_gain(const LimitModel* model, double rpm, double q, double kx) {
  double b = q / kx;
  for (int i = 0; i < 30 && std::isfinite(b) && b > 0; ++i) {
    const double k = limit_directional_coefficient(model, rpm, b);
    if (!(k * q > 0)) break;
    const double next = q / k;
    if (std::fabs(next - b) <= 1e-12 * b) return next;
    b = next;
  }
  return b;
}

// -1 / (2 Kx Re G) over the frequency, with Kx at the base depth (m).
double gain_limit(const LimitModel* model, double omega, double rpm, double kx) {
  const double re = std::real(limit_frf(model, omega, rpm));
  const double b = -1.0 / (2.0 * kx * re);
  return b > 0 ? b : kInfinity;
}

// Frequency (rad/s) of the lowest limit at spindle speed rpm.
double most_critical_frequency(const LimitModel* model, double rpm, double kx) {
  const Scan s = scan_range(model, 60.0 / rpm);
  double step = std::min(s.step, narrowest_feature(model) / 20.0);
  step = std::max(step, (s.to - s.from) / kMaxScanPoints);
  double best = s.from, best_b = kInfinity;
  for (double w = s.from; w <= s.to; w += step) {
    const double b = gain_limit(model, w, rpm, kx);
    if (b < best_b) best_b = b, best = w;
  }
  // Golden-section refinement around the best sample.
  double a = best - step, c = best + step;
  const double g = 0.6180339887498949;
  for (int i = 0; i < 100 && c - a > 1e-12 * c; ++i) {
    const double x1 = c - g * (c - a), x2 = a + g * (c - a);
    if (gain_limit(model, x1, rpm, kx) < gain_limit(model, x2, rpm, kx)) {
      c = x2;
    } else {
      a = x1;
    }
  }
  return 0.5 * (a + c);
}

}  // namespace

LimitModel* limit_create(const char* job_path, const char* database_path, std::string* error) {
  auto model = std::make_unique<LimitModel>();
  model->params = params_create();
  if (model->params == nullptr) {
    *error = "out of memory";
    return nullptr;
  }
  std::unique_ptr<LimitModel, void (*)(LimitModel*)> guard(model.release(), limit_free);
  LimitModel* m = guard.get();
  std::string why;
  if (!jobfile_read(m->params, job_path, &why)) {
    *error = std::string(job_path) + ": " + (why.empty() ? "cannot read the job file" : why);
    return nullptr;
  }
  const int increments = std::max(1, m->params->angular_increments);
  m->steps_per_rev = kGridSteps / increments;
  if (!modal_check(m->params, m->steps_per_rev, &why)) {
    *error = std::string(job_path) + ": " + why;
    return nullptr;
  }
  if (!matdb_load_coefficients(&m->db, database_path)) {
    *error = std::string("cannot read the coefficient database ") + database_path + ": " +
             std::strerror(errno);
    return nullptr;
  }
  m->length_unit = m->params->units == 0 ? kInch : 1.0 / kMilli;
  m->force_unit = m->params->units == 0 ? kNewtonsPerPound : 1.0;
  units_angles_to_radians(m->params);
  units_normalise(m->params);
  // The relative compliance is the tool's plus the workpiece's: under a force
  // F on the tool the workpiece moves by -G_w F, so the tool moves by
  // (G_t + G_w) F relative to it.
  add_modes(m, m->params->spindle_modes.x_modes, m->params->spindle_modes.x_count);
  add_modes(m, m->params->tool_modes.x_modes, m->params->tool_modes.x_count);
  return guard.release();
}

void limit_free(LimitModel* model) {
  if (model == nullptr) return;
  params_free(model->params);
  delete model;
}

int limit_has_coefficients(const LimitModel* model) {
  SimParams p = coefficient_job(model, model->params->spindle_rpm, model->params->depth_of_cut);
  SimState state{};
  return cut_coefficients_average(&p, &state, &model->db);
}

int limit_use_table(LimitModel* model, const std::vector<double>& omega,
                    const std::vector<std::complex<double>>& g, std::string* error) {
  if (omega.size() < 2 || g.size() != omega.size() || !(omega[0] > 0)) {
    *error = "the relative FRF needs at least two samples above 0 Hz";
    return 0;
  }
  for (size_t i = 1; i < omega.size(); ++i) {
    if (!(omega[i] > omega[i - 1])) {
      *error = "the frequencies of the relative FRF are not increasing";
      return 0;
    }
  }
  model->modes.clear();
  model->table_omega = omega;
  model->table_frf = g;
  return 1;
}

void limit_use_modes(LimitModel* model, const std::vector<ModalMode>& modes) {
  model->modes.clear();
  model->table_omega.clear();
  model->table_frf.clear();
  add_modes(model, modes.data(), static_cast<int>(modes.size()));
}

std::complex<double> limit_frf(const LimitModel* model, double omega, double rpm) {
  if (!model->table_omega.empty()) {
    const std::vector<double>& w = model->table_omega;
    if (!(omega >= w.front() && omega <= w.back())) return 0;
    const size_t i = static_cast<size_t>(std::upper_bound(w.begin(), w.end(), omega) - w.begin());
    if (i >= w.size()) return model->table_frf.back();
    const double t = (omega - w[i - 1]) / (w[i] - w[i - 1]);
    return model->table_frf[i - 1] + t * (model->table_frf[i] - model->table_frf[i - 1]);
  }
  const int edges = modal_edge_count(model->params);
  const double step_time = 60.0 / (model->steps_per_rev * rpm);  // s
  std::complex<double> g = 0;
  for (const LimitMode& m : model->modes) {
    const int delay = modal_delay_steps(
        modal_delay_exact(m.modal_angle, m.natural_freq, rpm, model->steps_per_rev, edges));
    const std::complex<double> stiffness(m.mass * (m.natural_freq_sq - omega * omega),
                                         m.mass * 2.0 * m.decay_rate * omega);
    g += std::polar(1.0, -omega * delay * step_time) / stiffness;
  }
  return g;
}

double limit_directional_coefficient(const LimitModel* model, double rpm, double depth) {
  SimParams p = coefficient_job(model, rpm, depth);
  SimState state{};
  state.cutting_speed = cut_coefficients_speed(2 * p.workpiece_radius, rpm);
  if (!cut_coefficients_average(&p, &state, &model->db)) return 0;
  if (p.calc_type != 0) cut_coefficients_instant(&p, &state, p.feed_per_rev, depth);
  cut_edge_forces(&p, &state, 1.0, 1.0);
  const double kappa = p.side_cutting_edge_angle;
  return cut_machine_axes(state.edge_force_x, state.edge_force_y, state.edge_force_z,
                          std::sin(kappa), std::cos(kappa))
      .x;
}

double limit_nominal_force(const LimitModel* model, double rpm, double depth) {
  return limit_directional_coefficient(model, rpm, depth) * model->params->feed_per_rev * depth;
}

double limit_lobe_speed(std::complex<double> g, double omega, int lobe) {
  // The phase of the wave left on the surface, in (0, 2 pi]: 3 pi + 2 arg G for
  // the usual -pi < arg G <= -pi/2.
  double eps = std::fmod(2.0 * std::arg(g) + kPi, 2 * kPi);
  if (eps <= 0) eps += 2 * kPi;
  return 60.0 * omega / (eps + 2 * kPi * lobe);
}

LimitPoint limit_at_speed(const LimitModel* model, double rpm) {
  LimitPoint best{kInfinity, 0, -1};
  if (!(rpm > 0) || !has_frf(model)) return best;
  const double kx = limit_directional_coefficient(model, rpm, model->params->depth_of_cut);
  if (kx == 0 || !std::isfinite(kx)) return best;
  const double period = 60.0 / rpm;
  const Scan s = scan_range(model, period);
  double q_best = kInfinity;
  double prev_w = s.from, prev_c = phase_condition(model, s.from, rpm, period);
  for (double w = s.from + s.step; w <= s.to; w += s.step) {
    const double c = phase_condition(model, w, rpm, period);
    if ((c < 0) != (prev_c < 0)) {
      const double root = bisect_root(model, prev_w, w, rpm, period);
      const double q = -1.0 / (2.0 * std::real(limit_frf(model, root, rpm)));  // N/m
      if (q / kx > 0 && std::fabs(q) < std::fabs(q_best)) {
        q_best = q;
        best.chatter_freq = root;
      }
    }
    prev_w = w;
    prev_c = c;
  }
  if (!std::isfinite(q_best)) return best;
  best.depth = depth_for_gain(model, rpm, q_best, kx);
  const double eps =
      60.0 * best.chatter_freq /
      limit_lobe_speed(limit_frf(model, best.chatter_freq, rpm), best.chatter_freq, 0);
  best.lobe = static_cast<int>(std::lround((best.chatter_freq * period - eps) / (2 * kPi)));
  return best;
}

std::vector<LimitBottom> limit_bottoms(const LimitModel* model, double rpm_from, double rpm_to) {
  std::vector<LimitBottom> bottoms;
  if (!has_frf(model) || !(rpm_from > 0) || !(rpm_to >= rpm_from)) return bottoms;
  const double mid = 0.5 * (rpm_from + rpm_to);
  const double kx = limit_directional_coefficient(model, mid, model->params->depth_of_cut);
  if (kx == 0 || !std::isfinite(kx)) return bottoms;
  const double w = most_critical_frequency(model, mid, kx);
  const std::complex<double> g = limit_frf(model, w, mid);
  for (int lobe = 0; lobe < kMaxLobes; ++lobe) {
    double rpm = limit_lobe_speed(g, w, lobe);
    if (rpm < rpm_from) break;
    if (rpm > rpm_to) continue;
    // The modal delays and the coefficients follow the speed: settle both.
    double freq = w;
    for (int i = 0; i < 2; ++i) {
      freq = most_critical_frequency(model, rpm, kx);
      rpm = limit_lobe_speed(limit_frf(model, freq, rpm), freq, lobe);
    }
    const LimitPoint p = limit_at_speed(model, rpm);
    bottoms.push_back({lobe, rpm, p.depth, freq});
  }
  return bottoms;
}
