#include "results/report.h"

#include <cstring>

#include "model/units.h"
#include "results/labels.h"

namespace {

// Degrees of an angle the record holds in radians.
inline double degrees(double radians) {
  return radians / kDegToRad;
}

// Length of a text field, never reading past its 64-byte buffer.
inline int text_length(const char* text) {
  return static_cast<int>(strnlen(text, kParamsTextSize - 1));
}

void write_heading_and_angles(FILE* out, const SimParams& p) {
  std::fprintf(out, "%.*s\n", text_length(p.title), p.title);
  std::fputs("======================================\n\n", out);
  std::fputs("Process : Face Turning \n", out);
  std::fputs(p.units != 0 ? "Data Units : Metric\n" : "Data Units : English\n", out);
  std::fprintf(out, "Inclination Angle \t: %10.4lf [degrees]\n", degrees(p.inclination_angle));
  std::fprintf(out, "Normal Rake Angle \t: %10.4lf [degrees]\n", degrees(p.normal_rake_angle));
  std::fprintf(out, "Side Cutting Edge Angle\t: %10.4lf [degrees]\n",
               degrees(p.side_cutting_edge_angle));
}

void write_setup_and_materials(FILE* out, const SimParams& p, const UnitLabels& l) {
  std::fputs("\nMachine Setup Data\n", out);
  std::fprintf(out, "Spindle-Workpiece Speed: %10.4lf [RPM]\n", p.spindle_rpm);
  std::fprintf(out, "Feed Per Revolution\t: %10.4lf [%s]\n", p.feed_per_rev, l.feed);
  std::fprintf(out, "Depth of Cut\t\t: %10.4lf [%s]\n", p.depth_of_cut, l.length);
  std::fprintf(out, "Initial Wear\t\t: %10.4lf [%s]\n", p.initial_wear, l.length);
  std::fputs("\nTool & Workpiece Data\n", out);
  std::fprintf(out, "Nose Radius of Insert\t: %10.4lf [%s]\n", p.nose_radius, l.length);
  std::fprintf(out, "Workpiece Radius\t: %10.4lf [%s]\n", p.workpiece_radius, l.length);
  std::fprintf(out, "Average Chip Thickness\t: %10.4lf [%s]\n", p.avg_chip_thickness, l.length);
  std::fputs("\nMaterial Data\n", out);
  std::fprintf(out, "Kf\t\t\t: %10.4lf [%s]\n", p.kf, l.stress);
  std::fprintf(out, "Kn\t\t\t: %10.4lf [%s]\n", p.kn, l.stress);
  std::fprintf(out, "Chip Flow Angle\t\t: %10.4lf [degrees]\n", degrees(p.chip_flow_angle));
}

// The three direction headings of one structure, each followed by its modes.
void write_structure(FILE* out, const ModalSet& set, int units) {
  std::fputs("X - Direction\n", out);
  report_write_modes(out, set.x_modes, units, set.x_count);
  std::fputs("Y - Direction\n", out);
  report_write_modes(out, set.y_modes, units, set.y_count);
  std::fputs("Z - Direction\n", out);
  report_write_modes(out, set.z_modes, units, set.z_count);
}

}  // namespace

void report_write_modes(FILE* out, const ModalMode* modes, int units, int count) {
  if (out == nullptr || modes == nullptr) return;
  const UnitLabels& l = *labels_for_units(units);
  for (int i = 0; i < count; ++i) {
    const ModalMode& m = modes[i];
    std::fprintf(out, "Modal Mass\t\t: %10.4lf [%s]\n", m.mass, l.mass);
    std::fprintf(out, "Damping Ratio\t\t: %10.4lf\n", m.damping_ratio);
    std::fprintf(out, "Modal Stiffness\t\t: %10.4lf [%s]\n", m.stiffness, l.stiffness);
    std::fprintf(out, "Modal Coordinates Angle\t: %10.4lf [degrees]\n", m.modal_angle);
  }
}

int report_write(const SimParams* params, const char* path) {
  if (params == nullptr || path == nullptr) return 0;
  FILE* out = std::fopen(path, "w");
  if (out == nullptr) return 0;
  const SimParams& p = *params;
  write_heading_and_angles(out, p);
  write_setup_and_materials(out, p, *labels_for_units(p.units));
  std::fputs("\nSpindle-Workpiece Modal Data\n", out);
  write_structure(out, p.spindle_modes, p.units);
  std::fputs("\nTool Modal Data\n", out);
  write_structure(out, p.tool_modes, p.units);
  const bool written = std::ferror(out) == 0;
  const bool closed = std::fclose(out) == 0;
  return written && closed ? 1 : 0;
}
