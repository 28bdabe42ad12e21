// Console input read through the program's own buffer, so that pending
// input can be discarded on a pipe as on a terminal: the answers of the
// dialogue (characters, words, whole numbers, numbers and text lines).
// A failed conversion consumes nothing but the white space before the
// answer, so the answer stays pending for the readings that follow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

inline constexpr int kConsoleLineChunk = 4096;  // characters of one input line held at a time

// The buffer holds the current input line (up to kConsoleLineChunk
// characters of it at a time); a line counts as started once a reading has
// looked at any of it.
struct ConsoleInput {
  FILE* in;                          // read with getc
  FILE* out;                         // prompts; flushed before every read
  char line[kConsoleLineChunk + 1];  // current line as far as loaded, newline included, terminated
  size_t length;                     // characters in line
  size_t pos;                        // characters of line already consumed
  bool at_eof;                       // getc has reported the end of input
};

enum ConsoleGot {
  CONSOLE_OK,
  CONSOLE_FAILED,    // not a number: nothing but the blanks before it consumed
  CONSOLE_TOO_LONG,  // a word or line above 63 characters: the first 63 kept
  CONSOLE_ENDED,     // the input ended before the answer
};

// Prepares input read from `in` with prompts written to `out`.
void console_init(ConsoleInput* input, FILE* in, FILE* out);

// Throws away what is left of a line that a reading has started on; at the
// start of a line there is nothing typed but unread, so nothing goes.
void console_discard(ConsoleInput* input);

// The next character, white space included.
ConsoleGot console_read_char(ConsoleInput* input, int* c);

// One word into field (64 bytes); at most 63 characters are stored, and the
// rest of a longer word's line is discarded.
ConsoleGot console_read_word(ConsoleInput* input, char* field);

// A decimal integer with optional sign; one that does not fit 32 bits fails.
// An answer that is not wholly a number goes to *bad (the number it begins
// with is still taken, as a formatted read takes it).
ConsoleGot console_read_int(ConsoleInput* input, int32_t* field, std::string* bad);

// A floating-point number in any form that strtod accepts; an answer that is
// not wholly one goes to *bad as in console_read_int.
ConsoleGot console_read_double(ConsoleInput* input, double* field, std::string* bad);

// The rest of the current line into field (64 bytes), read as a job file's
// text line: its newline consumed and not stored, nor the carriage returns
// just before it; at most 63 characters are stored (a cut text keeps no
// carriage return at its end either), and a NUL byte ends the text.
ConsoleGot console_read_line(ConsoleInput* input, char* field);
