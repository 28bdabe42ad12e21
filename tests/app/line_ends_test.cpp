// Text lines from other systems and from binary files, in job files and in
// the dialogue: carriage returns, NUL bytes and empty files.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/entry.h"
#include "app/jobfile.h"
#include "tests/support/test_support.h"

using test_support::read_file;
using test_support::ScratchDir;
using test_support::write_file;

namespace {

struct Record {
  SimParams* p = params_create();
  ~Record() { params_free(p); }
};

// The job file with every line ended by `end`.
std::string job_with_line_end(const std::string& title, const std::string& end) {
  const char* lines[] = {"T",    "1", "1000", "0.2", "2", "0", "0", "0", "15", "50", "0.8", "STEEL",
                         "CARB", "0", "0",    "0",   "0", "0", "0", "0", "3",  "1",  "100"};
  std::string text = title + end;
  for (const char* line : lines) text += std::string(line) + end;
  return text;
}

int read_job(SimParams* p, const ScratchDir& dir, const std::string& text, std::string* error) {
  write_file(dir.file("job.in"), text);
  return jobfile_read(p, dir.file("job.in").c_str(), error);
}

// Runs the dialogue on the input with its prompts and messages thrown away.
int type_job(SimParams* p, const std::string& input) {
  FILE* in = std::tmpfile();
  std::fwrite(input.data(), 1, input.size(), in);
  std::rewind(in);
  FILE* out = std::fopen("/dev/null", "w");
  FILE* saved = stderr;
  stderr = out;  // the too-long warnings are not under test here
  int result = entry_interactive_from(p, in, out);
  stderr = saved;
  std::fclose(out);
  std::fclose(in);
  return result;
}

// A typed job whose workpiece material line is given.
std::string typed_with_workpiece(const std::string& workpiece_line) {
  return "n\nTitle\nT\n1\n1000\n0.2\n2\n0\n0\n0\n15\n50\n0.8\n" + workpiece_line +
         "\nCARB\n0\n1\n0\n100\n0\n0\n0\n0\n0\n0\nn\n";
}

}  // namespace

TEST(LineEnds, CarriageReturnsBeforeTheLineEndBelongToIt) {
  ScratchDir dir;
  Record unix_file, dos_file, twice_converted;
  ASSERT_EQ(read_job(unix_file.p, dir, job_with_line_end("Face cut", "\n"), nullptr), 1);
  ASSERT_EQ(read_job(dos_file.p, dir, job_with_line_end("Face cut", "\r\n"), nullptr), 1);
  ASSERT_EQ(read_job(twice_converted.p, dir, job_with_line_end("Face cut", "\r\r\n"), nullptr), 1);
  for (const Record* r : {&dos_file, &twice_converted}) {
    EXPECT_STREQ(r->p->title, "Face cut");
    EXPECT_STREQ(r->p->workpiece_material, "STEEL");
    EXPECT_STREQ(r->p->insert_material, "CARB");
    EXPECT_EQ(r->p->revs_total, 3);
    EXPECT_EQ(r->p->angular_increments, 100);
  }
  // A carriage return inside a line stays part of it.
  Record inside;
  ASSERT_EQ(read_job(inside.p, dir, job_with_line_end("A\rB", "\r\n"), nullptr), 1);
  EXPECT_STREQ(inside.p->title, "A\rB");
}

TEST(LineEnds, A63CharacterTitleFitsWhateverEndsItsLine) {
  ScratchDir dir;
  const std::string title(63, 't');
  for (const char* end : {"\n", "\r\n", "\r\r\n"}) {
    Record r;
    std::string error;
    EXPECT_EQ(read_job(r.p, dir, job_with_line_end(title, end), &error), 1) << error;
    EXPECT_EQ(std::string(r.p->title), title);
  }
  Record too_long;
  std::string error;
  EXPECT_EQ(read_job(too_long.p, dir, job_with_line_end(title + "u", "\r\n"), &error), 0);
  EXPECT_EQ(error, "the title is longer than 63 characters");
}

