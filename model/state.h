// The engine's working state for one run: forces of the current step,
// statistics, displacement histories and the modal workspaces.
#pragma once

#include <cstdint>

#include "model/listener.h"

inline constexpr int kGridSteps = 34200;  // angular positions per revolution (1/95 degree)
inline constexpr int kLastGridStep = kGridSteps - 1;
inline constexpr double kGridStepDegrees = 360.0 / kGridSteps;  // degrees per grid position
inline constexpr int kHistoryCapacity = 250000;  // entries per history array used by the driver
inline constexpr int kShiftedEntries = 171000;   // entries moved down by each revolution shift
inline constexpr double kExtremeLimit = 3.4028234663852886e38;  // reset value of the extremes

// What one mode's step keeps for the next step to save work: the values are
// used only when the constants and the step number match bit for bit, so
// they never change a result.
struct ModeStepMemo {
  int32_t valid;
  int32_t end_step;    // global step number n + 1 whose trigonometric values are kept
  double damped_freq;  // rad/s, the constants the values below belong to
  double decay_rate;   // 1/s
  double time_step;    // s
  double cos_end;      // cos(damped_freq * end_step * time_step)
  double sin_end;      // sin(damped_freq * end_step * time_step)
  double growth;       // e^(decay_rate * time_step) over one step
};

// Workspace of up to five modes of one structure in one direction.
struct ModeResponse {
  double damped_freq[5];      // rad/s
  int32_t delay_steps[5];     // steps ahead of the causing step, at least 1
  double decay_rate[5];       // 1/s
  double natural_freq_sq[5];  // rad^2/s^2, decay_rate^2 + damped_freq^2
  double integral_cos[5];     // running convolution integral with cos(wd t)
  double integral_sin[5];     // running convolution integral with sin(wd t)
  double prev_force[5];       // N, force on the mode at the previous step
  int32_t ref_step[5];        // global step of the last rebase of the integrals
  ModeStepMemo memo[5];       // saved work of the previous step
};

struct ModalMode;  // model/params.h

inline constexpr int kModalLanes = 32;  // six lists of five modes, padded to whole 4-lane registers

// Every mode of the run at once, one lane per mode (lists in processing
// order: spindle-workpiece X, Y, Z, tool X, Y, Z; modes in list order), held
// as columns so that a register of lanes is one load. While `live`, the
// lanes carry each mode's running values (integrals, previous force,
// reference step, the last step's sine, cosine and growth) from step to
// step, and the workspaces' copies of them are stale: modal_batch_sync
// writes them back (the step does so at the end of each revolution), and
// modal_batch_release does so and lets the next step read the workspaces
// afresh. The lanes from `count` up to the next whole register hold a mode
// at rest.
struct ModalLanes {
  int32_t count;     // lanes in use
  int32_t padded;    // lanes holding a mode at rest end here
  int32_t live;      // 1 while the lanes hold the running values of their modes
  int32_t end_step;  // global step whose start the lanes' cos_end and sin_end are, when live
  double time_step;  // s, the step the live lanes were loaded for
  // The mode lists the lanes were laid out for (kept while they stay the same).
  const ModalMode* layout_modes[6];
  int32_t layout_count[6];
  ModeResponse* layout_response[6];
  ModeResponse* lane_response[kModalLanes];  // workspace, mode and list of each lane
  int32_t lane_mode[kModalLanes];
  int32_t lane_list[kModalLanes];
  double* lane_relative[kModalLanes];   // m, the relative history each lane adds to
  double* lane_structure[kModalLanes];  // m, the structure's own history
  double relative_sign[kModalLanes];    // +1 tool, -1 spindle-workpiece
  int32_t delay_steps[kModalLanes];     // steps ahead of the causing step
  int32_t least_delay, most_delay;      // steps, over the lanes in use
  double mass[kModalLanes];             // kg, modal mass
  int32_t ref_step[kModalLanes];        // global step the integrals are referred to
  double ref_time[kModalLanes];         // the same step number as a double (exact)
  double decay_rate[kModalLanes];       // 1/s
  double damped_freq[kModalLanes];      // rad/s
  double natural_freq_sq[kModalLanes];  // rad^2/s^2
  double mass_freq[kModalLanes];        // kg rad/s, modal mass times damped frequency
  double decay_step[kModalLanes];       // dt sigma, the accumulation's exponent per step
  double back_step[kModalLanes];        // -sigma dt, the reference decay's exponent per step
  double force[kModalLanes];            // N, on the mode at the end of the step
  double prev_force[kModalLanes];       // N, at the start of the step
  double trig_arg[kModalLanes];         // rad, damped_freq t1
  double cos_end[kModalLanes];          // cos(damped_freq t1)
  double sin_end[kModalLanes];          // sin(damped_freq t1)
  double cos_start[kModalLanes];        // cos(damped_freq t0)
  double sin_start[kModalLanes];        // sin(damped_freq t0)
  double growth[kModalLanes];           // e^(decay_rate time_step)
  double e_step[kModalLanes];           // e^((n - ref) dt sigma), the accumulation's factor
  double e_back[kModalLanes];           // e^((n + 1 - ref) (-sigma dt)), the reference decay
  double delta_cos[kModalLanes];        // step's addition to integral_cos, unreferred
  double delta_sin[kModalLanes];        // step's addition to integral_sin, unreferred
  double integral_cos[kModalLanes];     // running integrals before the step
  double integral_sin[kModalLanes];
  double next_cos[kModalLanes];  // running integrals after the step
  double next_sin[kModalLanes];
  double displacement[kModalLanes];  // m, before the reference decay
  double placed[kModalLanes];        // m, after it: what joins the histories
  int64_t step_usual[kModalLanes];   // all bits set when e_step holds the accumulation's factor
  int64_t back_usual[kModalLanes];   // all bits set when e_back holds the reference decay's factor
  int64_t sum_usual[kModalLanes];    // all bits set when the packed integrals stand
};

