#include "frf/frfplot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "plot/gnuplot.h"

namespace {

constexpr double kRadToDeg = 57.29577951308232;

std::string preamble(int width, int height, const std::string& title, int rows, int columns) {
  char text[512];
  std::snprintf(text, sizeof text,
                "set terminal svg size %d,%d enhanced font 'Sans,11' background rgb 'white'\n"
                "set encoding utf8\n"
                "set linetype 1 lc rgb '#1f5fbf' lw 1.2 pt 7 ps 0.4\n"
                "set linetype 2 lc rgb '#c8281e' lw 1.6 pt 5 ps 0.6\n"
                "set linetype 3 lc rgb '#2a9d3a' lw 1.2 pt 9 ps 0.5\n"
                "set linetype 4 lc rgb '#8a8a8a' lw 1.0 pt 6 ps 0.5\n"
                "set grid\n"
                "set key top right box samplen 2\n"
                "set format y '%%g'\n",
                width, height);
  std::string s = text;
  if (rows * columns > 1) {
    std::snprintf(text, sizeof text, "set multiplot layout %d,%d title ", rows, columns);
    s += text + gnuplot_quote(title) + " noenhanced font 'Sans,14'\n";
  } else {
    s += "set title " + gnuplot_quote(title) + " noenhanced font 'Sans,13'\n";
  }
  return s;
}

std::string row(std::initializer_list<double> values) {
  std::string s;
  char buf[40];
  for (double v : values) {
    std::snprintf(buf, sizeof buf, s.empty() ? "%.9g" : " %.9g", v);
    s += buf;
  }
  return s + "\n";
}

// Columns: frequency (Hz), real, imaginary (m/N), magnitude (m/N), phase (degrees).
std::string frf_block(const std::string& name, const std::vector<double>& freq,
                      const std::vector<std::complex<double>>& value) {
  std::string s = name + " << EOD\n";
  for (size_t i = 0; i < freq.size(); ++i)
    s += row({freq[i], value[i].real(), value[i].imag(), std::abs(value[i]),
              std::arg(value[i]) * kRadToDeg});
  return s + "EOD\n";
}

// The fitted receptance on a grid as fine as the measurement's, over its band.
std::string fit_block(const std::vector<FrfData>& frfs, const FitResult& fit) {
  double from = frfs[0].freq.front(), to = frfs[0].freq.back();
  size_t points = 0;
  for (const FrfData& f : frfs) {
    from = std::min(from, f.freq.front());
    to = std::max(to, f.freq.back());
    points = std::max(points, f.freq.size());
  }
  const size_t n = std::clamp<size_t>(points, 200, 4000);
  std::vector<double> freq;
  std::vector<std::complex<double>> value;
  for (size_t i = 0; i < n; ++i) {
    freq.push_back(from + (to - from) * static_cast<double>(i) / static_cast<double>(n - 1));
    value.push_back(fit_receptance(fit, freq.back(), 1));
  }
  return frf_block("$fit", freq, value);
}

std::string measured_blocks(const std::vector<FrfData>& frfs) {
  std::string s;
  for (size_t k = 0; k < frfs.size(); ++k)
    s += frf_block("$m" + std::to_string(k), frfs[k].freq, frfs[k].value);
  return s;
}

// One panel: the measurements as lines (points for the phase, which wraps), the fit over them.
std::string panel(const std::vector<FrfData>& frfs, const char* title, const char* ylabel,
                  int column) {
  const char* style = column == 5 ? "points" : "lines";
  std::string s = "set title " + gnuplot_quote(title) + "\nset xlabel 'frequency [Hz]'\n" +
                  "set ylabel " + gnuplot_quote(ylabel) + "\nplot ";
  for (size_t k = 0; k < frfs.size(); ++k) {
    s += "$m" + std::to_string(k) + " using 1:" + std::to_string(column) + " with " + style +
         " lt " + std::to_string(k == 0 ? 1 : 3 + static_cast<int>(k % 2)) + " title " +
         gnuplot_quote("measured " + frfs[k].source) + " noenhanced, \\\n     ";
  }
  return s + "$fit using 1:" + std::to_string(column) +
         " with lines lt 2 dt 2 title 'fitted modes'\n";
}

std::string limit_block(const std::string& name, const std::vector<FrfplotLimit>& curve) {
  std::string s = name + " << EOD\n";
  for (const FrfplotLimit& p : curve) {
    if (std::isfinite(p.depth))
      s += row({p.rpm, p.depth});
    else
      s += "\n";  // a gap where no limit exists
  }
  return s + "EOD\n";
}

}  // namespace

