// Numbers of the result rows written with std::to_chars: the same characters
// as the printf conversions named below (exact decimal conversion, ties to
// even, "nan", "-nan", "inf", "-inf"), without parsing a format each time.
#pragma once

#include <cstdio>

inline constexpr int kFormatRowSize = 2048;  // room for a row of four "%lf" numbers at 1e308

// A row being composed; the numbers are appended, then the row is written.
struct FormatRow {
  char text[kFormatRowSize];
  int length;  // characters in text
  int failed;  // 1 when a number did not fit (the row is then not written)
};

// Empties the row.
void format_begin(FormatRow* row);

// Appends value as printf's "%<width>.<precision>f" (any unit; width 0 for none).
void format_fixed(FormatRow* row, double value, int precision, int width);

// Appends value as printf's "%e" (any unit).
void format_exp(FormatRow* row, double value);

// Appends value as printf's "%<width>d" (width 0 for none).
void format_int(FormatRow* row, int value, int width);

// Appends the characters of text.
void format_text(FormatRow* row, const char* text);

// Writes the row to out; 0 when it did not fit or the stream refused it.
int format_write(const FormatRow* row, FILE* out);
