// The denominator is a polynomial in z = exp(i (w - wc) Ts) with complex
// coefficients, where wc is the centre of the band and Ts maps the band onto
// 0.9 of the unit circle: the basis is then close to orthogonal whatever the
// band, and the normal equations stay well conditioned at high orders. Each
// physical mode in the band gives one pole; its conjugate lies far outside
// the band and is left to the numerators and the computational poles.
#include "frf/lscf.h"

#include <Eigen/Dense>
#include <Eigen/Eigenvalues>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

using Complex = std::complex<double>;

constexpr double kStableFreq = 0.01;     // relative change of frequency between orders
constexpr double kStableDamping = 0.05;  // relative change of damping ratio between orders
constexpr double kClusterWidth = 0.01;   // relative half-width of a group of poles
constexpr double kCircleShare = 0.9;     // share of the unit circle the band covers
constexpr int kHighestOrder = 120;       // beyond it the polynomial roots lose their accuracy

// The frequency map of the band.
struct BandMap {
  double centre;  // rad/s
  double period;  // s, Ts
};

// The reduced normal equations' blocks of one FRF at the highest order.
struct Blocks {
  Eigen::MatrixXcd r;  // basis x basis
  Eigen::MatrixXcd s;  // basis x measured-weighted basis
  Eigen::MatrixXcd t;  // measured-weighted basis, squared
};

Blocks lscf_blocks(const FrfData& frf, double freq_from, double freq_to, int order,
                   const BandMap& map) {
  std::vector<size_t> rows;
  for (size_t i = 0; i < frf.freq.size(); ++i)
    if (frf.freq[i] >= freq_from && frf.freq[i] <= freq_to) rows.push_back(i);
  double scale = 0;
  for (size_t i : rows) scale = std::max(scale, std::abs(frf.value[i]));
  if (!(scale > 0)) scale = 1;
  Blocks b;
  b.r = Eigen::MatrixXcd::Zero(order + 1, order + 1);
  b.s = b.r;
  b.t = b.r;
  // The sums go a slice of rows at a time, so long FRFs need little memory.
  constexpr size_t kSlice = 2048;
  for (size_t first = 0; first < rows.size(); first += kSlice) {
    const size_t count = std::min(kSlice, rows.size() - first);
    Eigen::MatrixXcd basis(static_cast<Eigen::Index>(count), order + 1);
    Eigen::MatrixXcd weighted(static_cast<Eigen::Index>(count), order + 1);
    for (size_t k = 0; k < count; ++k) {
      const size_t i = rows[first + k];
      const double theta = (2 * std::numbers::pi * frf.freq[i] - map.centre) * map.period;
      const Complex h = frf.value[i] / scale;
      const Eigen::Index row = static_cast<Eigen::Index>(k);
      for (int j = 0; j <= order; ++j) {
        basis(row, j) = std::polar(1.0, theta * j);
        weighted(row, j) = h * basis(row, j);
      }
    }
    b.r += basis.adjoint() * basis;
    b.s -= basis.adjoint() * weighted;
    b.t += weighted.adjoint() * weighted;
  }
  return b;
}

// The physical poles in the band of the model of one order.
std::vector<LscfPole> lscf_order_poles(const std::vector<Blocks>& blocks, int order,
                                       const BandMap& map, double freq_from, double freq_to) {
  const Eigen::Index size = order + 1;
  Eigen::MatrixXcd m = Eigen::MatrixXcd::Zero(size, size);
  for (const Blocks& b : blocks) {
    const Eigen::MatrixXcd r = b.r.topLeftCorner(size, size);
    const Eigen::MatrixXcd s = b.s.topLeftCorner(size, size);
    m += b.t.topLeftCorner(size, size) - s.adjoint() * r.ldlt().solve(s);
  }
  // The highest coefficient is fixed at 1; the others solve the rest.
  const Eigen::VectorXcd a = m.topLeftCorner(order, order).ldlt().solve(-m.col(order).head(order));
  Eigen::MatrixXcd companion = Eigen::MatrixXcd::Zero(order, order);
  for (int i = 1; i < order; ++i) companion(i, i - 1) = 1;
  companion.col(order - 1) = -a;
  Eigen::ComplexEigenSolver<Eigen::MatrixXcd> solver(companion, false);
  std::vector<LscfPole> poles;
  if (solver.info() != Eigen::Success) return poles;
  for (Eigen::Index i = 0; i < order; ++i) {
    const Complex z = solver.eigenvalues()(i);
    if (!(std::abs(z) > 0) || !std::isfinite(std::abs(z))) continue;
    const Complex lambda = std::log(z) / map.period + Complex(0, map.centre);
    if (!(lambda.imag() > 0)) continue;
    const double wn = std::abs(lambda);
    const double zeta = -lambda.real() / wn;
    const double fn = wn / (2 * std::numbers::pi);
    if (fn < freq_from || fn > freq_to || !(zeta > 0) || !(zeta < 1)) continue;
    poles.push_back({order, fn, zeta, 0});
  }
  std::sort(poles.begin(), poles.end(),
            [](const LscfPole& x, const LscfPole& y) { return x.freq < y.freq; });
  return poles;
}

