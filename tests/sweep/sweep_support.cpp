#include "tests/sweep/sweep_support.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <sstream>

namespace sweep_test {

using test_support::read_file;
using test_support::write_file;

std::string base_job(int revs_total, int revs_skipped, int increments) {
  return "Sweep test job\nT\n1\n1000.000000\n0.100000\n2.000000\n0.000000\n0.000000\n"
         "0.000000\n0.000000\n50.000000\n0.800000\nSWEEPSTEEL\nSWEEPTOOL\n0\n"
         "0\n0\n0\n"
         "1\n91.594350\n0.012000\n226000.000000\n0.000000\n0\n0\n" +
         std::to_string(revs_total) + "\n" + std::to_string(revs_skipped) + "\n" +
         std::to_string(increments) + "\n";
}

const char kWearDb[] = "SWEEPSTEEL SWEEPTOOL 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n";
const char kCoefficientDb[] =
    "SWEEPSTEEL      SWEEPTOOL                         0 145037.78596918963 0 0 "
    "290075.57193837926 0 0 0 0 0\n";

void write_base(const test_support::ScratchDir& dir, const std::string& job_text) {
  write_file(dir.file("base.in"), job_text);
  write_file(dir.file("wear.db"), kWearDb);
  write_file(dir.file("kfkncfa.db"), kCoefficientDb);
}

std::string quoted(const std::string& text) {
  std::string q = "'";
  for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

Outcome sweep(const std::string& dir, const std::string& args, const std::string& env) {
  const std::string err = dir + "/.sweep-stderr";
  const std::string command = "cd " + quoted(dir) + " && " + env + " " +
                              quoted(CORVANEL_SWEEP_BINARY) + " " + args + " 2>" + quoted(err);
  Outcome o;
  o.exit_code = test_support::run_command(command, &o.out);
  o.err = read_file(err);
  return o;
}

void plan(const test_support::ScratchDir& dir, const std::string& grid, const std::string& extra) {
  const Outcome o = sweep(dir.path(), "plan base.in " + grid + " out --corvanel " +
                                          quoted(CORVANEL_BINARY) + " " + extra);
  ASSERT_EQ(o.exit_code, 0) << o.err;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

size_t count_of(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

namespace {

bool name_char(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == ':' || c == '-' ||
         c == '.';
}

// Checks the entity references of a text or attribute value.
std::string entity_problem(const std::string& text) {
  for (size_t at = text.find('&'); at != std::string::npos; at = text.find('&', at + 1)) {
    const size_t end = text.find(';', at);
    if (end == std::string::npos) return "unterminated entity";
    const std::string name = text.substr(at + 1, end - at - 1);
    static const std::set<std::string> known = {"amp", "lt", "gt", "quot", "apos"};
    const bool numeric = name.size() > 1 && name[0] == '#' &&
                         name.find_first_not_of("0123456789", 1) == std::string::npos;
    if (!known.count(name) && !numeric) return "unknown entity &" + name + ";";
  }
  return {};
}

struct Reader {
  const std::string& s;
  size_t i = 0;
  std::string name() {
    const size_t start = i;
    while (i < s.size() && name_char(s[i])) ++i;
    return s.substr(start, i - start);
  }
  void blanks() {
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  }
};

// Reads the attributes of a start tag up to its end; sets *empty for "/>".
std::string attributes(Reader& r, bool* empty) {
  std::set<std::string> seen;
  for (;;) {
    r.blanks();
    if (r.i >= r.s.size()) return "unterminated tag";
    if (r.s.compare(r.i, 2, "/>") == 0) return r.i += 2, *empty = true, "";
    if (r.s[r.i] == '>') return ++r.i, *empty = false, "";
    const std::string attr = r.name();
    if (attr.empty() || !seen.insert(attr).second) return "bad or repeated attribute";
    r.blanks();
    if (r.i >= r.s.size() || r.s[r.i] != '=') return "attribute " + attr + " without value";
    ++r.i;
    r.blanks();
    const char quote = r.i < r.s.size() ? r.s[r.i] : 0;
    if (quote != '"' && quote != '\'') return "unquoted attribute " + attr;
    const size_t end = r.s.find(quote, r.i + 1);
    if (end == std::string::npos) return "unterminated attribute " + attr;
    const std::string value = r.s.substr(r.i + 1, end - r.i - 1);
    if (value.find('<') != std::string::npos) return "< in attribute " + attr;
    if (std::string p = entity_problem(value); !p.empty()) return p;
    r.i = end + 1;
  }
}

}  // namespace

std::string xml_problem(const std::string& text) {
  Reader r{text};
  if (text.compare(0, 5, "<?xml") == 0) {
    const size_t end = text.find("?>");
    if (end == std::string::npos) return "unterminated declaration";
    r.i = end + 2;
  }
  std::vector<std::string> open;
  int roots = 0;
  while (r.i < text.size()) {
    const size_t lt = text.find('<', r.i);
    const std::string chunk =
        text.substr(r.i, lt == std::string::npos ? std::string::npos : lt - r.i);
    if (open.empty() && chunk.find_first_not_of(" \t\r\n") != std::string::npos)
      return "text outside the root element";
    if (std::string p = entity_problem(chunk); !p.empty()) return p;
    if (lt == std::string::npos) break;
    r.i = lt + 1;
    if (text.compare(r.i, 3, "!--") == 0) {
      const size_t end = text.find("-->", r.i);
      if (end == std::string::npos) return "unterminated comment";
      r.i = end + 3;
      continue;
    }
    if (r.i < text.size() && text[r.i] == '/') {
      ++r.i;
      const std::string name = r.name();
      r.blanks();
      if (open.empty() || open.back() != name || r.i >= text.size() || text[r.i] != '>')
        return "mismatched end tag </" + name + ">";
      open.pop_back();
      ++r.i;
      continue;
    }
    const std::string name = r.name();
    if (name.empty()) return "bad tag name";
    if (open.empty() && ++roots > 1) return "more than one root element";
    bool empty = false;
    if (std::string p = attributes(r, &empty); !p.empty()) return p + " in <" + name + ">";
    if (!empty) open.push_back(name);
  }
  if (!open.empty()) return "unclosed <" + open.back() + ">";
  return roots == 1 ? "" : "no root element";
}

}  // namespace sweep_test
