#include "frf/fit.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <new>
#include <numbers>
#include <unsupported/Eigen/NonLinearOptimization>

#include "frf/lscf.h"
#include "model/units.h"

namespace {

using Complex = std::complex<double>;

constexpr int kDefaultOrderMin = 2, kDefaultOrderMax = 40;
constexpr double kFreqRange = 0.1;      // a refined frequency stays within +-10 % of its start
constexpr int kMaxRefits = 4;           // refinements after dropping modes the data do not support
constexpr double kPeakOverMisfit = 2;   // a mode's peak must stand this far out of the misfit
constexpr size_t kMostPoints = 100000;  // points of all FRFs in the band, fitted at once
constexpr int kMaxRounds = 5;           // searches for weak modes in what the modes found leave
constexpr double kNewModeGap = 0.01;    // a weak mode lies further than this from any mode found
constexpr int kWeakModeStable = 3;      // orders at which a weak mode must be stable
constexpr double kNewModeF = 100;       // F statistic a weak mode must pass

// The measured points of one FRF in the band, its sign turned to a driving point's.
struct Band {
  std::vector<double> freq;    // Hz
  std::vector<Complex> value;  // m/N
};

// One real mode in physical units.
struct ModeParams {
  double fn;    // Hz
  double zeta;  // -
  double k;     // N/m
};

// The model being refined: modes and the two residual terms.
struct Model {
  std::vector<ModeParams> modes;
  Complex lower;  // (m/N)(rad/s)^2
  Complex upper;  // m/N
};

std::string fit_number(double x) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", x);
  return text;
}

std::string fit_direction_name(int dir) {
  static const char* const axes[] = {"", "X", "Y", "Z", "RX", "RY", "RZ"};
  if (dir == 0) return "unknown";
  return std::string(dir > 0 ? "+" : "-") + axes[std::abs(dir)];
}

int fit_check(const FrfData& frf, std::string* error) {
  if (frf.freq.size() != frf.value.size()) {
    *error = frf.source + ": " + std::to_string(frf.freq.size()) + " frequencies but " +
             std::to_string(frf.value.size()) + " values";
    return 0;
  }
  if (frf.freq.empty()) {
    *error = frf.source + ": no points";
    return 0;
  }
  if (frf.kind != FRF_RECEPTANCE) {
    *error = frf.source + ": not a receptance (displacement over force); convert it before fitting";
    return 0;
  }
  if (frf.response_dir < -6 || frf.response_dir > 6 || frf.reference_dir < -6 ||
      frf.reference_dir > 6) {
    *error = frf.source + ": direction codes " + std::to_string(frf.response_dir) + " and " +
             std::to_string(frf.reference_dir) + " out of -6..6";
    return 0;
  }
  for (size_t i = 0; i < frf.freq.size(); ++i) {
    if (!std::isfinite(frf.freq[i]) || !(frf.freq[i] >= 0)) {
      *error = frf.source + ": point " + std::to_string(i + 1) + " has frequency " +
               fit_number(frf.freq[i]) + " Hz; frequencies must be 0 or more";
      return 0;
    }
    if (i > 0 && !(frf.freq[i] > frf.freq[i - 1])) {
      *error = frf.source + ": frequencies not increasing at point " + std::to_string(i + 1) +
               " (" + fit_number(frf.freq[i]) + " Hz after " + fit_number(frf.freq[i - 1]) + " Hz)";
      return 0;
    }
    if (!std::isfinite(frf.value[i].real()) || !std::isfinite(frf.value[i].imag())) {
      *error = frf.source + ": value at " + fit_number(frf.freq[i]) + " Hz is not a finite number";
      return 0;
    }
  }
  return 1;
}

