// The per-revolution summary files: ranges and RMS values (.rms), means (.ave).
#pragma once

#include <cstdio>

#include "model/state.h"

// One .rms row: nine ranges (converted here from SI) and nine RMS values.
void summary_write_rms(FILE* out, const SimState* state, int units);

// One .ave row: the nine means as stored.
void summary_write_ave(FILE* out, const SimState* state);
