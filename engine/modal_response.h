// Exact response of every mode to a force varying linearly across each step
// (Duhamel integral carried in two running integrals per mode).
#pragma once

#include "model/params.h"
#include "model/state.h"

inline constexpr int kModalLists = 6;  // spindle-workpiece X, Y, Z, then tool X, Y, Z

// One mode list, the force that drives it and the histories it adds to.
struct ModalDrive {
  const ModalMode* modes;  // null when the list is empty
  int count;               // modes of the list, at most 5 are used
  ModeResponse* response;
  double force;          // N, the force on this structure
  double relative_sign;  // +1 tool, -1 spindle-workpiece: relative = tool - workpiece
  double* relative;      // m, relative history of the list's axis
  double* structure;     // m, the structure's own history of that axis
};

// Advances all modes of both structures by step k and places each
// displacement delay_steps ahead in the histories (in packed lanes; a lone
// mode takes the scalar step).
void modal_respond(const SimParams* params, SimState* state, int k);

// The same step mode by mode through modal_mode_step: the reference that
// the packed step must match bit for bit.
void modal_respond_scalar(const SimParams* params, SimState* state, int k);

// The six mode lists in processing order with the step's forces (N) on them.
void modal_drives(const SimParams* params, SimState* state, ModalDrive drives[kModalLists]);

// Advances mode i of a list by step k under force (N); returns its displacement (m).
double modal_mode_step(const ModalMode* modes, const SimState* state, ModeResponse* response,
                       double force, int k, int i);

// relative[k + delay] += relative_sign * x, then structure[k + delay] += x (m).
// relative_sign is +1 for the tool's modes and -1 for the spindle-workpiece's:
// the relative displacement is the tool's minus the workpiece's.
void modal_add_response(double* relative, double* structure, double x, int delay, int k,
                        double relative_sign);

// a * e^(n b) without overflowing the exponential.
double modal_scaled_exp(double a, double b, int n);

// Antiderivatives of mode i at trigonometric time t (s) and exponent time s_exp (s).
double modal_int_cos(const ModeResponse* response, double t, double s_exp, int i);
double modal_int_sin(const ModeResponse* response, double t, double s_exp, int i);
double modal_int_t_sin(const ModeResponse* response, double t, double s_exp, int i);
double modal_int_t_cos(const ModeResponse* response, double t, double s_exp, int i);
