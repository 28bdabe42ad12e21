// corvanel-frf: measured FRFs in, fitted modes out (into a job), pictures,
// and the stability limit straight from the measurement.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "app/jobfile.h"
#include "cli/cli.h"
#include "frf/convert.h"
#include "frf/fit.h"
#include "frf/frf.h"
#include "frf/frfplot.h"
#include "frf/frftext.h"
#include "frf/jobedit.h"
#include "frf/synth.h"
#include "frf/uff.h"
#include "model/params.h"
#include "model/units.h"
#include "plot/gnuplot.h"
#include "sweep/limit.h"

namespace {

constexpr int kJobMaxModes = 5;
// The whole --help, in the form the manual page is made from.
const char kHelp[] =
    "Usage: corvanel-frf fit FILE... --structure tool|workpiece --direction x|y|z [OPTIONS]\n"
    "  or:  corvanel-frf lobes TOOL_X_FRF [WORKPIECE_X_FRF] --job JOB.in [OPTIONS]\n"
    "  or:  corvanel-frf synth OUT.uff --mode HZ,ZETA,N_PER_M... --from HZ --to HZ [OPTIONS]\n"
    "Reads measured frequency response functions (universal file datasets 58 and 58b with\n"
    "the units of dataset 164, text and CSV), fits their modes, writes them into a corvanel\n"
    "job, and draws the turning stability limit straight from the measurement.\n"
    "\n"
    "Commands:\n"
    "  fit      fit the modes shared by FRFs measured in one direction; print them with\n"
    "           their uncertainties, or write them into a job with --into JOB.in\n"
    "  lobes    the stability limit from the measured tool (and workpiece) X receptance,\n"
    "           beside the limit from the modes fitted to them\n"
    "  synth    write the receptance of known modes plus seeded noise as a universal file\n"
    "\n"
    "Options:\n"
    "  -h, --help     this help; COMMAND --help lists a command's options\n"
    "  --version      the version\n"
    "\n"
    "Exit status:\n"
    "  0  done\n"
    "  1  a file could not be read or written, or a fit or limit failed (one line on\n"
    "     standard error names the file, the line and the problem)\n"
    "  2  a wrong command line\n";

int fail(const std::string& what) {
  std::fprintf(stderr, "corvanel-frf: %s\n", what.c_str());
  return 1;
}

int usage(const std::string& problem) {
  std::fprintf(stderr, "corvanel-frf: %s\n", problem.c_str());
  std::fputs(
      "usage: corvanel-frf fit FILE... --structure tool|workpiece --direction x|y|z [options]\n"
      "       corvanel-frf lobes TOOL_X_FRF [WORKPIECE_X_FRF] --job JOB.in [options]\n"
      "       corvanel-frf synth OUT.uff --mode FN,ZETA,K... --from HZ --to HZ [options]\n"
      "       corvanel-frf --help | SUBCOMMAND --help | --version\n",
      stderr);
  return 2;
}

void warn(const std::string& what) {
  std::fprintf(stderr, "corvanel-frf: warning: %s\n", what.c_str());
}

// How to read the FRF files, from the command line.
struct ReadOptions {
  std::string type, units, freq_unit;  // empty: not given
};

// True when the file's first line that is not blank is a universal file's -1.
bool is_universal_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    const size_t b = line.find_first_not_of(" \t\r");
    if (b == std::string::npos) continue;
    const size_t e = line.find_last_not_of(" \t\r");
    return line.substr(b, e - b + 1) == "-1";
  }
  return false;
}

