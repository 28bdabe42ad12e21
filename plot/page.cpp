#include "plot/page.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "plot/charts.h"
#include "plot/text.h"
#include "results/xml.h"

namespace {

const char kStyle[] =
    "<style>\n"
    "body { font-family: sans-serif; margin: 1.5em; color: #222; }\n"
    "figure { margin: 1.5em 0; }\n"
    "figure img { max-width: 100%; height: auto; border: 1px solid #ccc; }\n"
    "table { border-collapse: collapse; margin-bottom: 1em; }\n"
    "td, th { padding: 0.15em 0.8em; border-bottom: 1px solid #e4e4e4; text-align: left; }\n"
    "td.value { font-family: monospace; white-space: pre; }\n"
    "th.mode { background: #f2f2f2; }\n"
    "td.number { font-family: monospace; text-align: right; }\n"
    ".verdict { font-weight: bold; }\n"
    ".chatter, .tool-left-cut { color: #c8281e; }\n"
    ".stable { color: #2a7d3a; }\n"
    "</style>\n";

// The last component of a path: the page lives beside the pictures.
std::string_view file_name(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Emits the report's lines as headings and two-column tables.
class ParameterWriter {
 public:
  std::string finish() {
    close_table();
    return html_;
  }
  void line(std::string_view raw) {
    const std::string_view text = text_trim(raw);
    if (text.empty()) {
      after_blank_ = true;
      return;
    }
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
      heading(text);
    } else {
      row(text_trim(text.substr(0, colon)), text_trim(text.substr(colon + 1)));
    }
    after_blank_ = false;
  }

 private:
  void close_table() {
    if (in_table_) html_ += "</table>\n";
    in_table_ = false;
  }
  // Sections follow a blank line in the report; directions within them do not.
  void heading(std::string_view text) {
    close_table();
    const char* tag = after_blank_ ? "h3" : "h4";
    html_ += std::string("<") + tag + ">" + page_escape(text) + "</" + tag + ">\n";
    mode_ = 0;
  }
  void row(std::string_view name, std::string_view value) {
    if (!in_table_) html_ += "<table>\n";
    in_table_ = true;
    if (name == "Modal Mass") {  // the first of a mode's four lines
      html_ +=
          "<tr><th class=\"mode\" colspan=\"2\">Mode " + std::to_string(++mode_) + "</th></tr>\n";
    }
    html_ += "<tr><td>" + page_escape(name) + "</td><td class=\"value\">" + page_escape(value) +
             "</td></tr>\n";
  }

  std::string html_ = "<h2>Job parameters</h2>\n";
  bool in_table_ = false;
  bool after_blank_ = false;
  int mode_ = 0;
};

std::string figures(const RunFiles& run) {
  std::string html;
  const std::string name(file_name(run.base));
  for (const ChartKind& chart : kCharts) {
    if (chart.drawable != nullptr && !chart.drawable(run)) continue;
    const std::string picture = name + chart.suffix;
    html += "<figure>\n<img src=\"" + page_escape(page_url(picture)) + "\" alt=\"" +
            page_escape(chart.caption) + "\"/>\n<figcaption>" + page_escape(chart.caption) +
            " (<code>" + page_escape(picture) + "</code>)</figcaption>\n</figure>\n";
  }
  return html;
}

// value printed with format, "n/a" when it is not finite.
std::string number(const char* format, double value) {
  if (!std::isfinite(value)) return "n/a";
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string cell(const std::string& text) {
  return "<td class=\"number\">" + text + "</td>";
}

// A table whose first row holds the headings and whose first column names the rows.
std::string table(const std::vector<std::string>& headings,
                  const std::vector<std::vector<std::string>>& rows) {
  std::string html = "<table>\n<tr>";
  for (const std::string& heading : headings) html += "<th>" + page_escape(heading) + "</th>";
  html += "</tr>\n";
  for (const std::vector<std::string>& row : rows) {
    html += "<tr><td>" + page_escape(row[0]) + "</td>";
    for (size_t i = 1; i < row.size(); ++i) html += cell(page_escape(row[i]));
    html += "</tr>\n";
  }
  return html + "</table>\n";
}

// "workpiece X1": a mode by its structure, direction and number.
std::string mode_name(const RunSummaryMode& mode) {
  std::string axis = mode.axis;
  for (char& c : axis) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return mode.structure + " " + axis + std::to_string(mode.index);
}

std::string verdict_lines(const PlotSummary& s) {
  const std::string verdict = page_escape(s.verdict);
  std::string html = "<table>\n<tr><td>Verdict</td><td><span class=\"verdict " + verdict + "\">" +
                     verdict + "</span>: " + page_escape(s.verdict_rule) + "</td></tr>\n";
  std::string growth = number("%+.4f per revolution", s.growth_rate);
  if (std::isfinite(s.growth_rate)) {
    growth += " (" + number("%+.2f", 100 * std::expm1(s.growth_rate)) + " % a revolution)";
  }
  html +=
      "<tr><td>Growth of the relative X vibration</td><td>" + page_escape(growth) + "</td></tr>\n";
  std::string frequency = "none found";
  if (s.dominant_frequency > 0) {
    frequency = number("%.1f Hz", s.dominant_frequency) + " (bins of " +
                number("%.2f Hz", s.frequency_resolution) + "), amplitude " +
                number("%.4g µm", s.amplitude * 1e6);
  }
  html += "<tr><td>Dominant frequency of the relative X vibration</td><td>" +
          page_escape(frequency) + "</td></tr>\n";
  if (s.has_nearest_mode) {
    const RunSummaryMode& m = s.nearest_mode;
    html += "<tr><td>Nearest mode</td><td>" +
            page_escape(mode_name(m) + ": natural " + number("%.1f Hz", m.natural_frequency) +
                        ", damped " + number("%.1f Hz", m.damped_frequency)) +
            "</td></tr>\n";
  }
  return html + "</table>\n";
}

std::string forces_table(const PlotSummary& s) {
  std::vector<std::vector<std::string>> rows;
  for (int a = 0; a < 3; ++a) {
    const RunSummaryForce& f = s.forces[a];
    rows.push_back({std::string("force ") + "XYZ"[a], number("%.2f", f.mean), number("%.2f", f.min),
                    number("%.2f", f.max), number("%.2f", f.peak_to_peak)});
  }
  return "<h3>Forces over the recorded revolutions</h3>\n" +
         table({"", "mean [N]", "minimum [N]", "maximum [N]", "peak to peak [N]"}, rows);
}

std::string cutting_table(const PlotSummary& s) {
  const RunSummaryCutting* steps[2] = {&s.first_step, &s.last_step};
  std::vector<std::vector<std::string>> rows = {
      {"cutting speed [m/min]"},     {"average chip thickness [mm]"}, {"Kf [MPa]"}, {"Kn [MPa]"},
      {"chip flow angle [degrees]"}, {"flank wear land width [mm]"}};
  for (const RunSummaryCutting* c : steps) {
    rows[0].push_back(number("%.4f", c->cutting_speed));
    rows[1].push_back(number("%.6f", c->chip_thickness * 1e3));
    rows[2].push_back(number("%.2f", c->kf * 1e-6));
    rows[3].push_back(number("%.2f", c->kn * 1e-6));
    rows[4].push_back(number("%.4f", c->chip_flow_angle));
    rows[5].push_back(number("%.6f", c->wear_land));
  }
  const auto heading = [](const char* which, const RunSummaryCutting& c) {
    return std::string(which) + " (revolution " + std::to_string(c.revolution) + ", step " +
           std::to_string(c.step) + ")";
  };
  return "<h3>Cutting data</h3>\n" + table({"", heading("first cutting step", s.first_step),
                                            heading("last cutting step", s.last_step)},
                                           rows);
}

std::string deflection_table(const PlotSummary& s) {
  const char* const names[3] = {"spindle-workpiece", "tool", "relative (tool minus workpiece)"};
  std::vector<std::vector<std::string>> rows;
  for (int st = 0; st < 3; ++st) {
    rows.push_back({names[st]});
    for (int a = 0; a < 3; ++a)
      rows.back().push_back(number("%.4f", s.static_deflection[st][a] * 1e6));
  }
  return "<h3>Static deflection under the mean force</h3>\n" +
         table({"", "X [µm]", "Y [µm]", "Z [µm]"}, rows);
}

std::string modes_table(const PlotSummary& s) {
  std::vector<std::vector<std::string>> rows;
  for (const RunSummaryMode& m : s.modes) {
    rows.push_back({mode_name(m), number("%.2f", m.natural_frequency),
                    number("%.2f", m.damped_frequency), number("%.4g", m.damping_ratio),
                    number("%.0f", m.stiffness), number("%.6g", m.mass),
                    std::to_string(m.delay_steps)});
  }
  return "<h3>Modes</h3>\n" +
         table({"mode", "natural frequency [Hz]", "damped frequency [Hz]", "damping ratio",
                "stiffness [N/m]", "mass [kg]", "delay [steps]"},
               rows);
}

}  // namespace

std::string page_summary(const RunFiles& run) {
  const PlotSummary& s = run.summary;
  if (!s.present) return "";
  return "<h2>Run summary</h2>\n" + verdict_lines(s) + forces_table(s) + cutting_table(s) +
         deflection_table(s) + modes_table(s);
}

std::string page_escape(std::string_view text) {
  return xml_escape(text_clean(text));
}

std::string page_url(std::string_view name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string url;
  for (char c : name) {
    const unsigned char b = static_cast<unsigned char>(c);
    if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') ||
        std::string_view("-._~").find(c) != std::string_view::npos) {
      url += c;
    } else {
      url += '%';
      url += kHex[b >> 4];
      url += kHex[b & 15];
    }
  }
  return url;  // ':' is encoded too, so no name reads as a scheme such as "javascript:"
}

