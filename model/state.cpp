#include "model/state.h"

#include <cstdlib>

namespace {

// The thirteen history arrays in allocation order.
double** history_slot(SimState* s, int index) {
  double** slots[] = {&s->cut_surface,  &s->rel_disp_x,   &s->rel_disp_y,   &s->rel_disp_z,
                      &s->force_hist_x, &s->force_hist_y, &s->force_hist_z, &s->sw_disp_x,
                      &s->sw_disp_y,    &s->sw_disp_z,    &s->tool_disp_x,  &s->tool_disp_y,
                      &s->tool_disp_z};
  return slots[index];
}

constexpr int kHistoryArrays = 13;

// The six workspaces in allocation order.
ModeResponse** response_slot(SimState* s, int index) {
  ModeResponse** slots[] = {&s->sw_modes_x,   &s->sw_modes_y,   &s->sw_modes_z,
                            &s->tool_modes_x, &s->tool_modes_y, &s->tool_modes_z};
  return slots[index];
}

constexpr int kResponses = 6;

}  // namespace

SimState* state_create(int32_t capacity) {
  if (capacity < 0) return nullptr;
  auto* state = static_cast<SimState*>(std::calloc(1, sizeof(SimState)));
  if (state == nullptr) return nullptr;
  state->listener_id = -1;
  state->capacity = capacity;
  for (int i = 0; i < kHistoryArrays; ++i) {
    // calloc of 0 entries may give null; a non-empty array must not.
    double* array =
        static_cast<double*>(std::calloc(static_cast<size_t>(capacity) + 1, sizeof(double)));
    if (array == nullptr) {
      state_free(state);
      return nullptr;
    }
    *history_slot(state, i) = array;
  }
  for (int i = 0; i < kResponses; ++i) {
    ModeResponse* response = mode_response_create();
    if (response == nullptr) {
      state_free(state);
      return nullptr;
    }
    *response_slot(state, i) = response;
  }
  return state;
}

ModeResponse* mode_response_create() {
  return static_cast<ModeResponse*>(std::calloc(1, sizeof(ModeResponse)));
}

void state_free(SimState* state) {
  if (state == nullptr) return;
  listener_table_destroy();
  for (int i = 0; i < kHistoryArrays; ++i) std::free(*history_slot(state, i));
  for (int i = 0; i < kResponses; ++i) mode_response_free(*response_slot(state, i));
  std::free(state);
}

void mode_response_free(ModeResponse* response) {
  std::free(response);
}

void state_reset_extremes(SimState* s) {
  s->force_x_max = s->force_y_max = s->force_z_max = -kExtremeLimit;
  s->force_x_min = s->force_y_min = s->force_z_min = kExtremeLimit;
  s->sw_disp_x_max = s->sw_disp_y_max = s->sw_disp_z_max = -kExtremeLimit;
  s->sw_disp_x_min = s->sw_disp_y_min = s->sw_disp_z_min = kExtremeLimit;
  s->tool_disp_x_max = s->tool_disp_y_max = s->tool_disp_z_max = -kExtremeLimit;
  s->tool_disp_x_min = s->tool_disp_y_min = s->tool_disp_z_min = kExtremeLimit;
}

int state_add_listener(SimState* state, ListenerFn fn) {
  if (state == nullptr) return 0;
  state->listener_id = listener_register(fn);
  state->listener_events = SIM_EVENT_RUN_START | SIM_EVENT_REVOLUTION_START |
                           SIM_EVENT_REVOLUTION_END | SIM_EVENT_STEP_START | SIM_EVENT_STEP_END;
  return state->listener_id != -1 ? 1 : 0;
}

void state_listen_for(SimState* state, int32_t events) {
  if (state != nullptr) state->listener_events = events;
}

void state_fire_event(SimState* state, int32_t event) {
  if (state == nullptr || !state_wants_event(state, event)) return;
  listener_dispatch(state->listener_id, event, &state->event_context);
}
