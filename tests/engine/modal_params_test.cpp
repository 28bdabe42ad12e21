#include "engine/modal_params.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <string>

#include "engine/modal_response.h"
#include "model/units.h"
#include "tests/support/records.h"

namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// A turning job at 1000 rev/min with no modes; released with the object.
struct Job {
  test_support::Params owner = test_support::new_params();
  SimParams* p = owner.get();
  Job() {
    p->process = 'T';
    p->spindle_rpm = 1000.0;
    p->units = 1;
  }

  // The list of one structure (0 spindle-workpiece, 1 tool) and axis (0 X, 1 Y, 2 Z).
  void set(int structure, int axis, std::initializer_list<ModalMode> modes) {
    test_support::set_modes(structure == 0 ? &p->spindle_modes : &p->tool_modes, "xyz"[axis],
                            modes);
  }
  ModalMode& mode(int structure, int axis, int i) {
    ModalSet* s = structure == 0 ? &p->spindle_modes : &p->tool_modes;
    ModalMode* lists[] = {s->x_modes, s->y_modes, s->z_modes};
    return lists[axis][i];
  }
};

// Engine-unit reference mode: 1 kg, damping ratio 0.05, 1e6 N/m.
ModalMode reference_mode(double angle) {
  return {1.0, 0.05, 1e6, angle};
}

struct State {
  test_support::State owner = test_support::new_state();
  SimState* s = owner.get();
  explicit State(int steps_per_rev = kGridSteps) { s->steps_per_rev = steps_per_rev; }
};

std::string check(const Job& job, int steps_per_rev = kGridSteps) {
  std::string error = "untouched";
  const int ok = modal_check(job.p, steps_per_rev, &error);
  EXPECT_EQ(ok, error.empty() ? 1 : 0) << error;
  return error;
}

}  // namespace

TEST(ModalPrepare, ReferenceModeConstantsTimeStepAndDelay) {
  Job job;
  job.set(0, 0, {reference_mode(90.0)});
  State st;
  modal_prepare(job.p, st.s);
  const ModeResponse* r = st.s->sw_modes_x;
  EXPECT_EQ(modal_constants(&job.mode(0, 0, 0)).natural_freq, 1000.0);
  EXPECT_NEAR(r->damped_freq[0], 998.749218, 5e-7);
  EXPECT_NEAR(r->decay_rate[0], 50.0, 1e-12);
  EXPECT_NEAR(r->natural_freq_sq[0], 1e6, 1e-6);
  EXPECT_EQ(r->natural_freq_sq[0],
            r->decay_rate[0] * r->decay_rate[0] + r->damped_freq[0] * r->damped_freq[0]);
  EXPECT_NEAR(st.s->time_step, 1.754386e-6, 5e-13);
  EXPECT_EQ(job.p->edge_count, 1);  // set before the delay, which it multiplies
  EXPECT_NEAR(modal_delay_exact(90.0, 1000.0, 1000.0, kGridSteps, 1), 895.3539, 1e-4);
  EXPECT_EQ(r->delay_steps[0], 895);
  EXPECT_EQ(r->integral_cos[0], 0.0);  // the running state is not touched
}

TEST(ModalPrepare, NegativeAnglesWrapOnceInTheRecordAndSmallDelaysBecomeOne) {
  Job job;
  job.set(1, 1,
          {reference_mode(-90.0), reference_mode(-400.0), reference_mode(40.0), reference_mode(0.0),
           reference_mode(1e-3)});
  State st;
  modal_prepare(job.p, st.s);
  const ModeResponse* r = st.s->tool_modes_y;
  EXPECT_EQ(job.mode(1, 1, 0).modal_angle, 270.0);
  EXPECT_EQ(r->delay_steps[0], 2686);
  EXPECT_EQ(job.mode(1, 1, 1).modal_angle, -40.0);  // only one wrap
  EXPECT_EQ(r->delay_steps[1], 397);                // from |-40|
  EXPECT_EQ(r->delay_steps[2], 397);
  EXPECT_EQ(r->delay_steps[3], 1);
  EXPECT_EQ(r->delay_steps[4], 1);
  EXPECT_EQ(job.mode(1, 1, 2).modal_angle, 40.0);
}

