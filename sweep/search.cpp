#include "sweep/search.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>

#include "app/jobfile.h"
#include "sweep/grid.h"
#include "sweep/index.h"
#include "sweep/limit.h"
#include "sweep/plan.h"
#include "sweep/rundir.h"

namespace fs = std::filesystem;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const char kHistoryHeader[] = "run,depth,class,growth_rate,growth_rate_sd,revolutions";
const char kResultHeader[] = "rpm,depth,bracket_low,bracket_high,runs,analytic,status";

// The bracket as the history leaves it, with the Illinois weights of its ends.
struct Bracket {
  bool have_low = false, have_high = false;
  double low = kNaN, high = kNaN;            // depths
  double rate_low = kNaN, rate_high = kNaN;  // signed rates, NaN: undefined
  double weight_low = 1, weight_high = 1;    // Illinois: halved when an end stays twice
  int last_moved = -1;                       // 0 low, 1 high, -1 none yet
};

void take(Bracket* b, const SearchRun& run) {
  const bool bracketed = b->have_low && b->have_high;
  const double rate = search_signed_rate(run);
  if (search_unstable(run)) {
    if (b->have_high && !(run.depth < b->high)) return;
    if (bracketed && !(run.depth > b->low)) return;
    b->high = run.depth, b->rate_high = rate, b->weight_high = 1, b->have_high = true;
    if (bracketed && b->last_moved == 1) b->weight_low *= 0.5;
    b->last_moved = 1;
  } else {
    if (b->have_low && !(run.depth > b->low)) return;
    if (b->have_high && !(run.depth < b->high)) return;
    b->low = run.depth, b->rate_low = rate, b->weight_low = 1, b->have_low = true;
    if (bracketed && b->last_moved == 0) b->weight_high *= 0.5;
    b->last_moved = 0;
  }
}

// Where the growth rate crosses zero between the bracket's ends; the middle
// when a rate is undefined.
double crossing(const Bracket& b) {
  const double fl = b.rate_low, fh = b.rate_high;
  if (std::isfinite(fl) && std::isfinite(fh) && fl <= 0 && fh > 0)
    return std::clamp(b.low + (0 - fl) * (b.high - b.low) / (fh - fl), b.low, b.high);
  return 0.5 * (b.low + b.high);
}

SearchStep finish(const char* status, double depth, const Bracket& b) {
  return {1, kNaN, depth, b.have_low ? b.low : kNaN, b.have_high ? b.high : kNaN, status};
}

SearchStep next(double depth, const Bracket& b) {
  return {0,
          grid_six_decimals(depth),
          kNaN,
          b.have_low ? b.low : kNaN,
          b.have_high ? b.high : kNaN,
          nullptr};
}

std::string number(double v, const char* format = "%.6f") {
  return mapfiles_cell(v, format);
}

bool parse_or_nan(std::string_view text, double* value) {
  if (text.empty()) {
    *value = kNaN;
    return true;
  }
  if (text == "inf") {
    *value = std::numeric_limits<double>::infinity();
    return true;
  }
  return grid_parse_number(text, value) != 0;
}

bool parse_class(std::string_view text, CollectClass* cls) {
  for (CollectClass c : {COLLECT_STABLE, COLLECT_CHATTER, COLLECT_LEFT_CUT, COLLECT_UNDECIDED}) {
    if (text == collect_class_name(c)) {
      *cls = c;
      return true;
    }
  }
  return false;
}

bool parse_history_line(const std::string& line, int index, SearchRun* run) {
  const std::vector<std::string_view> f = grid_split(line, ',');
  double n = 0, revolutions = 0;
  return f.size() == 6 && grid_parse_number(f[0], &n) && n == index &&
         grid_parse_number(f[1], &run->depth) && parse_class(f[2], &run->cls) &&
         parse_or_nan(f[3], &run->growth_rate) && parse_or_nan(f[4], &run->growth_rate_sd) &&
         grid_parse_number(f[5], &revolutions) && revolutions >= 0 && revolutions < 1e9 &&
         (run->revolutions = static_cast<int>(revolutions), true);
}

// Writes text through a temporary file renamed over path.
int write_atomically(const std::string& path, const std::string& text, std::string* error) {
  const std::string temporary = path + ".part";
  if (!plan_write_text(temporary, text, error)) return 0;
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    *error = "cannot rename " + temporary + " to " + path + ": " + std::strerror(errno);
    std::remove(temporary.c_str());
    return 0;
  }
  return 1;
}