std::string frfplot_fit_script(const std::vector<FrfData>& frfs, const FitResult& fit,
                               const std::string& title) {
  std::string s = measured_blocks(frfs) + fit_block(frfs, fit) + preamble(1200, 860, title, 2, 2);
  s += "set key font 'Sans,9'\nset autoscale xfix\n";
  s += panel(frfs, "real part", "receptance [m/N]", 2);
  s += panel(frfs, "imaginary part", "receptance [m/N]", 3);
  s += "set logscale y\nset format y '%.0e'\n";
  s += panel(frfs, "magnitude", "receptance [m/N]", 4);
  s += "unset logscale y\nset format y '%g'\nset yrange [-180:180]\nset ytics 90\n";
  s += panel(frfs, "phase", "phase [degrees]", 5);
  return s + "unset multiplot\n";
}

std::string frfplot_stabilisation_script(const std::vector<FrfData>& frfs, const FitResult& fit,
                                         const std::string& title) {
  std::string s = measured_blocks(frfs);
  s += "$stable << EOD\n";
  for (const StabilisationPole& p : fit.poles)
    if (p.stable) s += row({p.freq, static_cast<double>(p.order)});
  s += "EOD\n$other << EOD\n";
  for (const StabilisationPole& p : fit.poles)
    if (!p.stable) s += row({p.freq, static_cast<double>(p.order)});
  s += "EOD\n";
  s += preamble(1100, 640, title, 1, 1);
  s += "set xlabel 'frequency [Hz]'\nset ylabel 'model order'\nset y2label 'magnitude [m/N]'\n"
       "set autoscale xfix\nset logscale y2\nset y2tics\nset format y2 '%.0e'\nset ytics nomirror\n"
       "set key outside bottom center horizontal\n";
  for (const FittedMode& m : fit.modes) {
    char buf[160];
    std::snprintf(buf, sizeof buf,
                  "set arrow from %.9g, graph 0 to %.9g, graph 1 nohead lc rgb '#c8281e' dt 2\n",
                  m.natural_freq, m.natural_freq);
    s += buf;
  }
  s += "plot $other using 1:2 with points lt 4 title 'pole', \\\n"
       "     $stable using 1:2 with points lt 2 title 'stable pole'";
  for (size_t k = 0; k < frfs.size(); ++k)
    s += ", \\\n     $m" + std::to_string(k) + " using 1:4 axes x1y2 with lines lt 1 title " +
         gnuplot_quote("magnitude " + frfs[k].source) + " noenhanced";
  return s + "\n";
}

std::string frfplot_lobes_script(const std::vector<FrfplotLimit>& measured,
                                 const std::vector<FrfplotLimit>& fitted, const char* depth_unit,
                                 const std::string& title) {
  std::string s = limit_block("$measured", measured) + limit_block("$fitted", fitted);
  s += preamble(1000, 600, title, 1, 1);
  s += "set xlabel 'spindle speed [rpm]'\nset ylabel " +
       gnuplot_quote(std::string("limiting depth of cut [") + depth_unit + "]") +
       "\nset yrange [0:*]\nset autoscale xfix\n";
  s += "plot $measured using 1:2 with lines lt 1 title 'from the measured FRF', \\\n"
       "     $fitted using 1:2 with lines lt 2 dt 2 title 'from the fitted modes'\n";
  return s;
}
