// The dual reflector figure: both profiles, the axis as a chain line with its
// arrowhead, the feed mark and one traced ray, drawn as an HP-GL plot file from
// the normalised ray table (before scaling).
#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "ravost/stages.h"

namespace ravost {
namespace {

// Inches of drawing per unit of normalised length (the main reflector's outer
// radius lies 8 inches above the axis).
constexpr float kScale = 8.0f;
// The axis and the outgoing ray end this far beyond the subreflector rim.
constexpr float kOvershoot = 1.0f;
constexpr float kArrowSize = 0.3f;
constexpr int kFilled = 1;
constexpr float kFeedMark = 0.2f;  // half-height of the feed mark
constexpr int kChainPattern = 6;
constexpr int kOutlinePen = 1;
constexpr int kRayPen = 2;
constexpr int kPlotDevice = 2;

struct Point {
  float x;
  float y;
};

// One reflector's profile through rows 1 to n: a pen-up move to the first
// point, then a draw to each later one.
void draw_profile(plothpfa::Plotter& plot, const float* z, const float* r, int n) {
  for (int i = 0; i < n; ++i) {
    plot.MOVEAP(i == 0 ? -1 : 1, kScale * z[i], kScale * r[i]);
  }
}

}  // namespace

void dual_reflector_figure(const Design& d, Session& s) {
  std::string answer, name;
  for (;;) {
    s.dialog.prompt(" Enter plot file ");
    answer = s.dialog.read_text("the name of the plot file", 40);
    name = file_name(answer);
    if (!s.in_use(name)) break;
    s.dialog.reject(in_use_problem(name));
  }

  plothpfa::Plotter plot(s.plotif);
  if (!plot.PINITF(kPlotDevice, answer, s.dir)) {
    throw RunError("Error: cannot create the file \"" + name + "\".");
  }

  const RayTable& t = d.rays;
  // The curves pass through rows 1 to n; the table holds at most kMaxRays.
  const int n = std::clamp(d.output_steps, 0, kMaxRays);

  plot.PPEN(kOutlinePen);
  draw_profile(plot, t.main_z.data(), t.main_r.data(), n);
  draw_profile(plot, t.sub_z.data(), t.sub_r.data(), n);

  // The axis, from the Z of the main reflector's hole rim to one inch beyond
  // the subreflector rim, as a long-and-short chain line with an arrowhead.
  const float x_end = kScale * t.sub_z[0] + kOvershoot;
  plot.MOVEPP(-1, kScale * t.main_z[0], 0.0f, kChainPattern);
  plot.MOVEPP(1, x_end, 0.0f, kChainPattern);
  plot.ARROW(kArrowSize, x_end, 0.0f, 1.0f, 0.0f, kFilled);

  // The feed mark at the origin.
  plot.MOVEAP(-1, 0.0f, -kFeedMark);
  plot.MOVEAP(1, 0.0f, kFeedMark);

  // The traced ray of row n div 3; a table of fewer than three steps has no
  // such row and traces row 1.
  const int k = std::max(1, n / 3);
  plot.PPEN(kRayPen);
  const Point sub_point{kScale * t.sub_z[k - 1], kScale * t.sub_r[k - 1]};
  const Point main_point{kScale * t.main_z[k - 1], kScale * t.main_r[k - 1]};
  const std::array<Point, 3> legs = {sub_point, main_point, Point{x_end, main_point.y}};

  Point at{0.0f, 0.0f};
  plot.MOVEAP(-1, at.x, at.y);
  for (size_t leg = 0; leg < legs.size(); ++leg) {
    const Point end = legs[leg];
    plot.MOVEAP(1, end.x, end.y);
    // length = sqrt((y2 - y)^2 + (x2 - x)^2); direction = (x2 - x, y2 - y) / length
    const float rise = end.y - at.y;
    const float run = end.x - at.x;
    const float length = std::sqrt(rise * rise + run * run);
    const float dir_x = run / length;
    const float dir_y = rise / length;
    plot.ARROW(kArrowSize, end.x, end.y, dir_x, dir_y, kFilled);
    if (leg + 1 < legs.size()) {
      at = end;
      plot.MOVEAP(-1, at.x, at.y);
    }
  }

  if (!plot.close()) throw RunError("Error: cannot write the file \"" + name + "\".");
}

}  // namespace ravost
