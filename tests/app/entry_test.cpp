#include "app/entry.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/jobfile.h"
#include "tests/support/test_support.h"

using test_support::ScratchDir;
using test_support::WorkingDir;

namespace {

// The dialogue's prompts, in the order they are asked.
const std::string kFileQuestion = "Do you want to get input data from a file (y/n)?   ";
const std::string kFileName = "Please enter filename for input data :   ";
const std::string kTitle = "Enter in the title:  ";
const std::string kProcess = "Enter in 'T' for the Turning process";
const std::string kUnits = "Enter in the units to be used: 0 = English : 1 = Metric :  ";
const std::string kRpm = "Enter in the spindle RPM:  ";
const std::string kAfterRpm =
    "Enter in the feed per revolution:  "
    "Enter in the depth of cut:  "
    "Enter in the initial wear:  "
    "Enter in the angle of inclination:  "
    "Enter in the normal rake angle:  "
    "Enter in the side cutting edge angle:  "
    "Enter in the radius of the workpiece:  "
    "Enter in the nose radius of the cutting edge:  ";
const std::string kMaterials = "Enter in the workpiece material:  Enter in the insert material:  ";
const std::string kCalcType =
    "Enter in the type of calculation you want performed:\n"
    "   0 = average  ;  1 = instantaneous  :   ";
const std::string kRunControl =
    "Enter in the total number of revolutions to be simulated:\n"
    "Enter in the number of revolutions to be skipped:\n"
    "Enter the number of angular increments:\n";
const std::string kSpindle = "\nEnter degrees of freedom for spindle\n\n";
const std::string kTool = "\nDegrees of freedom for workpiece\n\n";
const std::string kX = "Degrees of freedom in the X-direction (5 max):  ";
const std::string kY = "Degrees of freedom in the Y-direction (5 max):  ";
const std::string kZ = "Degrees of freedom in the Z-direction (5 max):  ";
const std::string kMode = " Mass :    Damping Ratio :    Stiffness :    Modal Angle :   ";
const std::string kSaveQuestion = "\nDo you want to save the input data into a file (y/n)?   ";
const std::string kSaveName = "\nPlease specify filename to save :   ";

const std::string kPromptsToRunControl = kFileQuestion + kTitle + kProcess + kUnits + kRpm +
                                         kAfterRpm + kMaterials + kCalcType + kRunControl;
// Spindle: one mode in X, none in Y, two in Z. Tool: one mode in Y only.
const std::string kModePrompts =
    kSpindle + kX + kMode + kY + kZ + kMode + kMode + kTool + kX + kY + kMode + kZ;
const std::string kTypedJobPrompts = kPromptsToRunControl + kModePrompts + kSaveQuestion;

// A typed job, one answer a line, without the increments and the save answer.
const std::string kCutAnswers =
    "n\nFace cut of 1045 steel\nT\n0\n1200\n0.004\n0.1\n0.002\n5\n-6\n15\n2.5\n0.03\n";
const std::string kMaterialAnswers = "AISI 1045\nCarbide P20\n1\n3\n1\n";
const std::string kModeAnswers =
    "1\n12.5\n0.05\n400000\n30\n0\n2\n3\n0.02\n250000\n-45\n4\n0.1\n900000\n90\n"
    "0\n1\n0.75\n0.03\n120000\n10\n0\n";

std::string typed_job(const std::string& increments, const std::string& save) {
  return kCutAnswers + kMaterialAnswers + increments + "\n" + kModeAnswers + save;
}

struct Outcome {
  int result;
  std::string out;
  std::string err;
};

std::string read_stream(FILE* f) {
  std::string text;
  std::rewind(f);
  for (int c = std::getc(f); c != EOF; c = std::getc(f)) text += static_cast<char>(c);
  return text;
}

// Runs the dialogue on `in`, with its output and standard error captured.
Outcome run_on(SimParams* p, FILE* in) {
  char* out_text = nullptr;
  size_t out_size = 0;
  FILE* out = open_memstream(&out_text, &out_size);
  FILE* err = std::tmpfile();
  std::fflush(stderr);
  int saved_stderr = dup(2);
  dup2(fileno(err), 2);
  Outcome o;
  o.result = entry_interactive_from(p, in, out);
  std::fflush(stderr);
  dup2(saved_stderr, 2);
  close(saved_stderr);
  std::fclose(out);
  o.out.assign(out_text, out_size);
  std::free(out_text);
  o.err = read_stream(err);
  std::fclose(err);
  return o;
}

Outcome run_dialogue(SimParams* p, const std::string& input) {
  FILE* in = std::tmpfile();
  std::fputs(input.c_str(), in);
  std::rewind(in);
  Outcome o = run_on(p, in);
  std::fclose(in);
  return o;
}

struct Record {
  SimParams* p = params_create();
  ~Record() { params_free(p); }
};

void expect_mode(const ModalMode& m, double mass, double zeta, double k, double angle) {
  EXPECT_NEAR(m.mass, mass, 5e-7);
  EXPECT_NEAR(m.damping_ratio, zeta, 5e-7);
  EXPECT_NEAR(m.stiffness, k, 5e-7);
  EXPECT_NEAR(m.modal_angle, angle, 5e-7);
}

// Every entered field of the job in kCutAnswers, kMaterialAnswers and kModeAnswers.
void expect_typed_job(const SimParams* p) {
  EXPECT_STREQ(p->title, "Face cut of 1045 steel");
  EXPECT_EQ(p->process, 'T');
  EXPECT_EQ(p->units, 0);
  const double numbers[] = {p->spindle_rpm,
                            p->feed_per_rev,
                            p->depth_of_cut,
                            p->initial_wear,
                            p->inclination_angle,
                            p->normal_rake_angle,
                            p->side_cutting_edge_angle,
                            p->workpiece_radius,
                            p->nose_radius};
  const double typed[] = {1200, 0.004, 0.1, 0.002, 5, -6, 15, 2.5, 0.03};
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(numbers[i], typed[i], 5e-7) << "number " << i;
  EXPECT_STREQ(p->workpiece_material, "AISI 1045");
  EXPECT_STREQ(p->insert_material, "Carbide P20");
  EXPECT_EQ(p->calc_type, 1);
  EXPECT_EQ(p->revs_total, 3);
  EXPECT_EQ(p->revs_skipped, 1);
  const ModalSet& s = p->spindle_modes;
  ASSERT_EQ(s.x_count, 1);
  EXPECT_EQ(s.y_count, 0);
  EXPECT_EQ(s.y_modes, nullptr);
  ASSERT_EQ(s.z_count, 2);
  expect_mode(s.x_modes[0], 12.5, 0.05, 400000, 30);
  expect_mode(s.z_modes[0], 3, 0.02, 250000, -45);
  expect_mode(s.z_modes[1], 4, 0.1, 900000, 90);
  const ModalSet& t = p->tool_modes;
  EXPECT_EQ(t.x_count, 0);
  ASSERT_EQ(t.y_count, 1);
  EXPECT_EQ(t.z_count, 0);
  expect_mode(t.y_modes[0], 0.75, 0.03, 120000, 10);
}

const char kJobFile[] =
    "Stored job\nT\n1\n800\n0.1\n2\n0\n0\n5\n10\n60\n0.8\n"
    "Ti6Al4V\nCarbide\n0\n0\n1\n2\n0.02\n1000\n0\n0\n0\n0\n0\n4\n2\n10\n";

}  // namespace