struct SimState {
  double force_x, force_y, force_z;                 // N, on the tool, machine axes, current step
  double cut_angle;                                 // degrees from the start of the run
  double edge_force_x, edge_force_y, edge_force_z;  // N, cutting-edge frame
  double force_x_max, force_y_max, force_z_max;     // N
  double force_x_min, force_y_min, force_z_min;     // N
  double sw_disp_x_max, sw_disp_x_min, sw_disp_y_max, sw_disp_y_min, sw_disp_z_max,
      sw_disp_z_min;  // m
  double tool_disp_x_min, tool_disp_x_max, tool_disp_y_min, tool_disp_y_max, tool_disp_z_min,
      tool_disp_z_max;  // m
  // Means and RMS deviations of the last summarised revolution, in output
  // units (lbf and in for English jobs, N and m for metric ones).
  double force_x_mean, force_y_mean, force_z_mean;
  double sw_disp_x_mean, sw_disp_y_mean, sw_disp_z_mean;
  double tool_disp_x_mean, tool_disp_y_mean, tool_disp_z_mean;
  double force_x_rms, force_y_rms, force_z_rms;
  double sw_disp_x_rms, sw_disp_y_rms, sw_disp_z_rms;
  double tool_disp_x_rms, tool_disp_y_rms, tool_disp_z_rms;
  double time_step;      // s per simulated step
  double cutting_speed;  // m/min
  // The last force pass's chip: thickness and effective depth (m), and the
  // wear land width (mm); zero until the first pass.
  double chip_thickness, depth_effective, wear_land;
  // History arrays, `capacity` entries each, indexed by the step of the
  // current revolution (entries from 34200 on belong to later revolutions).
  double* cut_surface;  // m, X displacement left at each surface index
  double* rel_disp_x;   // m, tool displacement minus spindle-workpiece displacement
  double* rel_disp_y;
  double* rel_disp_z;
  double* sw_disp_x;  // m, spindle-workpiece structure, under the reaction force
  double* sw_disp_y;
  double* sw_disp_z;
  double* tool_disp_x;  // m, tool structure
  double* tool_disp_y;
  double* tool_disp_z;
  double* force_hist_x;  // N, forces of the current recorded revolution
  double* force_hist_y;
  double* force_hist_z;
  ModeResponse* sw_modes_x;
  ModeResponse* sw_modes_y;
  ModeResponse* sw_modes_z;
  ModeResponse* tool_modes_x;
  ModeResponse* tool_modes_y;
  ModeResponse* tool_modes_z;
  int32_t steps_per_rev;    // 34200 / angular_increments
  int32_t revolution;       // index of the current revolution, from 0
  int32_t listener_id;      // slot of the registered listener, -1 for none
  int32_t listener_events;  // SimEvent bits sent to the listener (state_add_listener: all)
  int32_t capacity;         // entries per history array
  // Entries of the nine displacement histories from this index on are all
  // zero: raised by modal_respond as it adds, lowered by sim_shift_history.
  // Code that writes those histories otherwise must raise it too.
  int32_t history_end;
  ModalLanes modal_lanes;      // the modes in lanes, for modal_respond
  EventContext event_context;  // the run's context, filled by sim_run before its first event
};

// New zero-filled state with history arrays of `capacity` entries, or null.
SimState* state_create(int32_t capacity);

// New zero-filled workspace of five modes, or null.
ModeResponse* mode_response_create();

// Releases the state, its arrays and workspaces, and every registered listener; null is ignored.
void state_free(SimState* state);

// Releases a workspace; null is ignored.
void mode_response_free(ModeResponse* response);

// Sets every maximum to -kExtremeLimit and every minimum to +kExtremeLimit.
void state_reset_extremes(SimState* state);

// Registers fn as the state's listener; 1 when registered, 0 otherwise.
int state_add_listener(SimState* state, ListenerFn fn);

// Sends only the events of the SimEvent bits `events` to the state's listener from now on.
void state_listen_for(SimState* state, int32_t events);

// Whether the state's listener takes the event: one is registered and listens for it.
inline bool state_wants_event(const SimState* state, int32_t event) {
  return state->listener_id != -1 && (state->listener_events & event) != 0;
}

// Sends the event with the run's context to the state's listener, if any and if it listens for it.
void state_fire_event(SimState* state, int32_t event);