// Appends one whole line to the history, on disk before the next run starts.
int append_line(const std::string& path, const std::string& line, std::string* error) {
  const bool fresh = access(path.c_str(), F_OK) != 0;
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
  if (fd < 0) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    return 0;
  }
  const std::string text = (fresh ? std::string(kHistoryHeader) + "\n" : std::string()) + line;
  const bool ok =
      write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && fsync(fd) == 0;
  const int saved = errno;
  close(fd);
  if (!ok) *error = "cannot append to " + path + ": " + std::strerror(saved);
  return ok ? 1 : 0;
}

// A row's lock file, held open (and locked) for the search's lifetime.
struct RowLock {
  int fd;
  ~RowLock() {
    if (fd >= 0) close(fd);
  }
};

// Runs `corvanel --until-decided job FOLDER` in out_dir, its output in FOLDER/corvanel.log;
// the exit code, or -1 when it could not run. The run dies with the search.
int run_corvanel(const std::string& out_dir, const std::string& corvanel,
                 const std::string& folder) {
  const std::string log = folder + "/" + kPlanLogFile;
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    if (chdir(out_dir.c_str()) != 0) _exit(127);
    const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) _exit(127);
    dup2(fd, STDOUT_FILENO);
    dup2(fd, STDERR_FILENO);
    close(fd);
    execl(corvanel.c_str(), "corvanel", "--until-decided", kPlanJob, folder.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  if (pid < 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void remove_series(const fs::path& folder) {
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(folder, ec)) {
    const std::string name = e.path().filename().string();
    const std::string prefix = std::string(kPlanJob) + ".";
    if (name.rfind(prefix, 0) == 0 && name.size() > 4 && name.substr(name.size() - 4) == ".dat")
      fs::remove(e.path(), ec);
  }
}

}  // namespace

int search_unstable(const SearchRun& run) {
  if (run.cls == COLLECT_CHATTER || run.cls == COLLECT_LEFT_CUT) return 1;
  return run.cls == COLLECT_UNDECIDED && run.growth_rate > 0;
}

double search_signed_rate(const SearchRun& run) {
  const double r = run.growth_rate;
  if (run.cls == COLLECT_LEFT_CUT || !std::isfinite(r)) return kNaN;
  if (search_unstable(run)) return r > 0 ? r : kNaN;
  return r <= 0 ? r : kNaN;
}

SearchStep search_step(const SearchSettings& s, const std::vector<SearchRun>& history) {
  const double from = s.from, to = s.to, tol = s.tolerance;
  const double centre =
      std::isfinite(s.analytic) ? std::clamp(s.analytic, from, to) : 0.5 * (from + to);
  const double half = std::max(kSearchStartSpread * centre, tol);
  const double start[2] = {grid_six_decimals(std::max(from, centre - half)),
                           grid_six_decimals(std::min(to, centre + half))};
  Bracket b;
  for (const SearchRun& run : history) take(&b, run);
  if (history.size() < 2 && start[0] < start[1]) return next(start[history.size()], b);
  if (history.empty()) return next(start[0], b);
  if (static_cast<int>(history.size()) >= kSearchMaxRuns) {
    const double depth = b.have_low && b.have_high ? crossing(b) : kNaN;
    return finish("unresolved", depth, b);
  }
  // Widening: the first bracket's width, doubled with every run beyond the first two.
  const int widened = std::max(0, static_cast<int>(history.size()) - 2);
  const double width = std::max(start[1] - start[0], tol) * std::ldexp(1.0, widened);
  if (!b.have_high) {
    if (b.low >= to) return finish("stable-throughout", to, b);
    return next(std::min(to, b.low + width), b);
  }
  if (!b.have_low) {
    if (b.high <= from) return finish("unstable-throughout", from, b);
    return next(std::max(from, b.high - width), b);
  }
  if (b.high - b.low < tol) return finish("bracketed", crossing(b), b);
  double x = 0.5 * (b.low + b.high);
  const double fl = b.rate_low * b.weight_low, fh = b.rate_high * b.weight_high;
  if (std::isfinite(fl) && std::isfinite(fh) && fh > fl) x = (b.low * fh - b.high * fl) / (fh - fl);
  x = std::clamp(x, b.low + kSearchInset * tol, b.high - kSearchInset * tol);
  const double rounded = grid_six_decimals(x);
  if (!(rounded > b.low && rounded < b.high)) return finish("bracketed", crossing(b), b);
  return next(rounded, b);
}

