// Job files: one SimParams as plain text in its entered units.
#pragma once

#include <cstdio>
#include <string>

#include "model/params.h"

// Writes the job; 1 when the whole file was written, 0 when it cannot be
// created or the job cannot be stored faithfully (error says why).
int jobfile_write(const SimParams* params, const char* path, std::string* error = nullptr);

// Reads a job into a record from params_create. 1 when read to the end of
// the table or to its end (items not reached keep their values); 0 when the
// file cannot be opened or read, is empty, a text line is too long or holds a
// NUL byte, a number is not a number, or a mode count is negative or above 5
// (error says which item and why).
int jobfile_read(SimParams* params, const char* path, std::string* error = nullptr);

enum JobfileLine {
  JOBFILE_LINE_HOLDS_NUL = -2,  // a NUL byte in the line (not a text file); the rest is skipped
  JOBFILE_LINE_TOO_LONG = -1,  // more than 63 characters: buf holds the first 63, the rest is skipped
  JOBFILE_LINE_END = 0,        // end of file before any character: buf unchanged
  JOBFILE_LINE_OK = 1,
};

// Reads one text line of at most 63 characters into buf (64 bytes), without
// its line end or the carriage returns just before it.
JobfileLine jobfile_read_line(char* buf, FILE* in);
