// The packed modal step against the scalar reference, and the short
// revolution shift against the full one: both must leave every history
// entry and every workspace bit for bit as the reference does.
#include "engine/modal_batch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "engine/modal_params.h"
#include "engine/modal_response.h"
#include "engine/run.h"
#include "tests/support/records.h"

namespace {

// How a state is stepped: the scalar reference or the lanes of one width.
enum Path { kScalar = 1, kLanes2 = 2, kLanes4 = 4 };

// A turning job at 1000 rev/min with modes in all six lists (1, 2, 3, 5, 2
// and 4 modes: registers filled, padded and spanning lists), strongly
// damped so that the running integrals pass 1e100 and rebase within a few
// revolutions; with its state.
struct Job {
  test_support::Params job = test_support::new_params();
  test_support::State state = test_support::new_state();
  SimParams* p = job.get();
  SimState* s = state.get();
  Job(int increments, double damping) {
    p->process = 'T';
    p->spindle_rpm = 1000.0;
    p->angular_increments = increments;
    s->steps_per_rev = kGridSteps / increments;
    const int counts[kModalLists] = {1, 2, 3, 5, 2, 4};
    ModalSet* sets[] = {&p->spindle_modes, &p->tool_modes};
    for (int l = 0; l < kModalLists; ++l) {
      ModalSet* set = sets[l / 3];
      ModalMode** lists[] = {&set->x_modes, &set->y_modes, &set->z_modes};
      int32_t* sizes[] = {&set->x_count, &set->y_count, &set->z_count};
      params_resize_modes(lists[l % 3], sizes[l % 3], counts[l]);
      for (int i = 0; i < counts[l]; ++i) {
        const double wn = 900.0 + 610.0 * (3 * l + i);  // rad/s
        const double mass = 0.5 + 0.3 * i;
        (*lists[l % 3])[i] = {mass, damping - 0.05 * (i % 2), wn * wn * mass, 20.0 * (l + i)};
      }
    }
    modal_prepare(p, s);
  }
};

// The step's forces (N): a mean with a ripple and a pseudo-random scatter
// that is the same for every state, zero at the run's first step.
void set_forces(SimState* s, int k, unsigned* seed) {
  *seed = *seed * 1103515245u + 12345u;
  const double scatter = static_cast<double>(*seed >> 16 & 1023) / 1024.0;
  const double t = static_cast<double>(k + kGridSteps * s->revolution);
  s->force_x = 300.0 + 60.0 * std::sin(t * 0.0041) + 25.0 * scatter;
  s->force_y = 0.4 * s->force_x - 10.0 * scatter;
  s->force_z = -150.0 + 30.0 * std::cos(t * 0.0013) + 40.0 * scatter;
  if (k == 0 && s->revolution == 0) s->force_x = s->force_y = s->force_z = 0.0;
}

void step(Job& job, Path path, int k) {
  if (path == kScalar)
    modal_respond_scalar(job.p, job.s, k);
  else
    modal_batch_respond(job.p, job.s, k, path);
}

// The run's shift as it was written first: all 171000 entries moved.
void full_shift(SimState* s) {
  for (double* a : {s->rel_disp_x, s->rel_disp_y, s->rel_disp_z, s->sw_disp_x, s->sw_disp_y,
                    s->sw_disp_z, s->tool_disp_x, s->tool_disp_y, s->tool_disp_z})
    std::memmove(a, a + kGridSteps, kShiftedEntries * sizeof(double));
}

// Name of the first displacement history where the two states differ
// anywhere in [0, capacity), or empty.
std::string first_difference(const SimState* a, const SimState* b) {
  const struct {
    const char* name;
    double* SimState::*field;
  } histories[] = {{"rel x", &SimState::rel_disp_x},   {"rel y", &SimState::rel_disp_y},
                   {"rel z", &SimState::rel_disp_z},   {"sw x", &SimState::sw_disp_x},
                   {"sw y", &SimState::sw_disp_y},     {"sw z", &SimState::sw_disp_z},
                   {"tool x", &SimState::tool_disp_x}, {"tool y", &SimState::tool_disp_y},
                   {"tool z", &SimState::tool_disp_z}};
  const size_t bytes = static_cast<size_t>(a->capacity) * sizeof(double);
  for (const auto& h : histories)
    if (std::memcmp(a->*h.field, b->*h.field, bytes) != 0) return h.name;
  ModeResponse* SimState::*const workspaces[] = {&SimState::sw_modes_x,   &SimState::sw_modes_y,
                                                 &SimState::sw_modes_z,   &SimState::tool_modes_x,
                                                 &SimState::tool_modes_y, &SimState::tool_modes_z};
  for (int l = 0; l < kModalLists; ++l)
    if (std::memcmp(a->*workspaces[l], b->*workspaces[l], sizeof(ModeResponse)) != 0)
      return "workspace of list " + std::to_string(l);
  return {};
}

// Highest reference step of any mode: above 0 once some mode has rebased.
int latest_rebase(const SimState* s) {
  int latest = 0;
  for (const ModeResponse* r : {s->sw_modes_x, s->sw_modes_y, s->sw_modes_z, s->tool_modes_x,
                                s->tool_modes_y, s->tool_modes_z})
    for (int i = 0; i < kMaxModesPerDirection; ++i) latest = std::max(latest, r->ref_step[i]);
  return latest;
}

// Stiffens every mode of the job by 10 % and prepares the modes again: new
// constants under the running integrals, which the memo must not outlive.
void retune(Job& job) {
  ModalSet* sets[] = {&job.p->spindle_modes, &job.p->tool_modes};
  for (ModalSet* set : sets) {
    for (ModalMode* list : {set->x_modes, set->y_modes, set->z_modes}) {
      const int32_t count = list == set->x_modes   ? set->x_count
                            : list == set->y_modes ? set->y_count
                                                   : set->z_count;
      for (int i = 0; list != nullptr && i < count; ++i) list[i].stiffness *= 1.1;
    }
  }
  modal_prepare(job.p, job.s);
}

}  // namespace

