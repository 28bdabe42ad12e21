#include "sweep/sweep.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "sweep/collect.h"
#include "sweep/commands.h"
#include "sweep/grid.h"
#include "sweep/plan.h"
#include "sweep/runner.h"
#include "sweep/search.h"

namespace {

const char kSynopsis[] =
    "Usage: corvanel-sweep plan BASE.in --rpm LIST --depth LIST OUTDIR [OPTIONS]\n"
    "  or:  corvanel-sweep plan BASE.in --rpm LIST --boundary FROM:TO --tolerance T OUTDIR\n"
    "  or:  corvanel-sweep run OUTDIR [--jobs N] [--pool] [--retry-failed]\n"
    "  or:  corvanel-sweep collect OUTDIR\n"
    "  or:  corvanel-sweep search OUTDIR ROW [--corvanel PATH]\n";

const char kDescription[] =
    "Stability maps over spindle speed and depth of cut: plan writes one corvanel\n"
    "batch job per grid point into OUTDIR with a table of shell commands that run\n"
    "them (locally, on several hosts with GNU parallel, or as a Slurm array); run\n"
    "executes the rows not yet done; collect sorts every run into stable, chatter\n"
    "or tool left the cut and draws the map beside the analytic stability limit.\n"
    "\n"
    "With --boundary instead of --depth the plan holds one row per speed, each of which\n"
    "searches that speed's stability boundary in depth by itself (the search command):\n"
    "runs of corvanel --until-decided, from the analytic limit, until the bracket of a\n"
    "stable and an unstable run is narrower than the tolerance; collect gathers the\n"
    "rows into boundary.csv and map.svg. A row run again resumes its own history.\n"
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
  std::string boundary;   // FROM:TO
  std::string tolerance;  // T
};

// --boundary FROM:TO and --tolerance T into the options; 0 with *error.
int parse_boundary(PlanArgs& args, std::string* error) {
  PlanOptions& o = args.options;
  const std::vector<std::string_view> range = grid_split(args.boundary, ':');
  if (range.size() != 2 || !grid_parse_number(range[0], &o.boundary_from) ||
      !grid_parse_number(range[1], &o.boundary_to)) {
    *error = "--boundary: '" + args.boundary + "' is not FROM:TO";
    return 0;
  }
  if (!grid_parse_number(args.tolerance, &o.tolerance)) {
    *error = "--tolerance: '" + args.tolerance + "' is not a number";
    return 0;
  }
  o.boundary_from = grid_six_decimals(o.boundary_from);
  o.boundary_to = grid_six_decimals(o.boundary_to);
  o.boundary = true;
  return 1;
}

int plan_command(const CliApp* command, PlanArgs& args) {
  PlanOptions& o = args.options;
  std::string error;
  if (!grid_parse_axis(args.rpm, &o.rpms, &error))
    return cli_usage_error(command, "--rpm: " + error);
  if (args.depth.empty() == args.boundary.empty())
    return cli_usage_error(command, "give either --depth LIST or --boundary FROM:TO");
  if (args.boundary.empty() != args.tolerance.empty())
    return cli_usage_error(command, "--boundary and --tolerance go together");
  if (!args.boundary.empty() && !parse_boundary(args, &error))
    return cli_usage_error(command, error);
  if (args.boundary.empty() && !grid_parse_axis(args.depth, &o.depths, &error))
    return cli_usage_error(command, "--depth: " + error);
  std::vector<PlanRun> runs;
  std::vector<std::string> warnings;
  if (!plan_write(o, &runs, &warnings, &error)) return fail(error);
  for (const std::string& w : warnings)
    std::fprintf(stderr, "corvanel-sweep: warning: %s\n", w.c_str());
  if (o.boundary) {
    std::printf("planned %zu boundary searches (one per speed) in %s\n", runs.size(),
                o.out_dir.c_str());
  } else {
    std::printf("planned %zu runs (%zu speeds x %zu depths) in %s\n", runs.size(), o.rpms.size(),
                o.depths.size(), o.out_dir.c_str());
  }
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

int search_command(const std::string& out_dir, int row, const std::string& corvanel) {
  const std::string bin = commands_find_corvanel(corvanel);
  if (bin.empty())
    return fail(corvanel.empty() ? "cannot find the corvanel program; name it with --corvanel PATH"
                                 : "'" + corvanel + "' is not an executable program");
  std::string error;
  if (!search_row(out_dir, row, bin, &error)) return fail(error);
  return 0;
}

}  // namespace