// FRFs fitted together must measure the same response and force directions where both say.
int fit_check_directions(const std::vector<FrfData>& frfs, std::string* error) {
  for (size_t i = 1; i < frfs.size(); ++i)
    for (size_t j = 0; j < i; ++j) {
      const FrfData& a = frfs[j];
      const FrfData& b = frfs[i];
      const char* what = nullptr;
      int da = 0, db = 0;
      if (a.response_dir && b.response_dir &&
          std::abs(a.response_dir) != std::abs(b.response_dir)) {
        what = "response";
        da = a.response_dir;
        db = b.response_dir;
      } else if (a.reference_dir && b.reference_dir &&
                 std::abs(a.reference_dir) != std::abs(b.reference_dir)) {
        what = "force";
        da = a.reference_dir;
        db = b.reference_dir;
      }
      if (what) {
        *error = b.source + ": " + what + " direction " + fit_direction_name(db) +
                 " differs from " + fit_direction_name(da) + " of " + a.source +
                 "; fit FRFs of one direction together";
        return 0;
      }
    }
  return 1;
}

Complex fit_mode_term(const ModeParams& m, double f) {
  const double r = f / m.fn;
  return 1.0 / (m.k * Complex(1 - r * r, 2 * m.zeta * r));
}

Complex fit_model_value(const Model& model, double f) {
  Complex h = 0;
  for (const ModeParams& m : model.modes) h += fit_mode_term(m, f);
  const double w = kTwoPi * f;
  return h - model.lower / (w * w) + model.upper;
}

// Modal constants of the poles (rad/s) and the residual terms by linear least squares;
// the real modes they make, without those whose constant is not positive.
Model fit_constants(const std::vector<Band>& bands, const std::vector<Complex>& poles, double scale,
                    double w_ref) {
  Eigen::Index rows = 0;
  for (const Band& b : bands) rows += 2 * static_cast<Eigen::Index>(b.freq.size());
  const Eigen::Index cols = 2 * static_cast<Eigen::Index>(poles.size()) + 4;
  Eigen::MatrixXd a(rows, cols);
  Eigen::VectorXd y(rows);
  Eigen::Index row = 0;
  const Complex i1(0, 1);
  for (const Band& b : bands)
    for (size_t p = 0; p < b.freq.size(); ++p, row += 2) {
      const double w = kTwoPi * b.freq[p];
      std::vector<Complex> column;
      for (const Complex& lambda : poles) {
        const Complex up = 1.0 / (Complex(0, w) - lambda);
        const Complex down = 1.0 / (Complex(0, w) - std::conj(lambda));
        column.push_back(up + down);
        column.push_back(i1 * up - i1 * down);
      }
      const double low = -(w_ref * w_ref) / (w * w);
      column.push_back(low);
      column.push_back(i1 * low);
      column.push_back(1);
      column.push_back(i1);
      for (Eigen::Index c = 0; c < cols; ++c) {
        a(row, c) = column[static_cast<size_t>(c)].real();
        a(row + 1, c) = column[static_cast<size_t>(c)].imag();
      }
      y(row) = b.value[p].real() / scale;
      y(row + 1) = b.value[p].imag() / scale;
    }
  const Eigen::VectorXd x = a.colPivHouseholderQr().solve(y);
  Model model;
  for (size_t i = 0; i < poles.size(); ++i) {
    const Complex residue =
        Complex(x(2 * static_cast<Eigen::Index>(i)), x(2 * static_cast<Eigen::Index>(i) + 1)) *
        scale;
    const double wn = std::abs(poles[i]);
    // r / (s - l) + conj: (2 i wd r) / (s^2 + 2 zeta wn s + wn^2), and wn^2 / k for a real mode.
    const double constant = (Complex(0, 2 * poles[i].imag()) * residue).real();
    if (!(constant > 0) || !std::isfinite(constant)) continue;
    model.modes.push_back({wn / kTwoPi, -poles[i].real() / wn, wn * wn / constant});
  }
  const Eigen::Index n = 2 * static_cast<Eigen::Index>(poles.size());
  model.lower = Complex(x(n), x(n + 1)) * scale * w_ref * w_ref;
  model.upper = Complex(x(n + 2), x(n + 3)) * scale;
  return model;
}

// Residuals (model - measured) / scale and their derivatives by the logarithms of each
// mode's fn, zeta and k, then by the scaled residual terms' real and imaginary parts.
struct Refinement {
  const std::vector<Band>* bands;
  std::vector<ModeParams> start;
  double scale;  // m/N
  double w_ref;  // rad/s
  Eigen::Index points;

