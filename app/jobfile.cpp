#include "app/jobfile.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>

namespace {

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

void set_error(std::string* error, const std::string& text) {
  if (error != nullptr) *error = text;
}

const char* const kAxisNames[] = {"X", "Y", "Z"};

// The token that stopped a conversion, for messages: at most 16 characters,
// bytes that do not print shown as '?'.
std::string offending_token(FILE* in) {
  std::string token;
  int c = std::getc(in);
  while (c != EOF && !std::isspace(c) && token.size() < 16) {
    token.push_back(std::isprint(c) ? static_cast<char>(c) : '?');
    c = std::getc(in);
  }
  return token;
}

// Reads one number with the scanf format into field. At the end of the file
// the field keeps its value (a file cut short is not an error); a token that
// is not a number refuses the job, since every later item would be read
// from the wrong place.
template <typename T>
int read_number(FILE* in, const char* format, T* field, const std::string& what,
                std::string* error) {
  if (std::fscanf(in, format, field) != 0) return 1;
  set_error(error, what + ": \"" + offending_token(in) + "\" is not a number");
  return 0;
}

void write_modal_block(FILE* out, const ModalSet& set) {
  const ModalMode* lists[] = {set.x_modes, set.y_modes, set.z_modes};
  const int32_t counts[] = {set.x_count, set.y_count, set.z_count};
  for (int axis = 0; axis < 3; ++axis) {
    std::fprintf(out, "%d\n", counts[axis]);
    for (int i = 0; i < counts[axis]; ++i) {
      const ModalMode& m = lists[axis][i];
      std::fprintf(out, "%lf\n%lf\n%lf\n%lf\n", m.mass, m.damping_ratio, m.stiffness,
                   m.modal_angle);
    }
  }
}

// Reads the three directions of one structure. Counts outside 0..5 refuse the job.
int read_modal_block(FILE* in, ModalSet* set, const char* structure, std::string* error) {
  ModalMode** lists[] = {&set->x_modes, &set->y_modes, &set->z_modes};
  int32_t* counts[] = {&set->x_count, &set->y_count, &set->z_count};
  for (int axis = 0; axis < 3; ++axis) {
    int count = *counts[axis];
    const std::string direction = std::string(structure) + " " + kAxisNames[axis];
    if (!read_number(in, "%d", &count, "the " + direction + " mode count", error)) return 0;
    if (count < 0 || count > kMaxModesPerDirection) {
      set_error(error, std::string(structure) + " " + kAxisNames[axis] + " mode count " +
                           std::to_string(count) + " is outside 0 to 5");
      return 0;
    }
    if (!params_resize_modes(lists[axis], counts[axis], count)) {
      set_error(error, "out of memory for the modes");
      return 0;
    }
    for (int i = 0; i < count; ++i) {
      ModalMode& m = (*lists[axis])[i];
      const std::string mode = " of " + direction + " mode " + std::to_string(i + 1);
      if (!read_number(in, "%lf", &m.mass, "the mass" + mode, error) ||
          !read_number(in, "%lf", &m.damping_ratio, "the damping ratio" + mode, error) ||
          !read_number(in, "%lf", &m.stiffness, "the stiffness" + mode, error) ||
          !read_number(in, "%lf", &m.modal_angle, "the modal angle" + mode, error)) {
        return 0;
      }
    }
  }
  return 1;
}

// Reads one white-space separated word and keeps its first character.
void read_process_word(FILE* in, char* process) {
  int c;
  do {
    c = std::getc(in);
  } while (c != EOF && std::isspace(c));
  if (c == EOF) return;
  *process = static_cast<char>(c);
  while (c != EOF && !std::isspace(c)) c = std::getc(in);
  if (c != EOF) std::ungetc(c, in);
}

void skip_white_space(FILE* in) {
  int c;
  do {
    c = std::getc(in);
  } while (c != EOF && std::isspace(c));
  if (c != EOF) std::ungetc(c, in);
}

// Reads a text line into field; a line that does not fit refuses the job.
int read_text(FILE* in, char* field, const char* what, std::string* error) {
  switch (jobfile_read_line(field, in)) {
    case JOBFILE_LINE_TOO_LONG:
      set_error(error, std::string(what) + " is longer than 63 characters");
      return 0;
    case JOBFILE_LINE_HOLDS_NUL:
      set_error(error, std::string(what) + " holds a NUL byte; a job file is plain text");
      return 0;
    default:
      return 1;
  }
}

}  // namespace

JobfileLine jobfile_read_line(char* buf, FILE* in) {
  int length = 0;
  int c = std::getc(in);
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
    c = std::getc(in);
  }
  // Carriage returns just before the line end (files written on other
  // systems, or converted twice) belong to the line end.
  buf[length] = '\0';
  if (holds_nul) return JOBFILE_LINE_HOLDS_NUL;
  return too_long ? JOBFILE_LINE_TOO_LONG : JOBFILE_LINE_OK;
}