std::string page_parameters(const RunFiles& run) {
  ParameterWriter writer;
  for (const std::string& line : run.report_lines) writer.line(line);
  return writer.finish();
}

std::string page_html(const RunFiles& run) {
  const std::string title = page_escape(run.title.empty() ? "untitled job" : run.title);
  char summary[256];
  const long revolutions = run.ranges_rms.rows;
  std::snprintf(
      summary, sizeof summary,
      "%ld recorded revolution%s from revolution %d; forces in %s, displacements in %s%s.",
      revolutions, revolutions == 1 ? "" : "s", run.first_revolution,
      runfiles_force_unit(run.units), runfiles_length_unit(run.units),
      run.summary.present ? " (their statistics per revolution in µm)" : "");
  return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n<title>" + title +
         " - plots</title>\n" + kStyle + "</head>\n<body>\n<h1>" + title + "</h1>\n<p>Run <code>" +
         page_escape(run.base) + "</code>: " + summary + "</p>\n" + page_summary(run) +
         figures(run) + page_parameters(run) + "</body>\n</html>\n";
}

int page_write(const RunFiles& run, const std::string& path, std::string* error) {
  const std::string html = page_html(run);
  errno = 0;
  FILE* out = std::fopen(path.c_str(), "w");
  if (out == nullptr) {
    *error = path + ": cannot be written: " + std::strerror(errno != 0 ? errno : EIO);
    return 0;
  }
  const bool written = std::fwrite(html.data(), 1, html.size(), out) == html.size();
  if (std::fclose(out) != 0 || !written) {
    *error = path + ": cannot be written completely";
    return 0;
  }
  return 1;
}
