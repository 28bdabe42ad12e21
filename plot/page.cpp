#include "plot/page.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

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
    const std::string picture = name + chart.suffix;
    html += "<figure>\n<img src=\"" + page_escape(page_url(picture)) + "\" alt=\"" +
            page_escape(chart.caption) + "\"/>\n<figcaption>" + page_escape(chart.caption) +
            " (<code>" + page_escape(picture) + "</code>)</figcaption>\n</figure>\n";
  }
  return html;
}

}  // namespace

std::string page_escape(std::string_view text) { return xml_escape(text_clean(text)); }

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
  std::snprintf(summary, sizeof summary,
                "%ld recorded revolution%s from revolution %d; forces in %s, displacements in %s.",
                revolutions, revolutions == 1 ? "" : "s", run.first_revolution,
                runfiles_force_unit(run.units), runfiles_length_unit(run.units));
  return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n<title>" + title +
         " - plots</title>\n" + kStyle + "</head>\n<body>\n<h1>" + title + "</h1>\n<p>Run <code>" +
         page_escape(run.base) + "</code>: " + summary + "</p>\n" + figures(run) +
         page_parameters(run) + "</body>\n</html>\n";
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
