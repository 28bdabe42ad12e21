#include "results/hdf5_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <vector>

namespace {

// The folder of the running program, with its trailing slash ("" when unknown).
std::string program_folder() {
  std::vector<char> path(4096);
  const ssize_t n = readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (n <= 0) return "";
  std::string exe(path.data(), static_cast<size_t>(n));
  return exe.substr(0, exe.rfind('/') + 1);
}

// Where the plug-in may be, in the order tried.
std::vector<std::string> candidates() {
  std::vector<std::string> paths;
  if (const char* set = std::getenv("CORVANEL_HDF5_MODULE"); set != nullptr && *set != '\0')
    paths.push_back(set);
  const std::string here = program_folder();
  if (!here.empty()) {
    paths.push_back(here + kHdf5ModuleFile);                                     // the build tree
    paths.push_back(here + "../" CORVANEL_MODULE_LIBDIR "/" + kHdf5ModuleFile);  // installed
  }
  paths.push_back(CORVANEL_MODULE_FULL_LIBDIR "/" + std::string(kHdf5ModuleFile));
  return paths;
}

const Hdf5Module* load(std::string* reason) {
  std::string tried;
  for (const std::string& path : candidates()) {
    if (access(path.c_str(), R_OK) != 0) {
      tried += (tried.empty() ? "" : ", ") + path;
      continue;
    }
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      const char* why = dlerror();
      *reason = path + " cannot be loaded: " + (why != nullptr ? why : "unknown reason");
      return nullptr;
    }
    using Entry = const Hdf5Module* (*)();
    const auto entry = reinterpret_cast<Entry>(dlsym(handle, kHdf5ModuleSymbol));
    if (entry == nullptr) {
      *reason = path + " is not the HDF5 writer of this program";
      return nullptr;
    }
    return entry();  // kept loaded until the process ends
  }
  *reason = std::string("the HDF5 writer ") + kHdf5ModuleFile + " is not installed (looked at " +
            tried + ")";
  return nullptr;
}

}  // namespace

const Hdf5Module* hdf5_module_load(std::string* error) {
  static std::once_flag once;
  static const Hdf5Module* module = nullptr;
  static std::string reason;
  std::call_once(once, [] { module = load(&reason); });
  if (module == nullptr && error != nullptr) *error = reason;
  return module;
}
