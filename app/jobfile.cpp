#include "app/jobfile.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "model/fields.h"

namespace {

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

void set_error(std::string* error, const std::string& text) {
  if (error != nullptr) *error = text;
}

const char* const kAxisNames[] = {"X", "Y", "Z"};

// A job file being read: the stream, the line of the next character, and
// where the line of each item read and of a refusal go.
struct Reader {
  FILE* in;
  int line;             // line of the next character, from 1
  bool required;        // an end of file here refuses the job
  JobfileLines* lines;  // or null
  std::string* error;   // or null
};

int get(Reader& r) {
  const int c = std::getc(r.in);
  if (c == '\n') ++r.line;
  return c;
}

void unget(Reader& r, int c) {
  if (c == EOF) return;
  std::ungetc(c, r.in);
  if (c == '\n') --r.line;
}

void skip_white_space(Reader& r) {
  int c;
  do {
    c = get(r);
  } while (c != EOF && std::isspace(c));
  unget(r, c);
}

// Refuses the job at the current line.
int refuse(Reader& r, int line, const std::string& text) {
  set_error(r.error, text);
  if (r.lines != nullptr) r.lines->error_line = line;
  return 0;
}

void note_line(Reader& r, const void* field, int line) {
  if (r.lines != nullptr) r.lines->items.push_back({field, line});
}

enum class Read { ok, ended, refused };

// The end of the file before `what`: before the revolution count nothing
// would be simulated, so the job is refused; after it the rest keeps its
// defaults.
Read ended_before(Reader& r, const std::string& what) {
  if (!r.required) return Read::ended;
  refuse(r, r.line,
         what +
             ": the job file ends here, before the revolutions to simulate; nothing would be "
             "simulated");
  return Read::refused;
}

// For messages: at most 16 characters of a token, bytes that do not print as '?'.
std::string shown(const std::string& token) {
  std::string text;
  for (size_t i = 0; i < token.size() && i < 16; ++i) {
    const unsigned char c = static_cast<unsigned char>(token[i]);
    text.push_back(std::isprint(c) ? static_cast<char>(c) : '?');
  }
  return text;
}

constexpr size_t kLongestNumber = 400;  // characters of a number token that are parsed

// Reads the white-space separated token of the next item; its line goes to *line.
Read read_token(Reader& r, std::string* token, int* line, const std::string& what) {
  skip_white_space(r);
  *line = r.line;
  int c = get(r);
  if (c == EOF) return ended_before(r, what);
  token->clear();
  while (c != EOF && !std::isspace(c)) {
    if (token->size() <= kLongestNumber) token->push_back(static_cast<char>(c));
    c = get(r);
  }
  unget(r, c);
  return Read::ok;
}

// A number must be the whole token: "0.2.5", "12OO" or "2,0" would leave
// the rest of the token to the next item and shift every later one.
bool parse_whole(const std::string& token, double* value) {
  if (token.empty() || token.size() > kLongestNumber || token.find('\0') != std::string::npos)
    return false;
  char* end = nullptr;
  const double parsed = std::strtod(token.c_str(), &end);
  if (end != token.c_str() + token.size()) return false;
  *value = parsed;
  return true;
}

bool parse_whole(const std::string& token, int32_t* value) {
  if (token.empty() || token.size() > kLongestNumber || token.find('\0') != std::string::npos)
    return false;
  char* end = nullptr;
  errno = 0;
  const long long parsed = std::strtoll(token.c_str(), &end, 10);
  if (end != token.c_str() + token.size()) return false;
  if (errno == ERANGE || parsed < INT32_MIN || parsed > INT32_MAX) return false;
  *value = static_cast<int32_t>(parsed);
  return true;
}

// What a token that is not wholly a value of the field's kind is.
const char* kind_of(const double*, const std::string&) {
  return "a number";
}
const char* kind_of(const int32_t*, const std::string& token) {
  double value = 0;
  return parse_whole(token, &value) ? "a whole number of 32 bits" : "a number";
}

// Reads one number item into field; a token that is not wholly a number
// refuses the job at its own line.
template <typename T>
Read read_number(Reader& r, T* field, const std::string& what) {
  std::string token;
  int line = 0;
  const Read got = read_token(r, &token, &line, what);
  if (got != Read::ok) return got;
  T value{};
  if (!parse_whole(token, &value)) {
    refuse(r, line, what + ": \"" + shown(token) + "\" is not " + kind_of(field, token));
    return Read::refused;
  }
  *field = value;
  note_line(r, field, line);
  return Read::ok;
}

void write_modal_block(FILE* out, const ModalSet& set) {
  const ModalMode* lists[] = {set.x_modes, set.y_modes, set.z_modes};
  const int32_t counts[] = {set.x_count, set.y_count, set.z_count};
  for (int axis = 0; axis < 3; ++axis) {
    std::fprintf(out, "%d\n", counts[axis]);
    for (int i = 0; i < counts[axis]; ++i) {
      for (const ModeNumber& n : kModeNumbers) std::fprintf(out, "%lf\n", lists[axis][i].*n.field);
    }
  }
}

// Reads the three directions of one structure. Counts outside 0..5 refuse the job.
Read read_modal_block(Reader& r, ModalSet* set, const char* structure) {
  ModalMode** lists[] = {&set->x_modes, &set->y_modes, &set->z_modes};
  int32_t* counts[] = {&set->x_count, &set->y_count, &set->z_count};
  for (int axis = 0; axis < 3; ++axis) {
    int32_t count = *counts[axis];
    const std::string direction = std::string(structure) + " " + kAxisNames[axis];
    const Read got = read_number(r, &count, "the " + direction + " mode count");
    if (got != Read::ok) return got;
    if (count < 0 || count > kMaxModesPerDirection) {
      refuse(r, r.line, direction + " mode count " + std::to_string(count) + " is outside 0 to 5");
      return Read::refused;
    }
    if (!params_resize_modes(lists[axis], counts[axis], count)) {
      refuse(r, r.line, "the " + direction + " mode count: out of memory for the modes");
      return Read::refused;
    }
    for (int i = 0; i < count; ++i) {
      ModalMode& m = (*lists[axis])[i];
      const std::string mode = " of " + direction + " mode " + std::to_string(i + 1);
      for (const ModeNumber& n : kModeNumbers) {
        const Read read = read_number(r, &(m.*n.field), std::string("the ") + n.name + mode);
        if (read != Read::ok) return read;
      }
    }
  }
  return Read::ok;
}

// Reads one white-space separated word and keeps its first character.
Read read_process_word(Reader& r, char* process) {
  skip_white_space(r);
  const int line = r.line;
  int c = get(r);
  if (c == EOF) return ended_before(r, "the process");
  *process = static_cast<char>(c);
  note_line(r, process, line);
  while (c != EOF && !std::isspace(c)) c = get(r);
  unget(r, c);
  return Read::ok;
}

// Reads a text line into field; a line that does not fit refuses the job.
Read read_text(Reader& r, char* field, const char* what) {
  const int line = r.line;
  const JobfileLine got = jobfile_read_line(field, r.in);
  if (got == JOBFILE_LINE_END) return ended_before(r, what);
  ++r.line;  // the line end, or the end of the file that ends the last line
  note_line(r, field, line);
  switch (got) {
    case JOBFILE_LINE_TOO_LONG:
      refuse(r, line, std::string(what) + " is longer than 63 characters");
      return Read::refused;
    case JOBFILE_LINE_HOLDS_NUL:
      refuse(r, line, std::string(what) + " holds a NUL byte; a job file is plain text");
      return Read::refused;
    default:
      return Read::ok;
  }
}

// Items 2 to 17 of the file: process, units, the nine cutting numbers, the
// materials, the calculation type and both modal blocks.
Read read_job_body(Reader& r, SimParams* p) {
  Read got = read_process_word(r, &p->process);
  if (got == Read::ok) got = read_number(r, &p->units, "the units");
  for (const EnteredNumber& n : kEnteredNumbers) {
    if (got == Read::ok) got = read_number(r, &(p->*n.field), std::string("the ") + n.name);
  }
  if (got != Read::ok) return got;
  skip_white_space(r);
  got = read_text(r, p->workpiece_material, "the workpiece material");
  if (got == Read::ok) got = read_text(r, p->insert_material, "the insert material");
  if (got == Read::ok) got = read_number(r, &p->calc_type, "the calculation type");
  if (got == Read::ok) got = read_modal_block(r, &p->spindle_modes, "spindle-workpiece");
  if (got == Read::ok) got = read_modal_block(r, &p->tool_modes, "tool");
  return got;
}

}  // namespace

