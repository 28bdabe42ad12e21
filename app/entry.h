// Interactive job entry: the console dialogue, which can also load a job
// file or save the typed job as one.
#pragma once

#include <cstdint>
#include <cstdio>

#include "app/console.h"
#include "model/params.h"

// The dialogue's input: the console, and what its messages need.
struct EntryInput {
  ConsoleInput console;
  bool ended;             // a reading met the end of input; the dialogue must stop
  bool bad_answer_noted;  // an answer that is not wholly a number has been reported
  const char* structure;  // structure whose modes are asked, for messages
  char direction;         // direction whose modes are asked, for messages
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
