#include "engine/modal_response.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "engine/modal_params.h"
#include "tests/support/antiderivative_step.h"
#include "tests/support/records.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// A turning job at 1000 rev/min in engine units, with its state; released with the object.
struct Rig {
  test_support::Params job = test_support::new_params();
  test_support::State state = test_support::new_state();
  SimParams* p = job.get();
  SimState* s = state.get();
  Rig() {
    p->process = 'T';
    p->spindle_rpm = 1000.0;
    s->steps_per_rev = kGridSteps;
  }

  // The list of one structure (0 spindle-workpiece, 1 tool) and axis (0 X, 1 Y, 2 Z).
  void set(int structure, int axis, std::initializer_list<ModalMode> modes) {
    test_support::set_modes(structure == 0 ? &p->spindle_modes : &p->tool_modes, "xyz"[axis],
                            modes);
  }

  // One revolution as the run makes it: forces(k) sets the step's forces,
  // after(k) looks at the histories once the step has responded.
  void revolution(int r, const std::function<void(int)>& forces,
                  const std::function<void(int)>& after = nullptr) {
    s->revolution = r;
    for (int k = 0; k < s->steps_per_rev; ++k) {
      s->force_x = s->force_y = s->force_z = 0.0;
      forces(k);
      modal_respond(p, s, k);
      if (after) after(k);
    }
  }

  // The run's shift of the nine displacement histories by one revolution.
  void shift() {
    for (double* a : {s->rel_disp_x, s->rel_disp_y, s->rel_disp_z, s->sw_disp_x, s->sw_disp_y,
                      s->sw_disp_z, s->tool_disp_x, s->tool_disp_y, s->tool_disp_z})
      std::memmove(a, a + kGridSteps, 171000 * sizeof(double));
  }
};

// 1 kg and 1e6 N/m: 1000 rad/s; angle 0 gives a delay of 1 step.
ModalMode reference_mode(double damping_ratio) {
  return {1.0, damping_ratio, 1e6, 0.0};
}

// +100 N along X from the second step of the run on.
void step_force_x(SimState* s, int k) {
  if (k > 0 || s->revolution > 0) s->force_x = 100.0;
}

}  // namespace

TEST(ModalScaledExp, ScalesWithoutOverflowAndStopsOnHopelessExponents) {
  EXPECT_NEAR(modal_scaled_exp(1.0, 1.0, 700) / std::exp(700.0), 1.0, 1e-14);
  EXPECT_TRUE(std::isfinite(modal_scaled_exp(1.0, 1.0, 700)));
  EXPECT_NEAR(modal_scaled_exp(1.0, -1.0, 700) / std::exp(-700.0), 1.0, 1e-14);
  // 1e-300 e^1300 is about 4e264, though e^1300 alone would overflow.
  EXPECT_NEAR(std::log(modal_scaled_exp(1e-300, 1.0, 1300)) / (std::log(1e-300) + 1300.0), 1.0,
              1e-14);
  EXPECT_EQ(modal_scaled_exp(3.0, 0.5, 400), std::exp(200.0) * 3.0);
  EXPECT_EQ(modal_scaled_exp(-2.5, 0.3, 0), -2.5);
  EXPECT_EQ(modal_scaled_exp(7.0, kInf, 0), 7.0);
  // Exponents no finite number of 300-steps can bring down must still return.
  EXPECT_EQ(modal_scaled_exp(1.0, kInf, 1), kInf);
  EXPECT_EQ(modal_scaled_exp(-1.0, kInf, 1), -kInf);
  EXPECT_EQ(modal_scaled_exp(1.0, -kInf, 1), 0.0);
  EXPECT_EQ(modal_scaled_exp(0.0, kInf, 3), 0.0);
  EXPECT_EQ(modal_scaled_exp(2.0, 1e300, 1000000), kInf);
}

