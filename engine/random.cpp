#include "engine/random.h"

// Multiplier and increment of the sequence; the state wraps modulo 2^32 in
// unsigned arithmetic.
static constexpr uint32_t kRandomMultiplier = 214013u;
static constexpr uint32_t kRandomIncrement = 2531011u;

void random_init(RandomState* random) {
  random->seed = 1u;
}

int32_t random_draw(RandomState* random) {
  random->seed = kRandomMultiplier * random->seed + kRandomIncrement;
  return static_cast<int32_t>((random->seed >> 16) & 32767u);
}