TEST(EntryFileBranch, ReadsTheNamedJobAndAsksNothingMore) {
  ScratchDir dir;
  test_support::write_file(dir.file("job.in"), kJobFile);
  Record r;
  Outcome o = run_dialogue(r.p, "Y\n" + dir.file("job.in") + "\nn\n");
  EXPECT_EQ(o.result, 1);
  EXPECT_EQ(o.out, kFileQuestion + kFileName + "File Read Successfully");
  EXPECT_STREQ(r.p->title, "Stored job");
  EXPECT_EQ(r.p->units, 1);
  EXPECT_STREQ(r.p->insert_material, "Carbide");
  ASSERT_EQ(r.p->spindle_modes.y_count, 1);
  EXPECT_EQ(r.p->spindle_modes.y_modes[0].stiffness, 1000.0);
  EXPECT_EQ(r.p->angular_increments, 10);
}

TEST(EntryFileBranch, YesTakesTheFileNameFromTheRestOfItsLine) {
  ScratchDir dir;
  WorkingDir here(dir.path());
  test_support::write_file("es", kJobFile);
  Record r;
  Outcome o = run_dialogue(r.p, "yes\n");
  EXPECT_EQ(o.result, 1);
  EXPECT_EQ(o.out, kFileQuestion + kFileName + "File Read Successfully");
  EXPECT_STREQ(r.p->title, "Stored job");
}

