// libFuzzer target: see fuzz::dialogue_input in fuzz_support.h.
#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string fault = fuzz::dialogue_input(data, size);
  if (!fault.empty()) {
    std::fprintf(stderr, "corvanel fuzz: dialogue: %s\n", fault.c_str());
    std::abort();
  }
  return 0;
}