int sweep_main(int argc, char** argv) {
  const CliProgram program = {"corvanel-sweep", kSynopsis,   kDescription,
                              kFooter,          "-h,--help", cli_version_text("corvanel-sweep")};
  std::unique_ptr<CliApp, void (*)(CliApp*)> app(cli_create(program), cli_free);
  if (app == nullptr) return fail("out of memory");

  PlanArgs plan;
  PlanOptions& p = plan.options;
  CliApp* plan_app = cli_add_command(app.get(), "plan", "write the runs of a grid into OUTDIR");
  cli_add_text(plan_app, "BASE.in", &p.base_path, "the base job file", "", true);
  cli_add_text(plan_app, "OUTDIR", &p.out_dir, "the plan folder: new or empty", "", true);
  cli_add_text(plan_app, "--rpm", &plan.rpm, "spindle speeds, rpm", "LIST", true);
  cli_add_text(plan_app, "--depth", &plan.depth, "depths of cut, mm (inches for English jobs)",
               "LIST", false);
  cli_add_text(plan_app, "--boundary", &plan.boundary,
               "search each speed's boundary between these depths instead of a grid", "FROM:TO",
               false);
  cli_add_text(plan_app, "--tolerance", &plan.tolerance,
               "with --boundary: the bracket's final width, in the depths' unit", "T", false);
  cli_add_text(plan_app, "--corvanel", &p.corvanel, "the corvanel program the rows run", "PATH",
               false);
  cli_add_text(plan_app, "--wear", &p.wear_path, "the wear file (default wear.db)", "FILE", false);
  cli_add_text(plan_app, "--database", &p.database_path,
               "the cutting-coefficient database (default kfkncfa.db)", "FILE", false);
  cli_add_flag(plan_app, "--keep-series", &p.keep_series,
               "keep the ten time-series files of every run");
  cli_add_flag(plan_app, "--hdf5", &p.hdf5,
               "every run also writes its HDF5 file (corvanel --hdf5)");

  RunnerOptions run;
  CliApp* run_app = cli_add_command(app.get(), "run", "run the rows of OUTDIR not yet done");
  cli_add_text(run_app, "OUTDIR", &run.out_dir, "the plan folder", "", true);
  cli_add_whole(run_app, "--jobs", &run.jobs, 1, 4096,
                "workers, 1 to 4096 (default: the number of cores)");
  cli_add_flag(run_app, "--pool", &run.use_pool, "use the built-in process pool, not GNU parallel");
  cli_add_flag(run_app, "--retry-failed", &run.retry_failed, "run failed rows again");

  std::string collect_dir;
  CliApp* collect_app = cli_add_command(app.get(), "collect", "classify the runs and draw the map");
  cli_add_text(collect_app, "OUTDIR", &collect_dir, "the plan folder", "", true);

  std::string search_dir, search_corvanel;
  int search_row_number = 0;
  CliApp* search_app =
      cli_add_command(app.get(), "search", "find one speed's boundary: a row of a boundary plan");
  cli_add_text(search_app, "OUTDIR", &search_dir, "the boundary plan's folder", "", true);
  cli_add_whole(search_app, "ROW", &search_row_number, 1, kPlanMaxRuns, "the row, from 1");
  cli_add_text(search_app, "--corvanel", &search_corvanel,
               "the corvanel program the runs use (default: as plan finds it)", "PATH", false);

  if (const int code = cli_parse(app.get(), argc, argv); code >= 0) return code;
  if (cli_given(plan_app)) return plan_command(plan_app, plan);
  if (cli_given(run_app)) return run_command(run);
  if (cli_given(search_app)) return search_command(search_dir, search_row_number, search_corvanel);
  return collect_command(collect_dir);
}
