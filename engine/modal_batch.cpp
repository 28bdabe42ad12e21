#include "engine/modal_batch.h"

#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "engine/libm.h"
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
template <typename V, typename T>
[[gnu::always_inline]] inline void take(V& v, const T* column, int j) {
  std::memcpy(&v, column + j, sizeof v);
}

// A register back into lanes j to j + kWidth - 1 of a column.
template <typename V, typename T>
[[gnu::always_inline]] inline void put(T* column, int j, const V& v) {
  std::memcpy(column + j, &v, sizeof v);
}

// Lanes of a register of comparison results: all bits set where true.
using PairMask = long __attribute__((vector_size(16)));
using QuadMask = long __attribute__((vector_size(32)));
template <int width>
struct MaskOf {
  using type = PairMask;
};
template <>
struct MaskOf<4> {
  using type = QuadMask;
};
template <typename V>
using Mask = typename MaskOf<kWidth<V>>::type;

// Whether any lane of a comparison result is set.
template <typename V>
[[gnu::always_inline]] inline bool any_lane(const Mask<V>& m) {
  long lanes[kWidth<V>];
  std::memcpy(lanes, &m, sizeof m);
  long any = 0;
  for (long lane : lanes) any |= lane;
  return any != 0;
}

// Clears the lanes of m where v is not a finite number (x - x is 0 for the
// finite ones alone).
template <typename V>
[[gnu::always_inline]] inline void keep_finite(Mask<V>& m, const V& v) {
  m &= (v - v) == 0.0;
}

// Writes each live lane's running values back into its workspace: the
// integrals, the previous force and the reference step, and the memo as
// modal_step_trig leaves it after the step that ended at end_step.
void sync_lanes(ModalLanes* b) {
  if (!b->live) return;
  for (int j = 0; j < b->count; ++j) {
    ModeResponse* r = b->lane_response[j];
    const int i = b->lane_mode[j];
    r->integral_cos[i] = b->integral_cos[j];
    r->integral_sin[i] = b->integral_sin[j];
    r->prev_force[i] = b->prev_force[j];
    r->ref_step[i] = b->ref_step[j];
    r->memo[i] = {1,
                  b->end_step,
                  b->damped_freq[j],
                  b->decay_rate[j],
                  b->time_step,
                  b->cos_end[j],
                  b->sin_end[j],
                  b->growth[j]};
  }
}

// Lays the lanes out for the drives' mode lists (or keeps the layout of the
// step before when the lists are the same); returns the lanes in use. Live
// lanes of another layout go back to their workspaces first.
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
  sync_lanes(b);
  b->live = 0;
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
// nobody reads, and whose every step is the usual one (a reference step far
// in the past, exponents of zero).
void rest_lanes(ModalLanes* b, int from, int to) {
  for (int p = from; p < to; ++p) {
    b->decay_rate[p] = b->damped_freq[p] = b->natural_freq_sq[p] = b->mass_freq[p] = 1.0;
    b->decay_step[p] = b->back_step[p] = 0.0;
    b->ref_step[p] = 0;
    b->ref_time[p] = -1e15;
    b->force[p] = b->prev_force[p] = 0.0;
    b->trig_arg[p] = 0.0;
    b->cos_end[p] = b->sin_end[p] = b->cos_start[p] = b->sin_start[p] = b->growth[p] = 0.0;
    b->e_step[p] = b->e_back[p] = 0.0;
    b->delta_cos[p] = b->delta_sin[p] = 0.0;
    b->integral_cos[p] = b->integral_sin[p] = b->next_cos[p] = b->next_sin[p] = 0.0;
    b->displacement[p] = b->placed[p] = 0.0;
  }
}