  int inputs() const { return 3 * static_cast<int>(start.size()) + 4; }
  int values() const { return 2 * static_cast<int>(points); }

  Model model(const Eigen::VectorXd& x) const {
    Model m;
    for (size_t i = 0; i < start.size(); ++i) {
      const Eigen::Index j = 3 * static_cast<Eigen::Index>(i);
      m.modes.push_back({start[i].fn * (1 + kFreqRange * std::tanh(x(j))),
                         1 / (1 + std::exp(-x(j + 1))), start[i].k * std::exp(x(j + 2))});
    }
    const Eigen::Index n = 3 * static_cast<Eigen::Index>(start.size());
    m.lower = Complex(x(n), x(n + 1)) * scale * w_ref * w_ref;
    m.upper = Complex(x(n + 2), x(n + 3)) * scale;
    return m;
  }

  Eigen::VectorXd start_vector(const Model& m) const {
    Eigen::VectorXd x(inputs());
    for (size_t i = 0; i < start.size(); ++i) {
      const Eigen::Index j = 3 * static_cast<Eigen::Index>(i);
      const double zeta = std::clamp(m.modes[i].zeta, 1e-6, 0.99);
      x(j) = 0;
      x(j + 1) = std::log(zeta / (1 - zeta));
      x(j + 2) = 0;
    }
    const Eigen::Index n = 3 * static_cast<Eigen::Index>(start.size());
    x(n) = m.lower.real() / (scale * w_ref * w_ref);
    x(n + 1) = m.lower.imag() / (scale * w_ref * w_ref);
    x(n + 2) = m.upper.real() / scale;
    x(n + 3) = m.upper.imag() / scale;
    return x;
  }

  void residuals(const Model& m, Eigen::VectorXd* r, Eigen::MatrixXd* jac_log) const {
    Eigen::Index row = 0;
    for (const Band& b : *bands)
      for (size_t p = 0; p < b.freq.size(); ++p, row += 2) {
        const double f = b.freq[p];
        const double w = kTwoPi * f;
        const Complex e = (fit_model_value(m, f) - b.value[p]) / scale;
        (*r)(row) = e.real();
        (*r)(row + 1) = e.imag();
        if (!jac_log) continue;
        for (size_t i = 0; i < m.modes.size(); ++i) {
          const ModeParams& mode = m.modes[i];
          const double q = f / mode.fn;
          const Complex d(1 - q * q, 2 * mode.zeta * q);
          const Complex g = 1.0 / (mode.k * d) / scale;
          const Complex by_log_fn = -g / d * Complex(2 * q * q, -2 * mode.zeta * q);
          const Complex by_log_zeta = -g / d * Complex(0, 2 * mode.zeta * q);
          const Complex by_log_k = -g;
          const Eigen::Index c = 3 * static_cast<Eigen::Index>(i);
          (*jac_log)(row, c) = by_log_fn.real();
          (*jac_log)(row + 1, c) = by_log_fn.imag();
          (*jac_log)(row, c + 1) = by_log_zeta.real();
          (*jac_log)(row + 1, c + 1) = by_log_zeta.imag();
          (*jac_log)(row, c + 2) = by_log_k.real();
          (*jac_log)(row + 1, c + 2) = by_log_k.imag();
        }
        const Eigen::Index c = 3 * static_cast<Eigen::Index>(m.modes.size());
        const double low = -(w_ref * w_ref) / (w * w);
        (*jac_log)(row, c) = low;
        (*jac_log)(row + 1, c) = 0;
        (*jac_log)(row, c + 1) = 0;
        (*jac_log)(row + 1, c + 1) = low;
        (*jac_log)(row, c + 2) = 1;
        (*jac_log)(row + 1, c + 2) = 0;
        (*jac_log)(row, c + 3) = 0;
        (*jac_log)(row + 1, c + 3) = 1;
      }
  }

  int operator()(const Eigen::VectorXd& x, Eigen::VectorXd& fvec) const {
    residuals(model(x), &fvec, nullptr);
    return 0;
  }

