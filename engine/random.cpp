#include "engine/random.h"

void random_init(RandomState* random) {
  random->seed = 1u;
}
