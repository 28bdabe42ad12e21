// Options of the corvanel program: the arguments that begin with "--" and
// come before the first other argument. They are taken off the command line
// before its arguments are counted, so JOB DIR [DATABASE] read as ever.
#pragma once

#include <vector>

// The options of one invocation. Each option is a field here and one line
// in options.cpp's add_options. An option's value is written into the same
// argument (--name=VALUE): the first argument without "--" ends the options.
struct AppOptions {
  bool until_decided = false;  // end each run once its verdict can no longer change
  bool hdf5 = false;           // --hdf5: also write BASE.h5, every step in SI
};

// Takes the leading options off argv ("--" alone ends them and is dropped).
// -1 when the program goes on: *rest holds argv[0], the other arguments and
// a closing null. Otherwise the exit code: 0 after --help or --version, 2 for
// an unknown option (the usage on standard error).
int options_parse(int argc, char** argv, AppOptions* options, std::vector<char*>* rest);