TEST(LineEnds, BinaryAndEmptyJobFilesAreRefusedWithTheirReason) {
  ScratchDir dir;
  Record nul_title, nul_insert, empty;
  std::string error;
  EXPECT_EQ(read_job(nul_title.p, dir, job_with_line_end(std::string("Ti\0tle", 6), "\n"), &error),
            0);
  EXPECT_EQ(error, "the title holds a NUL byte; a job file is plain text");
  std::string text = job_with_line_end("Title", "\n");
  text.replace(text.find("CARB"), 4, std::string("C\0RB", 4));
  EXPECT_EQ(read_job(nul_insert.p, dir, text, &error), 0);
  EXPECT_EQ(error, "the insert material holds a NUL byte; a job file is plain text");
  EXPECT_EQ(read_job(empty.p, dir, "", &error), 0);
  EXPECT_EQ(error, "the job file is empty");
  // A directory in place of the job file cannot be read.
  Record directory;
  EXPECT_EQ(jobfile_read(directory.p, dir.path().c_str(), &error), 0);
  EXPECT_NE(error.find("cannot read the job file"), std::string::npos) << error;
}

TEST(LineEnds, TheDialogueStoresWhatASavedJobFileReadsBack) {
  ScratchDir dir;
  // Each typed workpiece line with the text a job file saved from it gives back.
  const struct {
    std::string typed;
    std::string stored;
  } cases[] = {
      {"STEEL\r", "STEEL"},
      {"STEEL\r\r", "STEEL"},
      {"ST\rEEL\r", "ST\rEEL"},
      {std::string("STEEL\r\0junk", 11), "STEEL"},               // a NUL ends the text
      {std::string(62, 'w') + "\r\rxyz", std::string(62, 'w')},  // cut at 63: no CR at its end
  };
  for (const auto& c : cases) {
    Record typed;
    ASSERT_EQ(type_job(typed.p, typed_with_workpiece(c.typed)), 1);
    EXPECT_EQ(std::string(typed.p->workpiece_material), c.stored);
    ASSERT_EQ(jobfile_write(typed.p, dir.file("saved.in").c_str()), 1);
    Record loaded;
    ASSERT_EQ(jobfile_read(loaded.p, dir.file("saved.in").c_str()), 1);
    EXPECT_EQ(std::string(loaded.p->workpiece_material), c.stored);
    EXPECT_EQ(loaded.p->angular_increments, 100);  // nothing shifted after the name
  }
}

TEST(JobfileNumbers, AWordWhereANumberBelongsRefusesTheJobNamingTheItem) {
  ScratchDir dir;
  const struct {
    int line;  // of job_with_line_end: 1 title, 2 process, 3 units, ...
    const char* text;
    const char* error;
  } cases[] = {
      {4, "fast", "the spindle speed: \"fast\" is not a number"},
      {10, "15deg", "the side cutting edge angle: \"15deg\" is not a number"},
      {15, "\x01\x02", "the calculation type: \"??\" is not a number"},
      {16, "x", "the spindle-workpiece X mode count: \"x\" is not a number"},
      {23, "many", "the revolutions to skip: \"many\" is not a number"},
  };
  for (const auto& c : cases) {
    std::string text = job_with_line_end("Title", "\n");
    size_t start = 0;
    for (int i = 1; i < c.line; ++i) start = text.find('\n', start) + 1;
    text.replace(start, text.find('\n', start) - start, c.text);
    Record r;
    std::string error;
    EXPECT_EQ(read_job(r.p, dir, text, &error), 0) << c.text;
    EXPECT_EQ(error, c.error);
  }
  // The end of the file before the revolution count refuses the job at the
  // first item missing.
  Record cut_short;
  std::string error;
  EXPECT_EQ(read_job(cut_short.p, dir, "Title\nT\n1\n1000\n0.2\n", &error), 0);
  EXPECT_EQ(error.rfind("the depth of cut: the job file ends here", 0), 0u) << error;
  EXPECT_EQ(cut_short.p->feed_per_rev, 0.2);
}

TEST(JobfileNumbers, ModeNumbersAreNamedByStructureDirectionAndMode) {
  ScratchDir dir;
  std::string text = job_with_line_end("Title", "\n");
  // Tool modes: none in X, two in Y whose second stiffness is a word.
  text.replace(text.find("\n0\n0\n0\n0\n0\n0\n3\n"), 15,
               "\n0\n0\n0\n0\n2\n1 0.1 100 0\n1 0.1 stiff 0\n0\n3\n");
  Record r;
  std::string error;
  EXPECT_EQ(read_job(r.p, dir, text, &error), 0);
  EXPECT_EQ(error, "the stiffness of tool Y mode 2: \"stiff\" is not a number");
}