// Fills the lanes from the workspaces for the step of times tm (each mode
// cleared at the run's first step): constants, running values, and the
// start's sine, cosine and growth from the memo where it holds them, else
// from the library calls modal_step_trig makes.
void load_lanes(SimState* state, const ModalDrive* drives, const ModeStepTimes& tm, int count,
                int padded) {
  ModalLanes* b = &state->modal_lanes;
  const double dt = state->time_step;
  for (int j = 0; j < count; ++j) {
    ModeResponse* r = b->lane_response[j];
    const int i = b->lane_mode[j];
    const ModalDrive& d = drives[b->lane_list[j]];
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
    b->mass[j] = d.modes[i].mass;
    b->lane_relative[j] = d.relative;
    b->lane_structure[j] = d.structure;
    b->relative_sign[j] = d.relative_sign;
    b->delay_steps[j] = r->delay_steps[i];
    b->decay_step[j] = dt * sigma;
    b->back_step[j] = -sigma * dt;
    b->prev_force[j] = r->prev_force[i];
    b->integral_cos[j] = r->integral_cos[i];
    b->integral_sin[j] = r->integral_sin[i];
    b->ref_step[j] = r->ref_step[i];
    b->ref_time[j] = static_cast<double>(r->ref_step[i]);
    const ModeStepMemo& memo = r->memo[i];
    const bool known = modal_step_memo_matches(r, i, dt);
    if (known && memo.end_step == tm.n) {
      b->cos_start[j] = memo.cos_end;
      b->sin_start[j] = memo.sin_end;
    } else {
      b->cos_start[j] = std::cos(wd * tm.t0);
      b->sin_start[j] = std::sin(wd * tm.t0);
    }
    b->growth[j] = known ? memo.growth : libm_exp(sigma * dt);
  }
  b->least_delay = b->most_delay = count > 0 ? b->delay_steps[0] : 0;
  for (int j = 1; j < count; ++j) {
    b->least_delay = std::min(b->least_delay, b->delay_steps[j]);
    b->most_delay = std::max(b->most_delay, b->delay_steps[j]);
  }
  rest_lanes(b, count, padded);
  b->count = count;
  b->padded = padded;
  b->time_step = dt;
  b->live = 1;
}

// Whether the live lanes, laid out for count lanes padded to padded, go on
// from their last step to the step of times tm with the same time step.
inline bool lanes_follow(const SimState* state, const ModeStepTimes& tm, int count, int padded) {
  const ModalLanes* b = &state->modal_lanes;
  return b->live && !tm.first && b->end_step == tm.n && b->count == count && b->padded == padded &&
         std::bit_cast<uint64_t>(b->time_step) == std::bit_cast<uint64_t>(state->time_step);
}

// The step of every lane, each lane's operations those of modal_mode_step
// in their written order:
//
// 1. the start of the step: while the lanes are live and this step follows
//    theirs, its sine, cosine and growth are those of the last step's end;
//    otherwise the lanes are filled from the workspaces;
// 2. packed, the exponents e^((n - ref) dt sigma) of the accumulation and
//    e^((n + 1 - ref) (-sigma dt)) of the reference decay, the trigonometric
//    arguments and which lanes take the usual single exponentials; then the
//    library calls, each lane's independent of the other lanes';
// 3. packed: the force line and the step's additions to the integrals, the
//    new integrals, the displacement and its reference decay;
// 4. the displacements placed in lane order (the order of the lists and
//    their modes, so the histories' sums are those of the scalar step).
//
// Hands lane j's integrals and reference step to its mode's workspace, for
// a shared stage of modal_step.h to go on from.
ModeResponse* lane_to_workspace(ModalLanes* b, int j, double integral_cos, double integral_sin) {
  ModeResponse* r = b->lane_response[j];
  const int i = b->lane_mode[j];
  r->integral_cos[i] = integral_cos;
  r->integral_sin[i] = integral_sin;
  r->ref_step[i] = b->ref_step[j];
  return r;
}

// Takes back the reference step a shared stage may have moved.
void lane_reference_from(ModalLanes* b, int j, const ModeResponse* r) {
  const int i = b->lane_mode[j];
  b->ref_step[j] = r->ref_step[i];
  b->ref_time[j] = static_cast<double>(r->ref_step[i]);
}