TEST(ModalBatch, PackedStepsMatchTheScalarStepBitForBitThroughRebases) {
  std::vector<Path> widths = {kLanes2};
  if (modal_batch_width() == 4) widths.push_back(kLanes4);
  // Increments 1 and 3 rebase within the revolutions; increments 100 leave
  // the time of 33858 steps unstepped after each revolution, so that the
  // first step after the gap takes the overflowing path of the
  // accumulation; retuned, the modes change their constants before
  // revolution 2 and every memo is stale.
  const struct {
    int increments;
    int revolutions;
    bool retuned;
  } cases[] = {{1, 4, false}, {3, 6, false}, {100, 5, false}, {3, 4, true}};
  for (const auto& c : cases) {
    for (Path width : widths) {
      SCOPED_TRACE("increments " + std::to_string(c.increments) + ", lanes " +
                   std::to_string(width) + (c.retuned ? ", retuned" : ""));
      Job reference(c.increments, 0.5), packed(c.increments, 0.5);
      unsigned seed_a = 7, seed_b = 7;
      int rebasing_revolutions = 0, latest = 0;
      for (int r = 0; r < c.revolutions; ++r) {
        if (c.retuned && r == 2) {
          retune(reference);
          retune(packed);
        }
        reference.s->revolution = packed.s->revolution = r;
        for (int k = 0; k < reference.s->steps_per_rev; ++k) {
          set_forces(reference.s, k, &seed_a);
          set_forces(packed.s, k, &seed_b);
          step(reference, kScalar, k);
          step(packed, width, k);
        }
        ASSERT_EQ(first_difference(reference.s, packed.s), "") << "revolution " << r;
        if (latest_rebase(reference.s) != latest) ++rebasing_revolutions;
        latest = latest_rebase(reference.s);
        full_shift(reference.s);
        full_shift(packed.s);
      }
      // The integrals of the strongly damped modes passed the limit again
      // and again (or overflowed after the gap): rebases in more than one
      // revolution, up to the last.
      EXPECT_GE(rebasing_revolutions, 2);
      EXPECT_GT(latest, kGridSteps * (c.revolutions - 1));
    }
  }
}

