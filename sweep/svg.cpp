#include "sweep/svg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double kWidth = 880, kHeight = 560;          // px
constexpr double kLeft = 80, kTop = 56;                // px, plot corner
constexpr double kPlotWidth = 600, kPlotHeight = 420;  // px

const char* const kFill[kCollectClasses] = {"#3c9d4e", "#d64541", "#7b3294", "#333333", "#ffffff"};
const char* const kLegend[kCollectClasses] = {"stable", "chatter", "tool left the cut", "failed",
                                              "missing"};

std::string fmt(const char* format, double a) {
  char text[64];
  std::snprintf(text, sizeof text, format, a);
  return text;
}

std::string px(double v) {
  return fmt("%.1f", v);
}

// Cell edges of sorted distinct values: halfway to the neighbours, the outer
// cells as wide as their inner halves.
std::vector<double> edges(const std::vector<double>& v) {
  std::vector<double> e(v.size() + 1);
  if (v.size() == 1) {
    const double half = v[0] != 0 ? std::fabs(v[0]) * 0.05 : 0.5;
    return {v[0] - half, v[0] + half};
  }
  for (size_t i = 1; i < v.size(); ++i) e[i] = 0.5 * (v[i - 1] + v[i]);
  e[0] = v[0] - (e[1] - v[0]);
  e[v.size()] = v.back() + (v.back() - e[v.size() - 1]);
  return e;
}

struct Axis {
  std::vector<double> values;  // distinct, sorted
  std::vector<double> edge;
  double lo, hi;
  size_t index(double v) const {
    return static_cast<size_t>(std::lower_bound(values.begin(), values.end(), v) - values.begin());
  }
};

Axis make_axis(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  v.erase(std::unique(v.begin(), v.end()), v.end());
  Axis a{v, edges(v), 0, 1};
  a.lo = a.edge.front();
  a.hi = a.edge.back();
  return a;
}

double x_of(const Axis& a, double v) {
  return kLeft + (v - a.lo) / (a.hi - a.lo) * kPlotWidth;
}
double y_of(const Axis& a, double v) {
  return kTop + kPlotHeight - (v - a.lo) / (a.hi - a.lo) * kPlotHeight;
}

double tick_step(double range) {
  const double raw = range / 6;
  const double p = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 2.5, 5.0})
    if (raw <= m * p) return m * p;
  return 10 * p;
}

std::string ticks(const Axis& a, bool horizontal) {
  std::string s;
  const double step = tick_step(a.hi - a.lo);
  for (double t = std::ceil(a.lo / step) * step; t <= a.hi + 1e-9 * step; t += step) {
    const std::string label = fmt("%g", std::fabs(t) < 1e-9 * step ? 0.0 : t);
    if (horizontal) {
      const double x = x_of(a, t);
      s += "<line x1=\"" + px(x) + "\" y1=\"" + px(kTop + kPlotHeight) + "\" x2=\"" + px(x) +
           "\" y2=\"" + px(kTop + kPlotHeight + 5) + "\" stroke=\"#000\"/>\n";
      s += "<text x=\"" + px(x) + "\" y=\"" + px(kTop + kPlotHeight + 20) +
           "\" text-anchor=\"middle\">" + label + "</text>\n";
    } else {
      const double y = y_of(a, t);
      s += "<line x1=\"" + px(kLeft - 5) + "\" y1=\"" + px(y) + "\" x2=\"" + px(kLeft) +
           "\" y2=\"" + px(y) + "\" stroke=\"#000\"/>\n";
      s += "<text x=\"" + px(kLeft - 8) + "\" y=\"" + px(y + 4) + "\" text-anchor=\"end\">" +
           label + "</text>\n";
    }
  }
  return s;
}

std::string tooltip(const CollectResult& r, const std::string& unit) {
  std::string t = fmt("%g rpm, ", r.run.rpm) + fmt("%g ", r.run.depth) + unit + ": " +
                  collect_class_name(r.cls);
  if (std::isfinite(r.growth)) t += fmt(", growth %.3g", r.growth);
  if (!r.note.empty()) t += " (" + r.note + ")";
  return svg_escape(t);
}

std::string cells(const SvgMap& m, const Axis& xa, const Axis& ya) {
  std::string s;
  for (const CollectResult& r : m.results) {
    const size_t i = xa.index(r.run.rpm), j = ya.index(r.run.depth);
    const double x0 = x_of(xa, xa.edge[i]), x1 = x_of(xa, xa.edge[i + 1]);
    const double y0 = y_of(ya, ya.edge[j + 1]), y1 = y_of(ya, ya.edge[j]);
    s += std::string("<rect class=\"cell ") + collect_class_name(r.cls) + "\" x=\"" + px(x0) +
         "\" y=\"" + px(y0) + "\" width=\"" + px(x1 - x0) + "\" height=\"" + px(y1 - y0) +
         "\" fill=\"" + kFill[r.cls] + "\"";
    if (r.cls == COLLECT_MISSING) s += " stroke=\"#999999\" stroke-dasharray=\"2,2\"";
    s += "><title>" + tooltip(r, m.length_unit) + "</title></rect>\n";
  }
  return s;
}

