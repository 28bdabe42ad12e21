#include "sweep/runner.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include "sweep/plan.h"

namespace {

volatile sig_atomic_t g_signal = 0;  // the last stopping signal received while running

void note_signal(int sig) {
  g_signal = sig;
}

const int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Catches the stopping signals for the lifetime of the object.
class SignalGuard {
 public:
  SignalGuard() {
    g_signal = 0;
    struct sigaction action {};
    action.sa_handler = note_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: waitpid returns EINTR
    for (int i = 0; i < 3; ++i) sigaction(kStopSignals[i], &action, &previous_[i]);
  }
  ~SignalGuard() {
    for (int i = 0; i < 3; ++i) sigaction(kStopSignals[i], &previous_[i], nullptr);
  }
  SignalGuard(const SignalGuard&) = delete;
  SignalGuard& operator=(const SignalGuard&) = delete;

 private:
  struct sigaction previous_[3];
};

void default_signals() {
  for (int sig : kStopSignals) signal(sig, SIG_DFL);
}

double now_seconds() {
  using namespace std::chrono;
  return duration<double>(system_clock::now().time_since_epoch()).count();
}

struct Counts {
  int ok = 0, failed = 0;
};

Counts count_joblog(const std::map<int, int>& log, int rows) {
  Counts c;
  for (const auto& [row, code] : log) {
    if (row < 1 || row > rows) continue;
    if (code == 0) {
      ++c.ok;
    } else {
      ++c.failed;
    }
  }
  return c;
}

// Progress of the pool: one rewritten line on a terminal, a line per tenth otherwise.
class Progress {
 public:
  Progress(int total) : total_(total), tty_(isatty(STDERR_FILENO)), start_(now_seconds()) {}
  void update(int done, int failed, int running) {
    const int tenth = total_ > 0 ? done * 10 / total_ : 10;
    if (!tty_ && tenth == last_tenth_ && done != total_) return;
    last_tenth_ = tenth;
    const double elapsed = now_seconds() - start_;
    const double eta = done > 0 ? elapsed / done * (total_ - done) : 0;
    std::fprintf(stderr,
                 "%scorvanel-sweep: %d/%d rows run, %d failed, %d running, %.0f s, ETA %.0f s%s",
                 tty_ ? "\r" : "", done, total_, failed, running, elapsed, eta, tty_ ? "  " : "\n");
    if (tty_ && done == total_) std::fputc('\n', stderr);
  }

 private:
  int total_;
  bool tty_;
  double start_;
  int last_tenth_ = -1;
};

struct Worker {
  pid_t pid;
  int row;
  double start;
};

pid_t start_row(const std::string& command) {
  const pid_t pid = fork();
  if (pid == 0) {
    default_signals();
    setpgid(0, 0);  // the row and its corvanel stop together
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  if (pid > 0) setpgid(pid, pid);
  return pid;
}

void log_row(FILE* log, const Worker& w, double end, int status, const std::string& command) {
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  const int sig = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  std::fprintf(log, "%d\t:\t%.3f\t%8.3f\t0\t0\t%d\t%d\t%s\n", w.row, w.start, end - w.start, code,
               sig, command.c_str());
  std::fflush(log);
}

// Runs the listed rows with `jobs` workers; false when interrupted.
bool run_pool(const std::vector<std::string>& rows, const std::vector<int>& todo, int jobs,
              FILE* log) {
  SignalGuard guard;
  Progress progress(static_cast<int>(todo.size()));
  std::vector<Worker> running;
  size_t next = 0;
  int done = 0, failed = 0;
  bool stopping = false;
  while (next < todo.size() || !running.empty()) {
    while (!stopping && next < todo.size() && static_cast<int>(running.size()) < jobs) {
      const int row = todo[next++];
      const pid_t pid = start_row(rows[row - 1]);
      if (pid < 0) {
        std::fprintf(stderr, "corvanel-sweep: cannot start row %d: %s\n", row,
                     std::strerror(errno));
        stopping = true;
        break;
      }
      running.push_back({pid, row, now_seconds()});
    }
    if (running.empty()) break;
    int status = 0;
    const pid_t pid = waitpid(-1, &status, 0);
    if (g_signal != 0 && !stopping) {
      stopping = true;
      for (const Worker& w : running) kill(-w.pid, SIGTERM);
    }
    if (pid < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (size_t i = 0; i < running.size(); ++i) {
      if (running[i].pid != pid) continue;
      // A row cut short by the interruption is not logged, so it runs again.
      const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
      if (!stopping || ok) {
        log_row(log, running[i], now_seconds(), status, rows[running[i].row - 1]);
        ++done;
        if (!ok) ++failed;
      }
      running.erase(running.begin() + static_cast<long>(i));
      break;
    }
    if (!stopping) progress.update(done, failed, static_cast<int>(running.size()));
  }
  return !stopping;
}

// Runs the table through GNU parallel; false when interrupted.
bool run_parallel(const std::string& out, int jobs, bool retry_failed) {
  const std::string joblog = out + "/" + kRunnerJoblog;
  const std::string commands = out + "/" + kPlanCommands;
  const std::string workers = std::to_string(jobs);
  std::vector<const char*> args = {"parallel",      "--jobs",
                                   workers.c_str(), "--joblog",
                                   joblog.c_str(),  retry_failed ? "--resume-failed" : "--resume"};
  if (isatty(STDERR_FILENO)) args.push_back("--bar");
  args.push_back("--arg-file");
  args.push_back(commands.c_str());
  args.push_back(nullptr);
  SignalGuard guard;
  const pid_t pid = fork();
  if (pid == 0) {
    default_signals();
    setenv("PARALLEL_SHELL", "/bin/sh", 0);  // the rows are POSIX shell commands
    execvp("parallel", const_cast<char* const*>(args.data()));
    _exit(127);
  }
  if (pid < 0) return false;
  int status = 0;
  int forwarded = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
    if (g_signal != 0 && forwarded != g_signal) kill(pid, forwarded = g_signal);
  }
  return g_signal == 0 && !WIFSIGNALED(status);
}

std::vector<int> rows_to_run(int rows, const std::map<int, int>& log, bool retry_failed) {
  std::vector<int> todo;
  for (int row = 1; row <= rows; ++row) {
    const auto it = log.find(row);
    if (it == log.end() || (retry_failed && it->second != 0)) todo.push_back(row);
  }
  return todo;
}

// Creates the joblog with GNU parallel's header when it does not exist yet.
FILE* open_joblog(const std::string& path) {
  const bool fresh = access(path.c_str(), F_OK) != 0;
  FILE* log = std::fopen(path.c_str(), "a");
  if (log != nullptr && fresh)
    std::fputs("Seq\tHost\tStarttime\tJobRuntime\tSend\tReceive\tExitval\tSignal\tCommand\n", log);
  return log;
}

// Rewrites the joblog without the failed rows that are about to run again.
void drop_failed(const std::string& path) {
  std::ifstream in(path);
  std::string text, line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string seq, host, start, runtime, send, receive, code;
    fields >> seq >> host >> start >> runtime >> send >> receive >> code;
    if (seq != "Seq" && code != "0") continue;
    text += line + "\n";
  }
  in.close();
  std::ofstream(path, std::ios::trunc) << text;
}

}  // namespace

