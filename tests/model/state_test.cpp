#include "model/state.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>

#include "model/paths.h"
#include "model/rounding.h"
#include "model/version.h"

TEST(State, NewStateIsZeroWithoutListener) {
  SimState* s = state_create(kHistoryCapacity);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->listener_id, -1);
  EXPECT_EQ(s->force_x, 0.0);
  EXPECT_EQ(s->steps_per_rev, 0);
  for (double* a : {s->cut_surface, s->rel_disp_x, s->sw_disp_z, s->tool_disp_y, s->force_hist_z}) {
    EXPECT_EQ(a[0], 0.0);
    EXPECT_EQ(a[kHistoryCapacity - 1], 0.0);
  }
  for (ModeResponse* r : {s->sw_modes_x, s->sw_modes_y, s->sw_modes_z, s->tool_modes_x,
                          s->tool_modes_y, s->tool_modes_z}) {
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->delay_steps[4], 0);
    EXPECT_EQ(r->integral_sin[0], 0.0);
  }
  state_free(s);
  state_free(nullptr);
}

TEST(State, ResetExtremesLetsAnyFiniteValueReplaceBoth) {
  SimState* s = state_create(10);
  state_reset_extremes(s);
  EXPECT_EQ(s->force_x_max, -3.4028234663852886e38);
  EXPECT_EQ(s->force_z_min, 3.4028234663852886e38);
  EXPECT_EQ(s->sw_disp_y_max, -3.4028234663852886e38);
  EXPECT_EQ(s->tool_disp_x_min, 3.4028234663852886e38);
  EXPECT_GT(1e38, s->tool_disp_z_max);
  EXPECT_LT(-1e38, s->sw_disp_x_min);
  state_free(s);
}

namespace {
int g_calls = 0;
int32_t g_last_event = 0;
const EventContext* g_last_context = nullptr;
void counting_listener(int32_t event, const EventContext* context) {
  ++g_calls;
  g_last_event = event;
  g_last_context = context;
}
}  // namespace

TEST(Listener, SlotsAreTakenLowestFirstAndTheTableComesAndGoes) {
  listener_table_destroy();
  for (int i = 0; i < 10; ++i) EXPECT_EQ(listener_register(counting_listener), i);
  EXPECT_EQ(listener_register(counting_listener), -1);  // eleventh
  listener_table_destroy();
  EXPECT_EQ(listener_dispatch(0, 1, nullptr), -1);

  EXPECT_EQ(listener_register(counting_listener), 0);
  EXPECT_EQ(listener_register(counting_listener), 1);
  listener_remove(0);
  EXPECT_EQ(listener_register(counting_listener), 0);  // the freed slot again
  listener_remove(0);
  listener_remove(1);  // last one: the table is released
  EXPECT_EQ(listener_dispatch(1, 1, nullptr), -1);
  EXPECT_EQ(listener_register(counting_listener), 0);
  listener_remove(42);  // out of range: nothing happens
  EXPECT_EQ(listener_dispatch(-1, 1, nullptr), -1);
  g_calls = 0;
  EXPECT_EQ(listener_dispatch(0, 16, nullptr), 0);
  EXPECT_EQ(g_calls, 1);
  EXPECT_EQ(listener_register(nullptr), -1);
  listener_table_destroy();
}

TEST(Listener, StateEventsReachItsListenerWithTheRunContext) {
  SimState* s = state_create(10);
  EXPECT_EQ(state_add_listener(s, nullptr), 0);
  EXPECT_EQ(s->listener_id, -1);
  g_calls = 0;
  state_fire_event(s, 8);
  EXPECT_EQ(g_calls, 0);

  EXPECT_EQ(state_add_listener(s, counting_listener), 1);
  EXPECT_EQ(s->listener_id, 0);
  s->event_context.state = s;
  s->event_context.output_base = "out/run1";
  state_fire_event(s, 2);
  EXPECT_EQ(g_calls, 1);
  EXPECT_EQ(g_last_event, 2);
  EXPECT_EQ(g_last_context->state, s);
  EXPECT_STREQ(g_last_context->output_base, "out/run1");
  state_free(s);  // also tears down the table
  EXPECT_EQ(listener_dispatch(0, 1, nullptr), -1);
  EXPECT_EQ(engine_version(), 0x10000u);
}

TEST(Listener, OnlyTheEventsListenedForReachTheListener) {
  SimState* s = state_create(10);
  ASSERT_EQ(state_add_listener(s, counting_listener), 1);
  const int32_t all[] = {SIM_EVENT_RUN_START, SIM_EVENT_REVOLUTION_START, SIM_EVENT_REVOLUTION_END,
                         SIM_EVENT_STEP_START, SIM_EVENT_STEP_END};
  const struct {
    int32_t listened;  // state_listen_for's bits, -1 for none set (all events)
    int calls;         // of the five events fired
  } cases[] = {{-1, 5},
               {SIM_EVENT_RUN_START | SIM_EVENT_REVOLUTION_START, 2},
               {SIM_EVENT_STEP_START, 1},
               {0, 0}};
  for (const auto& c : cases) {
    if (c.listened != -1) state_listen_for(s, c.listened);
    g_calls = 0;
    for (int32_t event : all) {
      EXPECT_EQ(state_wants_event(s, event), c.listened == -1 || (c.listened & event) != 0);
      state_fire_event(s, event);
    }
    EXPECT_EQ(g_calls, c.calls) << c.listened;
  }
  state_free(s);
}

TEST(Rounding, HalvesGoAwayFromZero) {
  EXPECT_EQ(round_half_away(2.5), 3);
  EXPECT_EQ(round_half_away(-2.5), -3);
  EXPECT_EQ(round_half_away(2.49), 2);
  EXPECT_EQ(round_half_away(0.4), 0);
  EXPECT_EQ(round_half_away(-0.5), -1);
  EXPECT_EQ(round_half_away(-44.5), -45);
  EXPECT_EQ(round_half_away(29.6), 30);
  EXPECT_EQ(round_half_away(1e300), INT_MAX);
  EXPECT_EQ(round_half_away(-1e300), INT_MIN);
  EXPECT_EQ(round_half_away(std::nan("")), 0);
}

TEST(Paths, NamesMustFitIn99Characters) {
  char buf[kPathSize];
  EXPECT_EQ(path_join_dir(buf, "out", "run1", ".in"), 1);
  EXPECT_STREQ(buf, "out/run1.in");
  std::string base(92, 'b');
  EXPECT_EQ(path_join(buf, base.c_str(), ".fx.dat"), 1);  // 99 characters
  EXPECT_EQ(path_join(buf, base.c_str(), ".fx.data"), 0);
  EXPECT_STREQ(buf, "");
}