// The curve as polylines, broken where there is no limit, clipped to the plot.
std::string curve(const SvgMap& m, const Axis& xa, const Axis& ya) {
  std::string s, points;
  const double cap = ya.hi + (ya.hi - ya.lo);  // keeps coordinates small above the plot
  auto flush = [&]() {
    if (points.find(' ') != points.rfind(' '))
      s += "<polyline class=\"limit\" fill=\"none\" stroke=\"#1f4e9c\" stroke-width=\"2\" "
           "clip-path=\"url(#plot)\" points=\"" +
           points + "\"/>\n";
    points.clear();
  };
  for (const SvgLimitPoint& p : m.limit) {
    if (!std::isfinite(p.depth) || p.rpm < xa.lo || p.rpm > xa.hi) {
      flush();
      continue;
    }
    points += " " + px(x_of(xa, p.rpm)) + "," + px(y_of(ya, std::min(p.depth, cap)));
  }
  flush();
  return s;
}

std::string legend(const SvgMap& m) {
  int counts[kCollectClasses] = {};
  for (const CollectResult& r : m.results) ++counts[r.cls];
  std::string s;
  double y = kTop + 10;
  for (int c = 0; c < kCollectClasses; ++c) {
    s += "<rect x=\"" + px(kLeft + kPlotWidth + 24) + "\" y=\"" + px(y - 11) +
         "\" width=\"14\" height=\"14\" fill=\"" + kFill[c] + "\" stroke=\"#999999\"/>\n";
    s += "<text x=\"" + px(kLeft + kPlotWidth + 46) + "\" y=\"" + px(y) + "\">" + kLegend[c] +
         " (" + std::to_string(counts[c]) + ")</text>\n";
    y += 22;
  }
  if (!m.limit.empty()) {
    s += "<line x1=\"" + px(kLeft + kPlotWidth + 24) + "\" y1=\"" + px(y - 4) + "\" x2=\"" +
         px(kLeft + kPlotWidth + 38) + "\" y2=\"" + px(y - 4) +
         "\" stroke=\"#1f4e9c\" stroke-width=\"2\"/>\n";
    s += "<text x=\"" + px(kLeft + kPlotWidth + 46) + "\" y=\"" + px(y) +
         "\">analytic limit</text>\n";
  }
  return s;
}

}  // namespace

void svg_axis_range(const std::vector<double>& values, double* lo, double* hi) {
  const Axis a = make_axis(values.empty() ? std::vector<double>{0} : values);
  *lo = a.lo;
  *hi = a.hi;
}

std::string svg_escape(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        // Control characters are not allowed in XML 1.0 text.
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n') {
          out += ' ';
        } else {
          out += c;
        }
    }
  }
  return out;
}

std::string svg_map(const SvgMap& m) {
  std::vector<double> rpms, depths;
  for (const CollectResult& r : m.results) {
    rpms.push_back(r.run.rpm);
    depths.push_back(r.run.depth);
  }
  if (rpms.empty()) rpms = {0}, depths = {0};
  const Axis xa = make_axis(rpms), ya = make_axis(depths);
  std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  s += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + px(kWidth) + "\" height=\"" +
       px(kHeight) + "\" viewBox=\"0 0 " + px(kWidth) + " " + px(kHeight) +
       "\" font-family=\"sans-serif\" font-size=\"12\">\n";
  s += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  s += "<clipPath id=\"plot\"><rect x=\"" + px(kLeft) + "\" y=\"" + px(kTop) + "\" width=\"" +
       px(kPlotWidth) + "\" height=\"" + px(kPlotHeight) + "\"/></clipPath>\n";
  s += "<text x=\"" + px(kLeft) + "\" y=\"28\" font-size=\"15\">" + svg_escape(m.title) +
       "</text>\n";
  // Thin white lines between the cells show the grid.
  s += "<g stroke=\"#ffffff\" stroke-width=\"0.5\">\n" + cells(m, xa, ya) + "</g>\n";
  s += curve(m, xa, ya);
  s += "<rect x=\"" + px(kLeft) + "\" y=\"" + px(kTop) + "\" width=\"" + px(kPlotWidth) +
       "\" height=\"" + px(kPlotHeight) + "\" fill=\"none\" stroke=\"#000\"/>\n";
  s += ticks(xa, true) + ticks(ya, false);
  s += "<text x=\"" + px(kLeft + kPlotWidth / 2) + "\" y=\"" + px(kTop + kPlotHeight + 42) +
       "\" text-anchor=\"middle\">Spindle speed (rpm)</text>\n";
  s += "<text transform=\"translate(24," + px(kTop + kPlotHeight / 2) +
       ") rotate(-90)\" text-anchor=\"middle\">Depth of cut (" + svg_escape(m.length_unit) +
       ")</text>\n";
  s += legend(m) + "</svg>\n";
  return s;
}
