#include "engine/modal_params.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

#include "engine/modal_batch.h"
#include "model/units.h"

namespace {

// Largest decay exponent over one step: e^700 is below the largest double
// (about e^709.78), with room for the force and frequency factors.
constexpr double kMaxStepDecay = 700.0;

// One mode list of a job, named as the messages name it.
struct ModeList {
  const char* structure;  // "spindle-workpiece" or "tool"
  const char* direction;  // "X", "Y" or "Z"
  const ModalMode* modes;
  int count;
};

// The six lists in processing order: spindle-workpiece X, Y, Z, then tool X, Y, Z.
void job_lists(const SimParams* p, ModeList lists[6]) {
  const ModalSet* sets[] = {&p->spindle_modes, &p->tool_modes};
  const char* names[] = {"spindle-workpiece", "tool"};
  for (int s = 0; s < 2; ++s) {
    lists[3 * s + 0] = {names[s], "X", sets[s]->x_modes, sets[s]->x_count};
    lists[3 * s + 1] = {names[s], "Y", sets[s]->y_modes, sets[s]->y_count};
    lists[3 * s + 2] = {names[s], "Z", sets[s]->z_modes, sets[s]->z_count};
  }
}

std::string number(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

// Reason why the entered values of a mode cannot be used, or empty; *field
// is the value at fault.
std::string entered_fault(const ModalMode& m, const void** field) {
  const struct {
    const double* value;
    const char* name;
  } values[] = {{&m.mass, "mass"},
                {&m.damping_ratio, "damping ratio"},
                {&m.stiffness, "stiffness"},
                {&m.modal_angle, "modal angle"}};
  for (const auto& v : values) {
    *field = v.value;
    if (!std::isfinite(*v.value))
      return std::string(v.name) + " " + number(*v.value) + " is not finite";
  }
  *field = &m.mass;
  if (!(m.mass > 0.0)) return "mass " + number(m.mass) + " is not positive";
  *field = &m.stiffness;
  if (!(m.stiffness > 0.0)) return "stiffness " + number(m.stiffness) + " is not positive";
  *field = &m.damping_ratio;
  if (m.damping_ratio < 0.0) return "damping ratio " + number(m.damping_ratio) + " is negative";
  if (!(m.damping_ratio < 1.0))
    return "damping ratio " + number(m.damping_ratio) + " is not below 1";
  *field = nullptr;
  return {};
}

// Reason why the converted mode (engine units) cannot be integrated, or empty:
// the integration divides by mass * damped frequency and by natural_freq_sq.
std::string converted_fault(const ModalMode& si, const ModalConstants& c) {
  const double mass_freq = si.mass * c.damped_freq;
  if (!std::isfinite(si.mass) || !std::isfinite(si.stiffness) ||
      !(std::isfinite(c.natural_freq) && c.natural_freq > 0.0) ||
      !(std::isfinite(c.natural_freq_sq) && c.natural_freq_sq > 0.0) ||
      !(std::isfinite(mass_freq) && mass_freq > 0.0))
    return "natural frequency " + number(c.natural_freq) + " rad/s is out of range";
  return {};
}

// Reason why the delay of a valid mode would place a displacement at history
// index 171000 or beyond (where the revolution shift no longer carries it), or empty.
std::string delay_fault(const ModalMode& si, const ModalConstants& c, const SimParams* p,
                        int steps_per_rev) {
  const double rpm = p->spindle_rpm;
  if (!(std::isfinite(rpm) && rpm > 0.0) || steps_per_rev <= 0) return {};
  const double exact = modal_delay_exact(modal_wrapped_angle(si.modal_angle), c.natural_freq, rpm,
                                         steps_per_rev, modal_edge_count(p));
  const int allowed = kShiftedEntries - steps_per_rev;  // largest delay that stays inside
  if (exact < static_cast<double>(kShiftedEntries)) {
    const long long last_index = (steps_per_rev - 1LL) + modal_delay_steps(exact);
    if (last_index < kShiftedEntries) return {};
  }
  return "modal angle " + number(si.modal_angle) + " gives a delay of " + number(exact) +
         " steps, above the " + std::to_string(allowed) + " that " + std::to_string(steps_per_rev) +
         " steps a revolution allow";
}

// Reason why the decay of a valid mode over one step would overflow the
// integration's e^(decay_rate * time_step), or empty. The step lasts
// 60 / (steps_per_rev * rpm) s.
std::string step_fault(const ModalConstants& c, const SimParams* p, int steps_per_rev) {
  const double rpm = p->spindle_rpm;
  if (!(std::isfinite(rpm) && rpm > 0.0) || steps_per_rev <= 0) return {};
  const double time_step = 60.0 / (static_cast<double>(steps_per_rev) * rpm);
  const double exponent = c.decay_rate * time_step;
  if (exponent <= kMaxStepDecay) return {};
  return "decay rate " + number(c.decay_rate) + " 1/s over a step of " + number(time_step) +
         " s gives e^" + number(exponent) + ", beyond the range of doubles (e^" +
         number(kMaxStepDecay) + " at most: more steps a revolution or a higher spindle speed)";
}

// Copy of an entered mode in engine units, as units_normalise converts it.
ModalMode to_engine_units(const ModalMode& entered, int32_t units) {
  ModalMode si = entered;
  if (units != 0) {
    units_scale_mode(&si, kMilli, 1);
  } else {
    units_scale_mode(&si, kEnglishModalFactor, 0);
  }
  return si;
}

std::string list_fault(const ModeList& list, const SimParams* p, int steps_per_rev,
                       const void** field) {
  const std::string where = std::string(list.structure) + " " + list.direction;
  if (list.count < 0) return where + ": mode count " + std::to_string(list.count) + " is negative";
  if (list.count > kMaxModesPerDirection)
    return where + " mode " + std::to_string(kMaxModesPerDirection + 1) + ": " +
           std::to_string(list.count) + " modes given, at most 5 in one direction";
  if (list.count > 0 && list.modes == nullptr) return where + " mode 1: no mode data";
  for (int i = 0; i < list.count; ++i) {
    std::string reason = entered_fault(list.modes[i], field);
    if (reason.empty()) {
      const ModalMode si = to_engine_units(list.modes[i], p->units);
      const ModalConstants c = modal_constants(&si);
      *field = &list.modes[i].stiffness;
      reason = converted_fault(si, c);
      if (reason.empty()) {
        *field = &list.modes[i].damping_ratio;
        reason = step_fault(c, p, steps_per_rev);
      }
      if (reason.empty()) {
        *field = &list.modes[i].modal_angle;
        reason = delay_fault(si, c, p, steps_per_rev);
      }
    }
    if (!reason.empty()) return where + " mode " + std::to_string(i + 1) + ": " + reason;
  }
  return {};
}

}  // namespace

ModalConstants modal_constants(const ModalMode* mode) {
  ModalConstants c;
  c.natural_freq = std::sqrt(mode->stiffness / mode->mass);
  c.damped_freq = std::sqrt(1.0 - mode->damping_ratio * mode->damping_ratio) * c.natural_freq;
  c.decay_rate = c.natural_freq * mode->damping_ratio;
  c.natural_freq_sq = c.decay_rate * c.decay_rate + c.damped_freq * c.damped_freq;
  return c;
}

double modal_wrapped_angle(double modal_angle) {
  return modal_angle < 0.0 ? modal_angle + 360.0 : modal_angle;
}

int modal_edge_count(const SimParams* params) {
  return params->process == 'T' ? 1 : params->edge_count;
}

double modal_delay_exact(double modal_angle, double natural_freq, double spindle_rpm,
                         int steps_per_rev, int edge_count) {
  // |phi| times the spindle's angular speed over the natural frequency.
  const double q = std::fabs(modal_angle / (60.0 * natural_freq / (kTwoPi * spindle_rpm)));
  return static_cast<double>(steps_per_rev) * q * static_cast<double>(edge_count) / 360.0;
}

int modal_delay_steps(double exact_delay) {
  if (!(exact_delay >= 1.0)) return 1;  // also a delay that is not a number
  if (exact_delay >= static_cast<double>(INT_MAX)) return INT_MAX;
  return static_cast<int>(exact_delay);
}

void modal_prepare(SimParams* params, SimState* state) {
  state->time_step = 60.0 / (static_cast<double>(state->steps_per_rev) * params->spindle_rpm);
  if (params->process == 'T') params->edge_count = 1;  // before the delays, which use it
  ModalSet* sets[] = {&params->spindle_modes, &params->tool_modes};
  ModeResponse* responses[] = {state->sw_modes_x,   state->sw_modes_y,   state->sw_modes_z,
                               state->tool_modes_x, state->tool_modes_y, state->tool_modes_z};
  for (int s = 0; s < 2; ++s) {
    modal_prepare_direction(params, sets[s]->x_modes, state, responses[3 * s + 0],
                            sets[s]->x_count);
    modal_prepare_direction(params, sets[s]->y_modes, state, responses[3 * s + 1],
                            sets[s]->y_count);
    modal_prepare_direction(params, sets[s]->z_modes, state, responses[3 * s + 2],
                            sets[s]->z_count);
  }
}

void modal_prepare_direction(SimParams* params, ModalMode* modes, SimState* state,
                             ModeResponse* response, int count) {
  if (modes == nullptr) return;
  modal_batch_release(state);                      // the lanes hold the constants changed below
  count = std::min(count, kMaxModesPerDirection);  // the workspace holds five
  for (int i = 0; i < count; ++i) {
    const ModalConstants c = modal_constants(&modes[i]);
    response->damped_freq[i] = c.damped_freq;
    response->decay_rate[i] = c.decay_rate;
    response->natural_freq_sq[i] = c.natural_freq_sq;  // from the two values just stored
    modes[i].modal_angle = modal_wrapped_angle(modes[i].modal_angle);
    const double exact =
        modal_delay_exact(modes[i].modal_angle, c.natural_freq, params->spindle_rpm,
                          state->steps_per_rev, params->edge_count);
    response->delay_steps[i] = modal_delay_steps(exact);
  }
}

int modal_check(const SimParams* params, int steps_per_rev, std::string* error,
                const void** field) {
  ModeList lists[6];
  job_lists(params, lists);
  for (const ModeList& list : lists) {
    const void* at = nullptr;
    std::string reason = list_fault(list, params, steps_per_rev, &at);
    if (!reason.empty()) {
      if (error != nullptr) *error = reason;
      if (field != nullptr) *field = at;
      return 0;
    }
  }
  if (error != nullptr) error->clear();
  return 1;
}
