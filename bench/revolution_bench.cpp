// One whole revolution of the example job (its structure, materials and
// cutting conditions), without result files: angular steps per second.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>

#include "app/jobfile.h"
#include "engine/revolution.h"
#include "engine/run.h"
#include "tests/support/records.h"

namespace {

struct PreparedRun {
  test_support::Params params;
  test_support::State state;
  RunContext* run = nullptr;
  ~PreparedRun() { run_context_free(run); }
};

// Brings the example job to the state a run has just before its first revolution.
void prepare(PreparedRun* prepared, int increments, int calc_type) {
  if (chdir(CORVANEL_SOURCE_DIR "/examples") != 0) return;
  prepared->params = test_support::new_params();
  if (!jobfile_read(prepared->params.get(), "demo.in")) return;
  SimParams* p = prepared->params.get();
  p->angular_increments = increments;
  p->calc_type = calc_type;
  p->output_flags = 0;
  prepared->state = test_support::new_state();
  prepared->run = run_context_create(p);
  // The run's own set-up, the database row and the run's constants included.
  test_support::sim_prepare(p, prepared->state.get(), prepared->run);
}

void BM_Revolution(benchmark::State& bench) {
  PreparedRun prepared;
  prepare(&prepared, static_cast<int>(bench.range(0)), static_cast<int>(bench.range(1)));
  if (prepared.run == nullptr) {
    bench.SkipWithError("cannot prepare examples/demo.in");
    return;
  }
  std::FILE* saved = stdout;
  stdout = std::fopen("/dev/null", "w");  // the revolution line
  int revolution = 0;
  for (auto _ : bench) {
    prepared.state->revolution = revolution++;
    sim_revolution(prepared.params.get(), prepared.state.get(), prepared.run, nullptr);
    sim_shift_history(prepared.state.get());
  }
  std::fclose(stdout);
  stdout = saved;
  bench.counters["steps/s"] =
      benchmark::Counter(static_cast<double>(bench.iterations()) * prepared.state->steps_per_rev,
                         benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_Revolution)->Args({1, 0})->Args({1, 1})->Unit(benchmark::kMillisecond);
