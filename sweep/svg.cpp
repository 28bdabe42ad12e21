#include "sweep/svg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "results/xml.h"

namespace {

// A point with no value: the line breaks there.
constexpr double kNoPoint = std::numeric_limits<double>::quiet_NaN();

constexpr double kWidth = 880, kHeight = 590;          // px
constexpr double kLeft = 80, kTop = 84;                // px, plot corner
constexpr double kPlotWidth = 600, kPlotHeight = 420;  // px
constexpr double kLegendX = kLeft + kPlotWidth + 24;   // px

const char* const kFill[kCollectClasses] = {"#3c9d4e", "#d64541", "#7b3294",
                                            "#e8b730", "#333333", "#ffffff"};
const char* const kLegend[kCollectClasses] = {"stable",    "chatter", "tool left the cut",
                                              "undecided", "failed",  "missing"};
const char kLimitColour[] = "#1f4e9c";

std::string fmt(const char* format, double a) {
  char text[64];
  std::snprintf(text, sizeof text, format, a);
  return text;
}

std::string px(double v) {
  return fmt("%.1f", v);
}

// Cell edges of sorted distinct values: halfway to the neighbours, but no
// more than half the median spacing from the value.
std::vector<double> edges(const std::vector<double>& v) {
  if (v.size() == 1) {
    const double half = v[0] != 0 ? std::fabs(v[0]) * 0.05 : 0.5;
    return {v[0] - half, v[0] + half};
  }
  std::vector<double> gaps;
  for (size_t i = 1; i < v.size(); ++i) gaps.push_back(v[i] - v[i - 1]);
  std::vector<double> sorted = gaps;
  std::nth_element(sorted.begin(), sorted.begin() + (sorted.size() - 1) / 2, sorted.end());
  const double half_step = sorted[(sorted.size() - 1) / 2] / 2;
  // Two edges per cell: left and right; neighbouring cells share an edge
  // where they touch.
  std::vector<double> e;
  for (size_t i = 0; i < v.size(); ++i) {
    const double left = i == 0 ? half_step : std::min(half_step, gaps[i - 1] / 2);
    const double right = i + 1 == v.size() ? half_step : std::min(half_step, gaps[i] / 2);
    e.push_back(v[i] - left);
    e.push_back(v[i] + right);
  }
  return e;
}

struct Axis {
  std::vector<double> values;  // distinct, sorted
  std::vector<double> edge;    // left and right edge of each value's cell
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

// Tick values from lo to hi (any unit).
std::vector<double> tick_values(double lo, double hi) {
  std::vector<double> t;
  if (!(hi > lo)) return t;
  const double step = tick_step(hi - lo);
  for (double v = std::ceil(lo / step) * step; v <= hi + 1e-9 * step; v += step)
    t.push_back(std::fabs(v) < 1e-9 * step ? 0.0 : v);
  return t;
}

std::string line(double x1, double y1, double x2, double y2, const char* style) {
  return "<line x1=\"" + px(x1) + "\" y1=\"" + px(y1) + "\" x2=\"" + px(x2) + "\" y2=\"" + px(y2) +
         "\" " + style + "/>\n";
}

std::string text(double x, double y, const char* anchor, const std::string& body) {
  return "<text x=\"" + px(x) + "\" y=\"" + px(y) + "\" text-anchor=\"" + anchor + "\">" + body +
         "</text>\n";
}

std::string ticks(const Axis& xa, const Axis& ya) {
  std::string s;
  const double bottom = kTop + kPlotHeight;
  for (double t : tick_values(xa.lo, xa.hi)) {
    s += line(x_of(xa, t), bottom, x_of(xa, t), bottom + 5, "stroke=\"#000\"");
    s += text(x_of(xa, t), bottom + 20, "middle", fmt("%g", t));
  }
  for (double t : tick_values(ya.lo, ya.hi)) {
    s += line(kLeft - 5, y_of(ya, t), kLeft, y_of(ya, t), "stroke=\"#000\"");
    s += text(kLeft - 8, y_of(ya, t) + 4, "end", fmt("%g", t));
  }
  return s;
}

// The cutting speed at the start radius along the top edge.
std::string speed_axis(const SvgMap& m, const Axis& xa) {
  const double c = m.cutting_speed_per_rpm;
  if (!(c > 0) || !std::isfinite(c)) return "";
  std::string s;
  for (double v : tick_values(xa.lo * c, xa.hi * c)) {
    const double x = x_of(xa, v / c);
    s += line(x, kTop - 5, x, kTop, "stroke=\"#000\"");
    s += text(x, kTop - 9, "middle", fmt("%g", v));
  }
  s += text(kLeft + kPlotWidth / 2, kTop - 28, "middle",
            "Cutting speed at the start radius (m/min)");
  return s;
}

std::string tooltip(const CollectResult& r, const std::string& unit) {
  std::string t = fmt("%g rpm, ", r.run.rpm) + fmt("%g ", r.run.depth) + unit + ": " +
                  collect_class_name(r.cls);
  if (std::isfinite(r.growth_rate)) t += fmt(", growth %.3g /rev", r.growth_rate);
  if (std::isfinite(r.frequency)) t += fmt(", %.4g Hz", r.frequency);
  if (!r.note.empty()) t += " (" + r.note + ")";
  return xml_escape(t);
}

std::string cells(const SvgMap& m, const Axis& xa, const Axis& ya) {
  std::string s;
  for (const CollectResult& r : m.results) {
    const size_t i = xa.index(r.run.rpm), j = ya.index(r.run.depth);
    const double x0 = x_of(xa, xa.edge[2 * i]), x1 = x_of(xa, xa.edge[2 * i + 1]);
    const double y0 = y_of(ya, ya.edge[2 * j + 1]), y1 = y_of(ya, ya.edge[2 * j]);
    s += std::string("<rect data-class=\"") + collect_class_name(r.cls) + "\" x=\"" + px(x0) +
         "\" y=\"" + px(y0) + "\" width=\"" + px(x1 - x0) + "\" height=\"" + px(y1 - y0) +
         "\" fill=\"" + kFill[r.cls] + "\"";
    if (r.cls == COLLECT_MISSING) s += " stroke=\"#999999\" stroke-dasharray=\"2,2\"";
    s += "><title>" + tooltip(r, m.length_unit) + "</title></rect>\n";
  }
  return s;
}

struct Point {
  double x, y;  // px
};

// Clips the segment a-b to the plot (Liang-Barsky); false when nothing is inside.
bool clip_segment(Point* a, Point* b) {
  const double dx = b->x - a->x, dy = b->y - a->y;
  double t0 = 0, t1 = 1;
  const double p[] = {-dx, dx, -dy, dy};
  const double q[] = {a->x - kLeft, kLeft + kPlotWidth - a->x, a->y - kTop,
                      kTop + kPlotHeight - a->y};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0) {
      t0 = std::max(t0, t);
    } else {
      t1 = std::min(t1, t);
    }
    if (t0 > t1) return false;
  }
  const Point start{a->x + t0 * dx, a->y + t0 * dy};
  *b = {a->x + t1 * dx, a->y + t1 * dy};
  *a = start;
  return true;
}

