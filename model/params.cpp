#include "model/params.h"

#include <cstdlib>
#include <cstring>

namespace {

void free_modal_set(ModalSet* set) {
  std::free(set->x_modes);
  std::free(set->y_modes);
  std::free(set->z_modes);
  *set = ModalSet{};
}

}  // namespace

SimParams* params_create() {
  auto* params = static_cast<SimParams*>(std::calloc(1, sizeof(SimParams)));
  if (params == nullptr) return nullptr;
  params_enable_output(params, 0xffff);
  params_set_database_file(params, "kfkncfa.db");
  return params;
}

void params_set_database_file(SimParams* params, const char* name) {
  std::strncpy(params->database_file, name, kParamsTextSize - 1);
  params->database_file[kParamsTextSize - 1] = '\0';
}

void params_free(SimParams* params) {
  if (params == nullptr) return;
  free_modal_set(&params->spindle_modes);
  free_modal_set(&params->tool_modes);
  std::free(params->runout);
  std::free(params);
}

uint32_t params_output_enabled(const SimParams* params, uint32_t bits) {
  return params->output_flags & bits;
}

SimParams* params_enable_output(SimParams* params, uint32_t bits) {
  params->output_flags |= bits;
  return params;
}

int params_resize_modes(ModalMode** modes, int32_t* count, int32_t new_count) {
  std::free(*modes);
  *modes = nullptr;
  *count = 0;
  if (new_count < 0) return 0;
  if (new_count == 0) return 1;
  *modes = static_cast<ModalMode*>(std::calloc(static_cast<size_t>(new_count), sizeof(ModalMode)));
  if (*modes == nullptr) return 0;
  *count = new_count;
  return 1;
}
