#include "app/entry.h"

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>

#include "app/jobfile.h"
#include "model/fields.h"

namespace {

// ---------------------------------------------------------------------------
// Messages on standard error, after the prompts so far.

void complain(EntryInput* in, const std::string& text) {
  std::fflush(in->console.out);
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
constexpr const char* kModePrompts[] = {
    " Mass :   ", " Damping Ratio :   ", " Stiffness :   ", " Modal Angle :   "};
static_assert(std::size(kModePrompts) == std::size(kModeNumbers));

bool ask_int(EntryInput* in, const char* prompt, int32_t* field) {
  std::fputs(prompt, in->console.out);
  std::string bad;
  if (console_read_int(&in->console, field, &bad) == CONSOLE_ENDED) return stop(in, quoted(prompt));
  note_bad_answer(in, quoted(prompt), bad);
  return true;
}

bool ask_double(EntryInput* in, const char* prompt, double* field) {
  std::fputs(prompt, in->console.out);
  std::string bad;
  if (console_read_double(&in->console, field, &bad) == CONSOLE_ENDED)
    return stop(in, quoted(prompt));
  note_bad_answer(in, quoted(prompt), bad);
  return true;
}

bool ask_text(EntryInput* in, const char* prompt, char* field, const char* what) {
  std::fputs(prompt, in->console.out);
  ConsoleGot got = console_read_line(&in->console, field);
  if (got == CONSOLE_ENDED) return stop(in, quoted(prompt));
  if (got == CONSOLE_TOO_LONG) warn_too_long(in, what);
  return true;
}

// The process is asked as a word, of which the first letter is kept.
bool ask_process(EntryInput* in, char* process) {
  static const char kPrompt[] = "Enter in 'T' for the Turning process";
  std::fputs(kPrompt, in->console.out);
  char word[kParamsTextSize];
  if (console_read_word(&in->console, word) == CONSOLE_ENDED) return stop(in, quoted(kPrompt));
  *process = word[0];
  return true;
}

// The title, process, units, cutting conditions and tool geometry.
bool ask_cut(SimParams* p, EntryInput* in) {
  console_discard(&in->console);
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
  console_discard(&in->console);
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
  std::fputs("\nEnter degrees of freedom for spindle\n\n", in->console.out);
  in->structure = "spindle-workpiece";
  if (!entry_modal_set(&p->spindle_modes, in)) return false;
  std::fputs("\nDegrees of freedom for workpiece\n\n", in->console.out);
  in->structure = "tool";
  return entry_modal_set(&p->tool_modes, in) != 0;
}

// The file branch: reads the job from the named job file.
int load_job(SimParams* p, EntryInput* in) {
  static const char kPrompt[] = "Please enter filename for input data :   ";
  std::fputs(kPrompt, in->console.out);
  char name[kParamsTextSize];
  ConsoleGot got = console_read_word(&in->console, name);
  if (got == CONSOLE_ENDED) return stop(in, quoted(kPrompt));
  if (got == CONSOLE_TOO_LONG) warn_too_long(in, "the file name");
  std::string error;
  JobfileLines lines;
  if (!jobfile_read(p, name, &error, &lines)) {
    std::fputs("File Read Error", in->console.out);
    const std::string line = lines.error_line > 0 ? ":" + std::to_string(lines.error_line) : "";
    complain(in, std::string(name) + line + ": " + error);
    return 0;
  }
  std::fputs("File Read Successfully", in->console.out);
  return 1;
}

// Offers to save the typed job; the job stands whatever happens here.
void offer_save(const SimParams* p, EntryInput* in) {
  console_discard(&in->console);
  std::fputs("\nDo you want to save the input data into a file (y/n)?   ", in->console.out);
  int answer = 0;
  if (console_read_char(&in->console, &answer) == CONSOLE_ENDED) {
    complain(in, "the input ended at the save question; the job is not saved");
    return;
  }
  if (answer != 'y' && answer != 'Y') return;
  console_discard(&in->console);
  std::fputs("\nPlease specify filename to save :   ", in->console.out);
  char name[kParamsTextSize];
  ConsoleGot got = console_read_line(&in->console, name);
  if (got == CONSOLE_ENDED) {
    complain(in, "the input ended before the file name to save; the job is not saved");
    return;
  }
  if (got == CONSOLE_TOO_LONG) warn_too_long(in, "the file name");
  std::string error;
  if (jobfile_write(p, name, &error)) {
    std::fputs("File Saved", in->console.out);
  } else {
    std::fputs("Error Savine File", in->console.out);
    complain(in, std::string(name) + ": " + error);
  }
}

}  // namespace

void entry_input_init(EntryInput* input, FILE* in, FILE* out) {
  console_init(&input->console, in, out);
  input->ended = false;
  input->bad_answer_noted = false;
  input->structure = "spindle-workpiece";
  input->direction = 'X';
}

void entry_modes(ModalMode* modes, int32_t count, EntryInput* in) {
  for (int32_t i = 0; i < count && !in->ended; ++i) {
    for (size_t f = 0; f < std::size(kModeNumbers); ++f) {
      std::fputs(kModePrompts[f], in->console.out);
      const std::string question = std::string("the ") + kModeNumbers[f].name + " of " +
                                   in->structure + " " + in->direction + " mode " +
                                   std::to_string(i + 1);
      std::string bad;
      if (console_read_double(&in->console, &(modes[i].*kModeNumbers[f].field), &bad) ==
          CONSOLE_ENDED) {
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
    std::snprintf(prompt, sizeof prompt,
                  "Degrees of freedom in the %c-direction (5 max):  ", kAxes[axis]);
    int32_t count = *counts[axis];
    if (!ask_int(in, prompt, &count)) return 0;
    if (count < 0 || count > kMaxModesPerDirection) {
      std::string what =
          std::string(in->structure) + " " + kAxes[axis] + " mode count " + std::to_string(count);
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
  if (console_read_char(&in.console, &answer) == CONSOLE_ENDED) return stop(&in, quoted(kPrompt));
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

int entry_interactive(SimParams* params) {
  return entry_interactive_from(params, stdin, stdout);
}