// Reads every FRF of the files as receptance in m/N with positive directions. 1, or 0 with *error.
int read_frfs(const std::vector<std::string>& files, const ReadOptions& ro,
              std::vector<FrfData>* frfs, std::string* error) {
  int kind = -1;
  double to_si = 0.0;
  if (!ro.type.empty()) {
    FrfKind k;
    convert_parse_kind(ro.type, &k);
    kind = k;
  }
  if (!ro.units.empty()) {
    FrfKind k;
    convert_parse_units(ro.units, &k, &to_si);
    if (kind >= 0 && kind != k) {
      *error = "--type " + ro.type + " does not go with --units " + ro.units;
      return 0;
    }
    kind = k;
  }
  const int rad_s = ro.freq_unit.empty() ? -1 : ro.freq_unit == "rad/s" ? 1 : 0;
  for (const std::string& path : files) {
    std::vector<FrfData> read;
    if (is_universal_file(path)) {
      if (!uff_read(path, UffHint{kind}, &read, error)) return 0;
    } else {
      FrfData f;
      if (!frftext_read(path, FrfTextOptions{kind, to_si, rad_s}, &f, error)) return 0;
      read.push_back(std::move(f));
    }
    for (FrfData& f : read) {
      if (!convert_to_receptance(&f, error)) return 0;
      convert_positive_directions(&f);
      frfs->push_back(std::move(f));
    }
  }
  return 1;
}

// Checks that every FRF whose file says its directions measures direction axis (1 X, 2 Y, 3 Z)
// at a driving point.
int check_directions(const std::vector<FrfData>& frfs, int axis, std::string* error) {
  const char* names = "?XYZ";
  for (const FrfData& f : frfs) {
    for (int dir : {f.response_dir, f.reference_dir}) {
      if (dir == 0 || dir == axis) continue;
      const std::string said =
          dir <= 3 ? std::string(1, names[dir]) : "rotation " + std::to_string(dir);
      *error = f.source + ": measured in direction " + said + ", not " + names[axis] +
               " (--direction; FRFs fitted together share one direction)";
      return 0;
    }
  }
  return 1;
}

// Parses FROM:TO into two positive increasing numbers.
int parse_range(const std::string& text, double* from, double* to) {
  const size_t colon = text.find(':');
  if (colon == std::string::npos) return 0;
  return convert_parse_number(text.substr(0, colon), 0, from) &&
         convert_parse_number(text.substr(colon + 1), 0, to) && *from > 0 && *to > *from;
}

// The modes strongest first: largest peak receptance 1 / (2 zeta k).
std::vector<FittedMode> strongest_first(std::vector<FittedMode> modes) {
  std::stable_sort(modes.begin(), modes.end(), [](const FittedMode& a, const FittedMode& b) {
    return a.damping_ratio * a.stiffness < b.damping_ratio * b.stiffness;
  });
  return modes;
}

void print_modes(const FitResult& fit, const std::vector<FittedMode>& modes) {
  std::printf("%4s  %22s  %22s  %24s  %22s\n", "mode", "frequency [Hz]", "damping ratio",
              "stiffness [N/m]", "mass [kg]");
  int i = 0;
  for (const FittedMode& m : modes) {
    std::printf("%4d  %10.3f +- %-8.3f  %10.5f +- %-8.5f  %11.4e +- %-9.2e  %10.4g +- %-8.2g\n",
                ++i, m.natural_freq, m.natural_freq_sd, m.damping_ratio, m.damping_ratio_sd,
                m.stiffness, m.stiffness_sd, m.mass, m.mass_sd);
  }
  std::printf("relative error of the fit over the band: %.4f\n", fit.relative_error);
}

std::vector<JobeditMode> job_modes(int units, const std::vector<FittedMode>& modes) {
  std::vector<JobeditMode> out;
  for (const FittedMode& m : modes)
    out.push_back(jobedit_job_units(units, m.mass, m.damping_ratio, m.stiffness));
  return out;
}

int render(const std::string& script, const std::string& path) {
  std::string error;
  if (!gnuplot_render(script, path, &error)) return fail(path + ": " + error);
  std::printf("wrote %s\n", path.c_str());
  return 1;
}

// ---- fit ----

struct FitArgs {
  std::vector<std::string> files;
  std::string structure, direction, into, plot;
  double from = 0.0, to = 0.0;
  ReadOptions read;
};

int axis_of(const std::string& direction) {
  return direction == "x" ? 1 : direction == "y" ? 2 : 3;
}