TEST(ModalAntiderivatives, DifferentiateToTheirIntegrandsAndSplitTheExponent) {
  ModeResponse r{};
  r.decay_rate[2] = 50.0;
  r.damped_freq[2] = 998.749218;
  r.natural_freq_sq[2] = 50.0 * 50.0 + 998.749218 * 998.749218;
  const double sigma = 50.0, wd = 998.749218, h = 1e-7;
  for (double t : {0.0123, 0.05, 0.3}) {
    auto slope = [&](double (*g)(const ModeResponse*, double, double, int)) {
      return (g(&r, t + h, t + h, 2) - g(&r, t - h, t - h, 2)) / (2 * h);
    };
    const double e = std::exp(sigma * t), c = std::cos(wd * t), s = std::sin(wd * t);
    const double scale = e * std::max(1.0, t);
    EXPECT_NEAR(slope(modal_int_cos) / scale, e * c / scale, 1e-6) << t;
    EXPECT_NEAR(slope(modal_int_sin) / scale, e * s / scale, 1e-6) << t;
    EXPECT_NEAR(slope(modal_int_t_sin) / scale, t * e * s / scale, 1e-6) << t;
    EXPECT_NEAR(slope(modal_int_t_cos) / scale, t * e * c / scale, 1e-6) << t;
    // The exponent time only scales: G(t, s) = e^(sigma s) G(t, 0).
    const double split = std::exp(sigma * 1e-3);
    EXPECT_NEAR(modal_int_cos(&r, t, 1e-3, 2) / (split * modal_int_cos(&r, t, 0.0, 2)), 1.0, 1e-14);
    EXPECT_NEAR(modal_int_t_sin(&r, t, 1e-3, 2) / (split * modal_int_t_sin(&r, t, 0.0, 2)), 1.0,
                1e-12);
  }
}

TEST(ModalRespond, SingleModeOvershootsAndSettlesAtTheStaticDeflection) {
  for (int structure : {1, 0}) {
    const double sign = structure == 1 ? 1.0 : -1.0;  // the spindle-workpiece takes -F
    Rig rig;
    rig.set(structure, 0, {reference_mode(0.05)});
    modal_prepare(rig.p, rig.s);
    ASSERT_EQ(rig.s->tool_modes_x->delay_steps[0] + rig.s->sw_modes_x->delay_steps[0], 1);
    double* own = structure == 1 ? rig.s->tool_disp_x : rig.s->sw_disp_x;
    double* other = structure == 1 ? rig.s->sw_disp_x : rig.s->tool_disp_x;
    double at_1000 = 0.0, at_end = 0.0;
    for (int r = 0; r < 3; ++r) {
      rig.revolution(
          r, [&](int k) { step_force_x(rig.s, k); },
          [&](int k) {
            if (r == 0 && k == 1000) at_1000 = own[1001];
            if (r == 2 && k == kGridSteps - 1) at_end = own[kGridSteps];
          });
      if (r == 0) {
        // The relative displacement is the tool's minus the workpiece's.
        EXPECT_EQ(rig.s->rel_disp_x[1001], sign * own[1001]);
        EXPECT_EQ(other[1001], 0.0);
        EXPECT_EQ(own[0], 0.0);
        EXPECT_EQ(own[1], 0.0);  // step 0 had no force
        EXPECT_NE(own[2], 0.0);
      }
      rig.shift();
    }
    EXPECT_NEAR(at_1000, sign * 1.1194e-4, 5e-9) << structure;
    EXPECT_NEAR(at_end, sign * 1.0000983e-4, 5e-12) << structure;
    EXPECT_EQ(own[0], at_end);  // carried into the next revolution by the shift
  }
}

TEST(ModalRespond, RebaseLeavesTheDisplacementUnchanged) {
  Rig rig;
  rig.set(1, 0, {reference_mode(0.5)});
  modal_prepare(rig.p, rig.s);
  const ModeResponse* m = rig.s->tool_modes_x;
  int rebase_revolution = -1;
  double before = 0.0, after = 0.0;
  for (int r = 0; r < 9 && rebase_revolution < 0; ++r) {
    rig.revolution(
        r, [&](int k) { step_force_x(rig.s, k); },
        [&](int k) {
          const double x = rig.s->tool_disp_x[k + 1];
          if (rebase_revolution < 0 && m->ref_step[0] != 0) {
            rebase_revolution = r;
            after = x;
            EXPECT_EQ(m->ref_step[0], k + kGridSteps * r);
          } else if (rebase_revolution < 0) {
            before = x;
          }
        });
    rig.shift();
  }
  EXPECT_EQ(rebase_revolution, 7);
  EXPECT_LT(m->integral_cos[0], 1e100);
  EXPECT_NEAR(before, 1e-4, 1e-16);
  EXPECT_NEAR(after, 1e-4, 1e-16);
}

