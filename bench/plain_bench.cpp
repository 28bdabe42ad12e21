// The six-mode job of bench/run-job.sh (one mode per direction in each
// structure, every angular step, 20 revolutions of which 2 are skipped), run
// whole in the same process by the engine (sim_run, as the program runs it)
// and by the plain evaluation of the same formulas: the databases read once,
// and nothing else saved from step to step or from the start of the run.
// The plain run takes the run's constants afresh wherever a stage needs them
// (run_constants_of, the cutting stages without their memo), every mode one
// by one (through modal_mode_step, the scalar reference of the packed step,
// or, with the benchmark's argument 1, through the step written out from the
// antiderivatives, each with its own exponential, sine and cosine at both
// ends of the step), every nose segment of the chip's axial
// correction, the finiteness of a step value by value, the statistics
// divided by their unit even where it is 1, the series rows through
// fprintf, and moves all 171000 entries of every history each revolution.
//
// Both runs must write the same series, .rms and .ave files byte for byte
// (checked once before timing). Each iteration runs both, the engine first,
// and counts their CPU time (CLOCK_PROCESS_CPUTIME_ID): the counters give the
// engine's steps per second, both times per run and `plain_over_engine`, how
// many times faster the engine is.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "app/jobfile.h"
#include "engine/cut_coefficients.h"
#include "engine/cut_forces.h"
#include "engine/force_pass.h"
#include "engine/modal_params.h"
#include "engine/modal_response.h"
#include "engine/recorder.h"
#include "engine/run.h"
#include "engine/run_context.h"
#include "engine/wear.h"
#include "model/rounding.h"
#include "model/units.h"
#include "model/version.h"
#include "results/result_files.h"
#include "results/summary.h"
#include "tests/support/antiderivative_step.h"
#include "tests/support/records.h"

namespace {

const char* const kSeriesSuffixes[] = {".dat",    ".fx.dat", ".fy.dat", ".fz.dat", ".sx.dat",
                                       ".sy.dat", ".sz.dat", ".wx.dat", ".wy.dat", ".wz.dat"};
const char* const kCompared[] = {".dat",    ".fx.dat", ".fy.dat", ".fz.dat", ".sx.dat", ".sy.dat",
                                 ".sz.dat", ".wx.dat", ".wy.dat", ".wz.dat", ".rms",    ".ave"};

double cpu_seconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

std::string read_all(const std::string& path) {
  std::string text;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
  }
  return text;
}

