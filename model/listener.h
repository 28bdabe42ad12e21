// Event listeners: how the engine reports its progress to the front end.
#pragma once

#include <cstdint>

struct SimParams;
struct SimState;

enum SimEvent : int32_t {
  SIM_EVENT_RUN_START = 1,
  SIM_EVENT_REVOLUTION_START = 2,
  SIM_EVENT_REVOLUTION_END = 4,
  SIM_EVENT_STEP_START = 8,
  SIM_EVENT_STEP_END = 16,
};

// The run's context, passed with every event of the run (nothing owned).
struct EventContext {
  SimParams* params;
  SimState* state;
  const char* output_base;
};

using ListenerFn = void (*)(int32_t event, const EventContext* context);

inline constexpr int kListenerSlots = 10;

// Registers fn in the lowest empty slot; returns the slot 0..9, or -1.
int listener_register(ListenerFn fn);

// Empties a slot; the table is released when its last listener goes.
void listener_remove(int slot);

// Calls the slot's listener; returns the slot, or -1 when nothing was called.
int listener_dispatch(int slot, int32_t event, const EventContext* context);

// Removes every listener and releases the table.
void listener_table_destroy();
