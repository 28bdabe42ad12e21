#include "sweep/sweep.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sweep/collect.h"
#include "sweep/grid.h"
#include "sweep/plan.h"
#include "sweep/runner.h"

namespace {

const char kUsage[] =
    "usage: corvanel-sweep plan BASE.in --rpm LIST --depth LIST OUTDIR\n"
    "                           [--corvanel PATH] [--wear FILE] [--database FILE] [--keep-series]\n"
    "       corvanel-sweep run OUTDIR [--jobs N] [--pool] [--retry-failed]\n"
    "       corvanel-sweep collect OUTDIR\n"
    "LIST: values and FROM:TO:STEP ranges separated by commas, e.g. 3500:9000:250,4046\n"
    "(spindle speed in rpm, depth of cut in the base job's unit: mm, or inches for English "
    "jobs).\n";

int usage(const char* problem) {
  if (problem != nullptr) std::fprintf(stderr, "corvanel-sweep: %s\n", problem);
  std::fputs(kUsage, stderr);
  return 2;
}

int fail(const std::string& error) {
  std::fprintf(stderr, "corvanel-sweep: %s\n", error.c_str());
  return 1;
}

// Splits arguments into positional ones and "--name value" / "--flag" options.
struct Args {
  std::vector<std::string> positional;
  std::vector<std::pair<std::string, std::string>> options;
};

int split_args(int argc, char** argv, const std::vector<std::string>& with_value,
               const std::vector<std::string>& flags, Args* args, std::string* error) {
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind("--", 0) != 0) {
      args->positional.push_back(a);
      continue;
    }
    bool known = false;
    for (const std::string& name : with_value) {
      if (a != name) continue;
      if (i + 1 >= argc) {
        *error = a + " needs a value";
        return 0;
      }
      args->options.push_back({a, argv[++i]});
      known = true;
    }
    for (const std::string& name : flags) {
      if (a == name) args->options.push_back({a, ""}), known = true;
    }
    if (!known) {
      *error = "unknown option " + a;
      return 0;
    }
  }
  return 1;
}

const std::string* option(const Args& args, const char* name) {
  const std::string* found = nullptr;
  for (const auto& [n, v] : args.options)
    if (n == name) found = &v;
  return found;
}

int plan_command_line(int argc, char** argv) {
  Args args;
  std::string error;
  if (!split_args(argc, argv, {"--rpm", "--depth", "--corvanel", "--wear", "--database"},
                  {"--keep-series"}, &args, &error))
    return usage(error.c_str());
  if (args.positional.size() != 2) return usage("plan needs BASE.in and OUTDIR");
  const std::string* rpm = option(args, "--rpm");
  const std::string* depth = option(args, "--depth");
  if (rpm == nullptr || depth == nullptr) return usage("plan needs --rpm and --depth");
  PlanOptions o;
  o.base_path = args.positional[0];
  o.out_dir = args.positional[1];
  if (!grid_parse_axis(*rpm, &o.rpms, &error)) return usage(("--rpm: " + error).c_str());
  if (!grid_parse_axis(*depth, &o.depths, &error)) return usage(("--depth: " + error).c_str());
  if (const std::string* v = option(args, "--corvanel")) o.corvanel = *v;
  if (const std::string* v = option(args, "--wear")) o.wear_path = *v;
  if (const std::string* v = option(args, "--database")) o.database_path = *v;
  o.keep_series = option(args, "--keep-series") != nullptr;
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

int run_command_line(int argc, char** argv) {
  Args args;
  std::string error;
  if (!split_args(argc, argv, {"--jobs"}, {"--pool", "--retry-failed"}, &args, &error))
    return usage(error.c_str());
  if (args.positional.size() != 1) return usage("run needs OUTDIR");
  RunnerOptions o;
  o.out_dir = args.positional[0];
  if (const std::string* v = option(args, "--jobs")) {
    char* end = nullptr;
    const long jobs = std::strtol(v->c_str(), &end, 10);
    if (v->empty() || *end != '\0' || jobs < 1 || jobs > 4096)
      return usage("--jobs needs a whole number from 1 to 4096");
    o.jobs = static_cast<int>(jobs);
  }
  o.use_pool = option(args, "--pool") != nullptr;
  o.retry_failed = option(args, "--retry-failed") != nullptr;
  const int code = runner_run(o, &error);
  if (!error.empty()) return fail(error);
  return code;
}

int collect_command_line(int argc, char** argv) {
  Args args;
  std::string error;
  if (!split_args(argc, argv, {}, {}, &args, &error)) return usage(error.c_str());
  if (args.positional.size() != 1) return usage("collect needs OUTDIR");
  const int code = collect_all(args.positional[0], &error);
  if (code == 2) std::fprintf(stderr, "corvanel-sweep: %s\n", error.c_str());
  return code;
}

}  // namespace

int sweep_main(int argc, char** argv) {
  if (argc < 2) return usage(nullptr);
  const std::string command = argv[1];
  if (command == "plan") return plan_command_line(argc, argv);
  if (command == "run") return run_command_line(argc, argv);
  if (command == "collect") return collect_command_line(argc, argv);
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  return usage(("unknown command " + command).c_str());
}
