// libFuzzer target: see fuzz::jobfile_input in fuzz_support.h.
#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string fault = fuzz::jobfile_input(data, size);
  if (!fault.empty()) {
    std::fprintf(stderr, "corvanel fuzz: jobfile: %s\n", fault.c_str());
    std::abort();
  }
  return 0;
}