bool copy_file(const std::string& from, const std::string& to) {
  const std::string text = read_all(from);
  std::FILE* f = std::fopen(to.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok && !text.empty();
}

// The job file of the six-mode job: the example's first 15 lines, then the modes.
bool write_six_mode_job(const std::string& path) {
  const std::string demo = read_all(CORVANEL_SOURCE_DIR "/examples/demo.in");
  std::string job;
  size_t pos = 0;
  for (int line = 0; line < 15; ++line) {
    const size_t end = demo.find('\n', pos);
    if (end == std::string::npos) return false;
    job += demo.substr(pos, end + 1 - pos);
    pos = end + 1;
  }
  job += "1\n8.0\n0.04\n60000\n20\n1\n8.0\n0.04\n70000\n10\n1\n10.0\n0.05\n90000\n5\n";
  job += "1\n0.5\n0.03\n30000\n30\n1\n0.5\n0.03\n40000\n15\n1\n0.6\n0.04\n50000\n10\n";
  job += "20\n2\n1\n";
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (f == nullptr) return false;
  std::fputs(job.c_str(), f);
  return std::fclose(f) == 0;
}

// ---- The plain evaluation ----

double half_segment(double r, double q) {
  return force_pass_half_segment(r, q);
}

double plain_axial_correction(const SimParams* p, double rel_z, double h_eff, double nd,
                              double dz) {
  const RunConstants c = run_constants_of(p);
  const double a = p->depth_of_cut;
  const double r = p->nose_radius;
  const double e = std::fabs(dz);
  if (dz < 0) {
    const double x = nd + rel_z;
    const double a1 = a <= x ? a : x;
    double area = std::fabs(half_segment(r, a1) + half_segment(r, e) - half_segment(r, a1 + e));
    if (a > x) area += std::fabs(c.tan_side_edge * (a - x) * e);
    return -area / a;
  }
  const double a2 = a <= nd ? a : nd;
  double area = std::fabs(half_segment(r, a2 - e) + half_segment(r, e) - half_segment(r, a2));
  if (a > nd) area += std::fabs(c.tan_side_edge * (h_eff - nd) * e);
  return area / (a - e);
}

void plain_force_pass(SimParams* p, SimState* st, RunContext* run, int s) {
  const double rel_x = st->rel_disp_x[s];
  const double rel_z = st->rel_disp_z[s];
  double h_eff = p->depth_of_cut - rel_z;
  if (h_eff < 0) h_eff = 0;
  const int surface_index =
      round_half_away(std::fabs(static_cast<double>(s) / p->angular_increments));
  const double last_surface = st->cut_surface[surface_index];
  const double nose_depth = run_constants_of(p).nose_depth;
  const double axial_change =
      st->revolution == 0 ? rel_z : rel_z - run->prev_rel_disp_z[surface_index];
  const double delta =
      axial_change == 0 ? 0.0 : plain_axial_correction(p, rel_z, h_eff, nose_depth, axial_change);
  const double h = (p->feed_per_rev - rel_x - delta) + last_surface;
  if (!(h >= 0)) {
    run->step_left_cut = 1;
    st->cut_surface[surface_index] += p->feed_per_rev;
    st->edge_force_x = st->edge_force_y = st->edge_force_z = 0;
  } else {
    if (p->calc_type != 0) cut_coefficients_instant(p, st, h, h_eff, nullptr, nullptr);
    cut_edge_forces(p, st, h, h_eff, nullptr, nullptr);
    st->cut_surface[surface_index] = rel_x;
  }
  run->prev_rel_disp_z[surface_index] = rel_z;
  const double vb = wear_land_width(p, st, nullptr);
  run->step_vb = vb;
  const DampingForces damping =
      damping_forces(p, st, &run->damping, s, h_eff, vb, nullptr, nullptr);
  cut_machine_forces(p, st, &run->reference, &run->random, vb, damping, s, nullptr);
}

bool all_finite(const SimState* st, int s) {
  const double values[] = {st->force_x,        st->force_y,        st->force_z,
                           st->rel_disp_x[s],  st->rel_disp_y[s],  st->rel_disp_z[s],
                           st->sw_disp_x[s],   st->sw_disp_y[s],   st->sw_disp_z[s],
                           st->tool_disp_x[s], st->tool_disp_y[s], st->tool_disp_z[s]};
  for (double v : values)
    if (!std::isfinite(v)) return false;
  return true;
}

void update(double v, double* max, double* min) {
  if (v > *max) *max = v;
  if (!(v >= *min)) *min = v;
}

void plain_extremes(SimState* st, int s) {
  update(st->force_x, &st->force_x_max, &st->force_x_min);
  update(st->force_y, &st->force_y_max, &st->force_y_min);
  update(st->force_z, &st->force_z_max, &st->force_z_min);
  update(st->sw_disp_x[s], &st->sw_disp_x_max, &st->sw_disp_x_min);
  update(st->sw_disp_y[s], &st->sw_disp_y_max, &st->sw_disp_y_min);
  update(st->sw_disp_z[s], &st->sw_disp_z_max, &st->sw_disp_z_min);
  update(st->tool_disp_x[s], &st->tool_disp_x_max, &st->tool_disp_x_min);
  update(st->tool_disp_y[s], &st->tool_disp_y_max, &st->tool_disp_y_min);
  update(st->tool_disp_z[s], &st->tool_disp_z_max, &st->tool_disp_z_min);
}

// The series rows of a step through fprintf.
void plain_series(std::FILE* const* out, const SimState* st, int s, int units) {
  if (s % 100 != 0) return;
  const double fdiv = units == 0 ? kNewtonsPerPound : 1.0;
  const double a = st->cut_angle;
  std::fprintf(out[0], "%4d %10.4lf %10.4lf %10.4lf %10.4lf \n", s, a, st->force_x / fdiv,
               st->force_y / fdiv, st->force_z / fdiv);
  if (units == 0) {
    std::fprintf(out[1], "%d %1f %1f \n", s, a, st->force_x / fdiv);
  } else {
    std::fprintf(out[1], "%d %lf %lf\n", s, a, st->force_x / fdiv);
  }
  std::fprintf(out[2], "%d %lf %lf\n", s, a, st->force_y / fdiv);
  std::fprintf(out[3], "%d %lf %lf\n", s, a, st->force_z / fdiv);
  const double disps[] = {st->sw_disp_x[s],   st->sw_disp_y[s],   st->sw_disp_z[s],
                          st->tool_disp_x[s], st->tool_disp_y[s], st->tool_disp_z[s]};
  for (int i = 0; i < 6; ++i) {
    if (units == 0)
      std::fprintf(out[4 + i], "%d %lf %e\n", s, a, disps[i] / kInch);
    else
      std::fprintf(out[4 + i], "%d %lf %lf\n", s, a, disps[i]);
  }
}

// Means and RMS deviations of the revolution, every value divided by its unit.
void plain_statistics(const SimParams* p, SimState* st) {
  const int n = kGridSteps;
  const double fdiv = p->units == 0 ? kNewtonsPerPound : 1.0;
  const double ldiv = p->units == 0 ? kInch : 1.0;
  const double* hist[9] = {st->force_hist_x, st->force_hist_y, st->force_hist_z,
                           st->sw_disp_x,    st->sw_disp_y,    st->sw_disp_z,
                           st->tool_disp_x,  st->tool_disp_y,  st->tool_disp_z};
  const double div[9] = {fdiv, fdiv, fdiv, ldiv, ldiv, ldiv, ldiv, ldiv, ldiv};
  double* mean[9] = {&st->force_x_mean,     &st->force_y_mean,     &st->force_z_mean,
                     &st->sw_disp_x_mean,   &st->sw_disp_y_mean,   &st->sw_disp_z_mean,
                     &st->tool_disp_x_mean, &st->tool_disp_y_mean, &st->tool_disp_z_mean};
  double* rms[9] = {&st->force_x_rms,     &st->force_y_rms,     &st->force_z_rms,
                    &st->sw_disp_x_rms,   &st->sw_disp_y_rms,   &st->sw_disp_z_rms,
                    &st->tool_disp_x_rms, &st->tool_disp_y_rms, &st->tool_disp_z_rms};
  double sum[9] = {}, dev[9] = {};
  for (int i = 0; i < n; ++i)
    for (int q = 0; q < 9; ++q) sum[q] += hist[q][i] / div[q];
  double avg[9];
  for (int q = 0; q < 9; ++q) avg[q] = sum[q] / n;
  for (int i = 0; i < n; ++i)
    for (int q = 0; q < 9; ++q) {
      const double d = hist[q][i] / div[q] - avg[q];
      dev[q] += d * d;
    }
  for (int q = 0; q < 9; ++q) {
    *mean[q] = avg[q];
    *rms[q] = std::sqrt(dev[q] / n);
  }
}

// Every mode of step k: modal_mode_step (`antiderivatives` null) or the step
// from the antiderivatives with the running values of each list's modes,
// placed into the histories one by one.
void plain_modal(const SimParams* p, SimState* st, int k,
                 test_support::AntiderivativeMode (*antiderivatives)[kMaxModesPerDirection]) {
  if (antiderivatives == nullptr) return modal_respond_scalar(p, st, k);
  ModalDrive drives[kModalLists];
  modal_drives(p, st, drives);
  for (int l = 0; l < kModalLists; ++l) {
    const ModalDrive& d = drives[l];
    for (int i = 0; d.modes != nullptr && i < d.count; ++i) {
      const double x =
          test_support::antiderivative_step(&antiderivatives[l][i], d.response, i, d.modes[i].mass,
                                            st->time_step, d.force, k, st->revolution);
      modal_add_response(d.relative, d.structure, x, d.response->delay_steps[i], k,
                         d.relative_sign);
    }
  }
}

// The whole job through the plain evaluation; false when it cannot run.
bool plain_run(SimParams* p, SimState* st, const std::string& base, int antiderivatives) {
  RunContext* run = run_context_create(p);  // reads both databases, once
  if (run == nullptr) return false;
  test_support::Params entered(params_clone(p));
  test_support::AntiderivativeMode modes[kModalLists][kMaxModesPerDirection];
  std::FILE* series[10];
  for (int i = 0; i < 10; ++i) series[i] = std::fopen((base + kSeriesSuffixes[i]).c_str(), "w");
  std::FILE* rms = std::fopen((base + ".rms").c_str(), "w");
  std::FILE* ave = std::fopen((base + ".ave").c_str(), "w");
  units_angles_to_radians(p);
  st->steps_per_rev = kGridSteps / p->angular_increments;
  result_files_write_report(p, base.c_str());
  units_normalise(p);
  run->row_found = cut_coefficients_lookup(p, run->db);
  modal_prepare(p, st);
  run->recorder = recorder_create(p, st);
  state_reset_extremes(st);
  bool ok = run->row_found && run->recorder != nullptr;
  for (int r = 0; ok && r < p->revs_total; ++r) {
    st->revolution = r;
    const bool recorded = r >= p->revs_skipped;
    const double revolution_degrees = static_cast<int64_t>(r) * 3600 / 10.0;
    for (int s = 0; ok && s < st->steps_per_rev; ++s) {
      st->cut_angle = s * kGridStepDegrees + revolution_degrees;
      st->force_x = st->force_y = st->force_z = 0;
      if (s == 0 && r == 0) run->work_diameter = 2 * p->workpiece_radius;
      st->cutting_speed = cut_coefficients_speed(run->work_diameter, p->spindle_rpm);
      run->work_diameter -= 2 * p->feed_per_rev / kGridSteps;
      cut_coefficients_at_speed(p, st, run_constants_of(p), nullptr);
      run->step_left_cut = 0;
      if (!(s == 0 && r == 0)) plain_force_pass(p, st, run, s);
      if (s == 1) std::printf("Running Revolution Number %d .......... \n", r + 1);
      plain_modal(p, st, s, antiderivatives ? modes : nullptr);
      ok = all_finite(st, s);
      if (ok && recorded) {
        plain_extremes(st, s);
        st->force_hist_x[s] = st->force_x;
        st->force_hist_y[s] = st->force_y;
        st->force_hist_z[s] = st->force_z;
        plain_series(series, st, s, p->units);
      }
      recorder_step(run->recorder, p, st, s, run->step_vb, run->step_left_cut);
    }
    if (ok && recorded) {
      plain_statistics(p, st);
      summary_write_rms(rms, st, p->units);
      summary_write_ave(ave, st);
      recorder_revolution(run->recorder, p, st);
    }
    for (double* h : {st->rel_disp_x, st->rel_disp_y, st->rel_disp_z, st->sw_disp_x, st->sw_disp_y,
                      st->sw_disp_z, st->tool_disp_x, st->tool_disp_y, st->tool_disp_z})
      std::memmove(h, h + kGridSteps, kShiftedEntries * sizeof(double));
    state_reset_extremes(st);
  }
  if (ok) {
    recorder_finish(run->recorder, p, st, run->reference.x);
    const SummaryRun facts{program_version(), engine_version(), st->steps_per_rev, st->time_step};
    ok = result_files_write_summary(base.c_str(), entered.get(), p, facts,
                                    *recorder_result(run->recorder)) == 1;
  }
  for (std::FILE* f : series) ok = f != nullptr && std::fclose(f) == 0 && ok;
  ok = rms != nullptr && std::fclose(rms) == 0 && ok;
  ok = ave != nullptr && std::fclose(ave) == 0 && ok;
  run_context_free(run);
  return ok;
}

// ---- The benchmark ----

struct Scratch {
  std::string dir;
  test_support::Params job;
  Scratch() {
    char name[] = "/tmp/corvanel-plain-XXXXXX";
    if (mkdtemp(name) == nullptr) return;
    dir = name;
    if (!copy_file(CORVANEL_SOURCE_DIR "/examples/wear.db", dir + "/wear.db") ||
        !copy_file(CORVANEL_SOURCE_DIR "/examples/kfkncfa.db", dir + "/kfkncfa.db") ||
        !write_six_mode_job(dir + "/six.in") || chdir(dir.c_str()) != 0) {
      dir.clear();
      return;
    }
    job = test_support::new_params();
    if (!jobfile_read(job.get(), "six.in")) dir.clear();
  }
  ~Scratch() {
    if (!dir.empty()) std::system(("rm -rf '" + dir + "'").c_str());
  }
};

bool engine_run(const SimParams* job) {
  test_support::Params p(params_clone(job));
  test_support::State st = test_support::new_state();
  return sim_run(p.get(), st.get(), "engine", nullptr) == 1;
}

bool plain_job(const SimParams* job, int antiderivatives) {
  test_support::Params p(params_clone(job));
  test_support::State st = test_support::new_state();
  return plain_run(p.get(), st.get(), "plain", antiderivatives);
}

void BM_SixModeJobAgainstPlainEvaluation(benchmark::State& bench) {
  Scratch scratch;
  if (scratch.dir.empty()) {
    bench.SkipWithError("cannot set up the six-mode job");
    return;
  }
  std::FILE* saved = stdout;
  stdout = std::fopen("/dev/null", "w");  // the revolution lines
  const int antiderivatives = static_cast<int>(bench.range(0));
  const bool ran = engine_run(scratch.job.get()) && plain_job(scratch.job.get(), antiderivatives);
  std::string differs;
  for (const char* suffix : kCompared) {
    const std::string a = read_all("engine" + std::string(suffix));
    if (a.empty() || a != read_all("plain" + std::string(suffix))) differs += suffix;
  }
  double engine_time = 0, plain_time = 0;
  if (ran && differs.empty()) {
    for (auto _ : bench) {
      const double t0 = cpu_seconds();
      engine_run(scratch.job.get());
      const double t1 = cpu_seconds();
      plain_job(scratch.job.get(), antiderivatives);
      engine_time += t1 - t0;
      plain_time += cpu_seconds() - t1;
    }
  }
  std::fclose(stdout);
  stdout = saved;
  if (!ran) return bench.SkipWithError("a run failed");
  if (!differs.empty()) return bench.SkipWithError(("files differ: " + differs).c_str());
  const double runs = static_cast<double>(bench.iterations());
  bench.counters["engine_s"] = engine_time / runs;
  bench.counters["plain_s"] = plain_time / runs;
  bench.counters["engine_steps/s"] = 20.0 * kGridSteps * runs / engine_time;
  bench.counters["plain_over_engine"] = plain_time / engine_time;
}

}  // namespace

// Argument: the plain run's modal step, 0 modal_mode_step (the scalar
// reference of the packed step), 1 the step from the antiderivatives.
BENCHMARK(BM_SixModeJobAgainstPlainEvaluation)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