TEST(EntryFileBranch, UnreadableFileFailsWithItsReasonOnStandardError) {
  ScratchDir dir;
  WorkingDir here(dir.path());
  Record r;
  Outcome o = run_dialogue(r.p, "y\nmissing.in\n");
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.out, kFileQuestion + kFileName + "File Read Error");
  EXPECT_EQ(o.err.rfind("corvanel: missing.in: ", 0), 0u) << o.err;
  EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1);

  std::string bad = kJobFile;
  bad.replace(bad.find("\n0\n1\n2\n0.02"), 3, "\n9\n");  // nine spindle modes in X
  test_support::write_file("bad.in", bad);
  o = run_dialogue(r.p, "y\nbad.in\n");
  EXPECT_EQ(o.result, 0);
  EXPECT_NE(o.err.find("mode count 9 is outside 0 to 5"), std::string::npos) << o.err;
}

TEST(EntryDialogue, TypedJobGivesEveryFieldAfterTheExactPrompts) {
  ScratchDir dir;
  WorkingDir here(dir.path());
  Record r;
  Outcome o = run_dialogue(r.p, typed_job("0", "n\n"));
  EXPECT_EQ(o.result, 1);
  EXPECT_EQ(o.out, kTypedJobPrompts);
  EXPECT_EQ(o.err, "");
  expect_typed_job(r.p);
  EXPECT_EQ(r.p->angular_increments, 1);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));  // "n": nothing saved
}

TEST(EntryDialogue, IncrementsOfZeroOrLessBecomeOne) {
  for (const char* typed : {"0", "-3", "1", "100"}) {
    Record r;
    EXPECT_EQ(run_dialogue(r.p, typed_job(typed, "n\n")).result, 1);
    int expected = std::atoi(typed) <= 0 ? 1 : std::atoi(typed);
    EXPECT_EQ(r.p->angular_increments, expected) << typed;
  }
}

TEST(EntryDialogue, SavedJobLoadsBackAsTheSameRecord) {
  ScratchDir dir;
  WorkingDir here(dir.path());
  Record typed;
  Outcome o = run_dialogue(typed.p, typed_job("100", "y\njob.in\n"));
  EXPECT_EQ(o.result, 1);
  EXPECT_EQ(o.out, kTypedJobPrompts + kSaveName + "File Saved");
  Record loaded;
  o = run_dialogue(loaded.p, "y\njob.in\n");
  EXPECT_EQ(o.result, 1);
  expect_typed_job(loaded.p);
  EXPECT_EQ(loaded.p->angular_increments, 100);

  // A failed save still gives the typed job.
  Record unsaved;
  o = run_dialogue(unsaved.p, typed_job("100", "Y\nno-such-dir/job.in\n"));
  EXPECT_EQ(o.result, 1);
  EXPECT_EQ(o.out, kTypedJobPrompts + kSaveName + "Error Savine File");
  EXPECT_EQ(o.err.rfind("corvanel: no-such-dir/job.in: ", 0), 0u) << o.err;
  expect_typed_job(unsaved.p);
}

TEST(EntryDialogue, AnswersThroughAPipeGiveTheSameJob) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::string input = typed_job("4", "n\n");
  ASSERT_EQ(write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
  close(fds[1]);
  FILE* in = fdopen(fds[0], "r");
  Record r;
  Outcome o = run_on(r.p, in);
  std::fclose(in);
  EXPECT_EQ(o.result, 1);
  EXPECT_EQ(o.out, kTypedJobPrompts);
  expect_typed_job(r.p);
  EXPECT_EQ(r.p->angular_increments, 4);
}

TEST(EntryDialogue, EndOfInputStopsAtTheQuestionBeingAsked) {
  Record r;
  Outcome o = run_dialogue(r.p, "");
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.out, kFileQuestion);
  EXPECT_EQ(o.err,
            "corvanel: the input ended at \"Do you want to get input data from a file (y/n)?\"\n");

  Record part;
  o = run_dialogue(part.p, "n\nTitle\nT\n0\n1200\n");
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.out, kFileQuestion + kTitle + kProcess + kUnits + kRpm +
                       "Enter in the feed per revolution:  ");
  EXPECT_EQ(o.err, "corvanel: the input ended at \"Enter in the feed per revolution:\"\n");

  // In the middle of a mode, the last line without its newline.
  std::string modes = typed_job("1", "");
  modes.resize(modes.find("250000") + 6);
  Record mid;
  o = run_dialogue(mid.p, modes);
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.out, kPromptsToRunControl + kSpindle + kX + kMode + kY + kZ + kMode);
  EXPECT_EQ(o.err, "corvanel: the input ended at the modal angle of spindle-workpiece Z mode 1\n");

  // The job is complete when the save question goes unanswered.
  Record whole;
  o = run_dialogue(whole.p, typed_job("1", ""));
  EXPECT_EQ(o.result, 1);
  EXPECT_EQ(o.out, kTypedJobPrompts);
  expect_typed_job(whole.p);
}

