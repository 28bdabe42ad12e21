// Modal response cost: modal_respond over one revolution of 34200 steps,
// reported in mode-steps per second, for 1, 6 and 30 modes.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "engine/modal_batch.h"
#include "engine/modal_params.h"
#include "engine/modal_response.h"
#include "tests/support/records.h"

namespace {

// Fills `per_list` modes into each of the first `lists` lists (processing
// order: spindle-workpiece X, Y, Z, tool X, Y, Z), in engine units.
test_support::Params make_job(int lists, int per_list) {
  test_support::Params p = test_support::new_params();
  p->process = 'T';
  p->spindle_rpm = 1000.0;
  ModalSet* sets[] = {&p->spindle_modes, &p->tool_modes};
  for (int j = 0; j < lists; ++j) {
    ModalSet* s = sets[j / 3];
    ModalMode** list[] = {&s->x_modes, &s->y_modes, &s->z_modes};
    int32_t* count[] = {&s->x_count, &s->y_count, &s->z_count};
    params_resize_modes(list[j % 3], count[j % 3], per_list);
    for (int i = 0; i < per_list; ++i) {
      const double wn = 800.0 + 450.0 * (j * per_list + i);  // rad/s
      (*list[j % 3])[i] = {1.0 + 0.2 * i, 0.02 + 0.01 * i, wn * wn * (1.0 + 0.2 * i), 30.0 * i};
    }
  }
  return p;
}

// range(2): 0 the run's choice (modal_respond), 1 the scalar reference,
// 2 the SSE2 lanes, 4 the AVX2 lanes.
void BM_ModalRespond(benchmark::State& bench) {
  const int lists = static_cast<int>(bench.range(0));
  const int per_list = static_cast<int>(bench.range(1));
  const int path = static_cast<int>(bench.range(2));
  if (path == 4 && modal_batch_width() != 4) {
    bench.SkipWithError("the processor has no AVX2");
    return;
  }
  const test_support::Params job = make_job(lists, per_list);
  const test_support::State state = test_support::new_state();
  SimParams* p = job.get();
  SimState* s = state.get();
  s->steps_per_rev = kGridSteps;
  modal_prepare(p, s);
  // A cutting-like force: a mean with a chatter-like ripple, per step.
  std::vector<double> force(kGridSteps);
  for (int k = 0; k < kGridSteps; ++k) force[k] = 400.0 + 40.0 * std::sin(k * 0.0037);

  int revolution = 0;
  for (auto _ : bench) {
    s->revolution = revolution;
    for (int k = 0; k < kGridSteps; ++k) {
      s->force_x = force[k];
      s->force_y = 0.5 * force[k];
      s->force_z = 0.25 * force[k];
      if (path == 0)
        modal_respond(p, s, k);
      else if (path == 1)
        modal_respond_scalar(p, s, k);
      else
        modal_batch_respond(p, s, k, path);
    }
    benchmark::DoNotOptimize(s->rel_disp_x[kGridSteps]);
    // Step numbers stay far from the int limit however long the benchmark runs.
    revolution = revolution < 50000 ? revolution + 1 : 1;
  }
  const double modes = static_cast<double>(lists) * per_list;
  bench.counters["mode_steps"] = benchmark::Counter(
      modes * kGridSteps * static_cast<double>(bench.iterations()), benchmark::Counter::kIsRate);
  bench.counters["modes"] = modes;
}

}  // namespace

// {lists, modes per list, path}: 1 mode, one mode in each of the six lists,
// five in each; each through the run's choice, the scalar reference and both
// lane widths.
BENCHMARK(BM_ModalRespond)
    ->ArgsProduct({{1}, {1}, {0, 1, 2, 4}})
    ->ArgsProduct({{6}, {1, 5}, {0, 1, 2, 4}})
    ->Unit(benchmark::kMillisecond);
