#include "engine/run.h"

// Placeholder until the engine lands.
int sim_check_job(const SimParams*, const char*, std::string*) { return 1; }
int sim_run(SimParams*, SimState*, const char*) { return 0; }
