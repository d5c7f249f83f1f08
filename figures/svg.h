// Small SVG chart writer for the report's and the sweeps' pages: axes with
// ticks at round numbers, axis labels, legend, polylines and markers, text as
// text.  Depends only on the number formatting of fields/.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "figures/ticks.h"

namespace figures {

// One colour per quantity, the same in every figure.
inline constexpr const char* kWanted = "#1f5fbf";     // wanted / ideal
inline constexpr const char* kDelivered = "#d62728";  // what the design delivers
inline constexpr const char* kUnblocked = "#2ca02c";  // delivered without the blockage
inline constexpr const char* kReflector = "#202020";
inline constexpr const char* kRay = "#e08a00";
inline constexpr const char* kGuide = "#8a8a8a";      // axis of symmetry, planes
inline constexpr const char* kWritten = "#9467bd";    // the surfaces as written

struct Series {
  std::string label;  // empty: not in the legend
  std::string colour;
  std::vector<double> x, y;
  double width = 1.6;
  bool dashed = false;
  bool markers = false;  // a dot at every point instead of a line
  // Markers only: a dot beyond the plotted range is drawn hollow on the
  // plot's edge, so that every dot stays inside the plot and none is lost.
  bool pin = false;
  // Markers only: the shape of each (a filled dot, a hollow ring, or a
  // cross), whether they sit on the bottom edge of the plot whatever their
  // y (designs without a value), and a text shown on hovering over each.
  enum class Shape { dot, ring, cross };
  Shape shape = Shape::dot;
  bool at_axis = false;
  std::vector<std::string> tips = {};  // by point; empty: none
};

struct Note {
  double x, y;  // data coordinates
  std::string text;
};

struct Chart {
  std::string id;  // unique within a page (SVG ids share one name space there)
  std::string title, x_label, y_label;
  std::vector<Series> series;
  std::vector<Note> notes;
  std::optional<std::pair<double, double>> x_range, y_range;  // default: the data's
  bool equal_scale = false;  // one data unit is as long on both axes
  std::string scale_unit;    // non-empty: draw a scale bar of a round length in this unit
  // Without y_range: the y axis spans at least this much, centred on the
  // values, and says so when the values vary less (so that numerical
  // jitter is drawn flat).
  double y_min_span = 0;
  // The legend in rows below the plot (which gives up their height) instead
  // of over the plot's top right corner.
  bool legend_below = false;
  int width = 760, height = 430;
};

std::string render(const Chart& chart);
// Charts one above the other in one picture (their ids must differ).
std::string render_stacked(const std::vector<Chart>& charts);

// Text with &, <, > and quotes escaped for XML.
std::string escape(const std::string& text);

}  // namespace figures