JobfileLine jobfile_read_line(char* buf, FILE* in) {
  return jobfile_read_line_from(buf, [in] { return std::getc(in); });
}

int jobfile_write(const SimParams* p, const char* path, std::string* error) {
  // Names that read back differently would shift every later item of the file.
  if (p->workpiece_material[0] == '\0' ||
      std::isspace(static_cast<unsigned char>(p->workpiece_material[0]))) {
    set_error(
        error,
        "the workpiece material is empty or starts with a blank, which a job file cannot hold");
    return 0;
  }
  if (p->process == '\0' || std::isspace(static_cast<unsigned char>(p->process))) {
    set_error(error, "the process letter is missing");
    return 0;
  }
  File out(std::fopen(path, "w"));
  if (!out) {
    set_error(error, std::string("cannot create the file: ") + std::strerror(errno));
    return 0;
  }
  FILE* f = out.get();
  std::fprintf(f, "%s\n", p->title);
  std::fprintf(f, "%c\n", p->process);
  std::fprintf(f, "%d\n", p->units);
  for (const EnteredNumber& n : kEnteredNumbers) std::fprintf(f, "%lf\n", p->*n.field);
  std::fprintf(f, "%s\n%s\n", p->workpiece_material, p->insert_material);
  std::fprintf(f, "%d\n", p->calc_type);
  write_modal_block(f, p->spindle_modes);
  write_modal_block(f, p->tool_modes);
  std::fprintf(f, "%d\n%d\n%d\n", p->revs_total, p->revs_skipped, p->angular_increments);
  bool written = std::ferror(f) == 0;
  if (std::fclose(out.release()) != 0) written = false;
  if (!written) {
    set_error(error, std::string("cannot write the file: ") + std::strerror(errno));
    return 0;
  }
  return 1;
}

