#include "tests/plot/plot_support.h"

#include <cctype>
#include <cstring>

namespace plot_test {

using test_support::read_file;
using test_support::write_file;

const char kNoGnuplot[] =
    "gnuplot is not installed: the plot tests need Debian's gnuplot-nox "
    "(./dev.sh test installs it when run as root; else sudo apt-get install gnuplot-nox)";

bool gnuplot_installed() {
  return test_support::run_command("command -v gnuplot >/dev/null") == 0;
}

std::string shell_quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

test_support::Outcome run_in(const std::string& dir, const std::string& program,
                             const std::vector<std::string>& args, const std::string& path) {
  std::string command = "cd " + shell_quote(dir) + " && ";
  if (!path.empty()) command += "PATH=" + shell_quote(path) + " ";
  command += shell_quote(program);
  for (const std::string& arg : args) command += " " + shell_quote(arg);
  command += " </dev/null >.stdout 2>.stderr";
  test_support::Outcome outcome;
  outcome.exit_code = test_support::run_command(command);
  outcome.out = read_file(dir + "/.stdout");
  outcome.err = read_file(dir + "/.stderr");
  return outcome;
}

test_support::Outcome run_plot(const std::string& dir, const std::vector<std::string>& args,
                               const std::string& path) {
  return run_in(dir, CORVANEL_PLOT_BINARY, args, path);
}

test_support::Job small_job(int units) {
  test_support::Job job = units == 0 ? test_support::english_job() : test_support::Job{};
  job.revs_total = 3;
  job.revs_skipped = 1;
  job.increments = 20;
  if (units == 0) {  // inches, lbf/in and lbf s^2/in
    job.spindle_modes =
        "1\n0.0143 0.04 342000 0\n1\n0.0171 0.05 457000 30\n1\n0.0114 0.03 285000 0\n";
    job.tool_modes =
        "1\n0.00285 0.04 285000 45\n1\n0.00343 0.05 228000 60\n1\n0.00228 0.04 257000 30\n";
  } else {  // millimetres, N/mm and kg
    job.spindle_modes = "1\n2.5 0.04 60000 0\n1\n3 0.05 80000 30\n1\n2 0.03 50000 0\n";
    job.tool_modes = "1\n0.5 0.04 50000 45\n1\n0.6 0.05 40000 60\n1\n0.4 0.04 45000 30\n";
  }
  return job;
}

int make_run(const std::string& dir, const std::string& name, const test_support::Job& job) {
  test_support::write_job(dir, name, job);
  return run_in(dir, CORVANEL_BINARY, {name, "."}).exit_code == 0;
}

namespace {

bool is_name_char(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("_:.-", c) != nullptr;
}

// An entity reference at text[at] ('&'): &name; or &#digits; or &#xhex;.
bool is_entity(const std::string& text, size_t at) {
  const size_t end = text.find(';', at);
  if (end == std::string::npos || end == at + 1 || end - at > 12) return false;
  for (size_t i = at + 1; i < end; ++i) {
    if (!is_name_char(text[i]) && text[i] != '#') return false;
  }
  return true;
}

// Reads a start or empty-element tag at text[at] ('<'); returns the index after
// it, or npos. *name gets the element name, *empty whether it closes itself.
size_t read_start_tag(const std::string& text, size_t at, std::string* name, bool* empty) {
  size_t i = at + 1;
  while (i < text.size() && is_name_char(text[i])) ++i;
  *name = text.substr(at + 1, i - at - 1);
  if (name->empty()) return std::string::npos;
  for (;;) {
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i >= text.size()) return std::string::npos;
    if (text[i] == '>' || text.compare(i, 2, "/>") == 0) {
      *empty = text[i] == '/';
      return i + (*empty ? 2 : 1);
    }
    const size_t attr = i;
    while (i < text.size() && is_name_char(text[i])) ++i;
    if (i == attr || i + 1 >= text.size() || text[i] != '=') return std::string::npos;
    const char quote = text[i + 1];
    const size_t close = text.find(quote, i + 2);
    if ((quote != '"' && quote != '\'') || close == std::string::npos) return std::string::npos;
    for (size_t v = i + 2; v < close; ++v) {
      if (text[v] == '<' || (text[v] == '&' && !is_entity(text, v))) return std::string::npos;
    }
    i = close + 1;
  }
}

}  // namespace

std::string xml_problem(const std::string& text) {
  std::vector<std::string> open;
  bool root_done = false;
  for (size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c != '<') {
      if (c == '&' && !is_entity(text, i)) return "bare & at " + std::to_string(i);
      if (open.empty() && !std::isspace(static_cast<unsigned char>(c))) {
        return "text outside the root element at " + std::to_string(i);
      }
      ++i;
      continue;
    }
    const char* closer = text.compare(i, 2, "<?") == 0          ? "?>"
                         : text.compare(i, 4, "<!--") == 0      ? "-->"
                         : text.compare(i, 9, "<![CDATA[") == 0 ? "]]>"
                         : text.compare(i, 2, "<!") == 0        ? ">"
                                                                : nullptr;
    if (closer != nullptr) {
      const size_t end = text.find(closer, i);
      if (end == std::string::npos) return "unterminated markup at " + std::to_string(i);
      i = end + std::strlen(closer);
    } else if (text.compare(i, 2, "</") == 0) {
      const size_t end = text.find('>', i);
      if (end == std::string::npos) return "unterminated end tag at " + std::to_string(i);
      std::string name = text.substr(i + 2, end - i - 2);
      while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back())))
        name.pop_back();
      if (open.empty() || open.back() != name) return "</" + name + "> closes nothing open";
      open.pop_back();
      root_done = open.empty();
      i = end + 1;
    } else {
      std::string name;
      bool empty = false;
      const size_t end = read_start_tag(text, i, &name, &empty);
      if (end == std::string::npos) return "malformed tag at " + std::to_string(i);
      if (root_done && open.empty()) return "a second root element <" + name + ">";
      if (!empty) open.push_back(name);
      root_done = root_done || (empty && open.empty());
      i = end;
    }
  }
  if (!open.empty()) return "<" + open.back() + "> is never closed";
  return root_done ? "" : "no root element";
}

int svg_curves(const std::string& svg) {
  const std::string marker = "<g id=\"gnuplot_plot_";
  int curves = 0;
  for (size_t at = svg.find(marker); at != std::string::npos; at = svg.find(marker, at + 1)) {
    // The group runs to the </g> that balances its <g.
    int depth = 1;
    size_t i = at + 2;
    while (depth > 0) {
      const size_t open = svg.find("<g", i), close = svg.find("</g>", i);
      if (close == std::string::npos) return -1;
      if (open < close) {
        ++depth, i = open + 2;
      } else {
        --depth, i = close + 4;
      }
    }
    if (svg.substr(at, i - at).find("<path") != std::string::npos) ++curves;
  }
  return curves;
}

}  // namespace plot_test
