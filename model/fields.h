// The numbers of a job and of its database rows as tables: each item once,
// with its name for messages, its key for machine-readable output, its place
// in the record and its units. Readers, writers and checkers iterate these.
#pragma once

#include "model/params.h"

// One entered number of a job, in job-file order.
struct EnteredNumber {
  const char* key;   // e.g. "feed_per_rev"
  const char* name;  // e.g. "feed per revolution"
  double SimParams::*field;
  const char* english_unit;  // as entered with units 0
  const char* metric_unit;   // as entered with any other units value
  const char* engine_unit;   // after unit normalisation
};

inline constexpr EnteredNumber kEnteredNumbers[] = {
    {"spindle_rpm", "spindle speed", &SimParams::spindle_rpm, "rev/min", "rev/min", "rev/min"},
    {"feed_per_rev", "feed per revolution", &SimParams::feed_per_rev, "in/rev", "mm/rev", "m/rev"},
    {"depth_of_cut", "depth of cut", &SimParams::depth_of_cut, "in", "mm", "m"},
    {"initial_wear", "initial wear", &SimParams::initial_wear, "in", "mm", "mm"},
    {"inclination_angle", "inclination angle", &SimParams::inclination_angle, "deg", "deg", "rad"},
    {"normal_rake_angle", "normal rake angle", &SimParams::normal_rake_angle, "deg", "deg", "rad"},
    {"side_cutting_edge_angle", "side cutting edge angle", &SimParams::side_cutting_edge_angle,
     "deg", "deg", "rad"},
    {"workpiece_radius", "workpiece radius", &SimParams::workpiece_radius, "in", "mm", "m"},
    {"nose_radius", "nose radius", &SimParams::nose_radius, "in", "mm", "m"},
};

// One number of a mode.
struct ModeNumber {
  const char* key;
  const char* name;
  double ModalMode::*field;
  const char* english_unit;
  const char* metric_unit;
  const char* engine_unit;
};

inline constexpr ModeNumber kModeNumbers[] = {
    {"mass", "mass", &ModalMode::mass, "lbf s^2/in", "kg", "kg"},
    {"damping_ratio", "damping ratio", &ModalMode::damping_ratio, "1", "1", "1"},
    {"stiffness", "stiffness", &ModalMode::stiffness, "lbf/in", "N/mm", "N/m"},
    {"modal_angle", "modal angle", &ModalMode::modal_angle, "deg", "deg", "deg"},
};

// One number of the databases, in file order.
struct DatabaseNumber {
  const char* key;
  const char* name;
  double SimParams::*field;
};

// The fifteen numbers of a wear record.
inline constexpr DatabaseNumber kWearNumbers[] = {
    {"wear_factor", "wear factor", &SimParams::wear_factor},
    {"breakin_amount", "break-in amount", &SimParams::wear_breakin_amount},
    {"breakin_rate", "break-in rate", &SimParams::wear_breakin_rate},
    {"rate_coef", "wear rate constant", &SimParams::wear_rate_coef},
    {"rate_speed_exp", "wear rate speed exponent", &SimParams::wear_rate_speed_exp},
    {"rate_depth_exp", "wear rate depth exponent", &SimParams::wear_rate_depth_exp},
    {"force_x_coef", "X wear force constant", &SimParams::wear_force_x_coef},
    {"force_x_feed_exp", "X wear force feed exponent", &SimParams::wear_force_x_feed_exp},
    {"force_x_depth_exp", "X wear force depth exponent", &SimParams::wear_force_x_depth_exp},
    {"force_y_coef", "Y wear force constant", &SimParams::wear_force_y_coef},
    {"force_y_feed_exp", "Y wear force feed exponent", &SimParams::wear_force_y_feed_exp},
    {"force_y_depth_exp", "Y wear force depth exponent", &SimParams::wear_force_y_depth_exp},
    {"force_z_coef", "Z wear force constant", &SimParams::wear_force_z_coef},
    {"force_z_feed_exp", "Z wear force feed exponent", &SimParams::wear_force_z_feed_exp},
    {"force_z_depth_exp", "Z wear force depth exponent", &SimParams::wear_force_z_depth_exp},
};

// The nine numbers of a cutting-coefficient row.
inline constexpr DatabaseNumber kCoefficientNumbers[] = {
    {"kf_coef", "Kf constant", &SimParams::kf_coef},
    {"kf_thickness_exp", "Kf thickness exponent", &SimParams::kf_thickness_exp},
    {"kf_speed_exp", "Kf speed exponent", &SimParams::kf_speed_exp},
    {"kn_coef", "Kn constant", &SimParams::kn_coef},
    {"kn_thickness_exp", "Kn thickness exponent", &SimParams::kn_thickness_exp},
    {"kn_speed_exp", "Kn speed exponent", &SimParams::kn_speed_exp},
    {"cfa_coef", "chip flow angle constant", &SimParams::cfa_coef},
    {"cfa_depth_exp", "chip flow angle depth exponent", &SimParams::cfa_depth_exp},
    {"cfa_speed_exp", "chip flow angle speed exponent", &SimParams::cfa_speed_exp},
};
