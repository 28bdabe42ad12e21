// Classical single-direction regenerative stability limit in the chip
// thickness direction X: the relative FRF of every X mode of both structures
// (each with its modal delay as a phase lag), the directional cutting
// coefficient of the nominal chip, b_lim = -1 / (2 Kx Re G) and the lobe speeds.
#pragma once

#include <complex>
#include <string>
#include <vector>

#include "materials/matdb.h"
#include "model/params.h"

// One X mode as the engine integrates it.
struct LimitMode {
  double mass;             // kg
  double decay_rate;       // 1/s
  double natural_freq;     // rad/s, undamped
  double natural_freq_sq;  // rad^2/s^2
  double modal_angle;      // degrees, wrapped as the engine wraps it
};

// The base job in engine units with its coefficient rows. The relative X
// receptance comes from the X modes, or from a sampled table when one is set
// (a measured FRF).
struct LimitModel {
  SimParams* params;                // SI, angles in radians; owned
  MatDb db;                         // coefficient rows of the database (no wear records)
  std::vector<LimitMode> modes;     // X modes: spindle-workpiece first, then tool
  std::vector<double> table_omega;  // rad/s, increasing; empty: the modes give the FRF
  std::vector<std::complex<double>> table_frf;  // m/N, relative X receptance at table_omega
  int steps_per_rev;                            // 34200 / angular increments
  double length_unit;  // m per job length unit (0.001 metric, 0.0254 English)
  double force_unit;   // N per job force unit (1 metric, 4.4482 English)
};

// The limit at one spindle speed.
struct LimitPoint {
  double depth;         // m; +inf where no chatter frequency gives a positive limit
  double chatter_freq;  // rad/s
  int lobe;             // whole vibration waves per revolution beyond the phase
};

// A lobe bottom: the lowest limit of one lobe.
struct LimitBottom {
  int lobe;
  double rpm;           // rev/min
  double depth;         // m
  double chatter_freq;  // rad/s
};

// Reads the base job and the coefficient database (both paths); null with
// *error on failure. A pair missing from the database is not an error here
// (see limit_has_coefficients).
LimitModel* limit_create(const char* job_path, const char* database_path, std::string* error);

// Releases the model; null is ignored.
void limit_free(LimitModel* model);

// 1 when the database holds a row for the job's pair and edge angle.
int limit_has_coefficients(const LimitModel* model);

// Takes every later limit from the relative X receptance g (m/N) sampled at omega (rad/s,
// increasing, at least 2 points above 0), linear between samples and 0 outside them, instead
// of the X modes. 1, or 0 with *error.
int limit_use_table(LimitModel* model, const std::vector<double>& omega,
                    const std::vector<std::complex<double>>& g, std::string* error);

// Takes every later limit from these X modes (engine units: kg, -, N/m, degrees) instead of the
// job's, and drops any table.
void limit_use_modes(LimitModel* model, const std::vector<ModalMode>& modes);

// Relative X displacement per X force (m/N) at omega (rad/s) and spindle speed rpm.
std::complex<double> limit_frf(const LimitModel* model, double omega, double rpm);

// X force per chip area (Pa) of the nominal chip at spindle speed rpm and depth (m).
double limit_directional_coefficient(const LimitModel* model, double rpm, double depth);

// X force (N) of the nominal chip (feed x depth, depth in m) at spindle speed rpm.
double limit_nominal_force(const LimitModel* model, double rpm, double depth);

// Spindle speed (rev/min) of lobe `lobe` for chatter at omega (rad/s) with FRF g.
double limit_lobe_speed(std::complex<double> g, double omega, int lobe);

// The stability limit at spindle speed rpm (rev/min).
LimitPoint limit_at_speed(const LimitModel* model, double rpm);

// Lobe bottoms with speeds between rpm_from and rpm_to (rev/min), fastest first.
std::vector<LimitBottom> limit_bottoms(const LimitModel* model, double rpm_from, double rpm_to);
