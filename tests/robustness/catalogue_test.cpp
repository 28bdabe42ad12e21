// A catalogue of bad jobs and databases, each run through the built program
// in batch mode after a good run of the same job. Every row either completes
// (exit 0, warnings at most) or is refused: exit 1, exactly one line on
// standard error naming the file, the item and the fault, and the earlier
// run's result files left byte for byte as they were.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/run_job.h"

using test_support::file_exists;
using test_support::Job;
using test_support::job_text;
using test_support::lines_of;
using test_support::Outcome;
using test_support::read_file;
using test_support::run_program;
using test_support::ScratchDir;
using test_support::write_file;

namespace {

// ---------------------------------------------------------------------------
// Inputs

// One spindle-workpiece mode in X, one revolution of 34 steps.
Job short_job() {
  Job job;
  job.spindle_modes = "1\n2\n0.05\n20000\n30\n0\n0\n";
  job.revs_total = 1;
  job.increments = 1000;
  return job;
}

// The short job's file with line `number` (from 1: title, process, units,
// rpm, feed, depth, wear, three angles, radius, nose, workpiece, insert,
// calc type, the spindle-workpiece block on 16-22 with its X mode on 17-20,
// the tool block on 23-25, revolutions 26, skipped 27, increments 28)
// replaced by `text`.
std::string with_line(int number, const std::string& text) {
  std::vector<std::string> lines = lines_of(job_text(short_job()));
  lines.at(number - 1) = text;
  std::string joined;
  for (const std::string& line : lines) joined += line + "\n";
  return joined;
}

// The short job's file with several lines replaced, as with_line.
std::string with_lines(const std::vector<std::pair<int, std::string>>& changes) {
  std::vector<std::string> lines = lines_of(job_text(short_job()));
  for (const auto& [number, text] : changes) lines.at(number - 1) = text;
  std::string joined;
  for (const std::string& line : lines) joined += line + "\n";
  return joined;
}

// The short job's file up to and including line `number`.
std::string first_lines(int number) {
  std::vector<std::string> lines = lines_of(job_text(short_job()));
  std::string joined;
  for (int i = 0; i < number; ++i) joined += lines.at(i) + "\n";
  return joined;
}

std::string with_spindle_x_mode(const std::string& mode) {
  Job job = short_job();
  job.spindle_modes = "1\n" + mode + "\n0\n0\n";
  return job_text(job);
}

std::string with_line_ends(const std::string& text, const std::string& end) {
  std::string converted;
  for (const std::string& line : lines_of(text)) converted += line + end;
  return converted;
}

// Deterministic bytes of the given range.
std::string garbage(size_t size, unsigned low, unsigned high) {
  std::string bytes;
  unsigned seed = 12345;
  for (size_t i = 0; i < size; ++i) {
    seed = seed * 1103515245u + 12345u;
    bytes.push_back(static_cast<char>(low + (seed >> 16) % (high - low + 1)));
  }
  return bytes;
}

// A coefficient row for STEEL and CARB at 15 degrees with the given numbers.
std::string row_with(const std::string& numbers) {
  return "STEEL           CARB                            15 " + numbers + "\n";
}

const char kGoodNumbers[] = "100000 0 0 250000 0 0 5 0 0";

std::string wear_with(const std::string& numbers) {
  return "STEEL CARB " + numbers + "\n";
}

// ---------------------------------------------------------------------------
// The catalogue

struct Inputs {
  std::string job = job_text(short_job());
  std::string wear = test_support::kWearDb;
  std::string coefficients = test_support::kCoefficientDb;
  bool wear_is_directory = false;
  bool coefficients_is_directory = false;
  bool no_databases = false;  // run from a folder without them
};

enum class Expect { completes, refused };

struct Row {
  const char* group;
  const char* name;
  std::function<void(Inputs&)> make;
  Expect expect;
  std::string file;  // the file (and line) a refusal names first (the job is "./job.in")
  const char* says;  // text of the refusal line, or of a warning of a completed run ("" none)
};

void job_is(Inputs& in, const std::string& text) {
  in.job = text;
}

const std::vector<Row>& catalogue() {
  using E = Expect;
  const std::string job = "./job.in";
  auto at = [&job](int line) { return job + ":" + std::to_string(line); };
  static const std::vector<Row> rows = {
      // Job files that end early keep the defaults of the items not reached.
      {"truncated", "after the title", [](Inputs& in) { job_is(in, first_lines(1)); }, E::refused,
       at(2), ": the process: the job file ends here, before the revolutions to simulate; nothing would be simulated"},
      {"truncated", "inside the second mode of a direction",
       [](Inputs& in) {
         Job j = short_job();
         j.spindle_modes = "2\n2\n0.05\n20000\n30\n3\n";
         j.tool_modes = "";
         std::string text = job_text(j);
         job_is(in, text.substr(0, text.find("\n3\n") + 3));
       },
       E::refused, at(22), ": the damping ratio of spindle-workpiece X mode 2: the job file ends here"},
      {"truncated", "before the revolution count",
       [](Inputs& in) { job_is(in, first_lines(15 + 7 + 3)); }, E::refused, at(26),
       ": the revolutions to simulate: the job file ends here, before the revolutions to "
       "simulate; nothing would be simulated"},
      {"truncated", "in the middle of a number",
       [](Inputs& in) { job_is(in, first_lines(3) + "10"); }, E::refused, at(4),
       ": the feed per revolution: the job file ends here"},
      {"truncated", "after the revolution count (defaults for the rest)",
       [](Inputs& in) { job_is(in, first_lines(26)); }, E::completes, "", ""},
      // Letters where numbers belong: every later item would be read from the
      // wrong place.
      {"letters", "units", [](Inputs& in) { job_is(in, with_line(3, "metric")); }, E::refused, at(3),
       ": the units: \"metric\" is not a number"},
      {"letters", "spindle speed", [](Inputs& in) { job_is(in, with_line(4, "fast")); }, E::refused,
       at(4), ": the spindle speed: \"fast\" is not a number"},
      {"letters", "nose radius with a unit", [](Inputs& in) { job_is(in, with_line(12, "mm0.8")); },
       E::refused, at(12), ": the nose radius: \"mm0.8\" is not a number"},
      {"letters", "mode mass",
       [](Inputs& in) { job_is(in, with_spindle_x_mode("heavy\n0.05\n20000\n30")); }, E::refused,
       at(17), ": the mass of spindle-workpiece X mode 1: \"heavy\" is not a number"},
      {"letters", "tool mode count", [](Inputs& in) { job_is(in, with_line(24, "one")); },
       E::refused, at(24), ": the tool Y mode count: \"one\" is not a number"},
      {"letters", "revolution count", [](Inputs& in) { job_is(in, with_line(26, "ten")); },
       E::refused, at(26), ": the revolutions to simulate: \"ten\" is not a number"},
      // Mode counts.
      {"mode counts", "negative", [](Inputs& in) { job_is(in, with_line(16, "-1")); }, E::refused,
       at(16), ": spindle-workpiece X mode count -1 is outside 0 to 5"},
      {"mode counts", "zero in every direction",
       [](Inputs& in) {
         Job j = short_job();
         j.spindle_modes = "0\n0\n0\n";
         job_is(in, job_text(j));
       },
       E::completes, "", ""},
      {"mode counts", "six", [](Inputs& in) { job_is(in, with_line(16, "6")); }, E::refused, at(16),
       ": spindle-workpiece X mode count 6 is outside 0 to 5"},
      {"mode counts", "largest integer",
       [](Inputs& in) { job_is(in, with_line(16, "2147483647")); }, E::refused, at(16),
       ": spindle-workpiece X mode count 2147483647 is outside 0 to 5"},
      {"mode counts", "beyond 32 bits",
       [](Inputs& in) { job_is(in, with_line(16, "99999999999")); }, E::refused, at(16),
       ": the spindle-workpiece X mode count: \"99999999999\" is not a whole number of 32 bits"},
      // Mode values.
      {"modes", "zero mass",
       [](Inputs& in) { job_is(in, with_spindle_x_mode("0\n0.05\n20000\n30")); }, E::refused, at(17),
       ": spindle-workpiece X mode 1: mass 0 is not positive"},
      {"modes", "negative mass",
       [](Inputs& in) { job_is(in, with_spindle_x_mode("-2\n0.05\n20000\n30")); }, E::refused, at(17),
       ": spindle-workpiece X mode 1: mass -2 is not positive"},
      {"modes", "zero stiffness",
       [](Inputs& in) { job_is(in, with_spindle_x_mode("2\n0.05\n0\n30")); }, E::refused, at(19),
       ": spindle-workpiece X mode 1: stiffness 0 is not positive"},
      {"modes", "negative stiffness",
       [](Inputs& in) { job_is(in, with_spindle_x_mode("2\n0.05\n-1\n30")); }, E::refused, at(19),
       ": spindle-workpiece X mode 1: stiffness -1 is not positive"},
      {"modes", "damping ratio 1",
       [](Inputs& in) { job_is(in, with_spindle_x_mode("2\n1\n20000\n30")); }, E::refused, at(18),
       ": spindle-workpiece X mode 1: damping ratio 1 is not below 1"},
      {"modes", "damping ratio 2.5",
       [](Inputs& in) { job_is(in, with_spindle_x_mode("2\n2.5\n20000\n30")); }, E::refused, at(18),
       ": spindle-workpiece X mode 1: damping ratio 2.5 is not below 1"},
      {"modes", "modal angle 1e9 degrees",
       [](Inputs& in) { job_is(in, with_spindle_x_mode("2\n0.05\n20000\n1e9")); }, E::refused, at(20),
       ": spindle-workpiece X mode 1: modal angle 1e+09 gives a delay of"},
      {"modes", "modal angle -1e9 degrees",
       [](Inputs& in) { job_is(in, with_spindle_x_mode("2\n0.05\n20000\n-1e9")); }, E::refused, at(20),
       ": spindle-workpiece X mode 1: modal angle -1e+09 gives a delay of"},
      {"modes", "modal angle 1e300 degrees",
       [](Inputs& in) { job_is(in, with_spindle_x_mode("2\n0.05\n20000\n1e300")); }, E::refused,
       at(20), ": spindle-workpiece X mode 1: modal angle 1e+300 gives a delay of"},
      {"modes", "decay over one long step beyond the doubles (0.3 rpm, 34 steps a revolution)",
       [](Inputs& in) { job_is(in, with_line(4, "0.3")); }, E::refused, at(18),
       ": spindle-workpiece X mode 1: decay rate 158.114 1/s over a step of 5.88235 s gives "
       "e^930.082, beyond the range of doubles (e^700 at most: more steps a revolution or a "
       "higher spindle speed)"},
      {"modes", "the same spindle speed with 342 steps a revolution",
       [](Inputs& in) { job_is(in, with_lines({{4, "0.3"}, {28, "100"}})); }, E::completes, "",
       ""},
      // Cutting conditions.
      {"cutting", "zero spindle speed", [](Inputs& in) { job_is(in, with_line(4, "0")); },
       E::refused, at(4), ": the spindle speed 0.000000 rpm is not positive"},
      {"cutting", "negative spindle speed", [](Inputs& in) { job_is(in, with_line(4, "-640")); },
       E::refused, at(4), ": the spindle speed -640.000000 rpm is not positive"},
      {"cutting", "zero depth of cut", [](Inputs& in) { job_is(in, with_line(6, "0")); },
       E::completes, "",
       "corvanel: warning: ./job.in:6: the depth of cut: 0 removes no material; every force is "
       "zero"},
      {"cutting", "zero feed", [](Inputs& in) { job_is(in, with_line(5, "0")); }, E::completes, "",
       "corvanel: warning: ./job.in:5: the feed per revolution: 0 removes no material; every "
       "force is zero"},
      {"cutting", "depth of cut -2 mm", [](Inputs& in) { job_is(in, with_line(6, "-2")); },
       E::refused, at(6), ": the depth of cut: -2 mm is negative"},
      {"cutting", "feed typed as 25 mm", [](Inputs& in) { job_is(in, with_line(5, "25")); },
       E::refused, at(5),
       ": the feed per revolution: 25 mm is above the nose diameter 1.6 mm (twice the nose "
       "radius)"},
      {"cutting", "negative feed", [](Inputs& in) { job_is(in, with_line(5, "-0.2")); },
       E::refused, at(5), ": the feed per revolution: -0.2 mm is negative"},
      {"cutting", "workpiece radius 0", [](Inputs& in) { job_is(in, with_line(11, "0")); },
       E::refused, at(11), ": the workpiece radius: 0 mm is not positive"},
      {"cutting", "nose radius 0", [](Inputs& in) { job_is(in, with_line(12, "0")); }, E::refused,
       at(12), ": the nose radius: 0 mm is not positive"},
      {"cutting", "side cutting edge angle 90 degrees",
       [](Inputs& in) { job_is(in, with_line(10, "90")); }, E::refused, at(10),
       ": the side cutting edge angle: 90 degrees is not between -90 and 90"},
      {"cutting", "200 revolutions at 0.25 mm on a 40 mm radius (past the centre)",
       [](Inputs& in) { job_is(in, with_lines({{5, "0.25"}, {11, "40"}, {26, "200"}, {28, "1"}})); },
       E::refused, at(26),
       ": the revolutions to simulate: 200 take the tool past the centre of the face (its cutting "
       "speed reaches zero in revolution 161); at most 160 revolutions fit"},
      {"cutting", "the last revolutions before the centre",
       [](Inputs& in) { job_is(in, with_lines({{5, "0.25"}, {11, "1"}, {26, "4"}, {28, "1"}})); },
       E::completes, "", ""},
      // Numbers that do not end at white space, refused where they stand.
      {"tokens", "feed 0.2.5", [](Inputs& in) { job_is(in, with_line(5, "0.2.5")); }, E::refused,
       at(5), ": the feed per revolution: \"0.2.5\" is not a number"},
      {"tokens", "decimal comma in the depth", [](Inputs& in) { job_is(in, with_line(6, "2,0")); },
       E::refused, at(6), ": the depth of cut: \"2,0\" is not a number"},
      {"tokens", "letter O for zeros in the spindle speed",
       [](Inputs& in) { job_is(in, with_line(4, "12OO")); }, E::refused, at(4),
       ": the spindle speed: \"12OO\" is not a number"},
      {"tokens", "decimal revolution count", [](Inputs& in) { job_is(in, with_line(26, "1.5")); },
       E::refused, at(26), ": the revolutions to simulate: \"1.5\" is not a whole number of 32 bits"},
      // Run control.
      {"run control", "angular increments 34200 (one step)",
       [](Inputs& in) { job_is(in, with_line(28, "34200")); }, E::completes, "", ""},
      {"run control", "angular increments 34201",
       [](Inputs& in) { job_is(in, with_line(28, "34201")); }, E::refused, at(28),
       ": the angular increments 34201 leave no step in a revolution (34200 at most)"},
      {"run control", "angular increments 2000000000",
       [](Inputs& in) { job_is(in, with_line(28, "2000000000")); }, E::refused, at(28),
       ": the angular increments 2000000000 leave no step in a revolution"},
      {"run control", "zero revolutions", [](Inputs& in) { job_is(in, with_line(26, "0")); },
       E::completes, "", ""},
      {"run control", "negative revolutions", [](Inputs& in) { job_is(in, with_line(26, "-4")); },
       E::refused, at(26), ": the revolutions to simulate (-4) are negative"},
      // Texts of at most 63 characters.
      {"texts", "title of 63 characters",
       [](Inputs& in) { job_is(in, with_line(1, std::string(63, 'T'))); }, E::completes, "", ""},
      {"texts", "title of 64 characters",
       [](Inputs& in) { job_is(in, with_line(1, std::string(64, 'T'))); }, E::refused, at(1),
       ": the title is longer than 63 characters"},
      {"texts", "title of 500 characters",
       [](Inputs& in) { job_is(in, with_line(1, std::string(500, 'T'))); }, E::refused, at(1),
       ": the title is longer than 63 characters"},
      {"texts", "workpiece material of 63 characters",
       [](Inputs& in) { job_is(in, with_line(13, "STEEL" + std::string(58, 'w'))); }, E::completes,
       "", ""},
      {"texts", "workpiece material of 64 characters",
       [](Inputs& in) { job_is(in, with_line(13, "STEEL" + std::string(59, 'w'))); }, E::refused,
       at(13), ": the workpiece material is longer than 63 characters"},
      {"texts", "insert material of 63 characters",
       [](Inputs& in) { job_is(in, with_line(14, "CARB" + std::string(59, 'i'))); }, E::completes,
       "", ""},
      {"texts", "insert material of 64 characters",
       [](Inputs& in) { job_is(in, with_line(14, "CARB" + std::string(60, 'i'))); }, E::refused,
       at(14), ": the insert material is longer than 63 characters"},
      // Line ends of other systems.
      {"line ends", "CRLF", [](Inputs& in) { in.job = with_line_ends(in.job, "\r\n"); },
       E::completes, "", ""},
      {"line ends", "CRLF with a title of 63 characters",
       [](Inputs& in) { in.job = with_line_ends(with_line(1, std::string(63, 'T')), "\r\n"); },
       E::completes, "", ""},
      {"line ends", "carriage returns alone",
       [](Inputs& in) { in.job = with_line_ends(in.job, "\r"); }, E::refused, at(1),
       ": the title is longer than 63 characters"},
      // Not a job file at all.
      {"garbage", "empty file", [](Inputs& in) { in.job = ""; }, E::refused, job,
       ": the job file is empty"},
      {"garbage", "binary bytes with NULs",
       [](Inputs& in) { in.job = std::string("\x7f\0", 2) + garbage(600, 0, 255); }, E::refused,
       at(1), ": the title holds a NUL byte; a job file is plain text"},
      {"garbage", "high bytes without a line end",
       [](Inputs& in) { in.job = garbage(600, 128, 255); }, E::refused, at(1),
       ": the title is longer than 63 characters"},
      {"garbage", "binary bytes after a title",
       [](Inputs& in) { in.job = "Title\nT\n" + garbage(600, 128, 255); }, E::refused, at(3),
       ": the units: \"????????????????\" is not a number"},
      // The cutting-coefficient database and the wear file.
      {"databases", "coefficient row of eight numbers",
       [](Inputs& in) { in.coefficients = row_with("100000 0 0 250000 0 0 5 0"); }, E::refused,
       "kfkncfa.db",
       ": the row for workpiece \"STEEL\" and insert \"CARB\" at 15 degrees: there is none, nor a "
       "pair whose names match when case and blanks are ignored"},
      {"databases", "coefficient row of ten numbers (the tenth unused)",
       [](Inputs& in) { in.coefficients = row_with(std::string(kGoodNumbers) + " 7"); },
       E::completes, "", ""},
      {"databases", "coefficient row longer than 198 characters",
       [](Inputs& in) {
         in.coefficients = "STEEL           CARB                            " +
                           std::string(160, ' ') + "15 " + kGoodNumbers + "\n";
       },
       E::refused, "kfkncfa.db", ": the row for workpiece \"STEEL\" and insert \"CARB\" at 15 degrees"},
      {"databases", "NaN in the matching row",
       [](Inputs& in) { in.coefficients = row_with("100000 0 0 nan 0 0 5 0 0"); }, E::refused,
       "kfkncfa.db",
       ": the row for workpiece \"STEEL\" and insert \"CARB\" at 15 degrees: number 4 (Kn "
       "constant) is nan, not a finite number"},
      {"databases", "infinity in the matching row",
       [](Inputs& in) { in.coefficients = row_with("100000 -inf 0 250000 0 0 5 0 0"); }, E::refused,
       "kfkncfa.db", ": number 2 (Kf thickness exponent) is -inf, not a finite number"},
      {"databases", "overflowing number in the matching row",
       [](Inputs& in) { in.coefficients = row_with("100000 0 0 250000 0 0 5 0 1e999"); },
       E::refused, "kfkncfa.db",
       ": number 9 (chip flow angle speed exponent) is inf, not a finite number"},
      {"databases", "NaN in a row of another pair",
       [](Inputs& in) {
         in.coefficients =
             "ALU             CARB                            15 nan 0 0 1 0 0 5 0 0\n" +
             in.coefficients;
       },
       E::completes, "", ""},
      {"databases", "NaN in the matching wear record",
       [](Inputs& in) { in.wear = wear_with("0 0 0 0 0 0 nan 0 0 0 0 0 0 0 0"); }, E::refused,
       "wear.db",
       ": the record for workpiece \"STEEL\" and insert \"CARB\": number 7 (X wear force constant) "
       "is nan, not a finite number"},
      {"databases", "wear record of fourteen numbers (no record: a sharp tool)",
       [](Inputs& in) { in.wear = wear_with("0 0 0 0 0 0 0 0 0 0 0 0 0 0"); }, E::completes, "",
       "corvanel: warning: wear.db: the wear record for workpiece \"STEEL\" and insert \"CARB\": "
       "there is none; the tool stays sharp (no wear, no wear-land force)"},
      {"databases", "empty coefficient database", [](Inputs& in) { in.coefficients = ""; },
       E::refused, "kfkncfa.db", ": the row for workpiece \"STEEL\" and insert \"CARB\" at 15 degrees"},
      {"databases", "binary coefficient database",
       [](Inputs& in) { in.coefficients = garbage(3000, 0, 255); }, E::refused, "kfkncfa.db",
       ": the row for workpiece \"STEEL\" and insert \"CARB\" at 15 degrees: there is none"},
      {"databases", "directory in place of the coefficient database",
       [](Inputs& in) { in.coefficients_is_directory = true; }, E::refused, "kfkncfa.db",
       ": cannot read the cutting-coefficient database: Is a directory"},
      {"databases", "directory in place of the wear file",
       [](Inputs& in) { in.wear_is_directory = true; }, E::refused, "wear.db",
       ": cannot read the wear file: Is a directory"},
      {"databases", "a folder without the databases", [](Inputs& in) { in.no_databases = true; },
       E::refused, "wear.db", ": cannot read the wear file: No such file or directory"},
      {"databases", "workpiece C45, not in the database",
       [](Inputs& in) { job_is(in, with_line(13, "C45")); }, E::refused, "kfkncfa.db",
       ": the row for workpiece \"C45\" and insert \"CARB\" at 15 degrees: there is none, nor a "
       "pair whose names match when case and blanks are ignored"},
      {"databases", "workpiece typed in small letters with a blank",
       [](Inputs& in) { job_is(in, with_line(13, "st eel")); }, E::refused, "kfkncfa.db",
       ": the row for workpiece \"st eel\" and insert \"CARB\" at 15 degrees: there is none; pairs "
       "whose names match when case and blanks are ignored: \"STEEL / CARB\""},
      {"databases", "side cutting edge angle 20 degrees",
       [](Inputs& in) { job_is(in, with_line(10, "20")); }, E::refused, "kfkncfa.db",
       ": the row for workpiece \"STEEL\" and insert \"CARB\" at 20 degrees: there is none; the "
       "pair has rows at 15 degrees"},
      {"databases", "side cutting edge angle -5 degrees",
       [](Inputs& in) { job_is(in, with_line(10, "-5")); }, E::refused, "kfkncfa.db",
       ": the row for workpiece \"STEEL\" and insert \"CARB\" at -5 degrees: there is none; the "
       "pair has rows at 15 degrees"},
  };
  return rows;
}

// ---------------------------------------------------------------------------
// Running a row

const char* const kInputFiles[] = {"job.in", "wear.db", "kfkncfa.db",
                                   ".stdin", ".stdout", ".stderr"};

// Every result file of the folder with its bytes.
std::map<std::string, std::string> result_files(const ScratchDir& dir) {
  std::map<std::string, std::string> files;
  DIR* d = opendir(dir.path().c_str());
  while (dirent* entry = readdir(d)) {
    std::string name = entry->d_name;
    bool input = name == "." || name == "..";
    for (const char* known : kInputFiles) input = input || name == known;
    if (!input) files[name] = read_file(dir.file(name));
  }
  closedir(d);
  return files;
}

void remove_path(const std::string& path) {
  if (std::remove(path.c_str()) != 0) rmdir(path.c_str());
}

void lay_out(const ScratchDir& dir, const Inputs& in) {
  remove_path(dir.file("wear.db"));
  remove_path(dir.file("kfkncfa.db"));
  write_file(dir.file("job.in"), in.job);
  if (in.no_databases) return;
  if (in.wear_is_directory) {
    mkdir(dir.file("wear.db").c_str(), 0755);
  } else {
    write_file(dir.file("wear.db"), in.wear);
  }
  if (in.coefficients_is_directory) {
    mkdir(dir.file("kfkncfa.db").c_str(), 0755);
  } else {
    write_file(dir.file("kfkncfa.db"), in.coefficients);
  }
}

// Exit code and standard error free of crashes and sanitizer reports.
void expect_no_crash(const Outcome& o, const std::string& what) {
  EXPECT_TRUE(o.exit_code == 0 || o.exit_code == 1) << what << ": exit " << o.exit_code << "\n"
                                                    << o.err;
  EXPECT_EQ(o.err.find("Sanitizer"), std::string::npos) << what << "\n" << o.err;
  EXPECT_EQ(o.err.find("runtime error"), std::string::npos) << what << "\n" << o.err;
}

void check_row(const Row& row) {
  const std::string what = std::string(row.group) + ": " + row.name;
  ScratchDir dir;
  lay_out(dir, Inputs{});
  Outcome earlier = run_program(dir.path(), "job .");
  ASSERT_EQ(earlier.exit_code, 0) << what << ": the good run failed\n" << earlier.err;
  const std::map<std::string, std::string> before = result_files(dir);

  Inputs bad;
  row.make(bad);
  lay_out(dir, bad);
  Outcome o = run_program(dir.path(), "job .");
  expect_no_crash(o, what);
  const std::vector<std::string> err_lines = lines_of(o.err);
  if (row.expect == Expect::refused) {
    EXPECT_EQ(o.exit_code, 1) << what;
    ASSERT_EQ(err_lines.size(), 1u) << what << "\n" << o.err;
    const std::string head = "corvanel: " + row.file + ": ";
    EXPECT_EQ(err_lines[0].rfind(head, 0), 0u) << what << "\n" << o.err;
    EXPECT_NE(err_lines[0].find(row.says), std::string::npos) << what << "\n" << o.err;
    EXPECT_EQ(o.out, "") << what;
    EXPECT_TRUE(result_files(dir) == before) << what << ": the earlier results changed";
  } else {
    EXPECT_EQ(o.exit_code, 0) << what << "\n" << o.err;
    for (const std::string& line : err_lines) {
      EXPECT_EQ(line.rfind("corvanel: warning: ", 0), 0u) << what << "\n" << o.err;
    }
    if (*row.says != '\0') {
      EXPECT_NE(o.err.find(row.says), std::string::npos) << what << "\n" << o.err;
      EXPECT_EQ(err_lines.size(), 1u) << what << "\n" << o.err;
    } else {
      EXPECT_EQ(o.err, "") << what;
    }
    EXPECT_NE(read_file(dir.file("job.rpt")), "") << what;
  }
}

void check_group(const char* group) {
  int rows = 0;
  for (const Row& row : catalogue()) {
    if (std::string(row.group) != group) continue;
    ++rows;
    check_row(row);
  }
  EXPECT_GT(rows, 0) << group;
}

}  // namespace