  int df(const Eigen::VectorXd& x, Eigen::MatrixXd& fjac) const {
    const Model m = model(x);
    Eigen::VectorXd r(values());
    residuals(m, &r, &fjac);
    // From the logarithms to the bounded parameters.
    for (size_t i = 0; i < start.size(); ++i) {
      const Eigen::Index j = 3 * static_cast<Eigen::Index>(i);
      const double t = std::tanh(x(j));
      fjac.col(j) *= start[i].fn * kFreqRange * (1 - t * t) / m.modes[i].fn;
      fjac.col(j + 1) *= 1 - m.modes[i].zeta;
    }
    return 0;
  }
};

// The refined modes with the standard deviations of fn, zeta, k and the mass.
struct Refined {
  Model model;
  std::vector<FittedMode> modes;
  double misfit;  // m/N, root mean square of |model - measured| over the points
};

int fit_refine(const std::vector<Band>& bands, const Model& start, double scale, double w_ref,
               Refined* out, std::string* error) {
  Refinement problem{&bands, start.modes, scale, w_ref, 0};
  for (const Band& b : bands) problem.points += static_cast<Eigen::Index>(b.freq.size());
  Eigen::VectorXd x = problem.start_vector(start);
  Eigen::LevenbergMarquardt<Refinement> solver(problem);
  solver.parameters.maxfev = 2000;
  const Eigen::LevenbergMarquardtSpace::Status status = solver.minimize(x);
  if (status == Eigen::LevenbergMarquardtSpace::ImproperInputParameters) {
    *error = "the refinement of the modes could not start";
    return 0;
  }
  out->model = problem.model(x);
  const Eigen::Index m = problem.values(), p = problem.inputs();
  Eigen::VectorXd r(m);
  Eigen::MatrixXd jac(m, p);
  problem.residuals(out->model, &r, &jac);
  const double variance = m > p ? r.squaredNorm() / static_cast<double>(m - p) : 0.0;
  out->misfit = scale * std::sqrt(r.squaredNorm() / static_cast<double>(problem.points));
  const Eigen::MatrixXd info = jac.transpose() * jac;
  const Eigen::MatrixXd cov = info.ldlt().solve(Eigen::MatrixXd::Identity(p, p)) * variance;
  out->modes.clear();
  for (size_t i = 0; i < out->model.modes.size(); ++i) {
    const ModeParams& mode = out->model.modes[i];
    const Eigen::Index c = 3 * static_cast<Eigen::Index>(i);
    const double var_f = cov(c, c), var_z = cov(c + 1, c + 1), var_k = cov(c + 2, c + 2);
    const double var_m = var_k + 4 * var_f - 4 * cov(c, c + 2);
    FittedMode f{};
    f.natural_freq = mode.fn;
    f.natural_freq_sd = mode.fn * std::sqrt(std::max(0.0, var_f));
    f.damping_ratio = mode.zeta;
    f.damping_ratio_sd = mode.zeta * std::sqrt(std::max(0.0, var_z));
    f.stiffness = mode.k;
    f.stiffness_sd = mode.k * std::sqrt(std::max(0.0, var_k));
    const double wn = kTwoPi * mode.fn;
    f.mass = mode.k / (wn * wn);
    f.mass_sd = f.mass * std::sqrt(std::max(0.0, var_m));
    out->modes.push_back(f);
  }
  return 1;
}

// A mode the data do not support: damping at its bound, a stiffness the fit cannot tell,
// a peak (m/N) that does not stand out of the misfit (m/N) of the whole fit, or a
// half-power bandwidth narrower than the spacing of the points (Hz).
int fit_unsupported(const FittedMode& m, double misfit, double spacing) {
  const double peak = 1 / (2 * m.damping_ratio * m.stiffness);
  return !(m.damping_ratio < 0.5) || !(m.stiffness_sd < m.stiffness) ||
         !std::isfinite(m.stiffness_sd) || !(peak > kPeakOverMisfit * misfit) ||
         !(2 * m.damping_ratio * m.natural_freq > spacing);
}

