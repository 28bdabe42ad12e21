#include "model/version.h"

uint32_t engine_version() {
  return 0x10000;
}

const char* program_version() {
  return CORVANEL_VERSION;
}
