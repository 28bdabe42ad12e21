#include "engine/modal_batch.h"

#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/modal_response.h"
#include "engine/modal_step.h"

namespace {

// Registers of 2 or 4 doubles; GCC's vector operators act lane by lane and
// compile to the packed instructions (divpd, vdivpd ...). The build never
// contracts a * b + c, and neither kernel's target has fused multiply-add.
using Pair = __m128d;
using Quad = __m256d;

template <typename V>
inline constexpr int kWidth = sizeof(V) / sizeof(double);

// Lanes j to j + kWidth - 1 of a column, in one register (unaligned load).
// (Out-parameters rather than returned registers: an AVX register returned
// from a function compiled for the baseline would change the ABI.)
template <typename V>
[[gnu::always_inline]] inline void take(V& v, const double* column, int j) {
  std::memcpy(&v, column + j, sizeof v);
}

// A register back into lanes j to j + kWidth - 1 of a column.
template <typename V>
[[gnu::always_inline]] inline void put(double* column, int j, const V& v) {
  std::memcpy(column + j, &v, sizeof v);
}

// Lays the lanes out for the drives' mode lists (or keeps the layout of the
// step before when the lists are the same); returns the lanes in use.
int lay_out(ModalLanes* b, const ModalDrive* drives) {
  int l = 0;
  if (b->count > 0) {
    for (; l < kModalLists; ++l) {
      const ModalDrive& d = drives[l];
      if (d.modes != b->layout_modes[l] || d.response != b->layout_response[l] ||
          (d.modes != nullptr && d.count != b->layout_count[l]))
        break;
    }
  }
  if (l == kModalLists) return b->count;
  int lanes = 0;
  for (int list = 0; list < kModalLists; ++list) {
    const ModalDrive& d = drives[list];
    const int count = d.modes == nullptr ? 0 : std::min(d.count, kMaxModesPerDirection);
    b->layout_modes[list] = d.modes;
    b->layout_count[list] = d.count;
    b->layout_response[list] = d.response;
    for (int i = 0; i < count; ++i, ++lanes) {
      b->lane_response[lanes] = d.response;
      b->lane_mode[lanes] = i;
      b->lane_list[lanes] = list;
    }
  }
  b->count = -1;  // the padding is laid anew
  return lanes;
}

// Puts a mode at rest into lanes from..to-1: finite values whose results
// nobody reads.
void rest_lanes(ModalLanes* b, int from, int to) {
  for (int p = from; p < to; ++p) {
    b->decay_rate[p] = b->damped_freq[p] = b->natural_freq_sq[p] = b->mass_freq[p] = 1.0;
    b->force[p] = b->prev_force[p] = 0.0;
    b->cos_end[p] = b->sin_end[p] = b->cos_start[p] = b->sin_start[p] = b->growth[p] = 0.0;
    b->e_step[p] = b->e_back[p] = 0.0;
    b->integral_cos[p] = b->integral_sin[p] = 0.0;
  }
}

// Whether e^p is the factor modal_step_accumulate and modal_step_scaled_exp
// take with a single exponential: a step count that is not 0 and an exponent
// within +-300.
inline bool single_exp(int steps, double p) {
  return steps != 0 && p >= -300.0 && p <= 300.0;
}

// The step of every lane, each lane's operations those of modal_mode_step
// in their written order:
//
// 1. the lanes gathered from the workspaces (each mode cleared at the run's
//    first step), with the start's sine, cosine and growth from the memo;
// 2. the library calls: sin and cos of wd t1, and the two exponentials of
//    the usual step, e^((n - ref) dt sigma) for the accumulation and
//    e^((n + 1 - ref) (-sigma dt)) for the reference decay, whose arguments
//    are known when the step begins; each lane's calls are independent of
//    the other lanes', and nothing else is in the loop;
// 3. packed: the force line and the step's additions to the integrals, the
//    new integrals, the displacement and its reference decay;
// 4. the integrals and displacements stored and placed in lane order (the
//    order of the lists and their modes, so the histories' sums are those of
//    the scalar step). A lane whose step is not the usual one (a rebase, an
//    overflow, an exponent past 300) is finished by the shared stages of
//    modal_step.h from its untouched workspace, which then take the scalar
//    step's path.
template <typename V>
[[gnu::always_inline]] inline void respond_lanes(SimState* state, const ModalDrive* drives, int k,
                                                 int count) {
  constexpr int w = kWidth<V>;
  ModalLanes* b = &state->modal_lanes;
  const ModeStepTimes tm = modal_step_times(state, k);
  const double dt = state->time_step, t0 = tm.t0, t1 = tm.t1;
  const int n = tm.n;

  // 1. The lanes (laid out by lay_out).
  for (int j = 0; j < count; ++j) {
    ModeResponse* r = b->lane_response[j];
    const int i = b->lane_mode[j];
    const ModalDrive& d = drives[b->lane_list[j]];
    b->force[j] = d.force;
    if (tm.first) {
      r->integral_cos[i] = 0.0;
      r->integral_sin[i] = 0.0;
      r->prev_force[i] = 0.0;
    }
    const double wd = r->damped_freq[i], sigma = r->decay_rate[i];
    b->decay_rate[j] = sigma;
    b->damped_freq[j] = wd;
    b->natural_freq_sq[j] = r->natural_freq_sq[i];
    b->mass_freq[j] = d.modes[i].mass * wd;
    b->prev_force[j] = r->prev_force[i];
    b->integral_cos[j] = r->integral_cos[i];
    b->integral_sin[j] = r->integral_sin[i];
    const int ref = r->ref_step[i];
    const double p = static_cast<double>(n - ref) * (dt * sigma);
    const double q = static_cast<double>(n + 1 - ref) * (-sigma * dt);
    b->step_usual[j] = single_exp(n - ref, p);
    b->back_usual[j] = n + 1 > ref && single_exp(n + 1 - ref, q);
    b->e_step[j] = p;  // the exponents until the calls below
    b->e_back[j] = q;
    const ModeStepMemo& memo = r->memo[i];
    b->start_known[j] = modal_step_memo_matches(r, i, dt) && memo.end_step == n;
    if (b->start_known[j]) {
      b->cos_start[j] = memo.cos_end;
      b->sin_start[j] = memo.sin_end;
      b->growth[j] = memo.growth;
    }
  }

  // 2. The library calls, and each memo left as modal_step_trig leaves it.
  for (int j = 0; j < count; ++j) {
    const double wd = b->damped_freq[j];
    b->cos_end[j] = std::cos(wd * t1);
    b->sin_end[j] = std::sin(wd * t1);
    if (b->step_usual[j]) b->e_step[j] = std::exp(b->e_step[j]);
    if (b->back_usual[j]) b->e_back[j] = std::exp(b->e_back[j]);
  }
  for (int j = 0; j < count; ++j) {
    ModeResponse* r = b->lane_response[j];
    const int i = b->lane_mode[j];
    ModeStepMemo* memo = &r->memo[i];
    if (b->start_known[j]) {
      // The constants in the memo are these already, bit for bit.
      memo->end_step = n + 1;
      memo->cos_end = b->cos_end[j];
      memo->sin_end = b->sin_end[j];
      continue;
    }
    const double wd = b->damped_freq[j], sigma = b->decay_rate[j];
    const bool known = modal_step_memo_matches(r, i, dt);
    b->cos_start[j] = std::cos(wd * t0);
    b->sin_start[j] = std::sin(wd * t0);
    b->growth[j] = known ? memo->growth : std::exp(sigma * dt);
    *memo = {1, n + 1, wd, sigma, dt, b->cos_end[j], b->sin_end[j], b->growth[j]};
  }
  const int padded = (count + w - 1) / w * w;
  if (b->count != count || b->padded != padded) {
    rest_lanes(b, count, padded);
    b->count = count;
    b->padded = padded;
  }

  // 3. Packed: the force line, slope g = (F - F_prev) / dt and offset
  // F_prev - t0 g, the step's additions to the running integrals and the
  // integrals after the step (a + e delta).
  for (int j = 0; j < padded; j += w) {
    V force, prev, sigma, wd, nw, c1, s1, c0, s0, e1, e, a, bb;
    take(force, b->force, j);
    take(prev, b->prev_force, j);
    take(sigma, b->decay_rate, j);
    take(wd, b->damped_freq, j);
    take(nw, b->natural_freq_sq, j);
    take(c1, b->cos_end, j);
    take(s1, b->sin_end, j);
    take(c0, b->cos_start, j);
    take(s0, b->sin_start, j);
    take(e1, b->growth, j);
    const V g = (force - prev) / dt;
    const V f0 = prev - t0 * g;
    const double e0 = 1.0;  // e^(sigma * 0), exactly
    const V gc1 = e1 * (sigma * c1 + wd * s1) / nw;
    const V gs1 = e1 * (sigma * s1 - wd * c1) / nw;
    const V gc0 = e0 * (sigma * c0 + wd * s0) / nw;
    const V gs0 = e0 * (sigma * s0 - wd * c0) / nw;
    const V gc = gc1 - gc0;
    const V gs = gs1 - gs0;
    const V hs = (t1 * gs1 - sigma * gs1 / nw + wd * gc1 / nw) -
                 (t0 * gs0 - sigma * gs0 / nw + wd * gc0 / nw);
    const V hc = (t1 * gc1 - sigma * gc1 / nw - wd * gs1 / nw) -
                 (t0 * gc0 - sigma * gc0 / nw - wd * gs0 / nw);
    const V delta_cos = f0 * gc + g * hc;
    const V delta_sin = f0 * gs + g * hs;
    put(b->delta_cos, j, delta_cos);
    put(b->delta_sin, j, delta_sin);
    take(e, b->e_step, j);
    take(a, b->integral_cos, j);
    take(bb, b->integral_sin, j);
    put(b->integral_cos, j, a + e * delta_cos);
    put(b->integral_sin, j, bb + e * delta_sin);
  }

  // The usual step's integrals are kept; any other lane's come from
  // modal_step_accumulate, which starts again from the untouched workspace.
  for (int j = 0; j < count; ++j) {
    ModeResponse* r = b->lane_response[j];
    const int i = b->lane_mode[j];
    const double a = r->integral_cos[i], bs = r->integral_sin[i];
    if (b->step_usual[j] && !(a > kModalRebaseLimit) && !(bs > kModalRebaseLimit) &&
        std::isfinite(b->integral_cos[j]) && std::isfinite(b->integral_sin[j])) {
      r->integral_cos[i] = b->integral_cos[j];
      r->integral_sin[i] = b->integral_sin[j];
    } else {
      const ModeIntegrals sum =
          modal_step_accumulate(r, i, dt, n, b->delta_cos[j], b->delta_sin[j]);
      b->integral_cos[j] = sum.cos_part;
      b->integral_sin[j] = sum.sin_part;
      b->back_usual[j] = 0;  // the reference step may have moved
    }
    r->prev_force[i] = b->force[j];
  }

  // (sin(wd t1) A - cos(wd t1) B) / (mass wd), and its reference decay.
  for (int j = 0; j < padded; j += w) {
    V a, bb, c1, s1, mw, e;
    take(a, b->integral_cos, j);
    take(bb, b->integral_sin, j);
    take(c1, b->cos_end, j);
    take(s1, b->sin_end, j);
    take(mw, b->mass_freq, j);
    take(e, b->e_back, j);
    const V x0 = (s1 * a - c1 * bb) / mw;
    put(b->displacement, j, x0);
    put(b->e_back, j, e * x0);  // the displacement, where the usual step holds
  }

  // 4. The displacements join the histories in lane order.
  for (int j = 0; j < count; ++j) {
    const ModalDrive& d = drives[b->lane_list[j]];
    ModeResponse* r = b->lane_response[j];
    const int i = b->lane_mode[j];
    const double x0 = b->displacement[j];
    double x = b->e_back[j];
    if (!(b->back_usual[j] && std::isfinite(x0))) {
      const ModeStepTrig trig = {b->cos_end[j], b->sin_end[j], b->cos_start[j], b->sin_start[j],
                                 b->growth[j]};
      x = modal_step_finish(r, i, d.modes[i].mass, dt, n, trig, x0);
    }
    modal_step_place(d, state, x, r->delay_steps[i], k);
  }
}

void respond_sse2(SimState* state, const ModalDrive* drives, int k, int count) {
  respond_lanes<Pair>(state, drives, k, count);
}

[[gnu::target("avx2")]] void respond_avx2(SimState* state, const ModalDrive* drives, int k,
                                          int count) {
  respond_lanes<Quad>(state, drives, k, count);
}

}  // namespace

int modal_batch_width() {
  static const int width = __builtin_cpu_supports("avx2") ? 4 : 2;
  return width;
}

void modal_batch_respond(const SimParams* params, SimState* state, int k, int width) {
  ModalDrive drives[kModalLists];
  modal_drives(params, state, drives);
  modal_batch_respond_drives(state, drives, k, width, 0);
}

int modal_batch_respond_drives(SimState* state, const ModalDrive* drives, int k, int width,
                               int least_lanes) {
  const int count = lay_out(&state->modal_lanes, drives);
  if (count < least_lanes) return 0;
  if (width == 4 && modal_batch_width() == 4)
    respond_avx2(state, drives, k, count);
  else
    respond_sse2(state, drives, k, count);
  return 1;
}