// The widest mean spacing (Hz) of the FRFs' points in the band.
double fit_spacing(const std::vector<Band>& bands) {
  double spacing = 0;
  for (const Band& b : bands)
    if (b.freq.size() > 1)
      spacing = std::max(spacing,
                         (b.freq.back() - b.freq.front()) / static_cast<double>(b.freq.size() - 1));
  return spacing;
}

// The largest magnitude (m/N) of the FRFs within the half-power band of a pole at fn (Hz)
// with damping ratio zeta.
double fit_rest_near(const std::vector<FrfData>& frfs, double fn, double zeta) {
  double largest = 0;
  for (const FrfData& frf : frfs)
    for (size_t i = 0; i < frf.freq.size(); ++i)
      if (std::abs(frf.freq[i] - fn) <= zeta * fn)
        largest = std::max(largest, std::abs(frf.value[i]));
  return largest;
}

// The pole (rad/s) of a mode of natural frequency fn (Hz) and damping ratio zeta.
Complex fit_pole(double fn, double zeta) {
  const double wn = kTwoPi * fn;
  return {-zeta * wn, wn * std::sqrt(1 - zeta * zeta)};
}

// Refines the start, drops the modes the data do not support and refines again; 0 when
// no mode is left.
int fit_refine_supported(const std::vector<Band>& bands, Model start, double scale, double w_ref,
                         Refined* out) {
  std::string error;
  Refined refined;
  for (int pass = 0;; ++pass) {
    if (start.modes.empty()) return 0;
    if (!fit_refine(bands, start, scale, w_ref, &refined, &error)) return 0;
    Model kept{{}, refined.model.lower, refined.model.upper};
    std::vector<FittedMode> supported;
    for (size_t i = 0; i < refined.modes.size(); ++i)
      if (!fit_unsupported(refined.modes[i], refined.misfit, fit_spacing(bands))) {
        kept.modes.push_back(refined.model.modes[i]);
        supported.push_back(refined.modes[i]);
      }
    if (kept.modes.size() == refined.modes.size()) break;
    if (pass == kMaxRefits) {
      // Out of refinements: keep what is supported as it stands.
      refined.modes = supported;
      refined.model = kept;
      break;
    }
    start = kept;
  }
  if (refined.modes.empty()) return 0;
  *out = std::move(refined);
  return 1;
}

// What fit_modes works on: the band, the orders and the measured points.
struct Setup {
  double from, to;              // Hz, the band, from above 0
  double asked_from;            // Hz, the band's lower end as asked, for messages
  int order_min, order_max;     // orders of the diagram
  std::vector<FrfData> turned;  // the FRFs, signs turned to a driving point's
  std::vector<Band> bands;      // their points in the band
  double scale;                 // m/N, the largest magnitude in the band
  double w_ref;                 // rad/s, the lowest frequency in the band
  size_t points;                // points of all FRFs in the band
};

