// One whole revolution of the example job (its structure, materials and
// cutting conditions), without result files: angular steps per second.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>

#include "app/jobfile.h"
#include "engine/cut_coefficients.h"
#include "engine/modal_params.h"
#include "engine/revolution.h"
#include "engine/run.h"
#include "model/units.h"

namespace {

struct PreparedRun {
  SimParams* params = nullptr;
  SimState* state = nullptr;
  RunContext* run = nullptr;
};

// Brings the example job to the state a run has just before its first revolution.
PreparedRun prepare(int increments, int calc_type) {
  PreparedRun prepared;
  if (chdir(CORVANEL_SOURCE_DIR "/examples") != 0) return prepared;
  prepared.params = params_create();
  if (!jobfile_read(prepared.params, "demo.in")) return prepared;
  SimParams* p = prepared.params;
  p->angular_increments = increments;
  p->calc_type = calc_type;
  p->output_flags = 0;
  prepared.state = state_create(kHistoryCapacity);
  prepared.run = run_context_create(p);
  units_angles_to_radians(p);
  prepared.state->steps_per_rev = kGridSteps / p->angular_increments;
  units_normalise(p);
  prepared.run->row_found = cut_coefficients_lookup(p, prepared.run->db);
  prepared.run->constants = run_constants_of(p);
  modal_prepare(p, prepared.state);
  state_reset_extremes(prepared.state);
  return prepared;
}

void release(PreparedRun& prepared) {
  run_context_free(prepared.run);
  state_free(prepared.state);
  params_free(prepared.params);
}

void BM_Revolution(benchmark::State& bench) {
  PreparedRun prepared = prepare(static_cast<int>(bench.range(0)), static_cast<int>(bench.range(1)));
  if (prepared.run == nullptr) {
    bench.SkipWithError("cannot prepare examples/demo.in");
    return;
  }
  std::FILE* saved = stdout;
  stdout = std::fopen("/dev/null", "w");  // the revolution line
  int revolution = 0;
  for (auto _ : bench) {
    prepared.state->revolution = revolution++;
    sim_revolution(prepared.params, prepared.state, prepared.run, nullptr);
    sim_shift_history(prepared.state);
  }
  std::fclose(stdout);
  stdout = saved;
  bench.counters["steps/s"] = benchmark::Counter(
      static_cast<double>(bench.iterations()) * prepared.state->steps_per_rev,
      benchmark::Counter::kIsRate);
  release(prepared);
}

}  // namespace

BENCHMARK(BM_Revolution)->Args({1, 0})->Args({1, 1})->Unit(benchmark::kMillisecond);
