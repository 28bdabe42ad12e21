#include "tests/support/records.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "app/jobfile.h"
#include "engine/run.h"
#include "model/units.h"

namespace test_support {

Params read_job(const std::string& text, std::string* error) {
  char path[] = "/tmp/corvanel-job-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) std::abort();
  const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  Params p = new_params();
  const int read = written && jobfile_read(p.get(), path, error);
  std::remove(path);
  if (!read) p.reset();
  return p;
}

Params read_job(const Job& job) {
  std::string error;
  Params p = read_job(job_text(job), &error);
  if (!p) {
    std::fprintf(stderr, "test job refused: %s\n", error.c_str());
    std::abort();
  }
  return p;
}

void sim_prepare(SimParams* params, SimState* state, RunContext* run) {
  units_angles_to_radians(params);
  state->steps_per_rev = kGridSteps / params->angular_increments;
  if (!::sim_prepare(params, state, run)) std::abort();
}

}  // namespace test_support