TEST(ModalRespond, ZeroForcesGiveZeroDisplacementsEvenFromAStaleWorkspace) {
  Rig rig;
  for (int j = 0; j < 6; ++j)
    rig.set(j / 3, j % 3, {{1.0, 0.1, 4e6, 20.0 * j}, reference_mode(0.2)});
  modal_prepare(rig.p, rig.s);
  // The first step of the run clears what an earlier use left behind.
  for (ModeResponse* r : {rig.s->sw_modes_x, rig.s->tool_modes_z}) {
    r->integral_cos[0] = 5.0;
    r->integral_sin[1] = -3.0;
    r->prev_force[0] = 250.0;
  }
  for (int r = 0; r < 2; ++r) {
    rig.revolution(r, [](int) {});
    rig.shift();
  }
  for (double* a :
       {rig.s->rel_disp_x, rig.s->rel_disp_y, rig.s->rel_disp_z, rig.s->sw_disp_x, rig.s->sw_disp_y,
        rig.s->sw_disp_z, rig.s->tool_disp_x, rig.s->tool_disp_y, rig.s->tool_disp_z})
    for (int i = 0; i < kHistoryCapacity; ++i) ASSERT_EQ(a[i], 0.0) << i;
  EXPECT_EQ(rig.s->sw_modes_x->integral_cos[0], 0.0);
}

TEST(ModalRespond, EachDisplacementIsAddedAtItsDelayIntoBothHistories) {
  Rig rig;
  rig.set(1, 1, {reference_mode(0.05)});    // delay 1
  rig.set(0, 1, {{1.0, 0.05, 1e6, 90.0}});  // delay 895
  modal_prepare(rig.p, rig.s);
  ASSERT_EQ(rig.s->sw_modes_y->delay_steps[0], 895);
  rig.s->revolution = 2;
  rig.s->force_y = 40.0;
  rig.s->tool_disp_y[501] = 1.0;  // contributions add to what is there
  modal_respond(rig.p, rig.s, 500);
  const double tool = rig.s->rel_disp_y[501];
  const double sw = rig.s->sw_disp_y[1395];
  EXPECT_GT(tool, 0.0);
  EXPECT_LT(sw, 0.0);
  EXPECT_EQ(rig.s->tool_disp_y[501], 1.0 + tool);
  EXPECT_EQ(rig.s->rel_disp_y[1395], -sw);  // the workpiece moves away: the gap grows
  for (int i : {500, 502, 1394, 1396}) {
    EXPECT_EQ(rig.s->rel_disp_y[i], 0.0) << i;
    EXPECT_EQ(rig.s->sw_disp_y[i], 0.0) << i;
  }
  EXPECT_EQ(rig.s->tool_disp_y[1395], 0.0);
  EXPECT_EQ(rig.s->sw_disp_y[501], 0.0);

  double rel[4] = {0.5, 0.0, 0.0, 0.0}, own[4] = {0.0, 0.0, 0.0, -2.0};
  modal_add_response(rel, own, 0.25, 2, 1, +1.0);
  EXPECT_EQ(rel[3], 0.25);
  EXPECT_EQ(own[3], -1.75);
  EXPECT_EQ(rel[0], 0.5);
  modal_add_response(rel, own, 0.125, 2, 1, -1.0);  // a workpiece mode
  EXPECT_EQ(rel[3], 0.125);
  EXPECT_EQ(own[3], -1.625);
}

