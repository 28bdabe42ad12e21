// The console's text answers are read by the job file's line reader: both
// give the same text for the same line, and the console's own answers.
#include "app/console.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/jobfile.h"

namespace {

FILE* stream_of(const std::string& text) {
  FILE* f = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), f);
  std::rewind(f);
  return f;
}

}  // namespace

TEST(ConsoleReadLine, ReadsALineAsTheJobFileReaderDoes) {
  const std::string long_line = std::string(62, 'a') + "\r\rbcd";
  const struct Case {
    std::string input;
    ConsoleGot console;
    JobfileLine jobfile;
    std::string console_text, jobfile_text;
  } cases[] = {
      {"Steel run\r\n", CONSOLE_OK, JOBFILE_LINE_OK, "Steel run", "Steel run"},
      {"a\rb\r\r\nnext", CONSOLE_OK, JOBFILE_LINE_OK, "a\rb", "a\rb"},
      {"last line without end", CONSOLE_OK, JOBFILE_LINE_OK, "last line without end",
       "last line without end"},
      {std::string("ab\0cd\n", 6), CONSOLE_OK, JOBFILE_LINE_HOLDS_NUL, "ab", "ab"},
      {std::string(63, 'x') + "\n", CONSOLE_OK, JOBFILE_LINE_OK, std::string(63, 'x'),
       std::string(63, 'x')},
      // Cut at 63: the console drops the carriage return the cut left at the end.
      {long_line + "\n", CONSOLE_TOO_LONG, JOBFILE_LINE_TOO_LONG, std::string(62, 'a'),
       std::string(62, 'a') + "\r"},
      {std::string(70, 'y') + std::string("\0z\n", 3), CONSOLE_TOO_LONG, JOBFILE_LINE_HOLDS_NUL,
       std::string(63, 'y'), std::string(63, 'y')},
      {"", CONSOLE_ENDED, JOBFILE_LINE_END, "", ""},
  };
  for (const Case& c : cases) {
    char from_console[64] = "", from_file[64] = "";
    FILE* in = stream_of(c.input);
    FILE* out = std::tmpfile();
    ConsoleInput console;
    console_init(&console, in, out);
    EXPECT_EQ(console_read_line(&console, from_console), c.console) << c.input;
    EXPECT_EQ(std::string(from_console), c.console_text) << c.input;
    std::rewind(in);
    EXPECT_EQ(jobfile_read_line(from_file, in), c.jobfile) << c.input;
    EXPECT_EQ(std::string(from_file), c.jobfile_text) << c.input;
    std::fclose(in);
    std::fclose(out);
  }
}

TEST(ConsoleReadLine, ConsumesTheWholeLineAndNoMore) {
  FILE* in = stream_of(std::string(100, 'q') + "\n42 7.5\n");
  FILE* out = std::tmpfile();
  ConsoleInput console;
  console_init(&console, in, out);
  char text[64];
  EXPECT_EQ(console_read_line(&console, text), CONSOLE_TOO_LONG);
  int32_t whole = 0;
  double number = 0;
  std::string bad;
  EXPECT_EQ(console_read_int(&console, &whole, &bad), CONSOLE_OK);
  EXPECT_EQ(console_read_double(&console, &number, &bad), CONSOLE_OK);
  EXPECT_EQ(whole, 42);
  EXPECT_EQ(number, 7.5);
  EXPECT_EQ(bad, "");
  EXPECT_EQ(console_read_int(&console, &whole, &bad), CONSOLE_ENDED);
  std::fclose(in);
  std::fclose(out);
}