// Checks the FRFs and the options and gathers the points to fit.
int fit_setup(const std::vector<FrfData>& frfs, const FitOptions& options, Setup* s,
              std::string* error) {
  if (frfs.empty()) {
    *error = "no FRF to fit";
    return 0;
  }
  for (const FrfData& frf : frfs)
    if (!fit_check(frf, error)) return 0;
  if (!fit_check_directions(frfs, error)) return 0;
  if (options.max_modes < 0) {
    *error =
        "most modes to keep is " + std::to_string(options.max_modes) + "; must be 0 (all) or more";
    return 0;
  }
  double from = options.freq_from, to = options.freq_to;
  if (from == 0 && to == 0) {
    to = frfs[0].freq.back();
    for (const FrfData& frf : frfs) {
      from = std::max(from, frf.freq.front());
      to = std::min(to, frf.freq.back());
    }
    if (!(to > from)) {
      *error = frfs.back().source + ": shares no frequency band with " + frfs.front().source;
      return 0;
    }
  } else if (!std::isfinite(from) || !std::isfinite(to) || !(from >= 0) || !(to > from)) {
    *error = "band " + fit_number(from) + " to " + fit_number(to) +
             " Hz: needs 0 <= lower < upper frequency";
    return 0;
  }
  // A point at 0 Hz is not fitted: the lower residual is infinite there.
  s->from = std::max(from, std::numeric_limits<double>::min());
  s->asked_from = from;
  s->to = to;
  s->order_min = options.order_min;
  s->order_max = options.order_max;
  if (s->order_min == 0 && s->order_max == 0) {
    s->order_min = kDefaultOrderMin;
    s->order_max = kDefaultOrderMax;
  }

  s->points = 0;
  s->scale = 0;
  double lowest = to;
  for (const FrfData& frf : frfs) {
    // A response measured against the force's direction is turned round.
    const double sign = frf.response_dir * frf.reference_dir < 0 ? -1.0 : 1.0;
    s->turned.push_back(frf);
    for (Complex& v : s->turned.back().value) v *= sign;
    Band b;
    for (size_t i = 0; i < frf.freq.size(); ++i)
      if (frf.freq[i] >= s->from && frf.freq[i] <= to) {
        b.freq.push_back(frf.freq[i]);
        b.value.push_back(sign * frf.value[i]);
      }
    double largest = 0;
    for (const Complex& v : b.value) largest = std::max(largest, std::abs(v));
    if (!(largest > 0)) {
      *error = frf.source + ": no point, or only zeros, between " + fit_number(from) + " and " +
               fit_number(to) + " Hz";
      return 0;
    }
    s->points += b.freq.size();
    s->scale = std::max(s->scale, largest);
    lowest = std::min(lowest, b.freq.front());
    s->bands.push_back(std::move(b));
  }
  if (s->points > kMostPoints) {
    *error = std::to_string(s->points) + " points between " + fit_number(from) + " and " +
             fit_number(to) + " Hz; at most " + std::to_string(kMostPoints) +
             " are fitted at once: narrow the band";
    return 0;
  }
  s->w_ref = kTwoPi * lowest;
  return 1;
}

// Weak modes beside strong ones scatter too much to be stable in the diagram of the
// data; with the modes found taken out of the data, they stand out on their own. Adds
// them one at a time to *refined while each passes an F test; 0 with *error only when
// the diagram of the rest fails.
int fit_weak_modes(const Setup& s, Refined* refined, std::string* error) {
  for (int round = 0; round < kMaxRounds; ++round) {
    std::vector<FrfData> rest;
    for (const Band& b : s.bands) {
      FrfData r{};
      r.freq = b.freq;
      r.kind = FRF_RECEPTANCE;
      r.source = "what the modes found leave";
      for (size_t p = 0; p < b.freq.size(); ++p) {
        Complex h = b.value[p];
        for (const ModeParams& m : refined->model.modes) h -= fit_mode_term(m, b.freq[p]);
        r.value.push_back(h);
      }
      rest.push_back(std::move(r));
    }
    std::vector<LscfPole> diagram;
    if (!lscf_diagram(rest, s.from, s.to, s.order_min, s.order_max, &diagram, error)) return 0;
    std::vector<Complex> widened;
    for (const ModeParams& m : refined->model.modes) widened.push_back(fit_pole(m.fn, m.zeta));
    const size_t known = widened.size();
    // The candidate where the rest is largest is tried: a missing mode leaves its peak.
    double best_rest = 0;
    for (const LscfChoice& c : lscf_choose(diagram, s.order_min, s.order_max, kWeakModeStable)) {
      int near = 0;
      for (const ModeParams& m : refined->model.modes)
        near |= std::abs(c.freq - m.fn) < kNewModeGap * m.fn;
      if (near) continue;
      const double rest_there = fit_rest_near(rest, c.freq, c.damping_ratio);
      if (rest_there > best_rest) {
        best_rest = rest_there;
        widened.resize(known);
        widened.push_back(fit_pole(c.freq, c.damping_ratio));
      }
    }
    if (widened.size() == known) return 1;
    Refined wider;
    if (!fit_refine_supported(s.bands, fit_constants(s.bands, widened, s.scale, s.w_ref), s.scale,
                              s.w_ref, &wider) ||
        wider.modes.size() <= refined->modes.size())
      return 1;
    // The new mode must explain far more than noise would: an F test of the drop in
    // the sum of squares against the rest, per added parameter.
    const double added = 3.0 * static_cast<double>(wider.modes.size() - refined->modes.size());
    const double freedom =
        2.0 * static_cast<double>(s.points) - (3.0 * static_cast<double>(wider.modes.size()) + 4);
    const double ratio = (refined->misfit * refined->misfit) / (wider.misfit * wider.misfit);
    if (!((ratio - 1) * freedom / added > kNewModeF)) return 1;
    *refined = std::move(wider);
  }
  return 1;
}

