#include "plot/h5read.h"

#include <hdf5.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

// One /steps or /revolutions dataset read whole as doubles; false when it
// is missing or not one-dimensional.
bool read_dataset(hid_t file, const char* name, std::vector<double>* values) {
  const hid_t dataset = H5Dopen2(file, name, H5P_DEFAULT);
  if (dataset < 0) return false;
  const hid_t space = H5Dget_space(dataset);
  bool ok = space >= 0 && H5Sget_simple_extent_ndims(space) == 1;
  if (ok) {
    values->assign(static_cast<size_t>(H5Sget_simple_extent_npoints(space)), 0.0);
    ok = values->empty() ||
         H5Dread(dataset, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, values->data()) >= 0;
  }
  if (space >= 0) H5Sclose(space);
  H5Dclose(dataset);
  return ok;
}

std::string datum(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

// The data block NAME of the angle and the columns (each times scale): every
// step, or for each of kH5CurvePoints / 2 bins of steps its first angle
// with each column's smallest value, then its last angle with the largest.
std::string block(const char* name, const std::vector<double>& angle,
                  const std::vector<const std::vector<double>*>& columns, double scale) {
  std::string text = std::string(name) + " << EOD\n";
  const size_t n = angle.size();
  const size_t bins = static_cast<size_t>(kH5CurvePoints / 2);
  if (n <= static_cast<size_t>(kH5CurvePoints)) {
    for (size_t i = 0; i < n; ++i) {
      text += datum(angle[i]);
      for (const auto* column : columns) text += " " + datum((*column)[i] * scale);
      text += "\n";
    }
    return text + "EOD\n";
  }
  for (size_t b = 0; b < bins; ++b) {
    const size_t first = b * n / bins, end = (b + 1) * n / bins;
    std::string low = datum(angle[first]), high = datum(angle[end - 1]);
    for (const auto* column : columns) {
      const auto [min, max] = std::minmax_element(column->begin() + static_cast<long>(first),
                                                  column->begin() + static_cast<long>(end));
      low += " " + datum(*min * scale);
      high += " " + datum(*max * scale);
    }
    text += low + "\n" + high + "\n";
  }
  return text + "EOD\n";
}

}  // namespace

int h5read_curves(const std::string& path, H5Curves* curves, std::string* why) {
  *curves = H5Curves{};
  curves->path = path;
  H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
  const hid_t file = H5Fopen(path.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
  if (file < 0) {
    *why = path + ": not an HDF5 file that can be read";
    return 0;
  }
  const char* const names[] = {"/steps/angle",       "/steps/force_x",     "/steps/force_y",
                               "/steps/force_z",     "/steps/workpiece_x", "/steps/workpiece_y",
                               "/steps/workpiece_z", "/steps/tool_x",      "/steps/tool_y",
                               "/steps/tool_z"};
  std::vector<double> columns[10], revolutions;
  std::string missing;
  for (int i = 0; i < 10 && missing.empty(); ++i) {
    if (!read_dataset(file, names[i], &columns[i]) || columns[i].size() != columns[0].size())
      missing = names[i];
  }
  if (missing.empty() && !read_dataset(file, "/revolutions/revolution", &revolutions))
    missing = "/revolutions/revolution";
  if (missing.empty() &&
      (!read_dataset(file, "/revolutions/force_x_mean", &curves->force_x_means) ||
       curves->force_x_means.size() != revolutions.size()))
    missing = "/revolutions/force_x_mean";
  H5Fclose(file);
  if (!missing.empty()) {
    *why = path + ": " + missing + " is missing or does not hold one value per step";
    return 0;
  }
  if (columns[0].empty() || revolutions.empty()) {
    *why = path + ": no recorded step";
    return 0;
  }
  for (const auto& column : columns) {
    if (std::none_of(column.begin(), column.end(), [](double v) { return std::isfinite(v); })) {
      *why = path + ": a channel holds no finite number";
      return 0;
    }
  }
  curves->steps = static_cast<long>(columns[0].size());
  curves->revolutions = static_cast<long>(revolutions.size());
  curves->first_revolution = static_cast<int>(revolutions.front());
  curves->forces = block("$h5forces", columns[0], {&columns[1], &columns[2], &columns[3]}, 1.0);
  curves->displacements =
      block("$h5displacements", columns[0],
            {&columns[4], &columns[5], &columns[6], &columns[7], &columns[8], &columns[9]}, 1e6);
  curves->present = true;
  return 1;
}
