// Heat map of one quantity over a grid of two inputs, with contour lines at
// round levels, cells without a value grey and one cell circled.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace figures {

struct HeatMap {
  std::string title;
  std::string x_label, y_label;             // the input across and the one up
  std::vector<double> x_values, y_values;   // the inputs at the columns and the rows
  std::pair<double, double> x_range, y_range;  // written at the ends of the axes
  // Row by row from the bottom: values[j * x_values.size() + i]; a value
  // that is not finite is a grey cell.
  std::vector<double> values;
  std::string missing = "no value";         // a grey cell's tooltip
  std::optional<std::size_t> marked;        // index into values of the cell circled
};

// The colour of t in [0, 1] (clamped) on the scale from dark blue through
// green to yellow, as "#rrggbb".
std::string heat_colour(double t);

std::string render(const HeatMap& map);

}  // namespace figures