TEST(Catalogue, TruncatedJobFiles) {
  check_group("truncated");
}
TEST(Catalogue, LettersWhereNumbersBelong) {
  check_group("letters");
}
TEST(Catalogue, ModeCounts) {
  check_group("mode counts");
}
TEST(Catalogue, ModeValues) {
  check_group("modes");
}
TEST(Catalogue, CuttingConditions) {
  check_group("cutting");
}
TEST(Catalogue, NumbersNotEndingAtWhiteSpace) {
  check_group("tokens");
}
TEST(Catalogue, RunControl) {
  check_group("run control");
}
TEST(Catalogue, TextLengths) {
  check_group("texts");
}
TEST(Catalogue, LineEnds) {
  check_group("line ends");
}
TEST(Catalogue, Garbage) {
  check_group("garbage");
}
TEST(Catalogue, Databases) {
  check_group("databases");
}

// What the completed rows must have produced, beyond not failing.
TEST(CatalogueResults, CompletedRowsWriteWhatTheirJobAsks) {
  // A CRLF job gives the same results as the same job with plain line ends.
  ScratchDir plain, dos;
  lay_out(plain, Inputs{});
  Inputs crlf;
  crlf.job = with_line_ends(crlf.job, "\r\n");
  lay_out(dos, crlf);
  ASSERT_EQ(run_program(plain.path(), "job .").exit_code, 0);
  ASSERT_EQ(run_program(dos.path(), "job .").exit_code, 0);
  EXPECT_TRUE(result_files(plain) == result_files(dos));
  // Ten series, .rms, .ave, .rpt, .html and the run summary.
  EXPECT_EQ(result_files(plain).size(), 15u);

  // Zero revolutions: the report and empty result files.
  for (const std::string& text : {with_line(26, "0")}) {
    ScratchDir dir;
    Inputs in;
    in.job = text;
    lay_out(dir, in);
    ASSERT_EQ(run_program(dir.path(), "job .").exit_code, 0);
    EXPECT_EQ(read_file(dir.file("job.rms")), "");
    EXPECT_EQ(read_file(dir.file("job.dat")), "");
    EXPECT_NE(read_file(dir.file("job.rpt")), "");
  }

  // One step a revolution: one summary line per revolution, no NaN anywhere.
  ScratchDir one_step;
  Inputs in;
  in.job = with_line(28, "34200");
  lay_out(one_step, in);
  ASSERT_EQ(run_program(one_step.path(), "job .").exit_code, 0);
  EXPECT_EQ(lines_of(read_file(one_step.file("job.rms"))).size(), 1u);
  for (const auto& [name, text] : result_files(one_step)) {
    // JSON has no NaN: the summary writes null where a value is not a number.
    const std::string nan = name.find(".summary.json") != std::string::npos ? "NaN" : "nan";
    EXPECT_EQ(text.find(nan), std::string::npos) << name;
  }
}