TEST(EntryDialogue, DiscardDropsOnlyTheRestOfAStartedLine) {
  // An empty first answer is a whole line: the title is the next line.
  Record empty;
  std::string input = typed_job("1", "n\n");
  EXPECT_EQ(run_dialogue(empty.p, input.substr(1)).result, 1);
  expect_typed_job(empty.p);

  // The rest of a started line goes, however long: "no thanks", "0.03 mm", "yes please".
  Record rest;
  input.replace(0, 1, "no thanks");
  input.replace(input.find("0.03\nAISI"), 5, "0.03 mm" + std::string(5000, ' ') + "\n");
  input.replace(input.rfind("n\n"), 2, "yes please\nsaved.in\n");
  ScratchDir dir;
  WorkingDir here(dir.path());
  Outcome o = run_dialogue(rest.p, input);
  EXPECT_EQ(o.result, 1);
  EXPECT_EQ(o.out, kTypedJobPrompts + kSaveName + "File Saved");
  expect_typed_job(rest.p);
  EXPECT_TRUE(test_support::file_exists("saved.in"));
}

TEST(EntryDialogue, LongTextsKeepTheirFirst63Characters) {
  std::string title(70, 't');
  std::string insert = "Carbide " + std::string(100, 'c') + "\r";
  std::string input = typed_job("1", "n\n");
  input.replace(input.find("Face cut of 1045 steel"), 22, title);
  input.replace(input.find("Carbide P20"), 11, insert);
  Record r;
  Outcome o = run_dialogue(r.p, input);
  EXPECT_EQ(o.result, 1);
  EXPECT_EQ(o.out, kTypedJobPrompts);
  EXPECT_EQ(std::string(r.p->title), title.substr(0, 63));
  EXPECT_EQ(std::string(r.p->insert_material), insert.substr(0, 63));
  EXPECT_EQ(r.p->process, 'T');  // the rest of the title is not the process
  EXPECT_EQ(r.p->calc_type, 1);
  EXPECT_EQ(o.err,
            "corvanel: the title is longer than 63 characters; its first 63 are kept\n"
            "corvanel: the insert material is longer than 63 characters; its first 63 are kept\n");

  // A carriage return ends a line without becoming part of the text.
  Record crlf;
  input = typed_job("1", "n\n");
  input.replace(input.find("\nAISI 1045\n"), 11, "\nAISI 1045\r\n");
  EXPECT_EQ(run_dialogue(crlf.p, input).result, 1);
  EXPECT_STREQ(crlf.p->workpiece_material, "AISI 1045");
}

TEST(EntryDialogue, NonNumericAnswerFailsEveryConversionUpToTheNextDiscard) {
  // "fast" for the spindle speed: the eight numbers after it are not waited for.
  Record r;
  Outcome o =
      run_dialogue(r.p, "n\nTitle\nT\n1\nfast\nSteel\nHSS\n0\n2\n0\n0\n0\n0\n0\n0\n0\n0\nn\n");
  // The questions go on as before; one line names the first answer that is
  // not wholly a number, and the job is refused.
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.out,
            kPromptsToRunControl + kSpindle + kX + kY + kZ + kTool + kX + kY + kZ + kSaveQuestion);
  EXPECT_EQ(o.err,
            "corvanel: the job entered: \"Enter in the spindle RPM:\": the answer \"fast\" is not "
            "wholly a number; the job is refused\n");
  EXPECT_EQ(r.p->units, 1);
  const double numbers[] = {r.p->spindle_rpm,
                            r.p->feed_per_rev,
                            r.p->depth_of_cut,
                            r.p->initial_wear,
                            r.p->inclination_angle,
                            r.p->normal_rake_angle,
                            r.p->side_cutting_edge_angle,
                            r.p->workpiece_radius,
                            r.p->nose_radius};
  for (double number : numbers) EXPECT_EQ(number, 0.0);
  EXPECT_STREQ(r.p->workpiece_material, "Steel");
  EXPECT_STREQ(r.p->insert_material, "HSS");
  EXPECT_EQ(r.p->revs_total, 2);

  // A count too large for an int fails the same way, through all later
  // conversions to the save question; the answer after it is the save answer.
  Record big;
  o = run_dialogue(big.p,
                   "n\nTitle\nT\n1\n1\n1\n1\n1\n1\n1\n1\n1\n1\nSteel\nHSS\n1\n"
                   "99999999999\nn\n");
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(
      o.err,
      "corvanel: the job entered: \"Enter in the total number of revolutions to be "
      "simulated:\": the answer \"99999999999\" is not wholly a number; the job is refused\n");
  EXPECT_EQ(o.out,
            kPromptsToRunControl + kSpindle + kX + kY + kZ + kTool + kX + kY + kZ + kSaveQuestion);
  EXPECT_EQ(big.p->revs_total, 0);
  EXPECT_EQ(big.p->angular_increments, 1);
  EXPECT_EQ(big.p->spindle_modes.x_count, 0);
}

