// The system's own random sequence (a linear congruential generator that
// every run starts from state 1), used only for the force scatter.
#pragma once

#include <cstdint>

struct RandomState {
  uint32_t seed;  // s
};

// Starts the sequence: s = 1.
void random_init(RandomState* random);

// s = 214013 s + 2531011 (mod 2^32); returns (s >> 16) & 32767.
int32_t random_draw(RandomState* random);
