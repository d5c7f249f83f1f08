#include "writers/figure.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace writers {
namespace {

using plothpfa::Pen;
using plothpfa::PenMove;

// Inches of drawing per unit of normalised length (the main reflector's outer
// radius lies 8 inches above the axis).
constexpr float kScale = 8.0f;
// The axis and the outgoing ray end this far beyond the subreflector rim.
constexpr float kOvershoot = 1.0f;
constexpr float kArrowSize = 0.3f;
constexpr int kFilled = 1;
constexpr float kFeedMark = 0.2f;  // half-height of the feed mark
constexpr int kChainPattern = 6;

struct Point {
  float x;
  float y;
};

// One reflector's profile through its first n points: a pen-up move to the
// first point, then a draw to each later one.
void draw_profile(plothpfa::Plotter& plot, const std::vector<float>& z,
                  const std::vector<float>& r, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    plot.MOVEAP(i == 0 ? PenMove::up : PenMove::down, kScale * z[i], kScale * r[i]);
  }
}

}  // namespace

template <design::RealType Real>
void draw_figure(plothpfa::Plotter& plot, const design::RayTable<Real>& table) {
  // The plotter draws in 32-bit inches; a 64-bit design is rounded to them.
  std::vector<float> sub_z, sub_r, main_z, main_r;
  for (const design::Ray<Real>& ray : table.rays) {
    sub_z.push_back(static_cast<float>(ray.sub_z));
    sub_r.push_back(static_cast<float>(ray.sub_r));
    main_z.push_back(static_cast<float>(ray.main_z));
    main_r.push_back(static_cast<float>(ray.main_r));
  }
  if (sub_z.empty()) return;
  // The curves pass through rays 1 to n, n the number of output steps.
  const std::size_t n = std::min<std::size_t>(
      static_cast<std::size_t>(std::max(0, table.counts.output_steps)), sub_z.size());

  plot.PPEN(static_cast<int>(Pen::outline));
  draw_profile(plot, main_z, main_r, n);
  draw_profile(plot, sub_z, sub_r, n);
  // Rays that cross the axis are drawn from the subreflector's lower half,
  // which is drawn too, to the main reflector's upper half.
  std::vector<float> sub_below(sub_r.size());
  for (std::size_t i = 0; i < sub_r.size(); ++i) sub_below[i] = -sub_r[i];
  if (table.rays_cross_axis) draw_profile(plot, sub_z, sub_below, n);

  // The axis, from the Z of the main reflector's hole rim to one inch beyond
  // the subreflector rim, as a long-and-short chain line with an arrowhead.
  const float x_end = kScale * sub_z[0] + kOvershoot;
  plot.MOVEPP(PenMove::up, kScale * main_z[0], 0.0f, kChainPattern);
  plot.MOVEPP(PenMove::down, x_end, 0.0f, kChainPattern);
  plot.ARROW(kArrowSize, x_end, 0.0f, 1.0f, 0.0f, kFilled);

  // The feed mark at the origin.
  plot.MOVEAP(PenMove::up, 0.0f, -kFeedMark);
  plot.MOVEAP(PenMove::down, 0.0f, kFeedMark);

  // The traced ray of row n div 3; a table of fewer than three steps has no
  // such row and traces row 1.
  const std::size_t k = std::max<std::size_t>(1, n / 3);
  plot.PPEN(static_cast<int>(Pen::ray));
  const Point sub_point{kScale * sub_z[k - 1], kScale * (table.rays_cross_axis ? sub_below : sub_r)[k - 1]};
  const Point main_point{kScale * main_z[k - 1], kScale * main_r[k - 1]};
  const std::array<Point, 3> legs = {sub_point, main_point, Point{x_end, main_point.y}};

  Point at{0.0f, 0.0f};
  plot.MOVEAP(PenMove::up, at.x, at.y);
  for (std::size_t leg = 0; leg < legs.size(); ++leg) {
    const Point end = legs[leg];
    plot.MOVEAP(PenMove::down, end.x, end.y);
    // length = sqrt((y2 - y)^2 + (x2 - x)^2); direction = (x2 - x, y2 - y) / length
    const float rise = end.y - at.y;
    const float run = end.x - at.x;
    const float length = std::sqrt(rise * rise + run * run);
    const float dir_x = run / length;
    const float dir_y = rise / length;
    plot.ARROW(kArrowSize, end.x, end.y, dir_x, dir_y, kFilled);
    if (leg + 1 < legs.size()) {
      at = end;
      plot.MOVEAP(PenMove::up, at.x, at.y);
    }
  }
}

template void draw_figure<float>(plothpfa::Plotter&, const design::RayTable<float>&);
template void draw_figure<double>(plothpfa::Plotter&, const design::RayTable<double>&);

}  // namespace writers
