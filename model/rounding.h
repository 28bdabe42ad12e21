// Rounding shared by the database key and the revolution loop's surface index.
#pragma once

// Nearest integer, halves away from zero (2.5 -> 3, -2.5 -> -3). Values
// beyond the int range saturate; NaN gives 0.
int round_half_away(double x);
