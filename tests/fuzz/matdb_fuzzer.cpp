// libFuzzer target: see fuzz::matdb_input in fuzz_support.h.
#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string fault = fuzz::matdb_input(data, size);
  if (!fault.empty()) {
    std::fprintf(stderr, "corvanel fuzz: matdb: %s\n", fault.c_str());
    std::abort();
  }
  return 0;
}