// A lane whose step is not the usual one (a rebase, an overflow, an
// exponent past 300) is finished by the shared stages of modal_step.h on
// its workspace, given the lane's values before the stage, which then take
// the scalar step's path.
//
// list_force holds the step's force (N) on each of the six lists; drives
// may be null when lanes_follow says the lanes go on from their last step.
//
// follows says the caller has found that lanes_follow holds.
template <typename V>
[[gnu::always_inline]] inline void respond_lanes(SimState* state, const ModalDrive* drives,
                                                 const double* list_force, int k, int count,
                                                 bool follows) {
  constexpr int w = kWidth<V>;
  using M = Mask<V>;
  ModalLanes* b = &state->modal_lanes;
  const ModeStepTimes tm = modal_step_times(state, k);
  const double dt = state->time_step, t0 = tm.t0, t1 = tm.t1;
  const int n = tm.n;
  const int padded = (count + w - 1) / w * w;

  // 1. The start of the step.
  if (!follows && !lanes_follow(state, tm, count, padded)) {
    sync_lanes(b);
    load_lanes(state, drives, tm, count, padded);
  } else {
    for (int j = 0; j < padded; j += w) {
      V c, s;
      take(c, b->cos_end, j);
      take(s, b->sin_end, j);
      put(b->cos_start, j, c);
      put(b->sin_start, j, s);
    }
  }
  for (int j = 0; j < count; ++j) b->force[j] = list_force[b->lane_list[j]];

  // 2. The exponents (in e_step and e_back until the calls), the arguments
  // and the usual lanes; then the library calls.
  const double steps_now = static_cast<double>(n);
  for (int j = 0; j < padded; j += w) {
    V ref, decay, back, wd;
    take(ref, b->ref_time, j);
    take(decay, b->decay_step, j);
    take(back, b->back_step, j);
    take(wd, b->damped_freq, j);
    const V gap = steps_now - ref;  // n - ref, exactly
    const V next = gap + 1.0;       // n + 1 - ref, exactly
    const V p = gap * decay;
    const V q = next * back;
    const M step_usual = (gap != 0.0) & (p >= -300.0) & (p <= 300.0);
    const M back_usual = (next > 0.0) & (q >= -300.0) & (q <= 300.0);
    put(b->e_step, j, p);
    put(b->e_back, j, q);
    put(b->step_usual, j, step_usual);
    put(b->back_usual, j, back_usual);
    put(b->trig_arg, j, wd * t1);
  }
  for (int j = 0; j < count; ++j) {
    const double arg = b->trig_arg[j];
    b->cos_end[j] = std::cos(arg);
    b->sin_end[j] = std::sin(arg);
    if (b->step_usual[j]) b->e_step[j] = libm_exp(b->e_step[j]);
    if (b->back_usual[j]) b->e_back[j] = libm_exp(b->e_back[j]);
  }

  // 3. Packed: the force line, slope g = (F - F_prev) / dt and offset
  // F_prev - t0 g, the step's additions to the running integrals and the
  // integrals after the step (a + e delta).
  M unusual = {};
  for (int j = 0; j < padded; j += w) {
    V force, prev, sigma, wd, nw, c1, s1, c0, s0, e1, e, a, bb;
    M usual;
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
    take(usual, b->step_usual, j);
    const V next_cos = a + e * delta_cos;
    const V next_sin = bb + e * delta_sin;
    put(b->next_cos, j, next_cos);
    put(b->next_sin, j, next_sin);
    // Signed tests: a large negative integral does not rebase.
    usual &= ~(a > kModalRebaseLimit) & ~(bb > kModalRebaseLimit);
    keep_finite<V>(usual, next_cos);
    keep_finite<V>(usual, next_sin);
    put(b->sum_usual, j, usual);
    unusual |= ~usual;
  }

  // Any other lane's integrals come from modal_step_accumulate, on its
  // workspace holding the lane's integrals and reference step of before.
  if (any_lane<V>(unusual)) {
    for (int j = 0; j < count; ++j) {
      if (b->sum_usual[j]) continue;
      ModeResponse* r = lane_to_workspace(b, j, b->integral_cos[j], b->integral_sin[j]);
      const ModeIntegrals sum =
          modal_step_accumulate(r, b->lane_mode[j], dt, n, b->delta_cos[j], b->delta_sin[j]);
      b->next_cos[j] = sum.cos_part;
      b->next_sin[j] = sum.sin_part;
      b->back_usual[j] = 0;  // the reference step may have moved
      lane_reference_from(b, j, r);
    }
  }

  // (sin(wd t1) A - cos(wd t1) B) / (mass wd), and its reference decay.
  unusual = M{};
  for (int j = 0; j < padded; j += w) {
    V a, bb, c1, s1, mw, e;
    M usual;
    take(a, b->next_cos, j);
    take(bb, b->next_sin, j);
    take(c1, b->cos_end, j);
    take(s1, b->sin_end, j);
    take(mw, b->mass_freq, j);
    take(e, b->e_back, j);
    take(usual, b->back_usual, j);
    const V x0 = (s1 * a - c1 * bb) / mw;
    put(b->displacement, j, x0);
    put(b->placed, j, e * x0);  // the displacement, where the usual step holds
    keep_finite<V>(usual, x0);
    put(b->back_usual, j, usual);
    unusual |= ~usual;
  }
  if (any_lane<V>(unusual)) {
    for (int j = 0; j < count; ++j) {
      if (b->back_usual[j]) continue;
      ModeResponse* r = lane_to_workspace(b, j, b->next_cos[j], b->next_sin[j]);
      const int i = b->lane_mode[j];
      const ModeStepTrig trig = {b->cos_end[j], b->sin_end[j], b->cos_start[j], b->sin_start[j],
                                 b->growth[j]};
      b->placed[j] = modal_step_finish(r, i, b->mass[j], dt, n, trig, b->displacement[j]);
      b->next_cos[j] = r->integral_cos[i];
      b->next_sin[j] = r->integral_sin[i];
      lane_reference_from(b, j, r);
    }
  }

  // The step's values become the next step's start.
  for (int j = 0; j < padded; j += w) {
    V a, bb, force;
    take(a, b->next_cos, j);
    take(bb, b->next_sin, j);
    take(force, b->force, j);
    put(b->integral_cos, j, a);
    put(b->integral_sin, j, bb);
    put(b->prev_force, j, force);
  }
  b->end_step = n + 1;

  // 4. The displacements join the histories in lane order.
  // (Negation is exact, so the workpiece's term is subtracted to the last bit.)
  if (static_cast<long long>(k) + b->least_delay >= 0 &&
      static_cast<long long>(k) + b->most_delay < state->capacity) {
    // Every lane's entry is inside the histories (the usual step).
    for (int j = 0; j < count; ++j) {
      const int index = k + b->delay_steps[j];
      const double x = b->placed[j];
      b->lane_relative[j][index] += b->relative_sign[j] * x;
      b->lane_structure[j][index] += x;
    }
    if (count > 0 && k + b->most_delay >= state->history_end)
      state->history_end = k + b->most_delay + 1;
  } else {
    for (int j = 0; j < count; ++j) {
      const long long index = static_cast<long long>(k) + b->delay_steps[j];
      if (index < 0 || index >= state->capacity) continue;  // never past the histories
      const double x = b->placed[j];
      b->lane_relative[j][index] += b->relative_sign[j] * x;
      b->lane_structure[j][index] += x;
      if (index >= state->history_end) state->history_end = static_cast<int32_t>(index + 1);
    }
  }
  // What reads the workspaces between revolutions finds them current.
  if (k == state->steps_per_rev - 1) sync_lanes(b);
}

