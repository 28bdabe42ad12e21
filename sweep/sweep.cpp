#include "sweep/sweep.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "sweep/collect.h"
#include "sweep/plan.h"
#include "sweep/runner.h"

namespace {

const char kSynopsis[] =
    "Usage: corvanel-sweep plan BASE.in --rpm LIST --depth LIST OUTDIR [OPTIONS]\n"
    "  or:  corvanel-sweep run OUTDIR [--jobs N] [--pool] [--retry-failed]\n"
    "  or:  corvanel-sweep collect OUTDIR\n";

const char kDescription[] =
    "Stability maps over spindle speed and depth of cut: plan writes one corvanel\n"
    "batch job per grid point into OUTDIR with a table of shell commands that run\n"
    "them (locally, on several hosts with GNU parallel, or as a Slurm array); run\n"
    "executes the rows not yet done; collect sorts every run into stable, chatter\n"
    "or tool left the cut and draws the map beside the analytic stability limit.\n"
    "\n"
    "LIST: values and FROM:TO:STEP ranges separated by commas, e.g. 3500:9000:250,4046\n"
    "(spindle speed in rpm, depth of cut in the base job's unit: mm, or inches for English\n"
    "jobs).\n";

const char kFooter[] =
    "Programs and files:\n"
    "  The plan names corvanel by the absolute path given with --corvanel, else the\n"
    "  corvanel beside corvanel-sweep, else the one on the PATH; CORVANEL_BIN set at\n"
    "  run time names another. The databases are copied from the working directory\n"
    "  (or the files given) into OUTDIR.\n"
    "\n"
    "Exit status:\n"
    "  0  success: plan written, every row ran with exit code 0, every run classified\n"
    "  1  the plan was refused, a row failed, or some runs are failed or missing\n"
    "  2  a wrong command line, or collect found no plan in OUTDIR\n";

int fail(const std::string& error) {
  std::fprintf(stderr, "corvanel-sweep: %s\n", error.c_str());
  return 1;
}

struct PlanArgs {
  PlanOptions options;
  std::string rpm;
  std::string depth;
};

int plan_command(const CLI::App* command, PlanArgs& args) {
  PlanOptions& o = args.options;
  std::string error;
  if (!plan_parse_axis(args.rpm, &o.rpms, &error)) return cli_usage_error(command, "--rpm: " + error);
  if (!plan_parse_axis(args.depth, &o.depths, &error))
    return cli_usage_error(command, "--depth: " + error);
  std::vector<PlanRun> runs;
  std::vector<std::string> warnings;
  if (!plan_write(o, &runs, &warnings, &error)) return fail(error);
  for (const std::string& w : warnings)
    std::fprintf(stderr, "corvanel-sweep: warning: %s\n", w.c_str());
  std::printf("planned %zu runs (%zu speeds x %zu depths) in %s\n", runs.size(), o.rpms.size(),
              o.depths.size(), o.out_dir.c_str());
  std::printf("next: corvanel-sweep run %s, then corvanel-sweep collect %s\n", o.out_dir.c_str(),
              o.out_dir.c_str());
  return 0;
}

int run_command(const RunnerOptions& o) {
  std::string error;
  const int code = runner_run(o, &error);
  if (!error.empty()) return fail(error);
  return code;
}

int collect_command(const std::string& out_dir) {
  std::string error;
  const int code = collect_all(out_dir, &error);
  if (code == 2) std::fprintf(stderr, "corvanel-sweep: %s\n", error.c_str());
  return code;
}

}  // namespace

int sweep_main(int argc, char** argv) {
  CLI::App app(kDescription, "corvanel-sweep");
  cli_setup(&app, kSynopsis, cli_version_text("corvanel-sweep"), "-h,--help");
  app.footer(kFooter);
  app.require_subcommand(1);

  PlanArgs plan;
  CLI::App* plan_app = app.add_subcommand("plan", "write the runs of a grid into OUTDIR");
  plan_app->add_option("BASE.in", plan.options.base_path, "the base job file")->required()->type_name("");
  plan_app->add_option("OUTDIR", plan.options.out_dir, "the plan folder: new or empty")
      ->required()
      ->type_name("");
  plan_app->add_option("--rpm", plan.rpm, "spindle speeds, rpm")->required()->type_name("LIST");
  plan_app->add_option("--depth", plan.depth, "depths of cut, mm (inches for English jobs)")
      ->required()
      ->type_name("LIST");
  plan_app->add_option("--corvanel", plan.options.corvanel, "the corvanel program the rows run")
      ->type_name("PATH");
  plan_app->add_option("--wear", plan.options.wear_path, "the wear file (default wear.db)")->type_name("FILE");
  plan_app->add_option("--database", plan.options.database_path,
                       "the cutting-coefficient database (default kfkncfa.db)")
      ->type_name("FILE");
  plan_app->add_flag("--keep-series", plan.options.keep_series,
                     "keep the ten time-series files of every run");

  RunnerOptions run;
  CLI::App* run_app = app.add_subcommand("run", "run the rows of OUTDIR not yet done");
  run_app->add_option("OUTDIR", run.out_dir, "the plan folder")->required()->type_name("");
  run_app->add_option("--jobs", run.jobs, "workers, 1 to 4096 (default: the number of cores)")
      ->check(CLI::Range(1, 4096).description(""))
      ->type_name("N");
  run_app->add_flag("--pool", run.use_pool, "use the built-in process pool, not GNU parallel");
  run_app->add_flag("--retry-failed", run.retry_failed, "run failed rows again");

  std::string collect_dir;
  CLI::App* collect_app = app.add_subcommand("collect", "classify the runs and draw the map");
  collect_app->add_option("OUTDIR", collect_dir, "the plan folder")->required()->type_name("");

  for (CLI::App* command : {plan_app, run_app, collect_app}) command->group("Commands");
  // "corvanel-sweep help" has always shown the help.
  if (argc == 2 && std::strcmp(argv[1], "help") == 0) {
    std::fputs(app.help().c_str(), stdout);
    return 0;
  }
  if (argc >= 2 && argv[1][0] != '-') {
    const auto& commands = app.get_subcommands({});
    if (std::none_of(commands.begin(), commands.end(),
                     [&](const CLI::App* c) { return c->get_name() == argv[1]; }))
      return cli_usage_error(&app, std::string("unknown command ") + argv[1]);
  }
  if (const int code = cli_parse(&app, argc, argv); code >= 0) return code;
  if (plan_app->parsed()) return plan_command(plan_app, plan);
  if (run_app->parsed()) return run_command(run);
  return collect_command(collect_dir);
}