int jobfile_write(const SimParams* p, const char* path, std::string* error) {
  // Names that read back differently would shift every later item of the file.
  if (p->workpiece_material[0] == '\0' || std::isspace(static_cast<unsigned char>(p->workpiece_material[0]))) {
    set_error(error, "the workpiece material is empty or starts with a blank, which a job file cannot hold");
    return 0;
  }
  if (p->process == '\0' || std::isspace(static_cast<unsigned char>(p->process))) {
    set_error(error, "the process letter is missing");
    return 0;
  }
  File out(std::fopen(path, "w"));
  if (!out) {
    set_error(error, std::string("cannot create the file: ") + std::strerror(errno));
    return 0;
  }
  FILE* f = out.get();
  std::fprintf(f, "%s\n", p->title);
  std::fprintf(f, "%c\n", p->process);
  std::fprintf(f, "%d\n", p->units);
  std::fprintf(f, "%lf\n%lf\n%lf\n%lf\n", p->spindle_rpm, p->feed_per_rev, p->depth_of_cut,
               p->initial_wear);
  std::fprintf(f, "%lf\n%lf\n%lf\n", p->inclination_angle, p->normal_rake_angle,
               p->side_cutting_edge_angle);
  std::fprintf(f, "%lf\n%lf\n", p->workpiece_radius, p->nose_radius);
  std::fprintf(f, "%s\n%s\n", p->workpiece_material, p->insert_material);
  std::fprintf(f, "%d\n", p->calc_type);
  write_modal_block(f, p->spindle_modes);
  write_modal_block(f, p->tool_modes);
  std::fprintf(f, "%d\n%d\n%d\n", p->revs_total, p->revs_skipped, p->angular_increments);
  bool written = std::ferror(f) == 0;
  if (std::fclose(out.release()) != 0) written = false;
  if (!written) {
    set_error(error, std::string("cannot write the file: ") + std::strerror(errno));
    return 0;
  }
  return 1;
}

int jobfile_read(SimParams* p, const char* path, std::string* error) {
  File in(std::fopen(path, "r"));
  if (!in) {
    set_error(error, std::string("cannot open the job file: ") + std::strerror(errno));
    return 0;
  }
  FILE* f = in.get();
  // An empty file holds no job at all (a file cut short later keeps defaults).
  const int first = std::getc(f);
  if (first == EOF) {
    set_error(error, std::ferror(f) != 0 ? std::string("cannot read the job file: ") + std::strerror(errno)
                                         : std::string("the job file is empty"));
    return 0;
  }
  std::ungetc(first, f);
  if (!read_text(f, p->title, "the title", error)) return 0;
  read_process_word(f, &p->process);
  if (!read_number(f, "%d", &p->units, "the units", error)) return 0;
  const struct {
    double* field;
    const char* what;
  } numbers[] = {{&p->spindle_rpm, "the spindle speed"},
                 {&p->feed_per_rev, "the feed per revolution"},
                 {&p->depth_of_cut, "the depth of cut"},
                 {&p->initial_wear, "the initial wear"},
                 {&p->inclination_angle, "the inclination angle"},
                 {&p->normal_rake_angle, "the normal rake angle"},
                 {&p->side_cutting_edge_angle, "the side cutting edge angle"},
                 {&p->workpiece_radius, "the workpiece radius"},
                 {&p->nose_radius, "the nose radius"}};
  for (const auto& number : numbers) {
    if (!read_number(f, "%lf", number.field, number.what, error)) return 0;
  }
  skip_white_space(f);
  if (!read_text(f, p->workpiece_material, "the workpiece material", error)) return 0;
  if (!read_text(f, p->insert_material, "the insert material", error)) return 0;
  if (!read_number(f, "%d", &p->calc_type, "the calculation type", error)) return 0;
  if (!read_modal_block(f, &p->spindle_modes, "spindle-workpiece", error)) return 0;
  if (!read_modal_block(f, &p->tool_modes, "tool", error)) return 0;
  if (!read_number(f, "%d", &p->revs_total, "the revolutions to simulate", error) ||
      !read_number(f, "%d", &p->revs_skipped, "the revolutions to skip", error) ||
      !read_number(f, "%d", &p->angular_increments, "the angular increments", error)) {
    return 0;
  }
  if (p->angular_increments <= 0) p->angular_increments = 1;
  if (std::ferror(f) != 0) {
    set_error(error, std::string("cannot read the job file: ") + std::strerror(errno));
    return 0;
  }
  return 1;
}