TEST(ModalPrepare, EachListFillsItsOwnWorkspaceAndAnEmptyListWritesNothing) {
  Job job;
  // Lists in processing order get natural frequencies 1000, 2000, ... rad/s;
  // tool Y stays empty.
  for (int j = 0; j < 6; ++j) {
    if (j == 4) continue;
    const double k = (j + 1.0) * (j + 1.0) * 1e6;
    job.set(j / 3, j % 3, {{1.0, 0.0, k, 0.0}, {2.0, 0.0, k, 0.0}});
  }
  State st;
  ModeResponse* responses[] = {st.s->sw_modes_x,   st.s->sw_modes_y,   st.s->sw_modes_z,
                               st.s->tool_modes_x, st.s->tool_modes_y, st.s->tool_modes_z};
  for (ModeResponse* r : responses) {
    for (int i = 0; i < 5; ++i) {
      r->damped_freq[i] = -7.0;
      r->delay_steps[i] = -7;
    }
  }
  modal_prepare(job.p, st.s);
  for (int j = 0; j < 6; ++j) {
    const ModeResponse* r = responses[j];
    if (j == 4) {
      EXPECT_EQ(r->damped_freq[0], -7.0);
      EXPECT_EQ(r->delay_steps[0], -7);
      continue;
    }
    EXPECT_DOUBLE_EQ(r->damped_freq[0], (j + 1.0) * 1000.0) << j;
    EXPECT_DOUBLE_EQ(r->damped_freq[1], (j + 1.0) * 1000.0 / std::sqrt(2.0)) << j;
    EXPECT_EQ(r->delay_steps[1], 1);
    EXPECT_EQ(r->damped_freq[2], -7.0) << j;  // beyond the list
  }
}

TEST(ModalCheck, AcceptsValidJobsInBothSystemsWithoutTouchingTheRecord) {
  for (int units : {0, 1}) {
    Job job;
    job.p->units = units;
    job.set(0, 2, {{0.5, 0.02, 3000.0, -90.0}});
    job.set(1, 0, {{0.01, 0.0, 5000.0, 45.0}, {0.02, 0.99, 8000.0, 0.0}});
    EXPECT_EQ(check(job), "") << units;
    EXPECT_EQ(job.mode(0, 2, 0).modal_angle, -90.0);
    EXPECT_EQ(job.mode(0, 2, 0).mass, 0.5);
    EXPECT_EQ(job.mode(0, 2, 0).stiffness, 3000.0);
    EXPECT_EQ(job.p->edge_count, 0);
  }
  Job empty;
  EXPECT_EQ(modal_check(empty.p, kGridSteps, nullptr), 1);
}

TEST(ModalCheck, RefusesEachFaultNamingStructureDirectionModeAndReason) {
  struct Case {
    int structure, axis, index;
    ModalMode mode;
    const char* message;
  };
  const ModalMode ok = {1.0, 0.05, 1000.0, 30.0};
  const Case cases[] = {
      {1, 1, 1, {1.0, 1.2, 1000.0, 0.0}, "tool Y mode 2: damping ratio 1.2 is not below 1"},
      {1, 1, 0, {1.0, 1.0, 1000.0, 0.0}, "tool Y mode 1: damping ratio 1 is not below 1"},
      {0,
       2,
       1,
       {1.0, -0.1, 1000.0, 0.0},
       "spindle-workpiece Z mode 2: damping ratio -0.1 is negative"},
      {0, 0, 0, {0.0, 0.05, 1000.0, 0.0}, "spindle-workpiece X mode 1: mass 0 is not positive"},
      {1, 2, 1, {1.0, 0.05, -5.0, 0.0}, "tool Z mode 2: stiffness -5 is not positive"},
      {1, 0, 0, {1.0, 0.05, 1000.0, kNan}, "tool X mode 1: modal angle nan is not finite"},
      {0, 1, 0, {1.0, 0.05, kInf, 0.0}, "spindle-workpiece Y mode 1: stiffness inf is not finite"},
      {0, 1, 1, {kNan, 0.05, 1000.0, 0.0}, "spindle-workpiece Y mode 2: mass nan is not finite"},
      {1, 0, 1, {1.0, -kInf, 1000.0, 0.0}, "tool X mode 2: damping ratio -inf is not finite"},
      // Finite as entered, but the natural frequency overflows in engine units.
      {1,
       1,
       0,
       {1e-300, 0.05, 1e300, 0.0},
       "tool Y mode 1: natural frequency inf rad/s is out of range"},
  };
  for (const Case& c : cases) {
    Job job;
    job.set(c.structure, c.axis, {ok, ok});
    job.mode(c.structure, c.axis, c.index) = c.mode;
    EXPECT_EQ(check(job), c.message);
  }
  Job six;
  six.set(0, 2, {ok, ok, ok, ok, ok, ok});
  EXPECT_EQ(check(six), "spindle-workpiece Z mode 6: 6 modes given, at most 5 in one direction");
  Job negative;
  negative.p->tool_modes.x_count = -1;
  EXPECT_EQ(check(negative), "tool X: mode count -1 is negative");
  Job missing;
  missing.p->tool_modes.z_count = 2;  // a count without mode data
  EXPECT_EQ(check(missing), "tool Z mode 1: no mode data");
  // The first fault in processing order is the one reported.
  Job two;
  two.set(1, 0, {{0.0, 0.05, 1000.0, 0.0}});
  two.set(0, 2, {ok, {1.0, 0.05, 0.0, 0.0}});
  EXPECT_EQ(check(two), "spindle-workpiece Z mode 2: stiffness 0 is not positive");
}

