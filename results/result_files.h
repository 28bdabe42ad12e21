// The result files of one run: the open streams the output flags ask for,
// the report and the run summary, with the messages that name a file that
// could not be created or did not get all its rows.
#pragma once

#include <cstdio>
#include <string>

#include "model/params.h"
#include "model/state.h"
#include "results/hdf5_module.h"
#include "results/run_summary.h"
#include "results/series.h"

// The open result streams of a run; a stream the flags do not ask for stays null.
struct ResultFiles {
  SeriesFiles series;             // the ten time-series files
  FILE* rms;                      // ".rms": ranges and RMS values of each recorded revolution
  FILE* ave;                      // ".ave": means of each recorded revolution
  Hdf5Writer* hdf5;               // ".h5" (written as ".h5.part" until complete), or null
  const Hdf5Module* hdf5_module;  // the writer's plug-in, loaded when ".h5" is asked for
};

// Opens the files the output flags ask for under base: series, .rms, .ave.
// 0 (with a message) at the first that cannot be created; close the record
// in any case.
int result_files_open(ResultFiles* files, const SimParams* params, const char* base);

// Flushes and closes every open text file (the HDF5 file stays open for
// result_files_finish_hdf5); 0 (with a message naming each file
// that lost rows) when any of them did not get all its rows.
int result_files_close(ResultFiles* files, const SimParams* params, const char* base);

// Writes the series rows of step (every 100th) when the series are open,
// lengths in the job's units field, and the step to the HDF5 file in SI.
void result_files_write_step(ResultFiles* files, const SimParams* params, const SimState* state,
                             int step);

// Writes the state's revolution summary into the .rms and .ave files.
void result_files_write_revolution(ResultFiles* files, const SimParams* params,
                                   const SimState* state);

// Writes the text report BASE.rpt when the flags ask for it; 0 (with a
// message) when it could not be written.
int result_files_write_report(const SimParams* params, const char* base);

// The run summary's file name: BASE.summary.json.
std::string result_files_summary_path(const char* base);

// Writes the run summary BASE.summary.json; 0 (with a message) when it
// could not be written. entered is the job as entered, si in engine units.
int result_files_write_summary(const char* base, const SimParams* entered, const SimParams* si,
                               const SummaryRun& run, const RunSummary& summary);

// Completes the HDF5 file of a finished run with the job, its databases and
// the run summary, and renames it to BASE.h5; 1 when none was asked for, 0
// (with a message) when it could not be written.
int result_files_finish_hdf5(ResultFiles* files, const SimParams* entered, const SimParams* si,
                             const SummaryRun& run, const RunSummary& summary);

// Drops the unfinished HDF5 file, if any; with remove_earlier the BASE.h5 of
// an earlier run goes too (a run that stopped early no longer matches it).
void result_files_drop_hdf5(ResultFiles* files, const char* base, bool remove_earlier);

// Removes BASE.summary.json, whose figures a run that did not finish no
// longer matches.
void result_files_remove_summary(const char* base);
