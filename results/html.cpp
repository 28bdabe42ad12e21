#include "results/html.h"

#include <cstring>

#include "model/units.h"
#include "results/labels.h"
#include "results/xml.h"

namespace {

inline double degrees(double radians) {
  return radians / kDegToRad;
}

// One "name = value [unit]" line followed by a paragraph mark.
void value_line(FILE* out, const char* name, double value, const char* unit) {
  std::fprintf(out, "<i>%s</i> = %10.4lf <i>[%s]</i>\n", name, value, unit);
  html_paragraph(out);
}

// A modal heading, its paragraph mark and the modes of one direction.
void modal_block(FILE* out, const char* heading, const ModalMode* modes, int units, int count) {
  html_heading(out, heading, 2);
  html_paragraph(out);
  html_write_modes(out, modes, units, count);
}

void write_top(FILE* out, const SimParams& p) {
  // The title field holds at most 63 characters, which always fit escaped.
  char title[kHtmlEscapedTextSize];
  html_escape(std::string_view(p.title, strnlen(p.title, kParamsTextSize - 1)), title,
              sizeof title);
  std::fputs("<TITLE>Simulation Parameters Summary</TITLE>\n", out);
  html_heading(out, title, 1);
  html_thick_rule(out);
  html_paragraph(out);
  std::fputs("<i>Process :</i> Face Turning\n", out);
  html_paragraph(out);
  std::fputs(p.units != 0 ? "<i>Data Units :</i> Metric\n" : "<i>Data Units :</i> English\n", out);
  html_paragraph(out);
  html_rule(out);
}

void write_setup(FILE* out, const SimParams& p, const UnitLabels& l) {
  html_heading(out, "Machine Setup Data", 2);
  html_paragraph(out);
  value_line(out, "Spindle-Workpiece Speed", p.spindle_rpm, "RPM");
  value_line(out, "Feed Per Revolution", p.feed_per_rev, l.feed);
  value_line(out, "Depth of Cut", p.depth_of_cut, l.length);
  value_line(out, "Initial Wear", p.initial_wear, l.length);
  value_line(out, "Inclination Angle of Cut\t", degrees(p.inclination_angle), "degrees");
  value_line(out, "Normal Rake Angle", degrees(p.normal_rake_angle), "degrees");
  value_line(out, "Side Cutting Edge Angle", degrees(p.side_cutting_edge_angle), "degrees");
  html_rule(out);
  value_line(out, "Average Chip Thickness", p.avg_chip_thickness, l.length);
  html_rule(out);
}

void write_materials(FILE* out, const SimParams& p, const UnitLabels& l) {
  html_heading(out, "Material Data", 2);
  html_paragraph(out);
  value_line(out, "Kf", p.kf, l.stress);
  value_line(out, "Kn", p.kn, l.stress);
  value_line(out, "Chip Flow Angle", degrees(p.chip_flow_angle), "degrees");
  html_rule(out);
}

void write_modal_data(FILE* out, const SimParams& p) {
  const ModalSet& s = p.spindle_modes;
  const ModalSet& t = p.tool_modes;
  const int u = p.units;
  modal_block(out, "Spindle-Workpiece Modal Data in the X-Direction", s.x_modes, u, s.x_count);
  html_rule(out);
  modal_block(out, "Spindle-Workpiece Modal Data in the Y-Direction", s.y_modes, u, s.y_count);
  html_rule(out);
  modal_block(out, "Spindle-Workpiece Modal Data in the Z-Direction", s.z_modes, u, s.z_count);
  html_rule(out);
  modal_block(out, "Tool Modal Data in the X-Direction", t.x_modes, u, t.x_count);
  html_rule(out);
  modal_block(out, "Tool Modal Data in the Y-Direction", t.y_modes, u, t.y_count);
  html_rule(out);
  modal_block(out, "Tool Modal Data in the Z-Direction", t.z_modes, u, t.z_count);
}

}  // namespace

int html_escape(std::string_view text, char* buf, int size) {
  if (buf == nullptr || size < 1) return 0;
  int used = 0;
  buf[0] = '\0';
  for (const char c : text) {
    const char* piece = xml_entity(c, false);
    const int piece_length = piece != nullptr ? static_cast<int>(std::strlen(piece)) : 1;
    if (used + piece_length > size - 1) return 0;
    if (piece != nullptr)
      std::memcpy(buf + used, piece, static_cast<size_t>(piece_length));
    else
      buf[used] = c;
    used += piece_length;
    buf[used] = '\0';
  }
  return 1;
}

void html_paragraph(FILE* out) {
  std::fputs("<P>\n", out);
}

void html_heading(FILE* out, const char* text, int level) {
  std::fprintf(out, "<H%d>%s</H%d>\n", level, text != nullptr ? text : "", level);
}

void html_rule(FILE* out) {
  std::fputs("<HR>\n", out);
}

void html_thick_rule(FILE* out) {
  std::fputs("<HR size=5>\n", out);
}

void html_write_modes(FILE* out, const ModalMode* modes, int units, int count) {
  if (out == nullptr || modes == nullptr) return;
  const UnitLabels& l = *labels_for_units(units);
  for (int i = 0; i < count; ++i) {
    const ModalMode& m = modes[i];
    value_line(out, "Modal Mass", m.mass, l.mass);
    std::fprintf(out, "<i>Damping Ratio</i> = %10.4lf\n", m.damping_ratio);
    html_paragraph(out);
    value_line(out, "Modal Stiffness", m.stiffness, l.stiffness);
    value_line(out, "Modal Coordinates Angle", m.modal_angle, "degrees");
  }
}

int html_write_summary(const SimParams* params, const char* path) {
  if (params == nullptr || path == nullptr) return 0;
  FILE* out = std::fopen(path, "w");
  if (out == nullptr) return 0;
  const SimParams& p = *params;
  const UnitLabels& l = *labels_for_units(p.units);
  write_top(out, p);
  write_setup(out, p, l);
  write_materials(out, p, l);
  write_modal_data(out, p);
  const bool written = std::ferror(out) == 0;
  const bool closed = std::fclose(out) == 0;
  return written && closed ? 1 : 0;
}
