// Job files: one SimParams as plain text in its entered units.
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "model/params.h"

// Writes the job; 1 when the whole file was written, 0 when it cannot be
// created or the job cannot be stored faithfully (error says why).
int jobfile_write(const SimParams* params, const char* path, std::string* error = nullptr);

// Where the items of a job file stand: the line of each field read, and the
// line of the item a refusal names.
struct JobfileLines {
  std::vector<std::pair<const void*, int>> items;  // field of the record, line from 1
  int error_line = 0;                              // 0 when the refusal names no line
};

// Reads a job into a record from params_create. 1 when read to the end of
// the table, or to the end of a file that ends after the revolution count
// (the items not reached keep their values); 0 when the file cannot be opened
// or read, is empty, ends before the revolution count, a text line is too
// long or holds a NUL byte, a number token is not wholly a number, or a mode
// count is negative or above 5 (error says which item and why, lines where).
int jobfile_read(SimParams* params, const char* path, std::string* error = nullptr,
                 JobfileLines* lines = nullptr);

// Line (from 1) of the field of the record as jobfile_read found it, 0 if not read.
int jobfile_line_of(const JobfileLines* lines, const void* field);

enum JobfileLine {
  JOBFILE_LINE_HOLDS_NUL = -2,  // a NUL byte in the line (not a text file); the rest is skipped
  JOBFILE_LINE_TOO_LONG =
      -1,                // more than 63 characters: buf holds the first 63, the rest is skipped
  JOBFILE_LINE_END = 0,  // end of file before any character: buf unchanged
  JOBFILE_LINE_OK = 1,
};

// Reads one text line of at most 63 characters into buf (64 bytes), without
// its line end or the carriage returns just before it.
JobfileLine jobfile_read_line(char* buf, FILE* in);

// The same line reader over any source: next() gives the next character (as
// unsigned char) or EOF. The console's text answers are read with it too.
// *cut (may be null) tells whether characters past the 63rd were dropped
// before any NUL byte, whichever of the two the result names.
template <class Next>
JobfileLine jobfile_read_line_from(char* buf, Next next, bool* cut = nullptr) {
  int length = 0;
  if (cut != nullptr) *cut = false;
  int c = next();
  if (c == EOF) return JOBFILE_LINE_END;
  bool too_long = false;
  bool holds_nul = false;
  int held_returns = 0;  // carriage returns not yet known to be inside the line
  auto store = [&](char ch) {
    if (holds_nul) return;
    if (length < kParamsTextSize - 1) {
      buf[length++] = ch;
    } else {
      too_long = true;
    }
  };
  while (c != EOF && c != '\n') {
    if (c == '\r') {
      ++held_returns;
    } else if (c == '\0') {
      holds_nul = true;
    } else {
      for (; held_returns > 0; --held_returns) store('\r');
      store(static_cast<char>(c));
    }
    c = next();
  }
  // Carriage returns just before the line end (files written on other
  // systems, or converted twice) belong to the line end.
  buf[length] = '\0';
  if (cut != nullptr) *cut = too_long;
  if (holds_nul) return JOBFILE_LINE_HOLDS_NUL;
  return too_long ? JOBFILE_LINE_TOO_LONG : JOBFILE_LINE_OK;
}
