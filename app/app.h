// Program entry, run driver, banner and console progress listener.
#pragma once

#include <cstdint>

#include "engine/run.h"
#include "model/listener.h"

// Process entry: interactive with fewer than 3 arguments (program name
// included), batch otherwise; options go to every run (their extra_outputs
// are OutputFlag bits every run adds: OUTPUT_HDF5 for --hdf5). Returns the
// exit code (0 success, 1 failure).
int app_main(int argc, char** argv, const SimOptions& options = {});

// Runs one job: batch when job_name is given (read from "dir/job_name.in"),
// interactive when null. database_file null keeps "kfkncfa.db"; a name of
// more than 63 characters is refused. Returns 1 for a finished run, 0 otherwise.
int app_run(const char* job_name, const char* directory, const char* database_file,
            const SimOptions& options = {});

// Prints the banner with the engine version.
void app_print_banner();

// Console listener: progress lines interactively, the HTML summary in batch
// mode (a page that cannot be written makes the run fail, with one line on
// standard error).
void app_console_listener(int32_t event, const EventContext* context);
