#include "app/entry.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>

#include "app/jobfile.h"
#include "model/fields.h"

namespace {

// ---------------------------------------------------------------------------
// Input buffer

bool is_space(int c) { return c != EOF && std::isspace(c) != 0; }

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Appends characters of the current line from the stream, up to its newline
// or until the buffer is full.
void load_more(EntryInput* in) {
  while (in->length < static_cast<size_t>(kEntryLineChunk) && !in->at_eof) {
    int c = std::getc(in->in);
    if (c == EOF) {
      in->at_eof = true;
      break;
    }
    in->line[in->length++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  in->line[in->length] = '\0';
}

// Makes the next character available; false at the end of input.
bool fill(EntryInput* in) {
  if (in->pos < in->length) return true;
  in->length = 0;
  in->pos = 0;
  load_more(in);
  return in->length > 0;
}

int peek(EntryInput* in) {
  return fill(in) ? static_cast<unsigned char>(in->line[in->pos]) : EOF;
}

bool chunk_ends_line(const EntryInput* in) {
  return in->at_eof || (in->length > 0 && in->line[in->length - 1] == '\n');
}

// Moves the unread rest of the line to the front of the buffer and loads
// more of it, so that a number is not cut by the end of a chunk.
void hold_rest_of_line(EntryInput* in) {
  if (chunk_ends_line(in) || in->pos == 0) return;
  std::memmove(in->line, in->line + in->pos, in->length - in->pos);
  in->length -= in->pos;
  in->pos = 0;
  load_more(in);
}

// Throws away what is left of a line that a reading has started on; at the
// start of a line there is nothing typed but unread, so nothing goes.
void discard(EntryInput* in) {
  bool started = in->pos < in->length || (in->length > 0 && !chunk_ends_line(in));
  if (!started) return;
  bool rest_in_stream = !chunk_ends_line(in);
  in->pos = in->length;
  while (rest_in_stream) {
    int c = std::getc(in->in);
    if (c == EOF) in->at_eof = true;
    rest_in_stream = c != EOF && c != '\n';
  }
}

// Skips white space, newlines included; false at the end of input.
bool skip_space(EntryInput* in) {
  int c = peek(in);
  while (is_space(c)) {
    ++in->pos;
    c = peek(in);
  }
  return c != EOF;
}

// ---------------------------------------------------------------------------
// Readings. A failed conversion consumes nothing but the white space before
// the answer, so the answer stays pending for the readings that follow.

enum class Got { ok, failed, too_long, ended };

Got read_char(EntryInput* in, int* c) {
  std::fflush(in->out);
  *c = peek(in);
  if (*c == EOF) return Got::ended;
  ++in->pos;
  return Got::ok;
}

// One word; at most 63 characters are stored, and the rest of a longer
// word's line is discarded.
Got read_word(EntryInput* in, char* field) {
  std::fflush(in->out);
  if (!skip_space(in)) return Got::ended;
  size_t n = 0;
  bool too_long = false;
  for (int c = peek(in); c != EOF && !is_space(c); c = peek(in)) {
    if (n < static_cast<size_t>(kParamsTextSize - 1)) {
      field[n++] = static_cast<char>(c);
    } else {
      too_long = true;
    }
    ++in->pos;
  }
  field[n] = '\0';
  if (!too_long) return Got::ok;
  discard(in);
  return Got::too_long;
}

// The answer word that starts at s, for messages: up to white space, at
// most 32 characters, bytes that do not print as '?'.
std::string answer_at(const char* s) {
  std::string word;
  for (; *s != '\0' && !is_space(static_cast<unsigned char>(*s)) && word.size() < 32; ++s) {
    word.push_back(std::isprint(static_cast<unsigned char>(*s)) ? *s : '?');
  }
  return word;
}

// Whether a number read from s up to end was the whole answer word.
bool whole_answer(const char* end) {
  return *end == '\0' || is_space(static_cast<unsigned char>(*end));
}

// A decimal integer with optional sign; one that does not fit 32 bits fails.
// An answer that is not wholly a number goes to *bad (the number it begins
// with is still taken, as a formatted read takes it).
Got read_int(EntryInput* in, int32_t* field, std::string* bad) {
  std::fflush(in->out);
  if (!skip_space(in)) return Got::ended;
  hold_rest_of_line(in);
  const char* s = in->line + in->pos;
  size_t i = 0;
  bool negative = s[0] == '-';
  if (s[0] == '-' || s[0] == '+') ++i;
  if (!is_digit(s[i])) {
    *bad = answer_at(s);
    return Got::failed;
  }
  int64_t value = 0;
  bool too_big = false;
  for (; is_digit(s[i]); ++i) {
    if (!too_big) value = value * 10 + (s[i] - '0');
    too_big = too_big || value > int64_t{INT32_MAX} + 1;
  }
  if (negative) value = -value;
  if (too_big || value > INT32_MAX || value < INT32_MIN) {
    *bad = answer_at(s);
    return Got::failed;
  }
  if (!whole_answer(s + i)) *bad = answer_at(s);
  *field = static_cast<int32_t>(value);
  in->pos += i;
  return Got::ok;
}

// A floating-point number in any form that strtod accepts; an answer that is
// not wholly one goes to *bad as in read_int.
Got read_double(EntryInput* in, double* field, std::string* bad) {
  std::fflush(in->out);
  if (!skip_space(in)) return Got::ended;
  hold_rest_of_line(in);
  const char* s = in->line + in->pos;
  char* end = nullptr;
  double value = std::strtod(s, &end);
  if (end == s) {
    *bad = answer_at(s);
    return Got::failed;
  }
  if (!whole_answer(end)) *bad = answer_at(s);
  *field = value;
  in->pos += static_cast<size_t>(end - s);
  return Got::ok;
}

// The rest of the current line, its newline consumed and not stored, nor
// the carriage returns just before it; at most 63 characters are stored, and
// a NUL byte ends the text (the rest of the line is consumed).
Got read_line(EntryInput* in, char* field) {
  std::fflush(in->out);
  if (peek(in) == EOF) return Got::ended;
  size_t n = 0;
  bool too_long = false;
  bool text_ended = false;
  size_t held_returns = 0;  // carriage returns not yet known to be inside the line
  auto store = [&](char ch) {
    if (text_ended) return;
    if (n < static_cast<size_t>(kParamsTextSize - 1)) {
      field[n++] = ch;
    } else {
      too_long = true;
    }
  };
  for (int c = peek(in); c != EOF; c = peek(in)) {
    ++in->pos;
    if (c == '\n') break;
    if (c == '\r') {
      ++held_returns;
    } else if (c == '\0') {
      text_ended = true;
    } else {
      for (; held_returns > 0; --held_returns) store('\r');
      store(static_cast<char>(c));
    }
  }
  // A text cut at 63 characters does not end in a carriage return either,
  // so that a job file saved from it reads back the same.
  while (too_long && n > 0 && field[n - 1] == '\r') --n;
  field[n] = '\0';
  return too_long ? Got::too_long : Got::ok;
}

// ---------------------------------------------------------------------------
// Messages on standard error, after the prompts so far.

void complain(EntryInput* in, const std::string& text) {
  std::fflush(in->out);
  std::fprintf(stderr, "corvanel: %s\n", text.c_str());
}

// The prompt's first line without the answer spacing, quoted.
std::string quoted(std::string_view prompt) {
  while (!prompt.empty() && prompt.front() == '\n') prompt.remove_prefix(1);
  prompt = prompt.substr(0, prompt.find('\n'));
  while (!prompt.empty() && prompt.back() == ' ') prompt.remove_suffix(1);
  return "\"" + std::string(prompt) + "\"";
}

// Records that the input ended at the given question; false, to stop the dialogue.
bool stop(EntryInput* in, const std::string& question) {
  in->ended = true;
  complain(in, "the input ended at " + question);
  return false;
}

// Says once per dialogue that an answer was not wholly a number. The
// readings go on as before (answer scripts rely on the questions asked), but
// the answers after it land in other fields, so the dialogue's job is refused.
void note_bad_answer(EntryInput* in, const std::string& question, const std::string& bad) {
  if (bad.empty() || in->bad_answer_noted) return;
  in->bad_answer_noted = true;
  complain(in, "the job entered: " + question + ": the answer \"" + bad +
                   "\" is not wholly a number; the job is refused");
}

void warn_too_long(EntryInput* in, const char* what) {
  complain(in, std::string(what) + " is longer than 63 characters; its first 63 are kept");
}

// ---------------------------------------------------------------------------
// Questions; each returns false when the dialogue must stop.

// The questions of the entered numbers, in the order of their table.
constexpr const char* kNumberPrompts[] = {
    "Enter in the spindle RPM:  ",
    "Enter in the feed per revolution:  ",
    "Enter in the depth of cut:  ",
    "Enter in the initial wear:  ",
    "Enter in the angle of inclination:  ",
    "Enter in the normal rake angle:  ",
    "Enter in the side cutting edge angle:  ",
    "Enter in the radius of the workpiece:  ",
    "Enter in the nose radius of the cutting edge:  ",
};
static_assert(std::size(kNumberPrompts) == std::size(kEnteredNumbers));

// The questions of a mode's numbers, in the order of their table.
constexpr const char* kModePrompts[] = {" Mass :   ", " Damping Ratio :   ", " Stiffness :   ",
                                        " Modal Angle :   "};
static_assert(std::size(kModePrompts) == std::size(kModeNumbers));

bool ask_int(EntryInput* in, const char* prompt, int32_t* field) {
  std::fputs(prompt, in->out);
  std::string bad;
  if (read_int(in, field, &bad) == Got::ended) return stop(in, quoted(prompt));
  note_bad_answer(in, quoted(prompt), bad);
  return true;
}

bool ask_double(EntryInput* in, const char* prompt, double* field) {
  std::fputs(prompt, in->out);
  std::string bad;
  if (read_double(in, field, &bad) == Got::ended) return stop(in, quoted(prompt));
  note_bad_answer(in, quoted(prompt), bad);
  return true;
}

bool ask_text(EntryInput* in, const char* prompt, char* field, const char* what) {
  std::fputs(prompt, in->out);
  Got got = read_line(in, field);
  if (got == Got::ended) return stop(in, quoted(prompt));
  if (got == Got::too_long) warn_too_long(in, what);
  return true;
}

// The process is asked as a word, of which the first letter is kept.
bool ask_process(EntryInput* in, char* process) {
  static const char kPrompt[] = "Enter in 'T' for the Turning process";
  std::fputs(kPrompt, in->out);
  char word[kParamsTextSize];
  if (read_word(in, word) == Got::ended) return stop(in, quoted(kPrompt));
  *process = word[0];
  return true;
}

// The title, process, units, cutting conditions and tool geometry.
bool ask_cut(SimParams* p, EntryInput* in) {
  discard(in);
  if (!ask_text(in, "Enter in the title:  ", p->title, "the title")) return false;
  if (!ask_process(in, &p->process)) return false;
  if (!ask_int(in, "Enter in the units to be used: 0 = English : 1 = Metric :  ", &p->units)) {
    return false;
  }
  for (size_t i = 0; i < std::size(kEnteredNumbers); ++i) {
    if (!ask_double(in, kNumberPrompts[i], &(p->*kEnteredNumbers[i].field))) return false;
  }
  return true;
}

// The materials, calculation type and run control.
bool ask_materials_and_run(SimParams* p, EntryInput* in) {
  discard(in);
  if (!ask_text(in, "Enter in the workpiece material:  ", p->workpiece_material,
                "the workpiece material") ||
      !ask_text(in, "Enter in the insert material:  ", p->insert_material, "the insert material") ||
      !ask_int(in,
               "Enter in the type of calculation you want performed:\n"
               "   0 = average  ;  1 = instantaneous  :   ",
               &p->calc_type) ||
      !ask_int(in, "Enter in the total number of revolutions to be simulated:\n", &p->revs_total) ||
      !ask_int(in, "Enter in the number of revolutions to be skipped:\n", &p->revs_skipped) ||
      !ask_int(in, "Enter the number of angular increments:\n", &p->angular_increments)) {
    return false;
  }
  if (p->angular_increments <= 0) p->angular_increments = 1;
  return true;
}

// The modes of both structures.
bool ask_structures(SimParams* p, EntryInput* in) {
  std::fputs("\nEnter degrees of freedom for spindle\n\n", in->out);
  in->structure = "spindle-workpiece";
  if (!entry_modal_set(&p->spindle_modes, in)) return false;
  std::fputs("\nDegrees of freedom for workpiece\n\n", in->out);
  in->structure = "tool";
  return entry_modal_set(&p->tool_modes, in) != 0;
}

// The file branch: reads the job from the named job file.
int load_job(SimParams* p, EntryInput* in) {
  static const char kPrompt[] = "Please enter filename for input data :   ";
  std::fputs(kPrompt, in->out);
  char name[kParamsTextSize];
  Got got = read_word(in, name);
  if (got == Got::ended) return stop(in, quoted(kPrompt));
  if (got == Got::too_long) warn_too_long(in, "the file name");
  std::string error;
  JobfileLines lines;
  if (!jobfile_read(p, name, &error, &lines)) {
    std::fputs("File Read Error", in->out);
    const std::string line = lines.error_line > 0 ? ":" + std::to_string(lines.error_line) : "";
    complain(in, std::string(name) + line + ": " + error);
    return 0;
  }
  std::fputs("File Read Successfully", in->out);
  return 1;
}

// Offers to save the typed job; the job stands whatever happens here.
void offer_save(const SimParams* p, EntryInput* in) {
  discard(in);
  std::fputs("\nDo you want to save the input data into a file (y/n)?   ", in->out);
  int answer = 0;
  if (read_char(in, &answer) == Got::ended) {
    complain(in, "the input ended at the save question; the job is not saved");
    return;
  }
  if (answer != 'y' && answer != 'Y') return;
  discard(in);
  std::fputs("\nPlease specify filename to save :   ", in->out);
  char name[kParamsTextSize];
  Got got = read_line(in, name);
  if (got == Got::ended) {
    complain(in, "the input ended before the file name to save; the job is not saved");
    return;
  }
  if (got == Got::too_long) warn_too_long(in, "the file name");
  std::string error;
  if (jobfile_write(p, name, &error)) {
    std::fputs("File Saved", in->out);
  } else {
    std::fputs("Error Savine File", in->out);
    complain(in, std::string(name) + ": " + error);
  }
}

}  // namespace

void entry_input_init(EntryInput* input, FILE* in, FILE* out) {
  input->in = in;
  input->out = out;
  input->line[0] = '\0';
  input->length = 0;
  input->pos = 0;
  input->at_eof = false;
  input->ended = false;
  input->bad_answer_noted = false;
  input->structure = "spindle-workpiece";
  input->direction = 'X';
}

void entry_modes(ModalMode* modes, int32_t count, EntryInput* in) {
  for (int32_t i = 0; i < count && !in->ended; ++i) {
    for (size_t f = 0; f < std::size(kModeNumbers); ++f) {
      std::fputs(kModePrompts[f], in->out);
      const std::string question = std::string("the ") + kModeNumbers[f].name + " of " +
                                   in->structure + " " + in->direction + " mode " +
                                   std::to_string(i + 1);
      std::string bad;
      if (read_double(in, &(modes[i].*kModeNumbers[f].field), &bad) == Got::ended) {
        stop(in, question);
        return;
      }
      note_bad_answer(in, question, bad);
    }
  }
}

int entry_modal_set(ModalSet* set, EntryInput* in) {
  ModalMode** lists[] = {&set->x_modes, &set->y_modes, &set->z_modes};
  int32_t* counts[] = {&set->x_count, &set->y_count, &set->z_count};
  static const char kAxes[] = "XYZ";
  for (int axis = 0; axis < 3; ++axis) {
    char prompt[64];
    std::snprintf(prompt, sizeof prompt, "Degrees of freedom in the %c-direction (5 max):  ",
                  kAxes[axis]);
    int32_t count = *counts[axis];
    if (!ask_int(in, prompt, &count)) return 0;
    if (count < 0 || count > kMaxModesPerDirection) {
      std::string what = std::string(in->structure) + " " + kAxes[axis] + " mode count " +
                         std::to_string(count);
      complain(in, what + " is outside 0 to 5");
      return 0;
    }
    if (!params_resize_modes(lists[axis], counts[axis], count)) {
      complain(in, std::string("not enough memory for the ") + in->structure + " modes");
      return 0;
    }
    in->direction = kAxes[axis];
    entry_modes(*lists[axis], count, in);
    if (in->ended) return 0;
  }
  return 1;
}

int entry_interactive_from(SimParams* params, FILE* in_stream, FILE* out) {
  EntryInput in;
  entry_input_init(&in, in_stream, out);
  static const char kPrompt[] = "Do you want to get input data from a file (y/n)?   ";
  std::fputs(kPrompt, out);
  int answer = 0;
  if (read_char(&in, &answer) == Got::ended) return stop(&in, quoted(kPrompt));
  int result = 0;
  if (answer == 'y' || answer == 'Y') {
    result = load_job(params, &in);
  } else if (ask_cut(params, &in) && ask_materials_and_run(params, &in) &&
             ask_structures(params, &in)) {
    offer_save(params, &in);
    result = in.bad_answer_noted ? 0 : 1;
  }
  std::fflush(out);
  return result;
}

int entry_interactive(SimParams* params) { return entry_interactive_from(params, stdin, stdout); }