void lscf_mark_stable(const std::vector<LscfPole>& previous, std::vector<LscfPole>* poles) {
  for (LscfPole& p : *poles) {
    const LscfPole* nearest = nullptr;
    for (const LscfPole& q : previous)
      if (!nearest || std::abs(q.freq - p.freq) < std::abs(nearest->freq - p.freq)) nearest = &q;
    if (nearest && std::abs(p.freq - nearest->freq) < kStableFreq * nearest->freq &&
        std::abs(p.damping_ratio - nearest->damping_ratio) <
            kStableDamping * nearest->damping_ratio)
      p.stable = 1;
  }
}

double lscf_median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

}  // namespace

int lscf_diagram(const std::vector<FrfData>& frfs, double freq_from, double freq_to, int order_min,
                 int order_max, std::vector<LscfPole>* poles, std::string* error) {
  poles->clear();
  if (order_min < 1 || order_max < order_min || order_max > kHighestOrder) {
    *error = "model orders " + std::to_string(order_min) + " to " + std::to_string(order_max) +
             ": need 1 <= lowest <= highest <= " + std::to_string(kHighestOrder);
    return 0;
  }
  if (!(freq_from >= 0) || !(freq_to > freq_from)) {
    *error = "band must have its upper frequency above its lower one";
    return 0;
  }
  if (frfs.empty()) {
    *error = "no FRF to fit";
    return 0;
  }
  const size_t needed = 2 * static_cast<size_t>(order_max) + 1;
  for (const FrfData& frf : frfs) {
    const size_t in_band =
        static_cast<size_t>(std::count_if(frf.freq.begin(), frf.freq.end(), [&](double f) {
          return f >= freq_from && f <= freq_to;
        }));
    if (in_band < needed) {
      *error = frf.source + ": " + std::to_string(in_band) + " points in the band, model order " +
               std::to_string(order_max) + " needs at least " + std::to_string(needed);
      return 0;
    }
  }
  const double w_from = 2 * std::numbers::pi * freq_from, w_to = 2 * std::numbers::pi * freq_to;
  const BandMap map{0.5 * (w_from + w_to),
                    kCircleShare * std::numbers::pi / (0.5 * (w_to - w_from))};
  std::vector<Blocks> blocks;
  for (const FrfData& frf : frfs)
    blocks.push_back(lscf_blocks(frf, freq_from, freq_to, order_max, map));
  // Orders go up in steps of two: the poles of consecutive orders alternate between two
  // slightly different families, and a step of two compares like with like.
  std::vector<LscfPole> previous;
  for (int order = order_min > 2 ? order_min - 2 : order_min; order <= order_max; order += 2) {
    std::vector<LscfPole> current = lscf_order_poles(blocks, order, map, freq_from, freq_to);
    lscf_mark_stable(previous, &current);
    if (order >= order_min) poles->insert(poles->end(), current.begin(), current.end());
    previous = std::move(current);
  }
  return 1;
}

std::vector<LscfChoice> lscf_choose(const std::vector<LscfPole>& poles, int order_min,
                                    int order_max, int least) {
  const int orders = (order_max - order_min) / 2 + 1;
  const int needed = least > 0 ? least : std::max(3, (orders + 3) / 4);
  std::vector<LscfPole> left;
  for (const LscfPole& p : poles)
    if (p.stable) left.push_back(p);
  std::vector<LscfChoice> chosen;
  while (!left.empty()) {
    // The pole with stable neighbours in the most orders seeds the next group.
    int best_count = 0;
    size_t best = 0;
    for (size_t i = 0; i < left.size(); ++i) {
      std::vector<int> seen;
      for (const LscfPole& q : left)
        if (std::abs(q.freq - left[i].freq) <= kClusterWidth * left[i].freq &&
            std::find(seen.begin(), seen.end(), q.order) == seen.end())
          seen.push_back(q.order);
      const int count = static_cast<int>(seen.size());
      if (count > best_count || (count == best_count && left[i].freq < left[best].freq)) {
        best_count = count;
        best = i;
      }
    }
    if (best_count < needed) break;
    // Its group: the nearest pole of each order within the width.
    const double centre = left[best].freq;
    std::vector<size_t> members;
    for (int order = order_min; order <= order_max; order += 2) {
      size_t pick = left.size();
      for (size_t i = 0; i < left.size(); ++i)
        if (left[i].order == order && std::abs(left[i].freq - centre) <= kClusterWidth * centre &&
            (pick == left.size() ||
             std::abs(left[i].freq - centre) < std::abs(left[pick].freq - centre)))
          pick = i;
      if (pick < left.size()) members.push_back(pick);
    }
    std::vector<double> freqs, dampings;
    for (size_t i : members) {
      freqs.push_back(left[i].freq);
      dampings.push_back(left[i].damping_ratio);
    }
    chosen.push_back({lscf_median(freqs), lscf_median(dampings), static_cast<int>(members.size())});
    std::sort(members.rbegin(), members.rend());
    for (size_t i : members) left.erase(left.begin() + static_cast<std::ptrdiff_t>(i));
  }
  std::sort(chosen.begin(), chosen.end(),
            [](const LscfChoice& x, const LscfChoice& y) { return x.freq < y.freq; });
  return chosen;
}
