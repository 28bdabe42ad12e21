#include <vector>

#include "app/app.h"
#include "app/options.h"
#include "model/params.h"

int main(int argc, char** argv) {
  AppOptions options;
  std::vector<char*> arguments;
  const int code = options_parse(argc, argv, &options, &arguments);
  if (code >= 0) return code;
  return app_main(static_cast<int>(arguments.size()) - 1, arguments.data(),
                  options.hdf5 ? OUTPUT_HDF5 : 0u);
}
