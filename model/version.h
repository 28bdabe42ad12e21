// The engine's version word.
#pragma once

#include <cstdint>

// 0x10000: major number in the high 16 bits (1), minor in the low 16 (0).
uint32_t engine_version();

// The release version of every corvanel program, e.g. "1.0" (from CMakeLists.txt).
const char* program_version();
