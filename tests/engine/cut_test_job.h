// A turning job read from its job file and prepared as a run prepares it
// (engine units: SI, radians), with its state, owned by the test: feed
// 0.2 mm, depth 2 mm, nose radius 0.8 mm, side cutting edge angle 15
// degrees, 1000 rev/min, 200 m/min.
#pragma once

#include <gtest/gtest.h>

#include "tests/support/records.h"

namespace cut_test {

inline constexpr double kDegree = 0.017453292519943295;  // rad

struct Job {
  test_support::Params job = test_support::read_job(test_support::Job{});
  test_support::State work = test_support::new_state(40000);
  SimParams* params = job.get();
  SimState* state = work.get();

  Job() {
    test_support::sim_prepare(params, state);
    params->cutting_edge_angle = params->side_cutting_edge_angle;
    state->cutting_speed = 200;
  }
};

}  // namespace cut_test
