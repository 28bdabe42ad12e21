// Per-mode constants of both structures: damped frequency, decay rate and
// the modal delay in steps; and the check that a job's modes can be integrated.
#pragma once

#include <string>

#include "model/params.h"
#include "model/state.h"

// Frequencies of one mode, from its mass (kg), damping ratio and stiffness (N/m).
struct ModalConstants {
  double natural_freq;     // rad/s, undamped
  double damped_freq;      // rad/s
  double decay_rate;       // 1/s
  double natural_freq_sq;  // rad^2/s^2, decay_rate^2 + damped_freq^2
};

// time_step, edge_count and the six mode lists' constants; once per run,
// after units_normalise and after steps_per_rev is set.
void modal_prepare(SimParams* params, SimState* state);

// Constants of one mode list (count modes, SI) into one workspace.
void modal_prepare_direction(SimParams* params, ModalMode* modes, SimState* state,
                             ModeResponse* response, int count);

// Checks, before the run converts anything, that every mode of the job (in
// entered units) can be integrated and placed inside the histories with
// steps_per_rev steps a revolution. On failure returns 0 and describes the
// structure, direction, mode and reason in *error, and the value at fault
// in *field (null for a mode count).
int modal_check(const SimParams* params, int steps_per_rev, std::string* error,
                const void** field = nullptr);

// Frequencies of a mode in engine units (mass kg, stiffness N/m).
ModalConstants modal_constants(const ModalMode* mode);

// The modal angle (degrees) after the once-only wrap of a negative angle by +360.
double modal_wrapped_angle(double modal_angle);

// Cutting edges the delay counts: 1 for turning, else the job's edge_count.
int modal_edge_count(const SimParams* params);

// Delay in steps before truncation, from the wrapped modal angle (degrees), the
// undamped natural frequency (rad/s) and the spindle speed (rev/min).
double modal_delay_exact(double modal_angle, double natural_freq, double spindle_rpm,
                         int steps_per_rev, int edge_count);

// The exact delay truncated toward zero and raised to at least 1; values
// that do not fit an int (or are not numbers) are held to 1 .. INT_MAX.
int modal_delay_steps(double exact_delay);
