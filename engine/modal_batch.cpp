#include "engine/modal_batch.h"

#include <immintrin.h>

#include <algorithm>

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

// The field of kWidth lanes from lane j on, in one register.
template <typename V>
[[gnu::always_inline]] inline void take(V& v, const ModalLane* lane, double ModalLane::*field) {
  if constexpr (kWidth<V> == 2) {
    v = V{lane[0].*field, lane[1].*field};
  } else {
    v = V{lane[0].*field, lane[1].*field, lane[2].*field, lane[3].*field};
  }
}

// A register back into the field of kWidth lanes.
template <typename V>
[[gnu::always_inline]] inline void put(ModalLane* lane, double ModalLane::*field, const V& v) {
  for (int l = 0; l < kWidth<V>; ++l) lane[l].*field = v[l];
}

// The modes at rest that fill the last register.
constexpr ModalLane kRestLane = {1.0, 1.0, 1.0, 1.0, 0.0, 0.0, 0.0, 0.0, 0.0,
                                 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};

// Lane j's list and mode.
struct LaneOwner {
  int list;
  int mode;
};

// Fills the lanes from the workspaces (clearing each mode at the run's first
// step) and pads them to whole registers; returns the padded lane count.
int gather(ModalLanes* b, const ModalDrive* drives, LaneOwner* owners, int first, int width) {
  int j = 0;
  for (int l = 0; l < kModalLists; ++l) {
    const ModalDrive& d = drives[l];
    if (d.modes == nullptr) continue;
    const int count = std::min(d.count, kMaxModesPerDirection);
    ModeResponse* r = d.response;
    for (int i = 0; i < count; ++i, ++j) {
      if (first) {
        r->integral_cos[i] = 0.0;
        r->integral_sin[i] = 0.0;
        r->prev_force[i] = 0.0;
      }
      owners[j] = {l, i};
      ModalLane& lane = b->lane[j];
      lane.decay_rate = r->decay_rate[i];
      lane.damped_freq = r->damped_freq[i];
      lane.natural_freq_sq = r->natural_freq_sq[i];
      lane.mass_freq = d.modes[i].mass * r->damped_freq[i];
      lane.force = d.force;
      lane.prev_force = r->prev_force[i];
    }
  }
  b->count = j;
  const int padded = (j + width - 1) / width * width;
  for (int p = j; p < padded; ++p) b->lane[p] = kRestLane;
  return padded;
}

// The step of every lane: the scalar stages of modal_step.h around three
// packed ones, each packed one written as the scalar step writes it
// (modal_mode_step and the antiderivatives of modal_response.cpp).
template <typename V>
[[gnu::always_inline]] inline void respond_lanes(SimState* state, const ModalDrive* drives, int k) {
  constexpr int w = kWidth<V>;
  ModalLanes* b = &state->modal_lanes;
  LaneOwner owners[kModalLanes];
  const ModeStepTimes tm = modal_step_times(state, k);
  const double dt = state->time_step, t0 = tm.t0, t1 = tm.t1;
  const int padded = gather(b, drives, owners, tm.first, w);
  const int count = b->count;
  ModalLane* lane = b->lane;

  // Force line: slope g = (F - F_prev) / dt, offset F_prev - t0 g.
  for (int j = 0; j < padded; j += w) {
    V force, prev;
    take(force, lane + j, &ModalLane::force);
    take(prev, lane + j, &ModalLane::prev_force);
    const V g = (force - prev) / dt;
    put(lane + j, &ModalLane::slope, g);
    put(lane + j, &ModalLane::offset, prev - t0 * g);
  }
  for (int j = 0; j < count; ++j) {
    const ModeStepTrig trig =
        modal_step_trig(drives[owners[j].list].response, owners[j].mode, dt, tm.n, t0, t1);
    lane[j].cos_end = trig.cos_end;
    lane[j].sin_end = trig.sin_end;
    lane[j].cos_start = trig.cos_start;
    lane[j].sin_start = trig.sin_start;
    lane[j].growth = trig.growth;
  }
  // The step's additions to the running integrals.
  for (int j = 0; j < padded; j += w) {
    V sigma, wd, nw, c1, s1, c0, s0, e1, f0, g;
    take(sigma, lane + j, &ModalLane::decay_rate);
    take(wd, lane + j, &ModalLane::damped_freq);
    take(nw, lane + j, &ModalLane::natural_freq_sq);
    take(c1, lane + j, &ModalLane::cos_end);
    take(s1, lane + j, &ModalLane::sin_end);
    take(c0, lane + j, &ModalLane::cos_start);
    take(s0, lane + j, &ModalLane::sin_start);
    take(e1, lane + j, &ModalLane::growth);
    take(f0, lane + j, &ModalLane::offset);
    take(g, lane + j, &ModalLane::slope);
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
    put(lane + j, &ModalLane::delta_cos, f0 * gc + g * hc);
    put(lane + j, &ModalLane::delta_sin, f0 * gs + g * hs);
  }
  for (int j = 0; j < count; ++j) {
    ModeResponse* r = drives[owners[j].list].response;
    const int i = owners[j].mode;
    const ModeIntegrals sum =
        modal_step_accumulate(r, i, dt, tm.n, lane[j].delta_cos, lane[j].delta_sin);
    r->prev_force[i] = lane[j].force;
    lane[j].integral_cos = sum.cos_part;
    lane[j].integral_sin = sum.sin_part;
  }
  // (sin(wd t1) A - cos(wd t1) B) / (mass wd).
  for (int j = 0; j < padded; j += w) {
    V a, bb, c1, s1, mw;
    take(a, lane + j, &ModalLane::integral_cos);
    take(bb, lane + j, &ModalLane::integral_sin);
    take(c1, lane + j, &ModalLane::cos_end);
    take(s1, lane + j, &ModalLane::sin_end);
    take(mw, lane + j, &ModalLane::mass_freq);
    put(lane + j, &ModalLane::displacement, (s1 * a - c1 * bb) / mw);
  }
  // The displacements join the histories in lane order, which is the order
  // of the lists and of their modes: the sums are those of the scalar step.
  for (int j = 0; j < count; ++j) {
    const ModalDrive& d = drives[owners[j].list];
    const int i = owners[j].mode;
    const ModeStepTrig trig = {lane[j].cos_end, lane[j].sin_end, lane[j].cos_start,
                               lane[j].sin_start, lane[j].growth};
    const double x =
        modal_step_finish(d.response, i, d.modes[i].mass, dt, tm.n, trig, lane[j].displacement);
    modal_step_place(d, state, x, d.response->delay_steps[i], k);
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
