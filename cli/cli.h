// Command lines of the corvanel programs: one version for all of them, and
// CLI11 set up the same way in each: --help and --version on standard output
// with exit code 0, a wrong command line answered by the usage and one line
// naming the problem on standard error with exit code 2.
#pragma once

#include <string>

namespace CLI {
class App;
}

// The release version of every corvanel program, e.g. "1.0".
const char* cli_version();

// The git revision the programs were built from, e.g. "bedf069-dirty";
// empty when they were built outside a git checkout.
const char* cli_revision();

// The --version text of a program: "PROGRAM (Corvanel) VERSION", the git
// revision line when there is one, then `more` (whole lines).
std::string cli_version_text(const char* program, const std::string& more = "");

// Sets up app for cli_parse: help_names (e.g. "--help" or "-h,--help") print
// the help, "--version" prints version_text. The help is the synopsis (lines
// "Usage: PROGRAM ..." and "  or:  PROGRAM ..."), app's description, its
// arguments and options (subcommands' included), then its footer.
void cli_setup(CLI::App* app, const std::string& synopsis, const std::string& version_text,
               const std::string& help_names);

// Parses argv[1..argc-1]. -1 when the program goes on with the parsed
// values; otherwise the exit code: 0 after --help or --version, 2 for a
// wrong command line.
int cli_parse(CLI::App* app, int argc, const char* const* argv);

// Prints the synopsis of app's program and "PROGRAM: problem" on standard
// error; returns 2, the exit code of a wrong command line.
int cli_usage_error(const CLI::App* app, const std::string& problem);