std::string search_settings_text(double from, double to, double tolerance) {
  return "from,to,tolerance\n" + number(from) + "," + number(to) + "," + number(tolerance) + "\n";
}

int search_read_settings(const std::string& out_dir, SearchSettings* s, std::string* error) {
  const std::string path = out_dir + "/" + kSearchSettings;
  std::ifstream in(path);
  std::string header, line;
  if (!in || !std::getline(in, header) || header != "from,to,tolerance" ||
      !std::getline(in, line)) {
    *error = "cannot read " + path + " (is " + out_dir + " a boundary plan?)";
    return 0;
  }
  const std::vector<std::string_view> f = grid_split(line, ',');
  if (f.size() != 3 || !grid_parse_number(f[0], &s->from) || !grid_parse_number(f[1], &s->to) ||
      !grid_parse_number(f[2], &s->tolerance) || !(s->from > 0) || !(s->to > s->from) ||
      !(s->tolerance > 0)) {
    *error = path + " line 2 is damaged";
    return 0;
  }
  s->analytic = kNaN;
  return 1;
}

std::string search_history_line(int index, const SearchRun& run) {
  return std::to_string(index) + "," + number(run.depth) + "," + collect_class_name(run.cls) + "," +
         number(run.growth_rate, "%.17g") + "," + number(run.growth_rate_sd, "%.17g") + "," +
         std::to_string(run.revolutions) + "\n";
}

int search_read_history(const std::string& path, std::vector<SearchRun>* history, int* dropped,
                        std::string* error) {
  history->clear();
  *dropped = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) return 1;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t at = 0;
  int line_number = 0;
  while (at < text.size()) {
    const size_t end = text.find('\n', at);
    ++line_number;
    const std::string line = text.substr(at, end == std::string::npos ? end : end - at);
    const bool last = end == std::string::npos || end + 1 == text.size();
    SearchRun run{};
    const bool ok = end != std::string::npos &&
                    (line_number == 1 ? line == kHistoryHeader
                                      : parse_history_line(line, line_number - 1, &run));
    if (!ok) {
      if (last) {
        *dropped = 1;
        return 1;
      }
      *error = path + " line " + std::to_string(line_number) + " is damaged";
      return 0;
    }
    if (line_number > 1) history->push_back(run);
    at = end + 1;
  }
  return 1;
}

int search_read_result(const std::string& path, MapfilesSearchRow* row, std::string* error) {
  std::ifstream in(path);
  std::string header, line;
  if (!in || !std::getline(in, header) || header != kResultHeader || !std::getline(in, line)) {
    *error = "no boundary yet";
    return 0;
  }
  const std::vector<std::string_view> f = grid_split(line, ',');
  double runs = 0;
  if (f.size() != 7 || !grid_parse_number(f[0], &row->rpm) || !parse_or_nan(f[1], &row->depth) ||
      !parse_or_nan(f[2], &row->low) || !parse_or_nan(f[3], &row->high) ||
      !grid_parse_number(f[4], &runs) || !parse_or_nan(f[5], &row->analytic) || f[6].empty()) {
    *error = path + " line 2 is damaged";
    return 0;
  }
  row->runs = static_cast<int>(runs);
  row->status = std::string(f[6]);
  return 1;
}

