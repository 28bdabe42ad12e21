// Interactive job entry: the console dialogue, which can also load a job
// file or save the typed job as one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "model/params.h"

inline constexpr int kEntryLineChunk = 4096;  // characters of one input line held at a time

// Console input read through the program's own buffer, so that pending
// input can be discarded on a pipe as on a terminal. The buffer holds the
// current input line (up to kEntryLineChunk characters of it at a time);
// a line counts as started once a reading has looked at any of it.
struct EntryInput {
  FILE* in;                          // read with getc
  FILE* out;                         // prompts; flushed before every read
  char line[kEntryLineChunk + 1];    // current line as far as loaded, newline included, terminated
  size_t length;                     // characters in line
  size_t pos;                        // characters of line already consumed
  bool at_eof;                       // getc has reported the end of input
  bool ended;                        // a reading met the end of input; the dialogue must stop
  bool bad_answer_noted;             // an answer that is not wholly a number has been reported
  const char* structure;             // structure whose modes are asked, for messages
  char direction;                    // direction whose modes are asked, for messages
};

// Prepares input read from `in` with prompts written to `out`.
void entry_input_init(EntryInput* input, FILE* in, FILE* out);

// Fills a new record from the dialogue on standard input and output;
// 1 when it holds a complete job, 0 on failure (an answer that was not
// wholly a number among them: the answers after it went to other fields).
int entry_interactive(SimParams* params);

// The dialogue with its input and output streams given.
int entry_interactive_from(SimParams* params, FILE* in, FILE* out);

// Asks the mode counts and modes of one structure in X, Y and Z; 0 when a
// count is outside 0 to 5, a mode array cannot be allocated or the input ends.
int entry_modal_set(ModalSet* set, EntryInput* input);

// Asks mass (entered mass unit), damping ratio (dimensionless), stiffness
// (lbf/in or N/mm) and modal angle (degrees) of each of `count` modes.
// Stops when the input ends (input->ended is then set).
void entry_modes(ModalMode* modes, int32_t count, EntryInput* input);