TEST(ModalRespond, EveryModeSettlesAtForceOverStiffnessInItsOwnAxis) {
  Rig rig;
  const double kx1 = 4e6, kx2 = 9e6, ky = 2.5e7, kz1 = 1.6e7, kz2 = 3.6e7, kz3 = 6.4e6;
  rig.set(1, 0, {{1.0, 0.3, kx1, 10.0}, {0.5, 0.4, kx2, 45.0}});
  rig.set(0, 0, {{2.0, 0.35, ky, 0.0}});
  rig.set(0, 1, {{1.0, 0.3, ky, 30.0}});
  rig.set(1, 2, {{1.0, 0.3, kz1, 0.0}, {1.0, 0.45, kz2, 60.0}, {1.0, 0.3, kz3, 5.0}});
  rig.set(0, 2, {{1.5, 0.3, kz1, 0.0}});
  modal_prepare(rig.p, rig.s);
  const double fx = 100.0, fy = -40.0, fz = 250.0;
  for (int r = 0; r < 2; ++r) {
    rig.revolution(r, [&](int k) {
      if (k == 0 && r == 0) return;
      rig.s->force_x = fx;
      rig.s->force_y = fy;
      rig.s->force_z = fz;
    });
    if (r == 0) rig.shift();
  }
  const int at = 30000;  // late in the second revolution, every transient gone
  const SimState* s = rig.s;
  EXPECT_NEAR(s->tool_disp_x[at] / (fx / kx1 + fx / kx2), 1.0, 1e-9);
  EXPECT_NEAR(s->sw_disp_x[at] / (-fx / ky), 1.0, 1e-9);
  // Two springs in series: the tool and the workpiece deflect apart, and the
  // relative deflection is the sum of both compliances times the force.
  EXPECT_NEAR(s->rel_disp_x[at] / (fx / kx1 + fx / kx2 + fx / ky), 1.0, 1e-9);
  EXPECT_EQ(s->rel_disp_x[at], s->tool_disp_x[at] - s->sw_disp_x[at]);
  EXPECT_NEAR(s->sw_disp_y[at] / (-fy / ky), 1.0, 1e-9);
  EXPECT_EQ(s->tool_disp_y[at], 0.0);
  EXPECT_NEAR(s->tool_disp_z[at] / (fz / kz1 + fz / kz2 + fz / kz3), 1.0, 1e-9);
  EXPECT_NEAR(s->sw_disp_z[at] / (-fz / kz1), 1.0, 1e-9);
  EXPECT_NEAR(s->rel_disp_z[at] / (fz / kz1 + fz / kz2 + fz / kz3 + fz / kz1), 1.0, 1e-9);
  EXPECT_NEAR(s->rel_disp_y[at] / (fy / ky), 1.0, 1e-9);
}

TEST(ModalRespond, FreeVibrationRingsAtTheDampedFrequencyAndDecaysAtTheDecayRate) {
  Rig rig;
  rig.set(1, 2, {reference_mode(0.05)});
  modal_prepare(rig.p, rig.s);
  std::vector<double> deviation;  // displacement about F/k at the end of each step
  rig.revolution(
      0, [&](int k) { rig.s->force_z = k > 0 ? 100.0 : 0.0; },
      [&](int k) { deviation.push_back(rig.s->tool_disp_z[k + 1] - 1e-4); });
  const double dt = rig.s->time_step;
  std::vector<double> crossings, peak_times, peaks;
  for (size_t k = 2; k + 1 < deviation.size(); ++k) {
    const double a = deviation[k - 1], b = deviation[k];
    if ((a < 0.0) != (b < 0.0))
      crossings.push_back((static_cast<double>(k - 1) + a / (a - b)) * dt);
    if (b > a && b >= deviation[k + 1]) {
      peak_times.push_back(static_cast<double>(k) * dt);
      peaks.push_back(b);
    }
  }
  ASSERT_GE(crossings.size(), 18u);
  ASSERT_GE(peaks.size(), 9u);
  // Zero crossings come every half damped period: pi / 998.749 s, not pi / 1000 s.
  const double half_period =
      (crossings.back() - crossings.front()) / static_cast<double>(crossings.size() - 1);
  EXPECT_NEAR(M_PI / half_period, 998.749218, 0.05);
  for (size_t i = 1; i < peaks.size(); ++i) {
    EXPECT_NEAR(peak_times[i] - peak_times[i - 1], 2 * M_PI / 998.749218, 2 * dt);
    EXPECT_NEAR(std::log(peaks[i - 1] / peaks[i]) / (peak_times[i] - peak_times[i - 1]), 50.0,
                0.05);
  }
  EXPECT_NEAR(std::log(peaks.front() / peaks.back()) / (peak_times.back() - peak_times.front()),
              50.0, 0.005);
}

