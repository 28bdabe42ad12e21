#include "engine/recorder.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "engine/spectrum.h"
#include "engine/verdict.h"
#include "model/quantities.h"
#include "model/units.h"

namespace {

constexpr int kMaxSamples = 1 << 18;     // samples of the spectrum at the most
constexpr double kSamplesPerPeriod = 8;  // of the highest damped frequency, at the least
constexpr size_t kSpectrumBins = 4096;   // of the summary's spectrum, at the most

struct Accumulator {
  double sum = 0, sum_sq = 0;
  int count = 0;
};

}  // namespace

struct Recorder {
  RunSummary result;
  int steps_per_rev;
  int decimation;    // steps averaged into one sample
  double block_sum;  // m, relative X of the steps of the current sample
  int block_count;
  std::vector<double> samples;  // m, reserved for the whole run
  Accumulator vibration;        // relative X of the current revolution
  int left_cut_steps;           // of the current revolution
  double force_sum[3];          // N
  long long force_count;
  int have_first;
};

namespace {

bool recorded(const SimParams* p, const SimState* s) {
  return s->revolution >= p->revs_skipped;
}

double highest_damped_freq(const SimParams* p, const SimState* s) {
  const ModeResponse* lists[] = {s->sw_modes_x,   s->sw_modes_y,   s->sw_modes_z,
                                 s->tool_modes_x, s->tool_modes_y, s->tool_modes_z};
  const int counts[] = {p->spindle_modes.x_count, p->spindle_modes.y_count,
                        p->spindle_modes.z_count, p->tool_modes.x_count,
                        p->tool_modes.y_count,    p->tool_modes.z_count};
  double highest = 0;
  for (int l = 0; l < 6; ++l)
    for (int i = 0; i < std::min(counts[l], kMaxModesPerDirection); ++i)
      highest = std::max(highest, lists[l]->damped_freq[i]);
  return highest / kTwoPi;
}

SummaryCutting cutting_of(const SimParams* p, const SimState* s, int step, double vb) {
  return {s->revolution, step,  s->cutting_speed,   p->avg_chip_thickness,
          p->kf,         p->kn, p->chip_flow_angle, vb};
}

// The cutting data of a step kept as the last (and, the first time, as the
// first); apart from recorder_step, which takes it once a revolution.
[[gnu::noinline]] void keep_cutting(Recorder* r, const SimParams* p, const SimState* s, int step,
                                    double vb) {
  r->result.last = cutting_of(p, s, step, vb);
  if (!r->have_first) {
    r->result.first = r->result.last;
    r->have_first = 1;
  }
}

// A sample of the spectrum from the steps of a block, while there is room.
[[gnu::noinline]] void keep_sample(Recorder* r) {
  if (r->samples.size() < r->samples.capacity()) r->samples.push_back(r->block_sum / r->decimation);
  r->block_sum = 0;
  r->block_count = 0;
}

void add_modes(std::vector<SummaryMode>* out, int structure, int axis, const ModalMode* modes,
               int count, const ModeResponse* r) {
  for (int i = 0; i < std::min(count, kMaxModesPerDirection); ++i) {
    out->push_back({structure, axis, i, std::sqrt(r->natural_freq_sq[i]) / kTwoPi,
                    r->damped_freq[i] / kTwoPi, modes[i].damping_ratio, modes[i].stiffness,
                    modes[i].mass, r->delay_steps[i]});
  }
}

// The amplitude spectrum a (bins of width resolution, Hz) up to twice the
// highest natural frequency (highest, Hz) or past the peak (peak, Hz),
// whichever is higher, in at most kSpectrumBins bins: when more are needed,
// an odd number of neighbouring bins merge into one centred on the middle
// one, holding their largest amplitude, so no peak is lost.
void compact_spectrum(const std::vector<double>& a, double resolution, double highest, double peak,
                      RunSummary* out) {
  out->spectrum.clear();
  out->spectrum_resolution = resolution;
  if (a.empty() || !(resolution > 0)) return;
  const double top = std::max(2 * highest, 1.25 * peak);  // Hz
  size_t bins = a.size();
  if (top > 0 && top / resolution < static_cast<double>(bins))
    bins = static_cast<size_t>(top / resolution) + 1;
  size_t merge = (bins + kSpectrumBins - 1) / kSpectrumBins;
  if (merge > 1) merge |= 1;
  const size_t half = merge / 2;
  for (size_t centre = 0; centre < bins; centre += merge) {
    double largest = a[centre];
    for (size_t k = centre > half ? centre - half : 0; k <= centre + half && k < a.size(); ++k)
      largest = std::max(largest, a[k]);
    out->spectrum.push_back(largest);
  }
  out->spectrum_resolution = resolution * static_cast<double>(merge);
}

}  // namespace

