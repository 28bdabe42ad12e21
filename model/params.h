// The job record: everything the user supplies about one simulated cut,
// plus the coefficients the engine derives from it while it runs.
#pragma once

#include <cstdint>

inline constexpr int kParamsTextSize = 64;       // text fields: 63 characters + terminator
inline constexpr int kMaxModesPerDirection = 5;  // size of a direction's response workspace

// One vibration mode of a structure.
struct ModalMode {
  double mass;           // kg in the engine (entered: lbf/(in/s^2) "lbs", or kg)
  double damping_ratio;  // dimensionless
  double stiffness;      // N/m in the engine (entered: lbf/in or N/mm)
  double modal_angle;    // degrees, never converted; a negative angle is wrapped once by +360
};

// The modes of one structure per direction. Each array is owned, holding
// `*_count` modes, or null when the direction has none.
struct ModalSet {
  ModalMode* x_modes;
  ModalMode* y_modes;
  ModalMode* z_modes;
  int32_t x_count;
  int32_t y_count;
  int32_t z_count;
};

// Runout of one cutting edge (no input path creates it).
struct RunoutPair {
  double radial;  // m in the engine
  double axial;   // m in the engine
};

// Bits of SimParams::output_flags: which result files a run writes.
enum OutputFlag : uint32_t {
  OUTPUT_AVERAGES = 1,  // "%s.ave"
  OUTPUT_REPORT = 2,    // "%s.rpt"
  OUTPUT_SERIES = 4,    // "%s.dat" and its nine companions
  OUTPUT_RMS = 8,       // "%s.rms"
  // "%s.h5", every step in SI: only on request (a new record has 0xffff).
  OUTPUT_HDF5 = 0x10000,
};

// Units as entered: English (units 0) lengths in inches, Metric in mm;
// angles in degrees. In the engine (after units_normalise): SI, angles in
// radians, initial_wear in mm, modal_angle in degrees.
struct SimParams {
  char title[kParamsTextSize];
  int32_t units;                   // 0 English, any other value Metric
  double spindle_rpm;              // rev/min
  double feed_per_rev;             // m/rev (entered in/rev or mm/rev)
  double depth_of_cut;             // m (entered in or mm)
  double inclination_angle;        // rad (entered degrees)
  double normal_rake_angle;        // rad (entered degrees)
  double side_cutting_edge_angle;  // rad (entered degrees)
  double workpiece_radius;         // m (entered in or mm)
  int32_t edge_count;              // cutting edges; 1 for turning once the modes are prepared
  double cutting_edge_angle;       // rad; copy of side_cutting_edge_angle for turning
  double spare_angle1;             // rad; converted with the other angles, otherwise unused
  double spare_angle2;             // rad; as spare_angle1
  double nose_radius;              // m (entered in or mm)
  double avg_chip_thickness;       // m, derived
  double kf;                       // Pa, derived friction force coefficient
  double kf_thickness_exp;         // database: exponent of the chip thickness (in)
  double kf_coef;                  // database: psi
  double kf_speed_exp;             // database: exponent of the cutting speed (ft/min)
  double kn;                       // Pa, derived normal force coefficient
  double kn_thickness_exp;         // database
  double kn_coef;                  // database: psi
  double kn_speed_exp;             // database
  double chip_flow_angle;          // rad, derived
  double cfa_coef;                 // database: degrees
  double cfa_depth_exp;            // database: exponent of the depth of cut (in)
  double cfa_speed_exp;            // database: exponent of the cutting speed (ft/min)
  char workpiece_material[kParamsTextSize];
  char insert_material[kParamsTextSize];
  int32_t calc_type;                    // 0 average coefficients, non-zero instantaneous
  int32_t revs_skipped;                 // revolutions simulated before results are recorded
  int32_t revs_total;                   // revolutions simulated, skipped ones included
  int32_t angular_increments;           // at least 1; a revolution has 34200 / this steps
  ModalSet spindle_modes;               // spindle-workpiece structure
  ModalSet tool_modes;                  // tool structure
  RunoutPair* runout;                   // owned, edge_count entries, or null (always null today)
  uint32_t output_flags;                // OutputFlag bits; 0xffff in a new record
  char database_file[kParamsTextSize];  // cutting-coefficient database, "kfkncfa.db" by default
  char process;                         // 'T' face turning, the only process the engine models
  double initial_wear;                  // mm in the engine (entered in or mm)
  double wear_factor;                   // database (wear.db values 1..15 follow in file order)
  double wear_breakin_amount;
  double wear_breakin_rate;
  double wear_rate_coef;
  double wear_rate_speed_exp;
  double wear_rate_depth_exp;
  double wear_force_x_coef;
  double wear_force_x_feed_exp;
  double wear_force_x_depth_exp;
  double wear_force_y_coef;
  double wear_force_y_feed_exp;
  double wear_force_y_depth_exp;
  double wear_force_z_coef;
  double wear_force_z_feed_exp;
  double wear_force_z_depth_exp;
};

// New record with the defaults (numbers 0, texts empty, no modes, all output
// bits, database "kfkncfa.db"), or null when memory runs out.
SimParams* params_create();

// Stores at most 63 characters of `name` as the cutting-coefficient database file name.
void params_set_database_file(SimParams* params, const char* name);

// A deep copy of the record (modes and runout included), or null when memory runs out.
SimParams* params_clone(const SimParams* params);

// Releases the record and everything it owns; null is ignored.
void params_free(SimParams* params);

// output_flags AND bits: non-zero when any of the given OutputFlag bits is set.
uint32_t params_output_enabled(const SimParams* params, uint32_t bits);

// output_flags |= bits; returns the same record.
SimParams* params_enable_output(SimParams* params, uint32_t bits);

// Replaces one direction's mode list by `count` zeroed modes (null for 0).
// Returns 0, leaving the direction empty, for a negative count or when
// memory runs out.
int params_resize_modes(ModalMode** modes, int32_t* count, int32_t new_count);