int runner_cores() {
  const long n = sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? static_cast<int>(n) : 1;
}

int runner_gnu_parallel_available() {
  FILE* pipe = popen("parallel --version 2>/dev/null </dev/null", "r");
  if (pipe == nullptr) return 0;
  char line[256] = "";
  const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
  char rest[256];
  while (std::fgets(rest, sizeof rest, pipe) != nullptr) {
  }
  pclose(pipe);
  return read && std::strncmp(line, "GNU parallel", 12) == 0;
}

std::map<int, int> runner_read_joblog(const std::string& path) {
  std::map<int, int> log;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    long seq = 0;
    std::string host, start, runtime, send, receive;
    int code = 0;
    if (fields >> seq >> host >> start >> runtime >> send >> receive >> code && seq > 0 &&
        seq < 100000000)
      log[static_cast<int>(seq)] = code;
  }
  return log;
}

int runner_read_commands(const std::string& path, std::vector<std::string>* rows) {
  rows->clear();
  std::ifstream in(path);
  if (!in) return 0;
  std::string line;
  while (std::getline(in, line)) rows->push_back(line);
  return 1;
}

int runner_run(const RunnerOptions& o, std::string* error) {
  const std::string commands = o.out_dir + "/" + kPlanCommands;
  const std::string joblog = o.out_dir + "/" + kRunnerJoblog;
  std::vector<std::string> rows;
  if (!runner_read_commands(commands, &rows) || rows.empty()) {
    *error = "cannot read " + commands + " (is " + o.out_dir + " a plan folder?)";
    return 1;
  }
  const int total = static_cast<int>(rows.size());
  const int jobs = o.jobs > 0 ? o.jobs : runner_cores();
  const std::vector<int> todo = rows_to_run(total, runner_read_joblog(joblog), o.retry_failed);
  const bool gnu = !o.use_pool && runner_gnu_parallel_available();
  if (!o.use_pool && !gnu)
    std::fprintf(stderr,
                 "corvanel-sweep: GNU parallel is not installed (Debian/Ubuntu: sudo apt-get "
                 "install parallel); running the rows with the built-in process pool\n");
  std::fprintf(stderr, "corvanel-sweep: %d rows, %d already run, %zu to run with %d workers (%s)\n",
               total, total - static_cast<int>(todo.size()), todo.size(), jobs,
               gnu ? "GNU parallel" : "built-in pool");
  bool finished = true;
  if (!todo.empty()) {
    if (o.retry_failed) drop_failed(joblog);
    if (gnu) {
      finished = run_parallel(o.out_dir, jobs, o.retry_failed);
    } else {
      std::unique_ptr<FILE, int (*)(FILE*)> log(open_joblog(joblog), std::fclose);
      if (!log) {
        *error = "cannot write " + joblog;
        return 1;
      }
      finished = run_pool(rows, todo, jobs, log.get());
    }
  }
  const Counts c = count_joblog(runner_read_joblog(joblog), total);
  const int left = total - c.ok - c.failed;
  std::fprintf(stderr, "corvanel-sweep: %s%d of %d rows ran, %d of them failed, %d not run yet\n",
               finished ? "" : "interrupted: ", c.ok + c.failed, total, c.failed, left);
  if (!finished) {
    std::fprintf(stderr, "corvanel-sweep: run the same command again to resume\n");
    return 130;
  }
  return c.failed == 0 && left == 0 ? 0 : 1;
}