Recorder* recorder_create(const SimParams* p, const SimState* s) {
  auto* r = new (std::nothrow) Recorder{};
  if (r == nullptr) return nullptr;
  r->steps_per_rev = s->steps_per_rev;
  const int recorded_revs = std::max(0, p->revs_total - std::max(0, p->revs_skipped));
  // With angular increments above 1 the revolutions leave gaps in time: the
  // spectrum then takes the last revolution alone.
  const long long steps = s->steps_per_rev < kGridSteps
                              ? static_cast<long long>(s->steps_per_rev)
                              : static_cast<long long>(s->steps_per_rev) * recorded_revs;
  const double rate = s->time_step > 0 ? 1.0 / s->time_step : 0;  // samples per second
  const double wanted = kSamplesPerPeriod * highest_damped_freq(p, s);
  long long d = wanted > 0 ? static_cast<long long>(rate / wanted) : steps;
  d = std::max(d, (steps + kMaxSamples - 1) / kMaxSamples);
  r->decimation = static_cast<int>(std::clamp<long long>(d, 1, std::max<long long>(steps, 1)));
  try {
    r->samples.reserve(static_cast<size_t>(steps / r->decimation + 1));
    r->result.revolutions.reserve(static_cast<size_t>(recorded_revs));
    r->result.modes.reserve(6 * kMaxModesPerDirection);
  } catch (const std::bad_alloc&) {
    delete r;
    return nullptr;
  }
  for (SummaryForce& f : r->result.force) {
    f.min = std::numeric_limits<double>::infinity();
    f.max = -std::numeric_limits<double>::infinity();
    f.mean = std::numeric_limits<double>::quiet_NaN();
  }
  r->result.nearest_mode = -1;
  r->result.verdict = "undecided";
  r->result.verdict_rule = "the run has not finished";
  r->result.sample_period = s->time_step * r->decimation;
  return r;
}

void recorder_free(Recorder* r) {
  delete r;
}

void recorder_step(Recorder* r, const SimParams* p, const SimState* s, int step, double vb,
                   int left_cut) {
  const bool cut = !(s->revolution == 0 && step == 0);  // the run's first step makes no pass
  // The first cutting step, and the last: a run ends with a whole
  // revolution (or leaves no summary), so the last is the last step of the
  // revolution last stepped, taken once a revolution.
  if (cut && (!r->have_first || step == s->steps_per_rev - 1)) keep_cutting(r, p, s, step, vb);
  if (!recorded(p, s)) return;
  if (step == 0 && s->steps_per_rev < kGridSteps) {  // only the last revolution's samples
    r->samples.clear();
    r->block_sum = 0;
    r->block_count = 0;
  }
  const double x = s->rel_disp_x[step];
  r->vibration.sum += x;
  r->vibration.sum_sq += x * x;
  ++r->vibration.count;
  r->left_cut_steps += left_cut;
  r->block_sum += x;
  if (++r->block_count == r->decimation) keep_sample(r);
  const auto add_force = [r](int a, double f) {
    SummaryForce& out = r->result.force[a];
    r->force_sum[a] += f;
    out.min = std::min(out.min, f);
    out.max = std::max(out.max, f);
  };
  add_force(0, s->force_x);
  add_force(1, s->force_y);
  add_force(2, s->force_z);
  ++r->force_count;
}

void recorder_revolution(Recorder* r, const SimParams* p, const SimState* s) {
  SummaryRevolution rev{};
  rev.revolution = s->revolution;
  for (int q = 0; q < kSummaryQuantities; ++q) {
    const RevolutionQuantity& quantity = kRevolutionQuantities[q];
    const double unit =
        quantity_output_unit(quantity.kind, p->units);  // statistics are in output units
    rev.range[q] = quantity_range(quantity, s);
    rev.mean[q] = s->*quantity.mean * unit;
    rev.rms[q] = s->*quantity.rms * unit;
  }
  rev.relative_x = s->rel_disp_x[0];
  const Accumulator& v = r->vibration;
  if (v.count > 0) {
    const double m = v.sum / v.count;
    rev.vibration = std::sqrt(std::max(0.0, v.sum_sq / v.count - m * m));
  }
  rev.left_cut_steps = r->left_cut_steps;
  if (r->result.revolutions.size() < r->result.revolutions.capacity())
    r->result.revolutions.push_back(rev);
  r->vibration = {};
  r->left_cut_steps = 0;
}