// Polylines through the points, broken at NaN points and clipped to the plot.
std::string polylines(const std::vector<Point>& points, const std::string& style) {
  std::string s, run;
  int count = 0;
  Point last{0, 0};
  auto flush = [&]() {
    if (count >= 2) s += "<polyline fill=\"none\" " + style + " points=\"" + run + "\"/>\n";
    run.clear();
    count = 0;
  };
  for (size_t i = 1; i < points.size(); ++i) {
    Point a = points[i - 1], b = points[i];
    if (std::isnan(a.y) || std::isnan(b.y) || !clip_segment(&a, &b)) {
      flush();
      continue;
    }
    if (count == 0 || a.x != last.x || a.y != last.y) {
      flush();
      run = px(a.x) + "," + px(a.y);
      count = 1;
    }
    run += " " + px(b.x) + "," + px(b.y);
    ++count;
    last = b;
  }
  flush();
  return s;
}

// The analytic curve, broken where there is no limit.
std::string curve(const SvgMap& m, const Axis& xa, const Axis& ya) {
  std::vector<Point> points;
  const double cap = ya.hi + (ya.hi - ya.lo);  // keeps coordinates small above the plot
  for (const SvgLimitPoint& p : m.limit) {
    const double y = std::isfinite(p.depth) ? y_of(ya, std::min(p.depth, cap)) : kNoPoint;
    points.push_back({x_of(xa, p.rpm), y});
  }
  return polylines(points, std::string("stroke=\"") + kLimitColour + "\" stroke-width=\"2\"");
}