int jobfile_read(SimParams* p, const char* path, std::string* error, JobfileLines* lines) {
  if (lines != nullptr) *lines = JobfileLines{};
  File in(std::fopen(path, "r"));
  if (!in) {
    set_error(error, std::string("cannot open the job file: ") + std::strerror(errno));
    return 0;
  }
  FILE* f = in.get();
  // An empty file holds no job at all.
  const int first = std::getc(f);
  if (first == EOF) {
    set_error(error, std::ferror(f) != 0
                         ? std::string("cannot read the job file: ") + std::strerror(errno)
                         : std::string("the job file is empty"));
    return 0;
  }
  std::ungetc(first, f);
  Reader r{f, 1, true, lines, error};
  Read got = read_text(r, p->title, "the title");
  if (got == Read::ok) got = read_job_body(r, p);
  if (got == Read::ok) got = read_number(r, &p->revs_total, "the revolutions to simulate");
  // A file that ends after the revolution count keeps the defaults of the rest.
  r.required = false;
  if (got == Read::ok) got = read_number(r, &p->revs_skipped, "the revolutions to skip");
  if (got == Read::ok) got = read_number(r, &p->angular_increments, "the angular increments");
  if (got == Read::refused) return 0;
  if (p->angular_increments <= 0) p->angular_increments = 1;
  if (std::ferror(f) != 0) {
    set_error(error, std::string("cannot read the job file: ") + std::strerror(errno));
    return 0;
  }
  return 1;
}

int jobfile_line_of(const JobfileLines* lines, const void* field) {
  if (lines == nullptr || field == nullptr) return 0;
  for (const auto& [item, line] : lines->items) {
    if (item == field) return line;
  }
  return 0;
}