void recorder_finish(Recorder* r, const SimParams* p, const SimState* s, double reference_force_x) {
  RunSummary& out = r->result;
  for (int a = 0; a < 3; ++a)
    if (r->force_count > 0)
      out.force[a].mean = r->force_sum[a] / static_cast<double>(r->force_count);
  // Static deflection under the mean force: each structure's compliance in
  // its own axis, the workpiece under the reaction.
  const ModalSet* sets[2] = {&p->spindle_modes, &p->tool_modes};
  for (int st = 0; st < 2; ++st) {
    const ModalMode* lists[] = {sets[st]->x_modes, sets[st]->y_modes, sets[st]->z_modes};
    const int counts[] = {sets[st]->x_count, sets[st]->y_count, sets[st]->z_count};
    for (int a = 0; a < 3; ++a) {
      double compliance = 0;  // m/N
      for (int i = 0; i < std::min(counts[a], kMaxModesPerDirection); ++i)
        compliance += 1.0 / lists[a][i].stiffness;
      const double force = r->force_count > 0 ? out.force[a].mean : 0.0;
      out.static_deflection[st][a] = (st == 0 ? -force : force) * compliance;
    }
  }
  for (int a = 0; a < 3; ++a)
    out.relative_static_deflection[a] = out.static_deflection[1][a] - out.static_deflection[0][a];
  out.modes.clear();
  const ModeResponse* responses[2][3] = {{s->sw_modes_x, s->sw_modes_y, s->sw_modes_z},
                                         {s->tool_modes_x, s->tool_modes_y, s->tool_modes_z}};
  for (int st = 0; st < 2; ++st) {
    add_modes(&out.modes, st, 0, sets[st]->x_modes, sets[st]->x_count, responses[st][0]);
    add_modes(&out.modes, st, 1, sets[st]->y_modes, sets[st]->y_count, responses[st][1]);
    add_modes(&out.modes, st, 2, sets[st]->z_modes, sets[st]->z_count, responses[st][2]);
  }
  out.scatter_floor = verdict_scatter_floor(p, s, reference_force_x);
  std::vector<double> vibration;
  int left_cut = 0;
  for (const SummaryRevolution& rev : out.revolutions) {
    vibration.push_back(rev.vibration);
    left_cut += rev.left_cut_steps > 0;
  }
  const Verdict verdict = verdict_decide(vibration, out.scatter_floor, left_cut);
  out.verdict = verdict_name(verdict.cls);
  out.verdict_rule = verdict.rule;
  out.growth_rate = verdict.growth.rate;
  out.growth_rate_sd = verdict.growth.rate_sd;
  out.samples = static_cast<int>(r->samples.size());
  std::vector<double> amplitudes;
  double resolution = 0;
  SpectrumPeak peak{0, 0, 0};
  if (spectrum_amplitudes(r->samples, out.sample_period, &amplitudes, &resolution)) {
    peak = spectrum_peak(amplitudes, resolution);
    double highest = 0;
    for (const SummaryMode& m : out.modes) highest = std::max(highest, m.natural_freq);
    compact_spectrum(amplitudes, resolution, highest, peak.frequency, &out);
  }
  out.peak_frequency = peak.frequency;
  out.peak_resolution = peak.resolution;
  out.peak_amplitude = peak.amplitude;
  double nearest = std::numeric_limits<double>::infinity();
  for (size_t m = 0; m < out.modes.size(); ++m) {
    const double gap = std::fabs(out.modes[m].damped_freq - out.peak_frequency);
    if (out.peak_frequency > 0 && gap < nearest) {
      nearest = gap;
      out.nearest_mode = static_cast<int>(m);
    }
  }
}

int recorder_settled(Recorder* r, const SimParams* p, const SimState* s, double reference_force_x) {
  RunSummary& out = r->result;
  std::vector<double> vibration;
  int left_cut = 0;
  for (const SummaryRevolution& rev : out.revolutions) {
    vibration.push_back(rev.vibration);
    left_cut += rev.left_cut_steps > 0;
  }
  const VerdictStop stop = verdict_settled(
      vibration, verdict_scatter_floor(p, s, reference_force_x), left_cut,
      p->revs_total - 1 - s->revolution, verdict_contact_vibration(p->feed_per_rev));
  out.stopped_at_revolution = s->revolution + 1;
  out.stop_rule = verdict_stop_name(stop);
  out.stop_rule_text = verdict_stop_rule(stop);
  return stop;
}

const RunSummary* recorder_result(const Recorder* r) {
  return &r->result;
}

int recorder_revolutions(const Recorder* r) {
  return static_cast<int>(r->result.revolutions.size());
}