// The speeds of the boundary in groups of neighbours on the grid: a band or
// a line joins only speeds with no unrun speed between them.
std::vector<std::vector<SvgBoundaryPoint>> neighbour_groups(const SvgMap& m, const Axis& xa) {
  std::vector<std::vector<SvgBoundaryPoint>> groups;
  for (const SvgBoundaryPoint& b : m.boundary) {
    const size_t i = xa.index(b.rpm);
    const bool joined = !groups.empty() && i > 0 && i < xa.values.size() &&
                        xa.edge[2 * i] == xa.edge[2 * i - 1] &&
                        groups.back().back().rpm == xa.values[i - 1];
    if (!joined) groups.emplace_back();
    groups.back().push_back(b);
  }
  return groups;
}

// The bracket of the boundary as dashed boxes, the boundary as a line with a
// dot per speed. The boxes are outlines so that the cells stay visible.
std::string boundary(const SvgMap& m, const Axis& xa, const Axis& ya) {
  const char band_style[] =
      "fill=\"none\" stroke=\"#000000\" stroke-width=\"0.8\" "
      "stroke-dasharray=\"3,2\"";
  std::string s;
  for (const auto& group : neighbour_groups(m, xa)) {
    std::vector<Point> centre;
    for (const SvgBoundaryPoint& b : group) {
      // Each bracket spans its own cell: neighbouring cells' brackets join
      // into a band, and a lone speed's stays a box over its column.
      const size_t i = xa.index(b.rpm);
      if (std::isfinite(b.low) && std::isfinite(b.high)) {
        const double x0 = x_of(xa, xa.edge[2 * i]), x1 = x_of(xa, xa.edge[2 * i + 1]);
        const double y0 = y_of(ya, b.high), y1 = y_of(ya, b.low);
        s += std::string("<rect ") + band_style + " x=\"" + px(x0) + "\" y=\"" + px(y0) +
             "\" width=\"" + px(x1 - x0) + "\" height=\"" + px(y1 - y0) + "\"/>\n";
      }
      centre.push_back(
          {x_of(xa, b.rpm), std::isfinite(b.boundary) ? y_of(ya, b.boundary) : kNoPoint});
    }
    s += polylines(centre, "stroke=\"#000000\" stroke-width=\"1.5\"");
    for (const Point& p : centre) {
      if (std::isnan(p.y)) continue;
      s += "<circle cx=\"" + px(p.x) + "\" cy=\"" + px(p.y) + "\" r=\"2.5\" fill=\"#000000\"/>\n";
    }
  }
  return s;
}

