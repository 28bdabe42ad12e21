// The plug-in's only exported symbol: the writer's entry points.
#include "results/hdf5_module.h"

extern "C" __attribute__((visibility("default"))) const Hdf5Module* corvanel_hdf5_module() {
  static const Hdf5Module module = {hdf5_create, hdf5_write_step, hdf5_finish, hdf5_free};
  return &module;
}