TEST(CatalogueCommandLine, ADatabaseNameTooLongToStoreIsRefused) {
  ScratchDir dir;
  lay_out(dir, Inputs{});
  const std::string name = std::string(60, 'd') + ".db";  // 63 characters: stored whole
  write_file(dir.file(name), test_support::kCoefficientDb);
  Outcome o = run_program(dir.path(), "job . " + name);
  ASSERT_EQ(o.exit_code, 0) << o.err;
  EXPECT_EQ(o.err, "");
  const std::map<std::string, std::string> before = result_files(dir);
  const std::string longer = std::string(61, 'd') + ".db";
  write_file(dir.file(longer), test_support::kCoefficientDb);
  o = run_program(dir.path(), "job . " + longer);
  EXPECT_EQ(o.exit_code, 1);
  EXPECT_EQ(o.err,
            "corvanel: " + longer + ": the database file name is longer than 63 characters\n");
  std::map<std::string, std::string> after = result_files(dir);
  after.erase(longer);
  EXPECT_TRUE(after == before);
}

// ---------------------------------------------------------------------------
// Full disks: a result file that cannot be written makes the run fail.

TEST(WriteFailures, EachResultFileOnAFullDeviceFailsTheRunAndIsNamed) {
  const char* suffixes[] = {".dat", ".fx.dat", ".wz.dat", ".rms", ".ave", ".rpt", ".html"};
  for (const char* suffix : suffixes) {
    ScratchDir dir;
    lay_out(dir, Inputs{});
    const std::string full = std::string("job") + suffix;
    ASSERT_EQ(symlink("/dev/full", dir.file(full).c_str()), 0);
    Outcome o = run_program(dir.path(), "job .");
    expect_no_crash(o, full);
    EXPECT_EQ(o.exit_code, 1) << full;
    const std::vector<std::string> lines = lines_of(o.err);
    ASSERT_EQ(lines.size(), 1u) << full << "\n" << o.err;
    EXPECT_EQ(lines[0].rfind("corvanel: ./" + full + ": writing the ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("No space left on device"), std::string::npos) << lines[0];
    // The run went on: the other files are complete.
    EXPECT_EQ(o.out, "Running Revolution Number 1 .......... \n") << full;
    if (std::string(suffix) != ".rms") {
      EXPECT_EQ(lines_of(read_file(dir.file("job.rms"))).size(), 1u) << full;
    }
    if (std::string(suffix) != ".rpt") {
      EXPECT_NE(read_file(dir.file("job.rpt")).find("E2E job"), std::string::npos) << full;
    }
  }
}

TEST(WriteFailures, AnInteractiveRunOnAFullDeviceEndsWithTheFailureLine) {
  ScratchDir dir;
  lay_out(dir, Inputs{});
  ASSERT_EQ(symlink("/dev/full", dir.file("output.ave").c_str()), 0);
  Outcome o = run_program(dir.path(), "", "y\njob.in\n");
  EXPECT_EQ(o.exit_code, 1);
  EXPECT_EQ(o.err,
            "corvanel: output.ave: writing the result file failed: No space left on device\n");
  const std::string tail = "\nSimulation Run Failure.\n";
  ASSERT_GE(o.out.size(), tail.size());
  EXPECT_EQ(o.out.substr(o.out.size() - tail.size()), tail);
}

// ---------------------------------------------------------------------------
// The dialogue goes through the same check, and its warnings come last.

// Answers for the dialogue: the short job typed with the given spindle
// speed and depth of cut answers.
std::string typed_answers(const std::string& rpm, const std::string& depth) {
  return "n\nTyped\nT\n1\n" + rpm + "\n0.2\n" + depth +
         "\n0\n0\n0\n15\n50\n0.8\nSTEEL\nCARB\n0\n1\n0\n1000\n1\n2\n0."
         "05\n20000\n30\n0\n0\n0\n0\n0\n"
         "n\n";
}

TEST(CatalogueDialogue, TypedJobsTheCheckRefusesEndWithTheFailureLine) {
  const struct {
    const char* name;
    std::string answers;
    std::vector<std::string> err;
  } cases[] = {
      {"12OO for the spindle speed",
       typed_answers("12OO", "2"),
       // The answers after it shift into other questions, here a mode count
       // of 50 (the spindle-workpiece radius answer).
       {"corvanel: the job entered: \"Enter in the spindle RPM:\": the answer \"12OO\" is not "
        "wholly a number; the job is refused",
        "corvanel: spindle-workpiece X mode count 50 is outside 0 to 5"}},
      {"12OO for the revolutions: the zeros after it would make a valid job",
       "n\nTyped\nT\n1\n1000\n0.2\n2\n0\n0\n0\n15\n50\n0.8\nSTEEL\nCARB\n0\n12OO\n0\n1000\n1\n"
       "2\n0.05\n20000\n30\n0\n0\n0\n0\n0\nn\n",
       {"corvanel: the job entered: \"Enter in the total number of revolutions to be simulated:\": "
        "the answer \"12OO\" is not wholly a number; the job is refused"}},
      {"depth of cut -2",
       typed_answers("1000", "-2"),
       {"corvanel: the job entered: the depth of cut: -2 mm is negative"}},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    lay_out(dir, Inputs{});
    ASSERT_EQ(run_program(dir.path(), "", "y\njob.in\n").exit_code, 0) << c.name;
    const std::map<std::string, std::string> before = result_files(dir);
    Outcome o = run_program(dir.path(), "", c.answers);
    expect_no_crash(o, c.name);
    EXPECT_EQ(o.exit_code, 1) << c.name;
    EXPECT_EQ(lines_of(o.err), c.err) << c.name;
    const std::string tail = "\nSimulation Run Failure.\n";
    ASSERT_GE(o.out.size(), tail.size());
    EXPECT_EQ(o.out.substr(o.out.size() - tail.size()), tail) << c.name;
    EXPECT_TRUE(result_files(dir) == before) << c.name << ": the earlier results changed";
  }
}

TEST(CatalogueDialogue, AWarningIsRepeatedAfterTheClosingLine) {
  ScratchDir dir;
  Inputs in;
  in.wear = "ALU CARB 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n";  // no wear record for STEEL
  lay_out(dir, in);
  Outcome o = run_program(dir.path(), "", "y\njob.in\n");
  ASSERT_EQ(o.exit_code, 0) << o.err;
  const std::string warning =
      "corvanel: warning: wear.db: the wear record for workpiece \"STEEL\" and insert \"CARB\": "
      "there is none; the tool stays sharp (no wear, no wear-land force)";
  // The warning as it happens; after the closing line the verdict, then the
  // warning again, last.
  const auto err = lines_of(o.err);
  ASSERT_EQ(err.size(), 3u) << o.err;
  EXPECT_EQ(err[0], warning);
  EXPECT_EQ(err[1].rfind("corvanel: verdict ", 0), 0u) << err[1];
  EXPECT_EQ(err[2], warning);
  EXPECT_EQ(o.out.substr(o.out.size() - 25), "\nSimulation Run Success.\n");
}

// ---------------------------------------------------------------------------
// A vibration the intake cannot foresee: wear that grows within a revolution
// until process damping drives the displacements past every double.

namespace {

Inputs runaway_inputs() {
  Job job;
  job.units = 0;
  job.rpm = 2000;
  job.feed = 0.2;
  job.depth = 2;
  job.radius = 50;
  job.nose = 0.8;
  job.calc_type = 1;
  job.spindle_modes =
      "0\n0\n0\n";  // the tool's modes alone: the sign of the workpiece's does not matter
  job.tool_modes = "0\n1\n0.4\n0.02\n300005\n0\n1\n3\n0.04\n50000000\n10\n";
  job.revs_total = 2;
  job.revs_skipped = 1;
  job.increments = 100;
  Inputs in;
  in.job = job_text(job);
  in.wear =
      wear_with("3.0e4 0.05 -0.02 2.72e-12 3.0 0.4 1.32 0.1 0.2 0.634 0.1 0.2 1.32 -0.1 -0.2");
  in.coefficients = row_with("53100 -0.35 -0.12 142500 -0.25 -0.07 18.0 -0.1 0.05");
  return in;
}

}  // namespace

TEST(CatalogueGuard, ARunawayStopsAtTheStepNamingItAndWritesOnlyFiniteNumbers) {
  ScratchDir dir;
  lay_out(dir, runaway_inputs());
  Outcome o = run_program(dir.path(), "job .");
  expect_no_crash(o, "runaway");
  EXPECT_EQ(o.exit_code, 1);
  const std::vector<std::string> err = lines_of(o.err);
  ASSERT_EQ(err.size(), 1u) << o.err;
  EXPECT_EQ(err[0].rfind("corvanel: ./job: revolution 2, step ", 0), 0u) << err[0];
  EXPECT_NE(err[0].find(" is not a finite number; the run stops"), std::string::npos) << err[0];
  EXPECT_EQ(test_support::non_finite_result(dir.file("job")), "");
  EXPECT_NE(read_file(dir.file("job.dat")), "");  // rows of the steps before the stop
}

// With --hdf5 the stopped run leaves no HDF5 file: neither its incomplete
// one nor an earlier run's, which its text files no longer match.
TEST(CatalogueGuard, ARunawayLeavesNoHdf5File) {
  ScratchDir dir;
  lay_out(dir, runaway_inputs());
  test_support::write_file(dir.file("job.h5"), "an earlier run's file");
  Outcome o = run_program(dir.path(), "--hdf5 job .");
  expect_no_crash(o, "runaway");
  EXPECT_EQ(o.exit_code, 1);
  EXPECT_FALSE(test_support::file_exists(dir.file("job.h5")));
  EXPECT_FALSE(test_support::file_exists(dir.file("job.h5.part")));
  EXPECT_FALSE(test_support::file_exists(dir.file("job.summary.json")));
}