TEST(ModalModeStep, MatchesTheStepBuiltFromTheAntiderivativesToTheLastBit) {
  // A strongly damped mode (decay rate 5000 /s) rebases within the first
  // revolution and again after the gap of free vibration that half the steps
  // a revolution leaves between revolutions.
  Rig rig;
  rig.p->angular_increments = 2;
  rig.s->steps_per_rev = 17100;
  rig.set(0, 0, {{1.0, 0.5, 1e8, 0.0}});
  modal_prepare(rig.p, rig.s);
  ModeResponse* r = rig.s->sw_modes_x;
  const ModalMode* modes = rig.p->spindle_modes.x_modes;
  test_support::AntiderivativeMode ref;
  unsigned seed = 12345;
  int rebases = 0, last_ref = 0;
  for (int revolution : {0, 1}) {
    rig.s->revolution = revolution;
    for (int k = 0; k < (revolution == 0 ? 17100 : 3000); ++k) {
      seed = seed * 1103515245u + 12345u;
      const double force = static_cast<double>(seed >> 16 & 1023) - 600.0;  // mostly negative
      const double x = modal_mode_step(modes, rig.s, r, force, k, 0);
      ASSERT_EQ(x, test_support::antiderivative_step(&ref, r, 0, modes[0].mass, rig.s->time_step,
                                                     force, k, revolution))
          << revolution << " " << k;
      if (r->ref_step[0] != last_ref) ++rebases, last_ref = r->ref_step[0];
    }
  }
  EXPECT_EQ(r->ref_step[0], ref.ref);
  EXPECT_EQ(r->integral_cos[0], ref.a);
  EXPECT_EQ(r->integral_sin[0], ref.b);
  EXPECT_GE(rebases, 2);
  EXPECT_GT(r->ref_step[0], 34200);  // revolution 1 is numbered from 34200, not 17100
}

TEST(ModalModeStep, ALongFreeGapBetweenRevolutionsDoesNotOverflowTheIntegrals) {
  // 100 angular increments: 342 steps a revolution, then the time of 33858
  // unstepped steps; with a decay rate of 200 /s, e^(sigma dt (n - ref))
  // reaches e^1188 at the first step after the gap.
  Rig rig;
  rig.p->angular_increments = 100;
  rig.s->steps_per_rev = 342;
  rig.set(1, 0, {{1.0, 0.05, 1.6e7, 0.0}});
  modal_prepare(rig.p, rig.s);
  const double settled = 100.0 / 1.6e7;
  // From rest, a constant 100 N over one step of dt gives
  // F/k (1 - e^(-sigma dt) (cos wd dt + sigma / wd sin wd dt)).
  const double dt = rig.s->time_step, sigma = 200.0, wd = 4000.0 * std::sqrt(1.0 - 0.05 * 0.05);
  const double one_step =
      settled *
      (1.0 - std::exp(-sigma * dt) * (std::cos(wd * dt) + sigma / wd * std::sin(wd * dt)));
  for (int r = 0; r < 3; ++r) {
    rig.revolution(
        r, [&](int k) { step_force_x(rig.s, k); },
        [&](int k) {
          const double x = rig.s->tool_disp_x[k + 1];
          ASSERT_TRUE(std::isfinite(x)) << r << " " << k;
          // The mode rings down over the gap and starts afresh.
          if (r > 0 && k == 0) {
            EXPECT_NEAR(x / one_step, 1.0, 1e-9) << r;
          }
          if (k == 341) {
            EXPECT_NEAR(x / settled, 1.0, 1e-4) << r;
          }
        });
    rig.shift();
  }
  EXPECT_TRUE(std::isfinite(rig.s->tool_modes_x->integral_cos[0]));
  EXPECT_EQ(rig.s->tool_modes_x->ref_step[0] / kGridSteps, 2);
}

TEST(ModalModeStep, OnlyAnIntegralAbovePlusOneE100Rebases) {
  Rig rig;
  rig.set(1, 2, {reference_mode(0.05)});
  modal_prepare(rig.p, rig.s);
  ModeResponse* r = rig.s->tool_modes_z;
  const ModalMode* modes = rig.p->tool_modes.z_modes;
  rig.s->revolution = 1;
  const double decay = std::exp(-50.0 * rig.s->time_step * 34210);  // e^(-sigma dt (n - 0))
  for (double big : {-2e100, 2e100}) {
    for (int which : {0, 1}) {
      r->ref_step[0] = 0;
      r->integral_cos[0] = which == 0 ? big : 0.0;
      r->integral_sin[0] = which == 1 ? big : 0.0;
      r->prev_force[0] = 0.0;
      modal_mode_step(modes, rig.s, r, 0.0, 10, 0);  // n = 34210, no force
      const double kept = which == 0 ? r->integral_cos[0] : r->integral_sin[0];
      if (big < 0) {
        EXPECT_EQ(r->ref_step[0], 0) << which;
        EXPECT_EQ(kept, big) << which;
      } else {
        EXPECT_EQ(r->ref_step[0], 34210) << which;
        EXPECT_NEAR(kept / (big * decay), 1.0, 1e-12) << which;
      }
    }
  }
}