// The packed step carries the running values in its lanes and writes the
// workspaces back only at the end of a revolution or when asked: synced in
// mid-revolution they are the scalar step's, bit for bit, and modes
// retuned in mid-revolution (new constants under running integrals) are
// taken up from the next step on.
TEST(ModalBatch, WorkspacesSyncedOrRetunedInMidRevolutionMatchTheScalarStep) {
  std::vector<Path> widths = {kLanes2};
  if (modal_batch_width() == 4) widths.push_back(kLanes4);
  for (Path width : widths) {
    SCOPED_TRACE("lanes " + std::to_string(width));
    Job reference(3, 0.5), packed(3, 0.5);
    unsigned seed_a = 5, seed_b = 5;
    int checks = 0;
    for (int r = 0; r < 4; ++r) {
      reference.s->revolution = packed.s->revolution = r;
      for (int k = 0; k < reference.s->steps_per_rev; ++k) {
        set_forces(reference.s, k, &seed_a);
        set_forces(packed.s, k, &seed_b);
        step(reference, kScalar, k);
        step(packed, width, k);
        if (k % 2851 == 17) {
          modal_batch_sync(packed.s);
          ASSERT_EQ(first_difference(reference.s, packed.s), "") << r << " " << k;
          ++checks;
        }
        if (r == 1 && k == 5000) {
          retune(reference);
          retune(packed);
        }
      }
      ASSERT_EQ(first_difference(reference.s, packed.s), "") << "revolution " << r;
      full_shift(reference.s);
      full_shift(packed.s);
    }
    EXPECT_EQ(checks, 16);
    EXPECT_GT(latest_rebase(reference.s), kGridSteps * 2);
  }
}

// The revolution loop's step after step (modal_batch_follow, which does not
// compare the mode lists again, else modal_respond) is the scalar step bit
// for bit, also where the lanes cannot go on: the run's first step, modes
// retuned in mid-revolution (the lanes released), workspaces synced in
// mid-revolution, and the first step of each revolution.
TEST(ModalBatch, TheLoopsNextStepMatchesTheScalarStepBitForBit) {
  const struct {
    int increments;
    double damping;
  } cases[] = {{1, 0.05}, {3, 0.5}};
  for (const auto& c : cases) {
    SCOPED_TRACE("increments " + std::to_string(c.increments));
    Job reference(c.increments, c.damping), next(c.increments, c.damping);
    unsigned seed_a = 21, seed_b = 21;
    for (int r = 0; r < 3; ++r) {
      reference.s->revolution = next.s->revolution = r;
      for (int k = 0; k < reference.s->steps_per_rev; ++k) {
        set_forces(reference.s, k, &seed_a);
        set_forces(next.s, k, &seed_b);
        step(reference, kScalar, k);
        if (!(k > 0 && modal_batch_follow(next.s, k, modal_batch_width())))
          modal_respond(next.p, next.s, k);
        if (r == 1 && k == 4321) {
          retune(reference);
          retune(next);
        }
        if (k == 777) modal_batch_sync(next.s);
      }
      ASSERT_EQ(first_difference(reference.s, next.s), "") << "revolution " << r;
      full_shift(reference.s);
      sim_shift_history(next.s);
    }
  }
}

// Displacements placed past the end of the histories are skipped, lane by
// lane, as the scalar step skips them: a mode whose delay reaches past the
// histories from step 10 on beside modes that stay inside them.
TEST(ModalBatch, PlacesPastTheHistoriesAreSkippedAsTheScalarStepSkipsThem) {
  std::vector<Path> widths = {kLanes2};
  if (modal_batch_width() == 4) widths.push_back(kLanes4);
  for (Path width : widths) {
    SCOPED_TRACE("lanes " + std::to_string(width));
    Job reference(3, 0.05), packed(3, 0.05);
    for (Job* job : {&reference, &packed}) {
      job->s->tool_modes_x->delay_steps[0] = job->s->capacity - 10;
      job->s->sw_modes_y->delay_steps[1] = 5;
    }
    unsigned seed_a = 9, seed_b = 9;
    for (int r = 0; r < 2; ++r) {
      reference.s->revolution = packed.s->revolution = r;
      for (int k = 0; k < reference.s->steps_per_rev; ++k) {
        set_forces(reference.s, k, &seed_a);
        set_forces(packed.s, k, &seed_b);
        step(reference, kScalar, k);
        step(packed, width, k);
        ASSERT_EQ(packed.s->history_end, reference.s->history_end) << r << " " << k;
      }
      ASSERT_EQ(first_difference(reference.s, packed.s), "") << "revolution " << r;
      EXPECT_EQ(reference.s->history_end, reference.s->capacity);
      full_shift(reference.s);
      full_shift(packed.s);
    }
  }
}