int run_fit(const FitArgs& a) {
  std::string error;
  std::vector<FrfData> frfs;
  if (!read_frfs(a.files, a.read, &frfs, &error)) return fail(error);
  const int axis = axis_of(a.direction);
  if (!check_directions(frfs, axis, &error)) return fail(error);
  if (!a.plot.empty() && !gnuplot_find(&error)) return fail(error);
  // The job's unit system decides the units of the block; a job the
  // simulator would refuse is refused before any fitting.
  int units = 1;
  if (!a.into.empty()) {
    SimParams* probe = params_create();
    std::string why = "out of memory";
    const int read = probe != nullptr && jobfile_read(probe, a.into.c_str(), &why);
    if (read) units = probe->units;
    params_free(probe);
    if (!read) return fail(a.into + ": " + why);
  }
  FitOptions options{a.from, a.to, 0, 0, kJobMaxModes};
  FitResult fit;
  if (!fit_modes(frfs, options, &fit, &error)) {
    // The fit's refusal names the file where it concerns one.
    if (frfs.size() == 1 && error.rfind(frfs[0].source, 0) != 0)
      error = frfs[0].source + ": " + error;
    return fail(error);
  }
  if (fit.modes.empty()) return fail("no stable mode found in the band");
  if (fit.dropped > 0)
    warn(std::to_string(fit.dropped) +
         " weaker mode(s) dropped: a job holds at most 5 per direction");
  const std::vector<FittedMode> modes = strongest_first(fit.modes);
  print_modes(fit, modes);
  const int structure = a.structure == "tool" ? 1 : 0;
  const char* names = "?XYZ";
  if (!a.into.empty()) {
    if (!jobedit_write_modes(a.into, structure, axis - 1, job_modes(units, modes), &error))
      return fail(error);
    std::printf("wrote %zu %s %c mode(s) into %s (%s units)\n", modes.size(), a.structure.c_str(),
                names[axis], a.into.c_str(), units == 0 ? "English" : "metric");
  } else {
    for (int system : {1, 0}) {
      std::printf("\n%s %c modal block, %s (mass, damping ratio, stiffness, modal angle):\n",
                  a.structure.c_str(), names[axis],
                  system ? "metric job: kg, -, N/mm, degrees"
                         : "English job: lbf s^2/in, -, lbf/in, degrees");
      std::printf("%s\n", jobedit_block_text(job_modes(system, modes), "\n").c_str());
    }
  }
  if (!a.plot.empty()) {
    const std::string title = a.structure + " " + names[axis] + ": " + a.files[0];
    if (!render(frfplot_fit_script(frfs, fit, title), a.plot + ".fit.svg")) return 1;
    if (!render(frfplot_stabilisation_script(frfs, fit, "stabilisation diagram, " + title),
                a.plot + ".stabilisation.svg"))
      return 1;
  }
  return 0;
}

// ---- lobes ----

struct LobesArgs {
  std::string tool, workpiece, job, database = "kfkncfa.db", rpm, plot;
  ReadOptions read;
};

using Model = std::unique_ptr<LimitModel, void (*)(LimitModel*)>;

// The FRF's value at f (Hz) by linear interpolation; f within its band.
std::complex<double> at(const FrfData& frf, double f) {
  const auto it = std::lower_bound(frf.freq.begin(), frf.freq.end(), f);
  if (it == frf.freq.begin()) return frf.value.front();
  if (it == frf.freq.end()) return frf.value.back();
  const size_t i = static_cast<size_t>(it - frf.freq.begin());
  const double t = (f - frf.freq[i - 1]) / (frf.freq[i] - frf.freq[i - 1]);
  return frf.value[i - 1] + t * (frf.value[i] - frf.value[i - 1]);
}

// One structure's X FRF from one file (its only dataset).
int read_one(const std::string& path, const ReadOptions& ro, FrfData* frf, std::string* error) {
  std::vector<FrfData> frfs;
  if (!read_frfs({path}, ro, &frfs, error)) return 0;
  if (frfs.size() != 1) {
    *error = path + ": holds " + std::to_string(frfs.size()) + " FRFs; lobes take one X FRF a file";
    return 0;
  }
  if (!check_directions(frfs, 1, error)) return 0;
  *frf = std::move(frfs[0]);
  return 1;
}