void respond_sse2(SimState* state, const ModalDrive* drives, const double* list_force, int k,
                  int count, bool follows) {
  respond_lanes<Pair>(state, drives, list_force, k, count, follows);
}

[[gnu::target("avx2")]] void respond_avx2(SimState* state, const ModalDrive* drives,
                                          const double* list_force, int k, int count,
                                          bool follows) {
  respond_lanes<Quad>(state, drives, list_force, k, count, follows);
}

// Lanes per register of the best kernel this processor runs, found once as
// the program starts (a property of the machine, the same for every run).
const int kBestWidth = [] {
  __builtin_cpu_init();  // the feature bits may not be set yet in a static initialiser
  return __builtin_cpu_supports("avx2") ? 4 : 2;
}();

// The width of the kernel that runs: 4 where asked for and the processor has AVX2, else 2.
inline int kernel_width(int width) {
  return width == 4 && kBestWidth == 4 ? 4 : 2;
}

}  // namespace

int modal_batch_width() {
  return kBestWidth;
}

void modal_batch_respond(const SimParams* params, SimState* state, int k, int width) {
  ModalDrive drives[kModalLists];
  modal_drives(params, state, drives);
  modal_batch_respond_drives(state, drives, k, width, 0);
}

void modal_batch_sync(SimState* state) {
  sync_lanes(&state->modal_lanes);
}

