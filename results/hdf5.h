// The run's values at every simulated step in one HDF5 file, BASE.h5, for
// Python and MATLAB: /steps (one extendible, chunked, shuffled and deflated
// dataset per channel, time as their dimension scale), /revolutions (the
// run summary's per-revolution values), /summary (verdict, growth rate,
// frequency, forces) and the job and its databases as root attributes.
// Always SI. Written to BASE.h5.part and renamed once complete. The writer
// is a plug-in of its own (results/hdf5_module.h): runs without --hdf5 do
// not load the HDF5 library and the many libraries it brings.
#pragma once

#include <cstdint>
#include <string>

#include "model/params.h"
#include "results/run_summary.h"

// The channels of /steps, in file order.
enum Hdf5Channel : int {
  HDF5_TIME,             // s from the start of the run
  HDF5_ANGLE,            // degrees, cumulative cut angle
  HDF5_REVOLUTION,       // from 1 (written as 32-bit integers)
  HDF5_FORCE_X,          // N, on the tool, machine axes
  HDF5_FORCE_Y,          // N
  HDF5_FORCE_Z,          // N
  HDF5_RELATIVE_X,       // m, tool minus spindle-workpiece displacement
  HDF5_RELATIVE_Y,       // m
  HDF5_RELATIVE_Z,       // m
  HDF5_WORKPIECE_X,      // m, spindle-workpiece structure
  HDF5_WORKPIECE_Y,      // m
  HDF5_WORKPIECE_Z,      // m
  HDF5_TOOL_X,           // m, tool structure
  HDF5_TOOL_Y,           // m
  HDF5_TOOL_Z,           // m
  HDF5_CHIP_THICKNESS,   // m, the step's uncut chip (below zero out of the cut)
  HDF5_DEPTH_EFFECTIVE,  // m, depth of cut less the relative axial displacement
  HDF5_CUTTING_SPEED,    // m/min
  HDF5_WEAR_LAND,        // mm, flank wear land width
  HDF5_KF,               // Pa, friction force coefficient
  HDF5_KN,               // Pa, normal force coefficient
  kHdf5ChannelCount
};

// One step's values, indexed by Hdf5Channel, in the units above.
struct Hdf5Step {
  double value[kHdf5ChannelCount];
};

// Name, long name and units of a channel (the dataset /steps/NAME and its
// CF attributes); null for an index out of range.
const char* hdf5_channel_name(int channel);
const char* hdf5_channel_long_name(int channel);
const char* hdf5_channel_units(int channel);

// Steps per chunk of every /steps dataset. On the six-mode job 8192 took
// the least time and memory (25 MB peak, against 27 MB for 16384 and 45 MB
// for 65536) and made the smallest file; 4096 and 2048 took 1 % and 8 %
// more CPU time (more chunks for the library to index).
inline constexpr int kHdf5ChunkSteps = 8192;

// The deflate level that the /steps datasets' filter records. Readers do
// not need it; the writer codes the chunks itself (results/byteplanes.h).
inline constexpr int kHdf5DeflateLevel = 1;

struct Hdf5Writer;

// The file's name: BASE.h5.
inline std::string hdf5_path(const char* base) {
  return std::string(base) + ".h5";
}

// Creates BASE.h5.part with empty /steps datasets; null (with a message
// naming the file) when it cannot be created. BASE.h5 is not touched.
Hdf5Writer* hdf5_create(const char* base);

// Appends one step. A chunk is compressed and written once full, on the
// caller's thread; a failure is kept and reported by hdf5_finish.
void hdf5_write_step(Hdf5Writer* writer, const Hdf5Step& step);

// Writes the last chunk, the root attributes (entered: the job as entered;
// si: in engine units with its database rows), /revolutions and /summary,
// closes the file and renames it to BASE.h5. 0 (with a message naming the
// file) on any failure: the temporary file is removed, BASE.h5 left as it was.
int hdf5_finish(Hdf5Writer* writer, const SimParams* entered, const SimParams* si,
                const SummaryRun& run, const RunSummary& summary);

// Releases the writer; an unfinished file is closed and removed. Null is ignored.
void hdf5_free(Hdf5Writer* writer);
