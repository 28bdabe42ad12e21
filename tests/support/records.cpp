#include "tests/support/records.h"

#include <cstdlib>
#include <cstdio>
#include <unistd.h>

#include "app/jobfile.h"
#include "engine/modal_params.h"
#include "model/units.h"

namespace test_support {

Params new_params() {
  Params p(params_create());
  if (!p) std::abort();
  return p;
}

State new_state(int capacity) {
  State s(state_create(capacity));
  if (!s) std::abort();
  return s;
}

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

void set_modes(ModalSet* set, char axis, std::initializer_list<ModalMode> modes) {
  ModalMode** list = axis == 'x' ? &set->x_modes : axis == 'y' ? &set->y_modes : &set->z_modes;
  int32_t* count = axis == 'x' ? &set->x_count : axis == 'y' ? &set->y_count : &set->z_count;
  if (!params_resize_modes(list, count, static_cast<int32_t>(modes.size()))) std::abort();
  int i = 0;
  for (const ModalMode& mode : modes) (*list)[i++] = mode;
}

void sim_prepare(SimParams* params, SimState* state) {
  units_angles_to_radians(params);
  state->steps_per_rev = kGridSteps / params->angular_increments;
  units_normalise(params);
  modal_prepare(params, state);
  state_reset_extremes(state);
}

}  // namespace test_support