int fit_one(const FrfData& frf, std::vector<ModalMode>* modes, std::string* error) {
  FitResult fit;
  if (!fit_modes({frf}, FitOptions{0, 0, 0, 0, kJobMaxModes}, &fit, error)) {
    if (error->rfind(frf.source, 0) != 0) *error = frf.source + ": " + *error;
    return 0;
  }
  for (const FittedMode& m : fit.modes)
    modes->push_back({m.mass, m.damping_ratio, m.stiffness, 0.0});
  return 1;
}

struct Curve {
  std::vector<FrfplotLimit> points;
  double min_depth = std::numeric_limits<double>::infinity();  // m
  double min_rpm = 0.0;
};

Curve limit_curve(const LimitModel* model, double from, double to) {
  Curve c;
  const int n = 1000;  // speeds drawn; the bottoms are added exactly
  for (int i = 0; i <= n; ++i) {
    const double rpm = from + (to - from) * i / n;
    const LimitPoint p = limit_at_speed(model, rpm);
    c.points.push_back({rpm, p.depth / model->length_unit});
    if (p.depth < c.min_depth) c.min_depth = p.depth, c.min_rpm = rpm;
  }
  for (const LimitBottom& b : limit_bottoms(model, from, to))
    if (b.depth < c.min_depth) c.min_depth = b.depth, c.min_rpm = b.rpm;
  return c;
}

int run_lobes(const LobesArgs& a) {
  std::string error;
  FrfData tool, workpiece;
  if (!read_one(a.tool, a.read, &tool, &error)) return fail(error);
  const bool with_workpiece = !a.workpiece.empty();
  if (with_workpiece && !read_one(a.workpiece, a.read, &workpiece, &error)) return fail(error);
  if (!a.plot.empty() && !gnuplot_find(&error)) return fail(error);
  Model model(limit_create(a.job.c_str(), a.database.c_str(), &error), limit_free);
  if (!model) return fail(error);
  if (!limit_has_coefficients(model.get()))
    return fail(a.database +
                ": no cutting coefficients for the job's material pair and edge angle");
  double from = 0.5 * model->params->spindle_rpm, to = 2.0 * model->params->spindle_rpm;
  if (!a.rpm.empty() && !parse_range(a.rpm, &from, &to))
    return fail("--rpm " + a.rpm + ": expected FROM:TO, two increasing speeds in rpm");
  if (!(from > 0)) return fail(a.job + ": the spindle speed is not above 0; give --rpm FROM:TO");

  // The relative receptance: the tool's plus the workpiece's, on the tool's
  // frequencies where both were measured.
  std::vector<double> omega;
  std::vector<std::complex<double>> g;
  for (size_t i = 0; i < tool.freq.size(); ++i) {
    const double f = tool.freq[i];
    if (with_workpiece && (f < workpiece.freq.front() || f > workpiece.freq.back())) continue;
    omega.push_back(kTwoPi * f);
    g.push_back(tool.value[i] + (with_workpiece ? at(workpiece, f) : 0.0));
  }
  if (omega.size() < 2)
    return fail(a.workpiece + ": its band does not overlap the tool FRF's band");
  std::vector<ModalMode> modes;
  if (!fit_one(tool, &modes, &error)) return fail(error);
  if (with_workpiece && !fit_one(workpiece, &modes, &error)) return fail(error);

  if (!limit_use_table(model.get(), omega, g, &error)) return fail(error);
  const Curve measured = limit_curve(model.get(), from, to);
  limit_use_modes(model.get(), modes);
  const Curve fitted = limit_curve(model.get(), from, to);

  const char* unit = model->params->units == 0 ? "in" : "mm";
  const double lu = model->length_unit;
  std::printf("stability limit between %.0f and %.0f rpm, %s\n", from, to,
              with_workpiece ? "tool X plus workpiece X receptance" : "tool X receptance");
  std::printf("  from the measured FRF:  minimum %.6g %s at %.0f rpm\n", measured.min_depth / lu,
              unit, measured.min_rpm);
  std::printf("  from the fitted modes:  minimum %.6g %s at %.0f rpm\n", fitted.min_depth / lu,
              unit, fitted.min_rpm);
  if (std::isfinite(measured.min_depth) && std::isfinite(fitted.min_depth))
    std::printf("  difference at the minimum: %+.2f %% (fitted against measured)\n",
                100.0 * (fitted.min_depth - measured.min_depth) / measured.min_depth);
  if (!a.plot.empty() && !render(frfplot_lobes_script(measured.points, fitted.points, unit,
                                                      "stability limit: " + a.job),
                                 a.plot + ".lobes.svg"))
    return 1;
  return 0;
}