int search_row(const std::string& out, int row, const std::string& corvanel, std::string* error) {
  std::vector<PlanRun> runs;
  SearchSettings settings{};
  if (!index_read(out, &runs, error) || !search_read_settings(out, &settings, error)) return 0;
  if (row < 1 || row > static_cast<int>(runs.size())) {
    *error = "the plan " + out + " has no row " + std::to_string(row) + " (it has " +
             std::to_string(runs.size()) + ")";
    return 0;
  }
  const PlanRun& plan = runs[static_cast<size_t>(row - 1)];
  const std::string base_path = out + "/" + kPlanBase;
  std::unique_ptr<LimitModel, void (*)(LimitModel*)> model(
      limit_create(base_path.c_str(), (out + "/" + kPlanDatabase).c_str(), error), limit_free);
  if (!model) return 0;
  if (limit_has_coefficients(model.get()))
    settings.analytic = limit_at_speed(model.get(), plan.rpm).depth / model->length_unit;
  std::unique_ptr<SimParams, void (*)(SimParams*)> job(params_create(), params_free);
  if (!job || !jobfile_read(job.get(), base_path.c_str(), error)) {
    *error = base_path + ": " + *error;
    return 0;
  }
  job->spindle_rpm = plan.rpm;
  const fs::path folder = fs::path(out) / plan.folder;
  // One search per row at a time: a second one would interleave the history.
  const std::string lock_path = (folder / ".search-lock").string();
  const RowLock lock{open(lock_path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644)};
  if (lock.fd < 0 || flock(lock.fd, LOCK_EX | LOCK_NB) != 0) {
    *error = lock.fd < 0 ? "cannot open " + lock_path + ": " + std::strerror(errno)
                         : "row " + std::to_string(row) + " is being searched by another process";
    return 0;
  }
  const std::string history_path = (folder / kSearchHistory).string();
  std::vector<SearchRun> history;
  int dropped = 0;
  if (!search_read_history(history_path, &history, &dropped, error)) return 0;
  if (dropped || (history.empty() && fs::exists(history_path))) {
    // A run killed while its line was written: keep the whole lines only.
    std::string text = std::string(kHistoryHeader) + "\n";
    for (size_t i = 0; i < history.size(); ++i)
      text += search_history_line(static_cast<int>(i) + 1, history[i]);
    if (!write_atomically(history_path, text, error)) return 0;
  }
  if (!history.empty())
    std::printf("resuming after %zu runs of %s\n", history.size(), history_path.c_str());
  const std::string unit = job->units == 0 ? "in" : "mm";
  SearchStep step = search_step(settings, history);
  while (!step.done) {
    job->depth_of_cut = step.next_depth;
    const std::string job_path = (folder / (std::string(kPlanJob) + ".in")).string();
    if (!jobfile_write(job.get(), job_path.c_str(), error)) {
      *error = job_path + ": " + *error;
      return 0;
    }
    std::fflush(stdout);
    const int code = run_corvanel(out, corvanel, plan.folder);
    remove_series(folder);
    if (code != 0) {
      const std::string why = rundir_log_line((folder / kPlanLogFile).string());
      *error = "corvanel " +
               std::string(code < 0 ? "could not run" : "exit status " + std::to_string(code)) +
               " at " + number(step.next_depth) + " " + unit + (why.empty() ? "" : ": " + why);
      return 0;
    }
    RundirVerdict verdict{};
    const std::string summary = (folder / (std::string(kPlanJob) + ".summary.json")).string();
    if (!rundir_read_verdict(summary, &verdict, error)) {
      *error = summary + ": " + *error;
      return 0;
    }
    const SearchRun run{
        step.next_depth, verdict.cls, verdict.growth_rate, verdict.growth_rate_sd,
        verdict.stopped_at_revolution > 0 ? verdict.stopped_at_revolution : job->revs_total};
    if (!append_line(history_path, search_history_line(static_cast<int>(history.size()) + 1, run),
                     error))
      return 0;
    history.push_back(run);
    std::printf("run %zu at %s %s: %s, growth rate %s a revolution, %d revolutions\n",
                history.size(), number(run.depth).c_str(), unit.c_str(),
                collect_class_name(run.cls), number(run.growth_rate, "%+.4g").c_str(),
                run.revolutions);
    step = search_step(settings, history);
  }
  MapfilesSearchRow result{
      plan.rpm,
      step.depth,
      step.low,
      step.high,
      static_cast<int>(history.size()),
      std::isnan(settings.analytic) ? std::numeric_limits<double>::infinity() : settings.analytic,
      step.status};
  const std::string text = std::string(kResultHeader) + "\n" +
                           mapfiles_search_boundary_csv({result}).substr(sizeof kResultHeader);
  if (!write_atomically((folder / kSearchResult).string(), text, error)) return 0;
  std::printf("%g rpm: %s, boundary %s %s (bracket %s to %s) after %zu runs\n", plan.rpm,
              step.status, number(step.depth).c_str(), unit.c_str(), number(step.low).c_str(),
              number(step.high).c_str(), history.size());
  return 1;
}
