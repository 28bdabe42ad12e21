#include "app/entry.h"

// Placeholder until the dialogue lands: no job can be entered yet.
int entry_interactive_from(SimParams*, FILE*, FILE*) { return 0; }

int entry_interactive(SimParams* params) { return entry_interactive_from(params, stdin, stdout); }