// The engine's sines and cosines of one argument are taken by one sincos
// call (the compiler joins sin and cos of the same argument): glibc's
// sincos must give the bits of its sin and cos. Checked on arguments like
// the modal step's (damped frequency times step time, up to 1e7 rad), on
// the reduction's hard cases near multiples of pi/2 and on special values.
TEST(LibraryCalls, SincosGivesTheBitsOfSinAndCos) {
  // Called through volatile pointers, sin and cos stay separate calls.
  double (*volatile sin_of)(double) = std::sin;
  double (*volatile cos_of)(double) = std::cos;
  std::vector<double> args = {0.0,
                              -0.0,
                              1e-310,
                              -1e-300,
                              1.0,
                              -1.0,
                              M_PI,
                              M_PI_2,
                              1e22,
                              -1e300,
                              1.7976931348623157e308,
                              INFINITY,
                              -INFINITY,
                              NAN};
  for (int m = 1; m < 200000; m += 97)
    for (int u = -2; u <= 2; ++u) args.push_back(std::nextafter(m * M_PI_2, 0.0) + u * 1e-9 * m);
  unsigned seed = 11;
  for (int i = 0; i < 200000; ++i) {
    seed = seed * 1103515245u + 12345u;
    const double wd = 500.0 + static_cast<double>(seed >> 8 & 0xffff) * 0.37;  // rad/s
    const int n = static_cast<int>(seed >> 4 & 0xfffff) * 9;                   // steps
    args.push_back(wd * (static_cast<double>(n) * (1.0 / (6.0 * 1000.0) / 95.0)));
  }
  int differing = 0;
  for (double x : args) {
    double s = 0.0, c = 0.0;
    ::sincos(x, &s, &c);
    const double s_ref = sin_of(x), c_ref = cos_of(x);
    if (std::memcmp(&s, &s_ref, sizeof s) != 0 || std::memcmp(&c, &c_ref, sizeof c) != 0) {
      if (++differing <= 5) ADD_FAILURE() << "sincos differs at " << x;
    }
  }
  EXPECT_EQ(differing, 0) << "of " << args.size() << " arguments";
}

TEST(SimShiftHistory, MovingTheWrittenEntriesLeavesTheHistoriesAsTheFullShift) {
  // Increments 1 write well past the revolution; increments 20 stay below
  // it. Hand-written entries past 171000, beyond what any job reaches, stay
  // in the tail that no shift moves (5000 past), or beyond the reach of a
  // short shift, which then moves everything (40000 past).
  const struct {
    int increments;
    int far;  // entries past 171000 of a hand-written value, 0 for none
  } cases[] = {{1, 0}, {20, 0}, {1, 5000}, {20, 40000}};
  for (const auto& c : cases) {
    SCOPED_TRACE("increments " + std::to_string(c.increments) + ", far " + std::to_string(c.far));
    Job full(c.increments, 0.05), written(c.increments, 0.05);
    unsigned seed_a = 3, seed_b = 3;
    for (int r = 0; r < 3; ++r) {
      full.s->revolution = written.s->revolution = r;
      for (int k = 0; k < full.s->steps_per_rev; ++k) {
        set_forces(full.s, k, &seed_a);
        set_forces(written.s, k, &seed_b);
        modal_respond(full.p, full.s, k);
        modal_respond(written.p, written.s, k);
      }
      if (c.far > 0 && r == 1) {
        for (SimState* s : {full.s, written.s}) {
          s->tool_disp_y[kShiftedEntries + c.far] = 1e-6;
          s->history_end = kShiftedEntries + c.far + 1;
        }
      }
      full_shift(full.s);
      sim_shift_history(written.s);
      ASSERT_EQ(first_difference(full.s, written.s), "") << "revolution " << r;
    }
  }
}