void modal_batch_release(SimState* state) {
  sync_lanes(&state->modal_lanes);
  state->modal_lanes.live = 0;
}

int modal_batch_respond_drives(SimState* state, const ModalDrive* drives, int k, int width,
                               int least_lanes) {
  const int count = lay_out(&state->modal_lanes, drives);
  if (count < least_lanes) return 0;
  double list_force[kModalLists];
  for (int l = 0; l < kModalLists; ++l) list_force[l] = drives[l].force;
  if (kernel_width(width) == 4)
    respond_avx2(state, drives, list_force, k, count, false);
  else
    respond_sse2(state, drives, list_force, k, count, false);
  return 1;
}

int modal_batch_continue(const SimParams* params, SimState* state, int k, int width) {
  const ModalLanes* b = &state->modal_lanes;
  if (!b->live) return 0;
  // The lists modal_drives would give, compared with those the lanes were
  // laid out for by one test of the bits in which any of them differs (more
  // strictly than lay_out: also the count of a list without modes; a list
  // that differs only so is laid out again the same way).
  const ModalSet& sw = params->spindle_modes;
  const ModalSet& tool = params->tool_modes;
  const auto differs = [b](int l, const ModalMode* modes, int32_t count,
                           const ModeResponse* response) {
    return (std::bit_cast<uintptr_t>(modes) ^ std::bit_cast<uintptr_t>(b->layout_modes[l])) |
           (std::bit_cast<uintptr_t>(response) ^ std::bit_cast<uintptr_t>(b->layout_response[l])) |
           static_cast<uint32_t>(count ^ b->layout_count[l]);
  };
  const uintptr_t differ = differs(0, sw.x_modes, sw.x_count, state->sw_modes_x) |
                           differs(1, sw.y_modes, sw.y_count, state->sw_modes_y) |
                           differs(2, sw.z_modes, sw.z_count, state->sw_modes_z) |
                           differs(3, tool.x_modes, tool.x_count, state->tool_modes_x) |
                           differs(4, tool.y_modes, tool.y_count, state->tool_modes_y) |
                           differs(5, tool.z_modes, tool.z_count, state->tool_modes_z);
  if (differ != 0) return 0;
  return modal_batch_follow(state, k, width);
}

int modal_batch_follow(SimState* state, int k, int width) {
  const ModalLanes* b = &state->modal_lanes;
  const int w = kernel_width(width);
  // b->count rounded up to whole registers of 2 or 4 lanes, without a division.
  const int padded = (b->count + w - 1) & -w;
  if (!lanes_follow(state, modal_step_times(state, k), b->count, padded)) return 0;
  // The forces of modal_drives: the reaction on the spindle-workpiece structure.
  const double list_force[kModalLists] = {-state->force_x, -state->force_y, -state->force_z,
                                          state->force_x,  state->force_y,  state->force_z};
  if (w == 4)
    respond_avx2(state, nullptr, list_force, k, b->count, true);
  else
    respond_sse2(state, nullptr, list_force, k, b->count, true);
  return 1;
}
