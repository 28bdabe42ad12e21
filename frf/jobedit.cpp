#include "frf/jobedit.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include "app/jobfile.h"
#include "model/params.h"

namespace {

constexpr double kNewtonsPerMetrePerPoundPerInch =
    175.1259842519685;  // N/m per lbf/in (= kg per lbf s^2/in)
constexpr int kMaxModes = 5;

// Walks the job text as the job reader does, token by token, to find where
// one direction's count and numbers lie.
struct Walker {
  const std::string& text;
  size_t pos = 0;

  bool line() {  // to just after the next line end
    const size_t nl = text.find('\n', pos);
    if (nl == std::string::npos) return false;
    pos = nl + 1;
    return true;
  }
  void blanks() {
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
  }
  // One blank-separated token; its span in *begin, *end.
  bool token(size_t* begin = nullptr, size_t* end = nullptr) {
    blanks();
    if (pos == text.size()) return false;
    if (begin != nullptr) *begin = pos;
    while (pos < text.size() && !std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
    if (end != nullptr) *end = pos;
    return true;
  }
};

int read_count(const std::string& text, size_t begin, size_t end, int* count) {
  const std::string t = text.substr(begin, end - begin);
  char* stop = nullptr;
  const long v = std::strtol(t.c_str(), &stop, 10);
  if (stop == t.c_str() || *stop != '\0' || v < 0 || v > kMaxModes) return 0;
  *count = static_cast<int>(v);
  return 1;
}

struct ParamsFree {
  void operator()(SimParams* p) const { params_free(p); }
};
using Params = std::unique_ptr<SimParams, ParamsFree>;

bool same_modes(const ModalMode* a, int na, const ModalMode* b, int nb) {
  if (na != nb) return false;
  for (int i = 0; i < na; ++i)
    if (a[i].mass != b[i].mass || a[i].damping_ratio != b[i].damping_ratio ||
        a[i].stiffness != b[i].stiffness || a[i].modal_angle != b[i].modal_angle)
      return false;
  return true;
}

// Every item of the two jobs equal, but the one direction.
bool same_job_but(const SimParams* a, const SimParams* b, int structure, int axis) {
  if (std::strcmp(a->title, b->title) != 0 || a->process != b->process || a->units != b->units ||
      a->spindle_rpm != b->spindle_rpm || a->feed_per_rev != b->feed_per_rev ||
      a->depth_of_cut != b->depth_of_cut || a->initial_wear != b->initial_wear ||
      a->inclination_angle != b->inclination_angle ||
      a->normal_rake_angle != b->normal_rake_angle ||
      a->side_cutting_edge_angle != b->side_cutting_edge_angle ||
      a->workpiece_radius != b->workpiece_radius || a->nose_radius != b->nose_radius ||
      std::strcmp(a->workpiece_material, b->workpiece_material) != 0 ||
      std::strcmp(a->insert_material, b->insert_material) != 0 || a->calc_type != b->calc_type ||
      a->revs_total != b->revs_total || a->revs_skipped != b->revs_skipped ||
      a->angular_increments != b->angular_increments)
    return false;
  for (int s = 0; s < 2; ++s) {
    const ModalSet& x = s == 0 ? a->spindle_modes : a->tool_modes;
    const ModalSet& y = s == 0 ? b->spindle_modes : b->tool_modes;
    const ModalMode* xm[] = {x.x_modes, x.y_modes, x.z_modes};
    const ModalMode* ym[] = {y.x_modes, y.y_modes, y.z_modes};
    const int xn[] = {x.x_count, x.y_count, x.z_count};
    const int yn[] = {y.x_count, y.y_count, y.z_count};
    for (int d = 0; d < 3; ++d)
      if (!(s == structure && d == axis) && !same_modes(xm[d], xn[d], ym[d], yn[d])) return false;
  }
  return true;
}

int read_job(const std::string& path, Params* params, std::string* error) {
  params->reset(params_create());
  if (!*params) {
    *error = "out of memory";
    return 0;
  }
  std::string why;
  if (!jobfile_read(params->get(), path.c_str(), &why)) {
    *error = path + ": " + why;
    return 0;
  }
  return 1;
}

}  // namespace

JobeditMode jobedit_job_units(int units, double mass, double damping_ratio, double stiffness) {
  if (units == 0)
    return {mass / kNewtonsPerMetrePerPoundPerInch, damping_ratio,
            stiffness / kNewtonsPerMetrePerPoundPerInch, 0.0};
  return {mass, damping_ratio, stiffness / 1000.0, 0.0};
}

std::string jobedit_block_text(const std::vector<JobeditMode>& modes, const char* eol) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d", static_cast<int>(modes.size()));
  std::string text = buf;
  for (const JobeditMode& m : modes) {
    for (double v : {m.mass, m.damping_ratio, m.stiffness, m.modal_angle}) {
      // Six decimals as the job file writes them, unless they would lose
      // more than a part in ten thousand (a small mass in lbf s^2/in).
      std::snprintf(buf, sizeof buf, "%lf", v);
      if (std::fabs(std::strtod(buf, nullptr) - v) > 1e-4 * std::fabs(v))
        std::snprintf(buf, sizeof buf, "%.10g", v);
      text += eol;
      text += buf;
    }
  }
  return text;
}

