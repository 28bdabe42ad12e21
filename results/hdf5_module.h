// The HDF5 writer as a plug-in, libcorvanel_hdf5.so, loaded by the first
// run that asks for BASE.h5. Linking the HDF5 library into the program
// would load it and the thirty libraries it depends on (curl, ssl,
// kerberos, ...) into every run: 9 ms of start-up and 7 MB more memory
// each, paid by every run of a sweep whether it writes HDF5 or not.
#pragma once

#include <string>

#include "results/hdf5.h"

// The writer's entry points (results/hdf5.h says what each does).
struct Hdf5Module {
  Hdf5Writer* (*create)(const char* base);
  void (*write_step)(Hdf5Writer* writer, const Hdf5Step& step);
  int (*finish)(Hdf5Writer* writer, const SimParams* entered, const SimParams* si,
                const SummaryRun& run, const RunSummary& summary);
  void (*free)(Hdf5Writer* writer);
};

// The plug-in's file name, and the symbol that hands out its entry points.
inline constexpr char kHdf5ModuleFile[] = "libcorvanel_hdf5.so";
inline constexpr char kHdf5ModuleSymbol[] = "corvanel_hdf5_module";

// Loads the plug-in once per process and returns its entry points; null,
// with the reason in *error, when it cannot be found or loaded. Looked for
// at $CORVANEL_HDF5_MODULE when set, beside the program, and in the
// installed library folder (relative to the program, then absolute).
const Hdf5Module* hdf5_module_load(std::string* error);
