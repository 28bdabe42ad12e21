#include <vector>

#include "app/app.h"
#include "app/options.h"
#include "model/params.h"

int main(int argc, char** argv) {
  AppOptions options;
  std::vector<char*> arguments;
  const int code = options_parse(argc, argv, &options, &arguments);
  if (code >= 0) return code;
  SimOptions run;
  run.until_decided = options.until_decided;
  if (options.hdf5) run.extra_outputs |= OUTPUT_HDF5;
  return app_main(static_cast<int>(arguments.size()) - 1, arguments.data(), run);
}
