#include "app/console.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "app/jobfile.h"

namespace {

bool is_space(int c) {
  return c != EOF && std::isspace(c) != 0;
}

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// Appends characters of the current line from the stream, up to its newline
// or until the buffer is full.
void load_more(ConsoleInput* in) {
  while (in->length < static_cast<size_t>(kConsoleLineChunk) && !in->at_eof) {
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
bool fill(ConsoleInput* in) {
  if (in->pos < in->length) return true;
  in->length = 0;
  in->pos = 0;
  load_more(in);
  return in->length > 0;
}

int peek(ConsoleInput* in) {
  return fill(in) ? static_cast<unsigned char>(in->line[in->pos]) : EOF;
}

bool chunk_ends_line(const ConsoleInput* in) {
  return in->at_eof || (in->length > 0 && in->line[in->length - 1] == '\n');
}

// Moves the unread rest of the line to the front of the buffer and loads
// more of it, so that a number is not cut by the end of a chunk.
void hold_rest_of_line(ConsoleInput* in) {
  if (chunk_ends_line(in) || in->pos == 0) return;
  std::memmove(in->line, in->line + in->pos, in->length - in->pos);
  in->length -= in->pos;
  in->pos = 0;
  load_more(in);
}

// Skips white space, newlines included; false at the end of input.
bool skip_space(ConsoleInput* in) {
  int c = peek(in);
  while (is_space(c)) {
    ++in->pos;
    c = peek(in);
  }
  return c != EOF;
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

}  // namespace

void console_init(ConsoleInput* input, FILE* in, FILE* out) {
  input->in = in;
  input->out = out;
  input->line[0] = '\0';
  input->length = 0;
  input->pos = 0;
  input->at_eof = false;
}

// Throws away what is left of a line that a reading has started on; at the
// start of a line there is nothing typed but unread, so nothing goes.
void console_discard(ConsoleInput* in) {
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

ConsoleGot console_read_char(ConsoleInput* in, int* c) {
  std::fflush(in->out);
  *c = peek(in);
  if (*c == EOF) return CONSOLE_ENDED;
  ++in->pos;
  return CONSOLE_OK;
}

// One word; at most 63 characters are stored, and the rest of a longer
// word's line is discarded.
ConsoleGot console_read_word(ConsoleInput* in, char* field) {
  std::fflush(in->out);
  if (!skip_space(in)) return CONSOLE_ENDED;
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
  if (!too_long) return CONSOLE_OK;
  console_discard(in);
  return CONSOLE_TOO_LONG;
}

// A decimal integer with optional sign; one that does not fit 32 bits fails.
// An answer that is not wholly a number goes to *bad (the number it begins
// with is still taken, as a formatted read takes it).
ConsoleGot console_read_int(ConsoleInput* in, int32_t* field, std::string* bad) {
  std::fflush(in->out);
  if (!skip_space(in)) return CONSOLE_ENDED;
  hold_rest_of_line(in);
  const char* s = in->line + in->pos;
  size_t i = 0;
  bool negative = s[0] == '-';
  if (s[0] == '-' || s[0] == '+') ++i;
  if (!is_digit(s[i])) {
    *bad = answer_at(s);
    return CONSOLE_FAILED;
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
    return CONSOLE_FAILED;
  }
  if (!whole_answer(s + i)) *bad = answer_at(s);
  *field = static_cast<int32_t>(value);
  in->pos += i;
  return CONSOLE_OK;
}

// A floating-point number in any form that strtod accepts; an answer that is
// not wholly one goes to *bad as in read_int.
ConsoleGot console_read_double(ConsoleInput* in, double* field, std::string* bad) {
  std::fflush(in->out);
  if (!skip_space(in)) return CONSOLE_ENDED;
  hold_rest_of_line(in);
  const char* s = in->line + in->pos;
  char* end = nullptr;
  double value = std::strtod(s, &end);
  if (end == s) {
    *bad = answer_at(s);
    return CONSOLE_FAILED;
  }
  if (!whole_answer(end)) *bad = answer_at(s);
  *field = value;
  in->pos += static_cast<size_t>(end - s);
  return CONSOLE_OK;
}

ConsoleGot console_read_line(ConsoleInput* in, char* field) {
  std::fflush(in->out);
  bool cut = false;
  const auto next = [in] {
    const int c = peek(in);
    if (c != EOF) ++in->pos;
    return c;
  };
  if (jobfile_read_line_from(field, next, &cut) == JOBFILE_LINE_END) return CONSOLE_ENDED;
  if (!cut) return CONSOLE_OK;  // a NUL byte only ends the text
  // A text cut at 63 characters does not end in a carriage return either,
  // so that a job file saved from it reads back the same.
  for (size_t n = std::strlen(field); n > 0 && field[n - 1] == '\r'; --n) field[n - 1] = '\0';
  return CONSOLE_TOO_LONG;
}