int jobedit_replace(const std::string& job, int structure, int axis,
                    const std::vector<JobeditMode>& modes, std::string* edited,
                    std::string* error) {
  if (modes.size() > kMaxModes || structure < 0 || structure > 1 || axis < 0 || axis > 2) {
    *error = "at most 5 modes go into one direction of a structure";  // the job reader's limit
    return 0;
  }
  Walker w{job};
  // Title line, process word, units, nine numbers, the material lines, calc_type.
  bool ok = w.line() && w.token();
  for (int i = 0; i < 10 && ok; ++i) ok = w.token();
  if (ok) {
    w.blanks();
    ok = w.line() && w.line() && w.token();
  }
  size_t begin = 0, end = 0;
  for (int s = 0; s <= structure && ok; ++s) {
    for (int d = 0; d < 3 && ok; ++d) {
      size_t b, e;
      int count = 0;
      ok = w.token(&b, &e) && read_count(job, b, e, &count);
      for (int i = 0; i < 4 * count && ok; ++i) ok = w.token(nullptr, &e);
      if (s == structure && d == axis) {
        begin = b, end = e;
        break;
      }
    }
  }
  if (!ok || end == 0) {
    *error = "the job's modal blocks cannot be found: is it a job file?";
    return 0;
  }
  const char* eol = job.find("\r\n") != std::string::npos ? "\r\n" : "\n";
  *edited = job.substr(0, begin) + jobedit_block_text(modes, eol) + job.substr(end);
  return 1;
}

int jobedit_write_modes(const std::string& path, int structure, int axis,
                        const std::vector<JobeditMode>& modes, std::string* error) {
  Params before;
  if (!read_job(path, &before, error)) return 0;
  std::ifstream in(path, std::ios::binary);
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (!in) {
    *error = path + ": cannot read the job file";
    return 0;
  }
  std::string edited;
  if (!jobedit_replace(buffer.str(), structure, axis, modes, &edited, error)) {
    *error = path + ": " + *error;
    return 0;
  }
  const std::string temporary = path + ".frf-new";
  std::FILE* f = std::fopen(temporary.c_str(), "wb");
  if (f == nullptr) {
    *error = temporary + ": cannot be created: " + std::strerror(errno);
    return 0;
  }
  const bool written = std::fwrite(edited.data(), 1, edited.size(), f) == edited.size();
  if (std::fclose(f) != 0 || !written) {
    std::remove(temporary.c_str());
    *error = temporary + ": cannot be written";
    return 0;
  }
  // The edited job must read as the old one with the new modes.
  Params after;
  bool same = read_job(temporary, &after, error);
  if (same) {
    same = same_job_but(before.get(), after.get(), structure, axis);
    const ModalSet& set = structure == 0 ? after->spindle_modes : after->tool_modes;
    const ModalMode* got[] = {set.x_modes, set.y_modes, set.z_modes};
    const int count[] = {set.x_count, set.y_count, set.z_count};
    same = same && count[axis] == static_cast<int>(modes.size());
    for (size_t i = 0; same && i < modes.size(); ++i)
      same = std::fabs(got[axis][i].mass - modes[i].mass) <= 1e-4 * std::fabs(modes[i].mass) &&
             std::fabs(got[axis][i].stiffness - modes[i].stiffness) <=
                 1e-4 * std::fabs(modes[i].stiffness) &&
             std::fabs(got[axis][i].damping_ratio - modes[i].damping_ratio) <=
                 1e-4 * std::fabs(modes[i].damping_ratio) &&
             got[axis][i].modal_angle == modes[i].modal_angle;
    if (!same)
      *error = path + ": the edited job would not read back as the old one with the new modes";
  }
  if (!same) {
    std::remove(temporary.c_str());
    return 0;
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    *error = path + ": cannot be replaced: " + std::strerror(errno);
    std::remove(temporary.c_str());
    return 0;
  }
  return 1;
}
