#include "engine/run_context.h"

#include <new>

RunContext* run_context_create(const SimParams* params) {
  auto* run = new (std::nothrow) RunContext{};
  if (run == nullptr) return nullptr;
  run->stop_step = -1;
  random_init(&run->random);
  run->db = matdb_load(params);
  if (run->db == nullptr) {
    delete run;
    return nullptr;
  }
  return run;
}

void run_context_free(RunContext* run) {
  if (run == nullptr) return;
  matdb_free(run->db);
  recorder_free(run->recorder);
  delete run;
}
