// Entry code shared by the libFuzzer targets and the corpus replay test: one
// function per target, fed the raw bytes of one input. Each returns an empty
// string when the program behaved, or a description of the first broken rule
// (the fuzzer aborts on it, the replay test reports it). Crashes and
// sanitizer reports stop the process as usual.
//
// The targets work in a scratch folder of their own (created on first use,
// removed at exit) and return to the caller's working directory afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// Job file: the bytes are the file. Reads it, checks the record it gives,
// writes it back and reads that again (the second writing must equal the
// first), runs the engine's job check, and simulates jobs that are accepted
// and short enough to run in a few milliseconds.
std::string jobfile_input(const uint8_t* data, size_t size);

// Databases: the bytes are split at 0xFF into the job's workpiece name,
// insert name, edge angle (degrees, as text), the wear file and the
// cutting-coefficient database (missing parts leave the name empty, the angle
// 0 and the file absent). Every line of the database goes through
// matdb_parse_row; the pair is looked up by re-reading the files and from the
// loaded form, which must give the same result and the same fields.
std::string matdb_input(const uint8_t* data, size_t size);

// Dialogue: the bytes are the console input (every '/' read as '_', so that
// the file names typed can only name files in the scratch folder, which also
// holds a valid job file "job.in" to load). Checks the record of a dialogue
// that succeeds and runs the engine's job check on it.
std::string dialogue_input(const uint8_t* data, size_t size);

}  // namespace fuzz
