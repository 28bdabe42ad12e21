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

namespace {

// Copies one direction's modes into a fresh list of the same count.
int copy_modes(const ModalMode* from, int32_t count, ModalMode** to, int32_t* to_count) {
  if (!params_resize_modes(to, to_count, count < 0 ? 0 : count)) return 0;
  for (int32_t i = 0; i < *to_count; ++i) (*to)[i] = from[i];
  return 1;
}

int copy_set(const ModalSet& from, ModalSet* to) {
  *to = ModalSet{};
  return copy_modes(from.x_modes, from.x_count, &to->x_modes, &to->x_count) &&
         copy_modes(from.y_modes, from.y_count, &to->y_modes, &to->y_count) &&
         copy_modes(from.z_modes, from.z_count, &to->z_modes, &to->z_count);
}

}  // namespace

SimParams* params_clone(const SimParams* params) {
  auto* copy = static_cast<SimParams*>(std::calloc(1, sizeof(SimParams)));
  if (copy == nullptr) return nullptr;
  *copy = *params;
  copy->spindle_modes = ModalSet{};
  copy->tool_modes = ModalSet{};
  copy->runout = nullptr;
  const size_t runout_bytes = sizeof(RunoutPair) * static_cast<size_t>(params->edge_count);
  if (!copy_set(params->spindle_modes, &copy->spindle_modes) ||
      !copy_set(params->tool_modes, &copy->tool_modes) ||
      (params->runout != nullptr && params->edge_count > 0 &&
       (copy->runout = static_cast<RunoutPair*>(std::malloc(runout_bytes))) == nullptr)) {
    params_free(copy);
    return nullptr;
  }
  if (copy->runout != nullptr) std::memcpy(copy->runout, params->runout, runout_bytes);
  return copy;
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