TEST(ModalCheck, DelayLimitIsTheLastShiftedIndex) {
  // Metric: 1 kg and 1000 N/mm give 1000 rad/s once converted.
  Job inside;
  inside.set(1, 0, {{1.0, 0.05, 1000.0, 13751.0}});
  EXPECT_EQ(check(inside), "");
  Job beyond;
  beyond.set(1, 0, {{1.0, 0.05, 1000.0, 13751.1}});
  EXPECT_EQ(check(beyond),
            "tool X mode 1: modal angle 13751.1 gives a delay of 136801 steps, above the 136800 "
            "that 34200 steps a revolution allow");

  // The accepted job runs: its last step places its displacement at 170999.
  units_normalise(inside.p);
  State st;
  modal_prepare(inside.p, st.s);
  EXPECT_EQ(st.s->tool_modes_x->delay_steps[0], 136800);
  st.s->revolution = 1;
  st.s->force_x = 100.0;
  modal_respond(inside.p, st.s, kGridSteps - 1);
  EXPECT_NE(st.s->tool_disp_x[170999], 0.0);
  EXPECT_EQ(st.s->tool_disp_x[171000], 0.0);

  // With half the steps a revolution the room grows to 153900.
  Job half_in;
  half_in.set(0, 1, {{1.0, 0.05, 1000.0, 30939.9}});
  EXPECT_EQ(check(half_in, 17100), "");
  Job half_out;
  half_out.set(0, 1, {{1.0, 0.05, 1000.0, 30940.0}});
  EXPECT_EQ(check(half_out, 17100),
            "spindle-workpiece Y mode 1: modal angle 30940 gives a delay of 153901 steps, above "
            "the 153900 that 17100 steps a revolution allow");
}

TEST(ModalCheck, AgreesWithThePreparedDelayInBothSystems) {
  // English: 0.01 lbs and 5000 lb/in; metric: 1.5 kg and 800 N/mm.
  const ModalMode entered[] = {{0.01, 0.05, 5000.0, 0.0}, {1.5, 0.05, 800.0, 0.0}};
  for (int units : {0, 1}) {
    ModalMode si = entered[units];
    units_scale_mode(&si, units ? kMilli : kEnglishModalFactor, units);
    const double wn = modal_constants(&si).natural_freq;
    // The angle whose exact delay is 136800.5 steps.
    const double boundary = 136800.5 * 360.0 / (34200.0 * 6.283185307179586 * 1000.0 / (60.0 * wn));
    int refused = 0, passed = 0;
    State st;
    for (int j = -20; j <= 20; ++j) {
      for (int sign : {1, -1}) {
        // A negative angle below -360 stays negative after its single wrap.
        const double angle = sign > 0 ? boundary + j * 0.003 : -(boundary + j * 0.003 + 360.0);
        Job job;
        job.p->units = units;
        ModalMode m = entered[units];
        m.modal_angle = angle;
        job.set(0, 0, {m});
        std::string error;
        const int verdict = modal_check(job.p, kGridSteps, &error);
        units_normalise(job.p);
        modal_prepare(job.p, st.s);
        const int fits = (kGridSteps - 1) + st.s->sw_modes_x->delay_steps[0] < 171000;
        EXPECT_EQ(verdict, fits) << units << " " << angle << " " << error;
        verdict ? ++passed : ++refused;
      }
    }
    EXPECT_GT(passed, 0);
    EXPECT_GT(refused, 0);
  }
}

TEST(ModalCheck, HugeDelaysAreRefusedWithoutOverflowAndUnusableSpeedsSkipTheTest) {
  Job huge;
  huge.set(1, 2, {{1.0, 0.05, 1000.0, 1e300}});
  const std::string error = check(huge);
  EXPECT_EQ(error.rfind("tool Z mode 1: modal angle 1e+300 gives a delay of ", 0), 0u) << error;
  EXPECT_EQ(modal_delay_steps(1e300), INT_MAX);
  EXPECT_EQ(modal_delay_steps(kNan), 1);
  EXPECT_EQ(modal_delay_steps(0.99), 1);
  EXPECT_EQ(modal_delay_steps(895.99), 895);

  // The run's own check refuses the speed; here the delay test is skipped.
  for (double rpm : {0.0, -10.0, kNan, kInf}) {
    huge.p->spindle_rpm = rpm;
    EXPECT_EQ(check(huge), "") << rpm;
  }
  huge.mode(1, 2, 0).mass = -1.0;
  EXPECT_EQ(check(huge), "tool Z mode 1: mass -1 is not positive");
}