std::string legend(const SvgMap& m) {
  int counts[kCollectClasses] = {};
  for (const CollectResult& r : m.results) ++counts[r.cls];
  std::string s;
  double y = kTop + 10;
  for (int c = 0; c < (m.results.empty() ? 0 : kCollectClasses); ++c) {
    s += "<rect x=\"" + px(kLegendX) + "\" y=\"" + px(y - 11) +
         "\" width=\"14\" height=\"14\" fill=\"" + kFill[c] + "\" stroke=\"#999999\"/>\n";
    s += text(kLegendX + 22, y, "start",
              std::string(kLegend[c]) + " (" + std::to_string(counts[c]) + ")");
    y += 22;
  }
  bool bracketed = false;
  for (const SvgBoundaryPoint& b : m.boundary) bracketed |= std::isfinite(b.boundary);
  if (bracketed) {
    s += line(kLegendX, y - 4, kLegendX + 14, y - 4, "stroke=\"#000000\" stroke-width=\"1.5\"");
    s += text(kLegendX + 22, y, "start", "simulated boundary");
    y += 22;
    s += "<rect x=\"" + px(kLegendX) + "\" y=\"" + px(y - 11) +
         "\" width=\"14\" height=\"14\" fill=\"none\" stroke=\"#000000\" stroke-width=\"0.8\" "
         "stroke-dasharray=\"3,2\"/>\n";
    s += text(kLegendX + 22, y, "start",
              m.results.empty() ? "its bracket" : "its bracket (runs either side)");
    y += 22;
  }
  if (!m.limit.empty()) {
    s += line(kLegendX, y - 4, kLegendX + 14, y - 4, "stroke=\"#1f4e9c\" stroke-width=\"2\"");
    s += text(kLegendX + 22, y, "start", "analytic limit");
  }
  return s;
}

}  // namespace

void svg_axis_range(const std::vector<double>& values, double* lo, double* hi) {
  const Axis a = make_axis(values.empty() ? std::vector<double>{0} : values);
  *lo = a.lo;
  *hi = a.hi;
}

std::string svg_map(const SvgMap& m) {
  std::vector<double> rpms, depths;
  for (const CollectResult& r : m.results) {
    rpms.push_back(r.run.rpm);
    depths.push_back(r.run.depth);
  }
  if (rpms.empty())
    for (const SvgBoundaryPoint& b : m.boundary) rpms.push_back(b.rpm);
  if (rpms.empty()) rpms = {0};
  if (depths.empty()) depths = {0};
  const Axis xa = make_axis(rpms);
  Axis ya = make_axis(depths);
  if (m.results.empty() && m.depth_to > m.depth_from)
    ya = Axis{{m.depth_from, m.depth_to}, {m.depth_from, m.depth_to}, m.depth_from, m.depth_to};
  std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  s += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + px(kWidth) + "\" height=\"" +
       px(kHeight) + "\" viewBox=\"0 0 " + px(kWidth) + " " + px(kHeight) +
       "\" font-family=\"sans-serif\" font-size=\"12\">\n";
  s += "<rect x=\"0\" y=\"0\" width=\"" + px(kWidth) + "\" height=\"" + px(kHeight) +
       "\" fill=\"#ffffff\"/>\n";
  s += "<text x=\"" + px(kLeft) + "\" y=\"22\" font-size=\"15\">" + xml_escape(m.title) +
       "</text>\n";
  // Thin white lines between the cells show the grid.
  s += "<g stroke=\"#ffffff\" stroke-width=\"0.5\">\n" + cells(m, xa, ya) + "</g>\n";
  s += boundary(m, xa, ya);
  s += curve(m, xa, ya);
  s += "<rect x=\"" + px(kLeft) + "\" y=\"" + px(kTop) + "\" width=\"" + px(kPlotWidth) +
       "\" height=\"" + px(kPlotHeight) + "\" fill=\"none\" stroke=\"#000\"/>\n";
  s += ticks(xa, ya) + speed_axis(m, xa);
  s += text(kLeft + kPlotWidth / 2, kTop + kPlotHeight + 42, "middle", "Spindle speed (rpm)");
  s += "<text transform=\"translate(24," + px(kTop + kPlotHeight / 2) +
       ") rotate(-90)\" text-anchor=\"middle\">Depth of cut (" + xml_escape(m.length_unit) +
       ")</text>\n";
  if (!m.limit.empty()) {
    s += "<text x=\"" + px(kLeft) + "\" y=\"" + px(kTop + kPlotHeight + 68) +
         "\" font-size=\"11\">The analytic limit neglects process damping, flank wear and the "
         "loss of contact; the simulated runs include them.</text>\n";
  }
  s += legend(m) + "</svg>\n";
  return s;
}
