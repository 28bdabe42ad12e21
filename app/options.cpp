#include "app/options.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "cli/cli.h"
#include "model/version.h"

namespace {

const char kSynopsis[] =
    "Usage: corvanel [OPTIONS]\n"
    "  or:  corvanel [OPTIONS] JOB DIR [DATABASE]\n";

const char kDescription[] =
    "Simulates a face-turning cut on a lathe, revolution by revolution: the cutting\n"
    "forces, the vibration of the spindle-workpiece and tool structures, regenerative\n"
    "chatter, flank wear and process damping.\n"
    "\n"
    "Without JOB and DIR a question-and-answer dialogue asks for the job (or loads a\n"
    "job file, and can save the typed job as one) and writes the results under the\n"
    "base name output in the working directory. With them the job file DIR/JOB.in\n"
    "runs in batch mode and the results are written beside it: DIR/JOB.rpt (report),\n"
    "DIR/JOB.html (summary), DIR/JOB.rms and DIR/JOB.ave (per-revolution statistics),\n"
    "DIR/JOB.dat and the nine force and displacement series DIR/JOB.*.dat.\n"
    "\n"
    "Arguments that begin with -- and come before JOB are options; -- alone ends\n"
    "them. A single other argument is ignored (the dialogue runs); with four or more\n"
    "the third is not taken as the database.\n";

const char kFooter[] =
    "Arguments:\n"
    "  JOB                   the job's name: the job file is DIR/JOB.in\n"
    "  DIR                   the folder of the job file and of the results\n"
    "  DATABASE              the cutting-coefficient database to use instead of\n"
    "                        kfkncfa.db (at most 63 characters)\n"
    "\n"
    "Databases:\n"
    "  The wear file wear.db and the cutting-coefficient database (kfkncfa.db unless\n"
    "  DATABASE is given) are opened from the working directory, not from DIR.\n"
    "  Examples of both, with a job, are installed in share/corvanel/examples beside\n"
    "  the bin folder that holds corvanel (/usr/share/corvanel/examples from the\n"
    "  Debian package).\n"
    "\n"
    "Exit status:\n"
    "  0  the run finished (or --help, --version)\n"
    "  1  the run failed or the job was refused; one line on standard error names\n"
    "     the file, the item and what is wrong\n"
    "  2  an unknown option\n";

// Every option of corvanel: one line each, e.g.
//   cli_add_flag(app, "--name", &options->name, "what it does");
void add_options(CliApp* app, AppOptions* options) {
  cli_add_flag(app, "--until-decided", &options->until_decided,
               "end the run after the first recorded revolution at which its verdict can no "
               "longer change; the run summary names the revolution and the rule");
  cli_add_flag(app, "--hdf5", &options->hdf5,
               "also write BASE.h5: every simulated step of the recorded revolutions at full "
               "precision in SI, with the job and the run summary (HDF5, for Python and MATLAB)");
}

bool is_option(const char* argument) {
  return std::strncmp(argument, "--", 2) == 0;
}

}  // namespace

int options_parse(int argc, char** argv, AppOptions* options, std::vector<char*>* rest) {
  int first_other = 1;
  while (first_other < argc && is_option(argv[first_other]) &&
         std::strcmp(argv[first_other], "--") != 0)
    ++first_other;
  const uint32_t engine = engine_version();
  char engine_line[64];
  std::snprintf(engine_line, sizeof engine_line, "Brisolt engine %d.%02d\n",
                static_cast<int>(engine >> 16), static_cast<int>(engine & 0xffff));
  const CliProgram program = {"corvanel", kSynopsis, kDescription,
                              kFooter,    "--help",  cli_version_text("corvanel", engine_line)};
  std::unique_ptr<CliApp, void (*)(CliApp*)> app(cli_create(program), cli_free);
  if (app == nullptr) return 1;
  add_options(app.get(), options);
  const int code = cli_parse(app.get(), first_other, argv);
  if (code >= 0) return code;
  if (first_other < argc && std::strcmp(argv[first_other], "--") == 0) ++first_other;
  rest->assign({argv[0]});
  rest->insert(rest->end(), argv + first_other, argv + argc);
  rest->push_back(nullptr);
  return -1;
}