TEST(EntryDialogue, ANumberFollowedByLettersIsTakenButRefusesTheJob) {
  // "12OO": 12 is read as the speed as before; "OO" fails the eight numbers
  // after it (their prompts go by unanswered) up to the discard before the
  // workpiece material. One line names the answer; the job is refused.
  Record r;
  Outcome o =
      run_dialogue(r.p, "n\nTitle\nT\n1\n12OO\nSteel\nHSS\n0\n2\n0\n0\n0\n0\n0\n0\n0\n0\nn\n");
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.out,
            kPromptsToRunControl + kSpindle + kX + kY + kZ + kTool + kX + kY + kZ + kSaveQuestion);
  EXPECT_EQ(o.err,
            "corvanel: the job entered: \"Enter in the spindle RPM:\": the answer \"12OO\" is not "
            "wholly a number; the job is refused\n");
  EXPECT_EQ(r.p->spindle_rpm, 12.0);
  EXPECT_EQ(r.p->feed_per_rev, 0.0);
  EXPECT_EQ(r.p->nose_radius, 0.0);
  EXPECT_STREQ(r.p->workpiece_material, "Steel");
  // A mode answer names its mode; only the first bad answer is reported.
  Record m;
  std::string answers = typed_job("1", "n\n");
  answers.replace(answers.find("400000\n30\n"), 10, "400000\n3O\n");
  o = run_dialogue(m.p, answers);
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.err.rfind("corvanel: the job entered: the modal angle of spindle-workpiece X mode 1: "
                        "the answer \"3O\" is not wholly a number; the job is refused\n",
                        0),
            0u)
      << o.err;
}

TEST(EntryDialogue, ModeCountsOutsideZeroToFiveAreRefusedAtOnce) {
  std::string seven = typed_job("1", "n\n");
  seven.replace(seven.find("400000\n30\n0\n"), 12, "400000\n30\n7\n");
  Record r;
  Outcome o = run_dialogue(r.p, seven);
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.out, kPromptsToRunControl + kSpindle + kX + kMode + kY);
  EXPECT_EQ(o.err, "corvanel: spindle-workpiece Y mode count 7 is outside 0 to 5\n");

  std::string negative = kCutAnswers + kMaterialAnswers + "1\n0\n0\n0\n-1\n";
  Record n;
  o = run_dialogue(n.p, negative);
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.err, "corvanel: tool X mode count -1 is outside 0 to 5\n");
}

TEST(EntryModalSet, NumbersMayShareALine) {
  FILE* in = std::tmpfile();
  std::fputs("2 1 0.5 7 -10   2 0.25 8e3 20\n0 5\n1 1 1 1\n", in);
  std::rewind(in);
  FILE* out = std::tmpfile();
  EntryInput input;
  entry_input_init(&input, in, out);
  ModalSet set{};
  EXPECT_EQ(entry_modal_set(&set, &input), 0);  // the input ends in the fifth Z mode
  ASSERT_EQ(set.x_count, 2);
  expect_mode(set.x_modes[0], 1, 0.5, 7, -10);
  expect_mode(set.x_modes[1], 2, 0.25, 8000, 20);
  EXPECT_EQ(set.y_count, 0);
  ASSERT_EQ(set.z_count, 5);
  expect_mode(set.z_modes[0], 1, 1, 1, 1);
  EXPECT_EQ(read_stream(out), kX + kMode + kMode + kY + kZ + kMode + " Mass :   ");
  std::free(set.x_modes);
  std::free(set.z_modes);
  std::fclose(in);
  std::fclose(out);

  // A number cut by the end of the 4096-character buffer is still read whole.
  in = std::tmpfile();
  std::fputs(("1" + std::string(4093, ' ') + "12345.5 0.5 7 -10\n0\n0\n").c_str(), in);
  std::rewind(in);
  out = std::tmpfile();
  entry_input_init(&input, in, out);
  ModalSet wide{};
  EXPECT_EQ(entry_modal_set(&wide, &input), 1);
  ASSERT_EQ(wide.x_count, 1);
  expect_mode(wide.x_modes[0], 12345.5, 0.5, 7, -10);
  std::free(wide.x_modes);
  std::fclose(in);
  std::fclose(out);
}
