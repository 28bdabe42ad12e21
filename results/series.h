// The ten time-series files of a run, sampled every 100th step.
#pragma once

#include <cstdio>

#include "model/state.h"

// Open streams in file order: .dat, .fx.dat, .fy.dat, .fz.dat, .sx.dat,
// .sy.dat, .sz.dat, .wx.dat, .wy.dat, .wz.dat.
struct SeriesFiles {
  FILE* main;
  FILE* fx;
  FILE* fy;
  FILE* fz;
  FILE* sx;
  FILE* sy;
  FILE* sz;
  FILE* wx;
  FILE* wy;
  FILE* wz;
};

constexpr int kSeriesFileCount = 10;

// Name suffix of file index (0 to 9, in file order), for example ".fx.dat".
const char* series_suffix(int index);

// The stream of file index (0 to 9, in file order); null when it is not open.
FILE* series_stream(const SeriesFiles* files, int index);

// Creates the ten files under the base name, in order; 0 at the first one
// that cannot be created (the ones already open are closed again).
int series_open(SeriesFiles* files, const char* base);

// Writes one row to every file when step is a multiple of 100 (units: the job's units field).
void series_write_step(SeriesFiles* files, const SimState* state, int step, int units);

// Writes the main row (step, cut angle, three forces) of the step.
void series_write_main_row(FILE* out, const SimState* state, int step, int units);

// Closes the ten streams; 1 when every row reached its file.
int series_close(SeriesFiles* files);
