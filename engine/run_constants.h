// The values of a run that depend only on the job in engine units and its
// database row: the sines and cosines of the tool angles, the nose arcs and
// the powers of the feed, the depth of cut and the average chip in the
// empirical laws. Computed once after normalisation and the lookup, then
// read by every step.
#pragma once

#include "model/params.h"

// Sines and cosines of the flank contact geometry for a nose arc of angle
// phi (rad): theta1 is the angle of the Z resultant, theta2 that of the X one.
struct ContactTrig {
  double sin_phi, cos_phi;        // of the nose arc angle
  double sin_theta1, cos_theta1;  // of the Z resultant
  double sin_theta2, cos_theta2;  // of the X resultant
};

struct RunConstants {
  // Tool angles.
  double sin_edge, cos_edge;            // of the cutting edge angle of the chip geometry
  double sin_side_edge, cos_side_edge;  // of the side cutting edge angle
  double tan_side_edge;                 // of the side cutting edge angle
  double sin_inclination, cos_inclination;
  double sin_rake, cos_rake;  // of the normal rake angle
  // Nose geometry.
  double nose_depth;         // m, depth the nose arc covers: r (1 - sin of the side edge angle)
  double nose_arc;           // rad, acos(1 - d / r): the nose arc the nominal depth engages
  double feed_arc;           // rad, acos(f / 2r): the nose arc one feed spans
  double nose_half_segment;  // m^2, force_pass_half_segment(r, min(depth of cut, nose_depth))
  // The nose radius r's own terms of force_pass_half_segment.
  double nose_quarter_disc;  // m^2, pi (r r) / 4
  double nose_half_square;   // m^2, (r r) / 2
  double nose_diameter;      // m, 2 r
  // The worn flank's contact area: 1000 r vb times contact_angle, plus
  // (depth - nose_depth) vb / cos of the side edge past the nose.
  double contact_radius;  // mm, 1000 r
  double contact_angle;  // rad, pi/2 + nose_arc - feed_arc on the nose alone, else pi/2 - side edge
  double edge_strip_depth;  // m, depth of cut - nose_depth
  // Time.
  double spindle_degrees_per_second;  // 6 rpm
  double grid_step_time;              // s, one grid position: 360/34200 degrees / (6 rpm)
  // Powers of the empirical laws (bases in inches).
  double kf_thickness_power;     // (average chip)^(Kf thickness exponent)
  double kn_thickness_power;     // (average chip)^(Kn thickness exponent)
  double cfa_depth_power;        // (depth of cut)^(chip flow angle depth exponent)
  double wear_feed_power[3];     // feed^(X, Y, Z wear force feed exponent)
  double wear_depth_power[3];    // (depth of cut)^(X, Y, Z wear force depth exponent)
  double wear_rate_depth_power;  // (depth of cut)^(wear rate depth exponent)
  double wear_force_factor[3];   // X, Y, Z wear force constant times its feed and depth powers
  // The factors of the average-chip coefficients before the speed's power:
  // kPsi Kf constant (average chip)^exponent, the same for Kn, and
  // kDegToRad times the chip flow angle constant and the depth's power.
  double kf_average_factor;   // N/m^2 per (ft/min)^exponent
  double kn_average_factor;   // N/m^2 per (ft/min)^exponent
  double cfa_average_factor;  // rad per (ft/min)^exponent
  // Flank contact over the whole nose arc (phi = pi/2 - side cutting edge angle).
  ContactTrig edge_contact;
  // The process damping's own constants on the nose and the straight edge.
  double edge_start_depth;      // m, (1 - sin of the side edge) nose_depth
  double damping_edge_z;        // wear factor times sin of the side edge
  double damping_edge_x;        // wear factor times cos of the side edge
  double edge_contact_z_arm;    // m, r sin(phi) of the whole arc
  double edge_contact_x_share;  // 1 - cos(phi) of the whole arc
};

// The constants of a job in engine units (lengths in m, angles in rad)
// whose edge angle, database numbers and average chip thickness are already
// set (see cut_coefficients_lookup).
RunConstants run_constants_of(const SimParams* params);
