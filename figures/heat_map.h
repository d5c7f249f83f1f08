// Heat map of one quantity over a grid of two inputs, with round ticks on
// both inputs and on the colour scale, contour lines at round levels, cells
// without a value grey (or marked by why they have none), one cell circled,
// and a legend for the marks.
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
  std::string marked_label = "best design";  // the circle's legend entry
  // What each cell is, by cell; empty: every cell a value (grey when not
  // finite).  A warned cell is drawn pale with a ring, a refused one grey
  // with a dark cross, a failed one grey with a red cross; none of them
  // takes part in the colour scale.
  enum class Cell { value, warned, refused, failed };
  std::vector<Cell> kinds;
  std::vector<std::string> tips;  // by cell: added to its hover text (why); may be empty
  // The colour scale spans at least this much, centred on the values, and
  // says so when they vary less (numerical jitter is not coloured).
  double min_span = 0;
};

// The colour of t in [0, 1] (clamped) on the scale from dark blue through
// green to yellow, as "#rrggbb".
std::string heat_colour(double t);

std::string render(const HeatMap& map);

}  // namespace figures
