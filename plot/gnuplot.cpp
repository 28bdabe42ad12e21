#include "plot/gnuplot.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "plot/text.h"

extern char** environ;

namespace {

const char kInstallHint[] =
    "gnuplot not found: corvanel-plot draws with gnuplot; install Debian's gnuplot-nox "
    "(sudo apt-get install gnuplot-nox)";

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// The last line of gnuplot's error output that says something.
std::string last_message(FILE* err) {
  std::string text, last;
  std::rewind(err);
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, err)) > 0) text.append(buffer, n);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string_view line = text_trim(std::string_view(text).substr(start, end - start));
    if (!line.empty() && line.find_first_not_of("^ ") != std::string_view::npos) {
      last = std::string(line);
    }
    start = end + 1;
  }
  return text_clean(last);
}

// Starts gnuplot with the three files as its standard streams and waits for it.
// Returns its exit status, -1 when it could not be started (errno in *spawn_error).
int run_gnuplot(int in, int out, int err, int* spawn_error) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in, 0);
  posix_spawn_file_actions_adddup2(&actions, out, 1);
  posix_spawn_file_actions_adddup2(&actions, err, 2);
  // -d: no initialisation file of the user changes the pictures.
  char program[] = "gnuplot", defaults[] = "-d";
  char* argv[] = {program, defaults, nullptr};
  pid_t pid;
  *spawn_error = posix_spawnp(&pid, program, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (*spawn_error != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -2;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
}

// Gives a file from mkstemp the permissions of a file created the ordinary way.
void set_ordinary_mode(int fd) {
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
}

// Whether the file ends with the closing tag of an SVG document: gnuplot does
// not report a failed write of its output, a cut-off picture shows here.
bool is_complete_svg(const std::string& path) {
  File file(std::fopen(path.c_str(), "rb"));
  if (!file || std::fseek(file.get(), -16, SEEK_END) != 0) return false;
  char tail[17] = {};
  const size_t n = std::fread(tail, 1, 16, file.get());
  return std::string_view(tail, n).find("</svg>") != std::string_view::npos;
}

}  // namespace

std::string gnuplot_quote(std::string_view text) {
  std::string quoted = "'";
  for (char c : text_clean(text)) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  return quoted + "'";
}

std::string gnuplot_path(const std::string& path) {
  std::string quoted = "'";
  if (path.empty() || path[0] != '/') quoted += "./";
  for (char c : path) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  return quoted + "'";
}

int gnuplot_find(std::string* error) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    const std::string candidate = (dir.empty() ? std::string(".") : dir) + "/gnuplot";
    struct stat info;
    if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        access(candidate.c_str(), X_OK) == 0) {
      return 1;
    }
    start = end + 1;
  }
  *error = kInstallHint;
  return 0;
}

int gnuplot_render(const std::string& script, const std::string& svg_path, std::string* error) {
  File in(std::tmpfile()), err(std::tmpfile());
  if (!in || !err || std::fwrite(script.data(), 1, script.size(), in.get()) != script.size() ||
      std::fflush(in.get()) != 0) {
    *error =
        std::string("cannot write gnuplot's script to a temporary file: ") + std::strerror(errno);
    return 0;
  }
  std::rewind(in.get());
  std::string temp = svg_path + ".XXXXXX";
  const int out = mkstemp(temp.data());
  if (out < 0) {
    *error = svg_path + ": cannot be written: " + std::strerror(errno);
    return 0;
  }
  set_ordinary_mode(out);
  int spawn_error = 0;
  const int status = run_gnuplot(fileno(in.get()), out, fileno(err.get()), &spawn_error);
  const bool closed = close(out) == 0;
  const bool complete = status == 0 && closed && is_complete_svg(temp);
  if (complete && std::rename(temp.c_str(), svg_path.c_str()) == 0) return 1;
  const int rename_error = errno;
  std::remove(temp.c_str());
  if (status == -1) {
    *error = spawn_error == ENOENT
                 ? std::string(kInstallHint)
                 : std::string("cannot start gnuplot: ") + std::strerror(spawn_error);
  } else if (status != 0) {
    const std::string message = last_message(err.get());
    *error = svg_path + ": gnuplot failed" + (message.empty() ? std::string() : ": " + message);
  } else if (!complete) {
    *error = svg_path + ": gnuplot's picture is incomplete (is the disk full?)";
  } else {
    *error = svg_path + ": cannot be written: " + std::strerror(rename_error);
  }
  return 0;
}
