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

// Lane j's workspace, mode and list, and the two exponentials of its step,
// taken early so that they overlap with the other lanes' library calls.
struct LaneOwner {
  ModeResponse* response;
  int mode;
  int list;
  int ref_step;      // the workspace's reference step when the step began
  int step_usual;    // 1 when e_step is the exponential the accumulation takes
  int back_usual;    // 1 when e_back is the one the reference decay takes
  double e_step;     // e^((n - ref) dt sigma)
  double e_back;     // e^((n + 1 - ref) (-sigma dt))
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

// The step of every lane: scalar stages (the library calls, the
// accumulation and the reference decay of modal_step.h) around two packed
// ones, each packed one written as the scalar step writes it
// (modal_mode_step and the antiderivatives of modal_response.cpp).
//
// The usual step of a mode needs one sine and cosine and two exponentials
// whose arguments are known when the step begins: e^((n - ref) dt sigma) of
// the accumulation and e^((n + 1 - ref) (-sigma dt)) of the reference decay.
// All three are taken in the first stage, each lane's calls independent of
// the others'; a step that rebases, overflows or leaves the exponentials'
// range goes through the shared stages of modal_step.h instead, from the
// same workspace, and so takes the scalar step's path.
template <typename V>
[[gnu::always_inline]] inline void respond_lanes(SimState* state, const ModalDrive* drives, int k) {
  constexpr int w = kWidth<V>;
  ModalLanes* b = &state->modal_lanes;
  LaneOwner owners[kModalLanes];
  const ModeStepTimes tm = modal_step_times(state, k);
  const double dt = state->time_step, t0 = tm.t0, t1 = tm.t1;
  const int n = tm.n;

  // The lanes in list order.
  int count = 0;
  for (int l = 0; l < kModalLists; ++l) {
    const ModalDrive& d = drives[l];
    if (d.modes == nullptr) continue;
    const int modes = std::min(d.count, kMaxModesPerDirection);
    for (int i = 0; i < modes; ++i, ++count) {
      owners[count].response = d.response;
      owners[count].mode = i;
      owners[count].list = l;
      b->force[count] = d.force;
      b->mass_freq[count] = d.modes[i].mass;  // times the damped frequency below
    }
  }

  // Their constants, library calls and memo (each mode's memo left as
  // modal_step_trig leaves it); each mode cleared at the run's first step.
  for (int j = 0; j < count; ++j) {
    LaneOwner& o = owners[j];
    ModeResponse* r = o.response;
    const int i = o.mode;
    const double wd = r->damped_freq[i];
    const double sigma = r->decay_rate[i];
    const double c1 = std::cos(wd * t1);
    const double s1 = std::sin(wd * t1);
    o.ref_step = r->ref_step[i];
    const int gap = n - o.ref_step;
    const double p = static_cast<double>(gap) * (dt * sigma);
    o.step_usual = gap != 0 && p >= -300.0 && p <= 300.0;
    if (o.step_usual) o.e_step = std::exp(p);
    const int back = n + 1 - o.ref_step;
    const double q = static_cast<double>(back) * (-sigma * dt);
    o.back_usual = back > 0 && q >= -300.0 && q <= 300.0;
    if (o.back_usual) o.e_back = std::exp(q);
    if (tm.first) {
      r->integral_cos[i] = 0.0;
      r->integral_sin[i] = 0.0;
      r->prev_force[i] = 0.0;
    }
    b->decay_rate[j] = sigma;
    b->damped_freq[j] = wd;
    b->natural_freq_sq[j] = r->natural_freq_sq[i];
    b->mass_freq[j] = b->mass_freq[j] * wd;
    b->prev_force[j] = r->prev_force[i];
    b->cos_end[j] = c1;
    b->sin_end[j] = s1;
    ModeStepMemo* memo = &r->memo[i];
    if (modal_step_memo_matches(r, i, dt)) {
      if (memo->end_step == n) {
        b->cos_start[j] = memo->cos_end;
        b->sin_start[j] = memo->sin_end;
      } else {
        b->cos_start[j] = std::cos(wd * t0);
        b->sin_start[j] = std::sin(wd * t0);
      }
      b->growth[j] = memo->growth;
      // The constants in the memo are these already, bit for bit.
      memo->end_step = n + 1;
      memo->cos_end = c1;
      memo->sin_end = s1;
    } else {
      b->cos_start[j] = std::cos(wd * t0);
      b->sin_start[j] = std::sin(wd * t0);
      b->growth[j] = std::exp(sigma * dt);
      *memo = {1, n + 1, wd, sigma, dt, c1, s1, b->growth[j]};
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

  // The running integrals: the usual step (no rebase, the exponential
  // taken above, a finite sum) inline; any other through modal_step_accumulate.
  for (int j = 0; j < count; ++j) {
    LaneOwner& o = owners[j];
    ModeResponse* r = o.response;
    const int i = o.mode;
    const double a = r->integral_cos[i], bs = r->integral_sin[i];
    const double dc = b->delta_cos[j], ds = b->delta_sin[j];
    double sum_cos = 0.0, sum_sin = 0.0;
    bool usual = false;
    if (o.step_usual && !(a > kModalRebaseLimit) && !(bs > kModalRebaseLimit)) {
      sum_cos = a + o.e_step * dc;
      sum_sin = bs + o.e_step * ds;
      usual = std::isfinite(sum_cos) && std::isfinite(sum_sin);
    }
    if (usual) {
      r->integral_cos[i] = sum_cos;
      r->integral_sin[i] = sum_sin;
    } else {
      const ModeIntegrals sum = modal_step_accumulate(r, i, dt, n, dc, ds);
      sum_cos = sum.cos_part;
      sum_sin = sum.sin_part;
      o.back_usual = 0;  // the reference step may have moved
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

  // The displacements, referred back from the reference step, join the
  // histories in lane order, which is the order of the lists and of their
  // modes: the sums are those of the scalar step.
  for (int j = 0; j < count; ++j) {
    const LaneOwner& o = owners[j];
    const ModalDrive& d = drives[o.list];
    ModeResponse* r = o.response;
    const int i = o.mode;
    const double x0 = b->displacement[j];
    double x;
    if (o.back_usual && std::isfinite(x0)) {
      x = o.e_back * x0;
    } else {
      const ModeStepTrig trig = {b->cos_end[j], b->sin_end[j], b->cos_start[j], b->sin_start[j],
                                 b->growth[j]};
      x = modal_step_finish(r, i, d.modes[i].mass, dt, n, trig, x0);
    }
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
