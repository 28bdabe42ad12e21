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

// Lane j's workspace, mode and list.
struct LaneOwner {
  ModeResponse* response;
  int mode;
  int list;
};

// Puts a mode at rest into lanes from..to-1: finite values whose results
// nobody reads.
void rest_lanes(ModalLanes* b, int from, int to) {
  for (int p = from; p < to; ++p) {
    b->decay_rate[p] = b->damped_freq[p] = b->natural_freq_sq[p] = b->mass_freq[p] = 1.0;
    b->force[p] = b->prev_force[p] = 0.0;
    b->cos_end[p] = b->sin_end[p] = b->cos_start[p] = b->sin_start[p] = b->growth[p] = 0.0;
    b->integral_cos[p] = b->integral_sin[p] = 0.0;
  }
}

// The step of every lane: scalar stages (the memo's sines, cosines and
// growth, the accumulation and the reference decay of modal_step.h) around
// two packed ones, each packed one written as the scalar step writes it
// (modal_mode_step and the antiderivatives of modal_response.cpp).
template <typename V>
[[gnu::always_inline]] inline void respond_lanes(SimState* state, const ModalDrive* drives, int k) {
  constexpr int w = kWidth<V>;
  ModalLanes* b = &state->modal_lanes;
  LaneOwner owners[kModalLanes];
  const ModeStepTimes tm = modal_step_times(state, k);
  const double dt = state->time_step, t0 = tm.t0, t1 = tm.t1;
  const int n = tm.n;

  // The lanes from the workspaces (each mode cleared at the run's first
  // step) with their sines, cosines and growth; the memo of each mode is
  // left as modal_step_trig leaves it.
  int count = 0;
  for (int l = 0; l < kModalLists; ++l) {
    const ModalDrive& d = drives[l];
    if (d.modes == nullptr) continue;
    const int modes = std::min(d.count, kMaxModesPerDirection);
    ModeResponse* r = d.response;
    for (int i = 0; i < modes; ++i, ++count) {
      if (tm.first) {
        r->integral_cos[i] = 0.0;
        r->integral_sin[i] = 0.0;
        r->prev_force[i] = 0.0;
      }
      owners[count] = {r, i, l};
      const double wd = r->damped_freq[i], sigma = r->decay_rate[i];
      b->decay_rate[count] = sigma;
      b->damped_freq[count] = wd;
      b->natural_freq_sq[count] = r->natural_freq_sq[i];
      b->mass_freq[count] = d.modes[i].mass * wd;
      b->force[count] = d.force;
      b->prev_force[count] = r->prev_force[i];
      const double c1 = std::cos(wd * t1);
      const double s1 = std::sin(wd * t1);
      ModeStepMemo* memo = &r->memo[i];
      if (modal_step_memo_matches(r, i, dt)) {
        if (memo->end_step == n) {
          b->cos_start[count] = memo->cos_end;
          b->sin_start[count] = memo->sin_end;
        } else {
          b->cos_start[count] = std::cos(wd * t0);
          b->sin_start[count] = std::sin(wd * t0);
        }
        b->growth[count] = memo->growth;
        // The constants in the memo are these already, bit for bit.
        memo->end_step = n + 1;
        memo->cos_end = c1;
        memo->sin_end = s1;
      } else {
        b->cos_start[count] = std::cos(wd * t0);
        b->sin_start[count] = std::sin(wd * t0);
        b->growth[count] = std::exp(sigma * dt);
        *memo = {1, n + 1, wd, sigma, dt, c1, s1, b->growth[count]};
      }
      b->cos_end[count] = c1;
      b->sin_end[count] = s1;
    }
  }
  const int padded = (count + w - 1) / w * w;
  if (b->count != count || b->padded != padded) {
    rest_lanes(b, count, padded);
    b->count = count;
    b->padded = padded;
  }

  // The force line, slope g = (F - F_prev) / dt and offset F_prev - t0 g,
  // and the step's additions to the running integrals.
  for (int j = 0; j < padded; j += w) {
    V force, prev, sigma, wd, nw, c1, s1, c0, s0, e1;
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
    put(b->delta_cos, j, f0 * gc + g * hc);
    put(b->delta_sin, j, f0 * gs + g * hs);
  }

  // The running integrals: the usual step (no rebase, one exponential, a
  // finite sum) inline; any other goes through modal_step_accumulate from
  // the untouched workspace, which then takes the same path as the scalar step.
  for (int j = 0; j < count; ++j) {
    ModeResponse* r = owners[j].response;
    const int i = owners[j].mode;
    const double a = r->integral_cos[i], bs = r->integral_sin[i];
    const double dc = b->delta_cos[j], ds = b->delta_sin[j];
    const int gap = n - r->ref_step[i];
    const double p = static_cast<double>(gap) * (dt * b->decay_rate[j]);
    double sum_cos = 0.0, sum_sin = 0.0;
    bool done = false;
    if (!(a > kModalRebaseLimit) && !(bs > kModalRebaseLimit) && gap != 0 && p >= -300.0 &&
        p <= 300.0) {
      const double e = std::exp(p);
      sum_cos = a + e * dc;
      sum_sin = bs + e * ds;
      done = std::isfinite(sum_cos) && std::isfinite(sum_sin);
    }
    if (done) {
      r->integral_cos[i] = sum_cos;
      r->integral_sin[i] = sum_sin;
    } else {
      const ModeIntegrals sum = modal_step_accumulate(r, i, dt, n, dc, ds);
      sum_cos = sum.cos_part;
      sum_sin = sum.sin_part;
    }
    r->prev_force[i] = b->force[j];
    b->integral_cos[j] = sum_cos;
    b->integral_sin[j] = sum_sin;
  }

  // (sin(wd t1) A - cos(wd t1) B) / (mass wd).
  for (int j = 0; j < padded; j += w) {
    V a, bb, c1, s1, mw;
    take(a, b->integral_cos, j);
    take(bb, b->integral_sin, j);
    take(c1, b->cos_end, j);
    take(s1, b->sin_end, j);
    take(mw, b->mass_freq, j);
    put(b->displacement, j, (s1 * a - c1 * bb) / mw);
  }

  // The displacements join the histories in lane order, which is the order
  // of the lists and of their modes: the sums are those of the scalar step.
  for (int j = 0; j < count; ++j) {
    const ModalDrive& d = drives[owners[j].list];
    ModeResponse* r = owners[j].response;
    const int i = owners[j].mode;
    const ModeStepTrig trig = {b->cos_end[j], b->sin_end[j], b->cos_start[j], b->sin_start[j],
                               b->growth[j]};
    const double x = modal_step_finish(r, i, d.modes[i].mass, dt, n, trig, b->displacement[j]);
    modal_step_place(d, state, x, r->delay_steps[i], k);
  }
}

void respond_sse2(SimState* state, const ModalDrive* drives, int k) {
  respond_lanes<Pair>(state, drives, k);
}

[[gnu::target("avx2")]] void respond_avx2(SimState* state, const ModalDrive* drives, int k) {
  respond_lanes<Quad>(state, drives, k);
}

}  // namespace

int modal_batch_width() {
  static const int width = __builtin_cpu_supports("avx2") ? 4 : 2;
  return width;
}

void modal_batch_respond(const SimParams* params, SimState* state, int k, int width) {
  ModalDrive drives[kModalLists];
  modal_drives(params, state, drives);
  if (width == 4 && modal_batch_width() == 4)
    respond_avx2(state, drives, k);
  else
    respond_sse2(state, drives, k);
}