// ---- synth ----

struct SynthArgs {
  std::string out, layout = "ascii", kind = "receptance";
  std::vector<std::string> modes;
  double from = 0.0, to = 0.0, step = 0.25, proportional = 0.02, floor = 0.005;
  unsigned seed = 1;
  std::string direction = "x";
};

int run_synth(const SynthArgs& a) {
  std::vector<SynthMode> modes;
  for (const std::string& text : a.modes) {
    double v[3];
    size_t at = 0;
    int k = 0;
    for (; k < 3; ++k) {
      const size_t comma = text.find(',', at);
      if ((k < 2) == (comma == std::string::npos)) break;
      if (!convert_parse_number(
              text.substr(at, comma == std::string::npos ? text.npos : comma - at), 0, &v[k]))
        break;
      at = comma + 1;
    }
    if (k != 3 || !(v[0] > 0) || !(v[1] > 0 && v[1] < 1) || !(v[2] > 0))
      return fail("--mode " + text +
                  ": expected FREQUENCY,DAMPING,STIFFNESS (Hz, -, N/m), all above 0");
    modes.push_back({v[0], v[1], v[2]});
  }
  FrfData f = synth_frf(modes, a.from, a.to, a.step, a.proportional, a.floor, a.seed);
  if (f.freq.empty()) return fail("--from, --to and --step give no frequencies");
  f.response_dir = f.reference_dir = axis_of(a.direction);
  f.source = "synthetic: known modes plus noise, seed " + std::to_string(a.seed);
  FrfKind kind;
  convert_parse_kind(a.kind, &kind);
  for (size_t i = 0; i < f.freq.size(); ++i) {
    const double w = kTwoPi * f.freq[i];
    if (kind == FRF_MOBILITY) f.value[i] *= std::complex<double>(0.0, w);
    if (kind == FRF_ACCELERANCE) f.value[i] *= -w * w;
  }
  f.kind = kind;
  UffLayout layout{a.layout == "binary", 0, 1, 1, 1, 0, 0, 0, 0, 0, 0};
  std::string error;
  if (!uff_write(a.out, {f}, layout, nullptr, &error)) return fail(error);
  std::printf("wrote %s: %zu points, %zu mode(s)\n", a.out.c_str(), f.freq.size(), modes.size());
  return 0;
}

