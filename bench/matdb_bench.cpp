// Material lookups against the example databases: the re-reading form, the
// loaded form with the engine's repeated key, the loaded form with a key that
// changes at every call, and the load itself. The engine makes one lookup per
// angular step, 34200 per revolution.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "materials/matdb.h"
#include "model/params.h"

namespace {

constexpr double kDeg = 0.017453292519943295;

// Runs in examples/ for its lifetime, with the demo pair as the job's key.
class ExampleJob {
 public:
  ExampleJob() {
    std::string examples = std::string(CORVANEL_SOURCE_DIR) + "/examples";
    chdir_ok_ = chdir(examples.c_str()) == 0;
    params_ = params_create();
    std::snprintf(params_->workpiece_material, kParamsTextSize, "%s", "AISI1045");
    std::snprintf(params_->insert_material, kParamsTextSize, "%s", "CARBIDE-P25-CVD");
    params_->cutting_edge_angle = 15 * kDeg;
  }
  ~ExampleJob() { params_free(params_); }
  ExampleJob(const ExampleJob&) = delete;
  ExampleJob& operator=(const ExampleJob&) = delete;

  // False (and the benchmark skipped) when the example databases cannot be used.
  bool ready(benchmark::State& state) {
    if (chdir_ok_ && params_ != nullptr && matdb_lookup(params_) == 1) return true;
    state.SkipWithError("examples/wear.db and examples/kfkncfa.db not usable");
    return false;
  }
  SimParams* params() { return params_; }

 private:
  bool chdir_ok_ = false;
  SimParams* params_ = nullptr;
};

void BM_LookupReReading(benchmark::State& state) {
  ExampleJob job;
  if (!job.ready(state)) return;
  for (auto _ : state) benchmark::DoNotOptimize(matdb_lookup(job.params()));
}
BENCHMARK(BM_LookupReReading);

void BM_LookupLoadedSameKey(benchmark::State& state) {
  ExampleJob job;
  if (!job.ready(state)) return;
  MatDb* db = matdb_load(job.params());
  for (auto _ : state) benchmark::DoNotOptimize(matdb_lookup_loaded(db, job.params()));
  matdb_free(db);
}
BENCHMARK(BM_LookupLoadedSameKey);

void BM_LookupLoadedChangingKey(benchmark::State& state) {
  ExampleJob job;
  if (!job.ready(state)) return;
  MatDb* db = matdb_load(job.params());
  const double angles[] = {0 * kDeg, 15 * kDeg, 30 * kDeg, 45 * kDeg};
  unsigned i = 0;
  for (auto _ : state) {
    job.params()->cutting_edge_angle = angles[i++ & 3u];
    benchmark::DoNotOptimize(matdb_lookup_loaded(db, job.params()));
  }
  matdb_free(db);
}
BENCHMARK(BM_LookupLoadedChangingKey);

void BM_Load(benchmark::State& state) {
  ExampleJob job;
  if (!job.ready(state)) return;
  for (auto _ : state) matdb_free(matdb_load(job.params()));
}
BENCHMARK(BM_Load);

}  // namespace
