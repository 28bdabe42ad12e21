// Interactive job entry: the console dialogue, which can also load a job
// file or save the typed job as one.
#pragma once

#include <cstdio>

#include "model/params.h"

// Console input read through the program's own buffer, so that pending
// input can be discarded on a pipe as on a terminal.
struct EntryInput;

// Fills a new record from the dialogue on standard input and output;
// 1 when it holds a complete job, 0 on failure.
int entry_interactive(SimParams* params);

// The dialogue with its input and output streams given.
int entry_interactive_from(SimParams* params, FILE* in, FILE* out);