void add_read_options(CLI::App* cmd, ReadOptions* ro) {
  cmd->add_option("--type", ro->type, "FRF type where a text file does not say it")
      ->check(CLI::IsMember({"receptance", "mobility", "accelerance"}));
  cmd->add_option("--units", ro->units,
                  "unit of a text file's values where it does not say it: m/N, mm/N, um/N, "
                  "(m/s)/N, (m/s^2)/N, g/N")
      ->check([](const std::string& u) {
        FrfKind k;
        double s;
        return convert_parse_units(u, &k, &s) ? std::string() : "unknown unit " + u;
      });
  cmd->add_option("--freq-unit", ro->freq_unit, "frequency unit of a text file: hz or rad/s")
      ->check(CLI::IsMember({"hz", "rad/s"}));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::fputs(cli_version_text("corvanel-frf").c_str(), stdout);
    return 0;
  }
  CLI::App app{
      "corvanel-frf: reads measured FRFs (universal file datasets 58/58b, text, CSV), "
      "fits their modes, writes them into a corvanel job and draws the stability limit "
      "straight from the measurement."};
  app.set_version_flag("--version", cli_version_text("corvanel-frf"));
  app.require_subcommand(1);

  FitArgs fa;
  CLI::App* fit = app.add_subcommand("fit", "fit the modes of FRFs measured in one direction");
  fit->add_option("FILE", fa.files, "FRF files (universal file or text/CSV)")->required();
  fit->add_option("--structure", fa.structure, "tool or workpiece")
      ->required()
      ->check(CLI::IsMember({"tool", "workpiece"}));
  fit->add_option("--direction", fa.direction, "x, y or z")
      ->required()
      ->check(CLI::IsMember({"x", "y", "z"}));
  fit->add_option("--into", fa.into, "replace that structure's direction block of this job file");
  fit->add_option("--from", fa.from, "lowest frequency of the band to fit [Hz]")
      ->check(CLI::PositiveNumber);
  fit->add_option("--to", fa.to, "highest frequency of the band to fit [Hz]")
      ->check(CLI::PositiveNumber);
  fit->add_option("--plot", fa.plot, "draw BASE.fit.svg and BASE.stabilisation.svg");
  add_read_options(fit, &fa.read);

  LobesArgs la;
  CLI::App* lobes = app.add_subcommand("lobes",
                                       "stability limit of turning from the measured tool (and "
                                       "workpiece) X FRF and from its fitted modes");
  lobes->add_option("TOOL_X_FRF", la.tool, "the tool's X FRF")->required();
  lobes->add_option("WORKPIECE_X_FRF", la.workpiece, "the workpiece's X FRF");
  lobes->add_option("--job", la.job, "the job whose cut and materials set the cutting coefficient")
      ->required();
  lobes->add_option("--database", la.database, "cutting-coefficient database (default kfkncfa.db)");
  lobes->add_option("--rpm", la.rpm,
                    "spindle speed range FROM:TO [rpm] (default half to twice the job's)");
  lobes->add_option("--plot", la.plot, "draw BASE.lobes.svg");
  add_read_options(lobes, &la.read);

  SynthArgs sa;
  CLI::App* synth = app.add_subcommand(
      "synth",
      "write a synthetic FRF of known modes plus noise as a universal file (tests, examples)");
  synth->add_option("OUT", sa.out, "universal file to write")->required();
  synth->add_option("--mode", sa.modes, "FREQUENCY,DAMPING,STIFFNESS [Hz, -, N/m], repeatable")
      ->required();
  synth->add_option("--from", sa.from, "lowest frequency [Hz]")->required();
  synth->add_option("--to", sa.to, "highest frequency [Hz]")->required();
  synth->add_option("--step", sa.step, "frequency step [Hz] (default 0.25)");
  synth->add_option("--noise", sa.proportional, "relative noise (default 0.02)");
  synth->add_option("--floor", sa.floor, "noise floor as a fraction of the peak (default 0.005)");
  synth->add_option("--seed", sa.seed, "seed of the noise (default 1)");
  synth->add_option("--layout", sa.layout, "ascii (dataset 58) or binary (58b)")
      ->check(CLI::IsMember({"ascii", "binary"}));
  synth->add_option("--direction", sa.direction, "x, y or z (default x)")
      ->check(CLI::IsMember({"x", "y", "z"}));
  synth->add_option("--type", sa.kind, "receptance, mobility or accelerance")
      ->check(CLI::IsMember({"receptance", "mobility", "accelerance"}));

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    return usage(e.what());
  }
  if (fit->parsed()) {
    if ((fa.from > 0) != (fa.to > 0) || (fa.to > 0 && !(fa.to > fa.from))) {
      return usage("--from and --to go together, --from below --to");
    }
    return run_fit(fa);
  }
  if (lobes->parsed()) return run_lobes(la);
  return run_synth(sa);
}
