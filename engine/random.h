// The system's own random sequence (a linear congruential generator that
// every run starts from state 1), used only for the force scatter.
#pragma once

#include <cstdint>

struct RandomState {
  uint32_t seed;  // s
};

// Starts the sequence: s = 1.
void random_init(RandomState* random);

// Multiplier and increment of the sequence; the state wraps modulo 2^32 in
// unsigned arithmetic.
inline constexpr uint32_t kRandomMultiplier = 214013u;
inline constexpr uint32_t kRandomIncrement = 2531011u;

// s = 214013 s + 2531011 (mod 2^32); returns (s >> 16) & 32767.
inline int32_t random_draw(RandomState* random) {
  random->seed = kRandomMultiplier * random->seed + kRandomIncrement;
  return static_cast<int32_t>((random->seed >> 16) & 32767u);
}
