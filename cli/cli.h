// Command lines of the corvanel programs, read by CLI11 behind this one
// module (the only file that compiles CLI11): one version for all programs,
// --help and --version on standard output with exit code 0, and a wrong
// command line answered by the usage and one line naming the problem on
// standard error with exit code 2.
#pragma once

#include <string>

// One program's command line, or one command of it (corvanel-sweep plan).
struct CliApp;

// What a program says about itself in its help.
struct CliProgram {
  const char* name;          // e.g. "corvanel-plot"
  const char* synopsis;      // "Usage: NAME ...\n", further forms as "  or:  NAME ...\n"
  const char* description;   // paragraphs after the synopsis
  const char* footer;        // sections after the options: "Heading:\n  text\n"
  const char* help_names;    // "--help", or "-h,--help"
  std::string version_text;  // what --version prints: cli_version_text(name, ...)
};

// The release version of every corvanel program, e.g. "1.0".
const char* cli_version();

// The git revision the programs were built from, e.g. "bedf069-dirty";
// empty when they were built outside a git checkout.
const char* cli_revision();

// The --version text of a program: "PROGRAM (Corvanel) VERSION", the git
// revision line when there is one, then `more` (whole lines).
std::string cli_version_text(const char* program, const std::string& more = "");

// A command line with --help and --version; null when memory runs out.
CliApp* cli_create(const CliProgram& program);
void cli_free(CliApp* app);

// A command of app (e.g. "plan"): the first argument names one, and its
// arguments and options follow. Freed with app.
CliApp* cli_add_command(CliApp* app, const char* name, const char* description);

// A flag "--name": *value becomes true when given.
void cli_add_flag(CliApp* app, const char* name, bool* value, const char* description);

// "--name VALUE" when name begins with "--", else an argument in its place
// (in the order added); value_name is shown in the help ("" for none).
void cli_add_text(CliApp* app, const char* name, std::string* value, const char* description,
                  const char* value_name, bool required);

// "--name N", a whole number from min to max.
void cli_add_whole(CliApp* app, const char* name, int* value, int min, int max,
                   const char* description);

// Reads argv[1..argc-1]. -1 when the program goes on with the values read;
// otherwise its exit code: 0 after --help or --version (or "help" as the
// only argument of a program with commands), 2 for a wrong command line.
int cli_parse(CliApp* app, int argc, const char* const* argv);

// 1 when command was the one given on the command line read.
int cli_given(const CliApp* command);

// Prints the synopsis and "PROGRAM: problem" on standard error; returns 2,
// the exit code of a wrong command line.
int cli_usage_error(const CliApp* app, const std::string& problem);