// Fills the result with the strongest modes (highest peak receptance 1 / (2 zeta k)),
// at most max_modes of them (0: all), in ascending frequency, and the fit's relative error.
void fit_keep(const Setup& s, const Refined& refined, int max_modes, FitResult* result) {
  std::vector<size_t> order(refined.modes.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  auto peak = [&](size_t i) {
    return 1 / (2 * refined.modes[i].damping_ratio * refined.modes[i].stiffness);
  };
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return peak(a) > peak(b); });
  if (max_modes > 0 && order.size() > static_cast<size_t>(max_modes)) {
    result->dropped = static_cast<int>(order.size()) - max_modes;
    order.resize(static_cast<size_t>(max_modes));
  }
  for (size_t i : order) result->modes.push_back(refined.modes[i]);
  std::sort(
      result->modes.begin(), result->modes.end(),
      [](const FittedMode& a, const FittedMode& b) { return a.natural_freq < b.natural_freq; });
  result->lower_residual = refined.model.lower;
  result->upper_residual = refined.model.upper;
  double misfit = 0, measured = 0;
  for (const Band& b : s.bands)
    for (size_t p = 0; p < b.freq.size(); ++p) {
      misfit += std::norm(fit_receptance(*result, b.freq[p], 1) - b.value[p]);
      measured += std::norm(b.value[p]);
    }
  result->relative_error = std::sqrt(misfit / measured);
}

int fit_modes_unguarded(const std::vector<FrfData>& frfs, const FitOptions& options,
                        FitResult* result, std::string* error) {
  Setup s;
  if (!fit_setup(frfs, options, &s, error)) return 0;

  // The stable poles of the diagram.
  std::vector<LscfPole> diagram;
  if (!lscf_diagram(s.turned, s.from, s.to, s.order_min, s.order_max, &diagram, error)) return 0;
  for (const LscfPole& p : diagram)
    result->poles.push_back({p.order, p.freq, p.damping_ratio, p.stable});
  std::vector<Complex> poles;
  for (const LscfChoice& c : lscf_choose(diagram, s.order_min, s.order_max, 0))
    poles.push_back(fit_pole(c.freq, c.damping_ratio));

  // Their modal constants, then the refined modes the data support.
  Refined refined;
  if (!fit_refine_supported(s.bands, fit_constants(s.bands, poles, s.scale, s.w_ref), s.scale,
                            s.w_ref, &refined)) {
    *error = "no stable physical mode found between " + fit_number(s.asked_from) + " and " +
             fit_number(s.to) + " Hz at model orders " + std::to_string(s.order_min) + " to " +
             std::to_string(s.order_max);
    return 0;
  }
  if (!fit_weak_modes(s, &refined, error)) return 0;
  fit_keep(s, refined, options.max_modes, result);
  return 1;
}

}  // namespace

int fit_modes(const std::vector<FrfData>& frfs, const FitOptions& options, FitResult* result,
              std::string* error) {
  *result = FitResult{};
  int ok = 0;
  try {
    ok = fit_modes_unguarded(frfs, options, result, error);
  } catch (const std::bad_alloc&) {
    *error = "out of memory fitting the modes";
  }
  if (!ok) *result = FitResult{};
  return ok;
}

std::complex<double> fit_receptance(const FitResult& result, double f, int with_residuals) {
  Complex h = 0;
  for (const FittedMode& m : result.modes)
    h += fit_mode_term({m.natural_freq, m.damping_ratio, m.stiffness}, f);
  if (with_residuals) {
    const double w = kTwoPi * f;
    h += result.upper_residual;
    if (w > 0) h -= result.lower_residual / (w * w);
  }
  return h;
}
