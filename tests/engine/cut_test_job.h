// A turning job in engine units (SI, radians) with its state, owned by the
// test and released with it: feed 0.2 mm, depth 2 mm, nose radius 0.8 mm,
// side cutting edge angle 15 degrees, 1000 rev/min, 200 m/min.
#pragma once

#include <gtest/gtest.h>

#include "model/params.h"
#include "model/state.h"

namespace cut_test {

inline constexpr double kDegree = 0.017453292519943295;  // rad

struct Job {
  SimParams* params;
  SimState* state;

  Job() : params(params_create()), state(state_create(40000)) {
    EXPECT_NE(params, nullptr);
    EXPECT_NE(state, nullptr);
    params->process = 'T';
    params->units = 1;
    params->spindle_rpm = 1000;
    params->feed_per_rev = 0.0002;
    params->depth_of_cut = 0.002;
    params->nose_radius = 0.0008;
    params->side_cutting_edge_angle = 15 * kDegree;
    params->cutting_edge_angle = 15 * kDegree;
    params->angular_increments = 1;
    state->steps_per_rev = 34200;
    state->cutting_speed = 200;
  }
  ~Job() {
    state_free(state);
    params_free(params);
  }
  Job(const Job&) = delete;
  Job& operator=(const Job&) = delete;
};

}  // namespace cut_test
