#include "figures/heat_map.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "fields/prose.h"
#include "figures/svg.h"

namespace figures {
namespace {

// A value as text with ten significant digits, empty when it is not finite.
std::string num(double v) { return std::isfinite(v) ? fields::number(v, 10) : std::string(); }

// Plot area of the map (pixels): its width, height, left and top margins.
constexpr double kWidth = 560, kHeight = 420, kLeft = 90, kTop = 40;

// Lines where the values cross `level`, by marching squares over the cell
// centres; a square with a corner without a value has none.
void contour(std::ostringstream& o, const HeatMap& m, double level, double cw, double ch) {
  const int nx = static_cast<int>(m.x_values.size()), ny = static_cast<int>(m.y_values.size());
  const auto& v = m.values;
  const auto px = [&](double i) { return kLeft + (i + 0.5) * cw; };
  const auto py = [&](double j) { return kTop + kHeight - (j + 0.5) * ch; };
  for (int j = 0; j + 1 < ny; ++j)
    for (int i = 0; i + 1 < nx; ++i) {
      const double c[4] = {v[static_cast<std::size_t>(j * nx + i)], v[static_cast<std::size_t>(j * nx + i + 1)],
                           v[static_cast<std::size_t>((j + 1) * nx + i + 1)], v[static_cast<std::size_t>((j + 1) * nx + i)]};
      if (!std::isfinite(c[0]) || !std::isfinite(c[1]) || !std::isfinite(c[2]) || !std::isfinite(c[3])) continue;
      // corners (i,j) (i+1,j) (i+1,j+1) (i,j+1); crossings on the four edges
      const double cx[4] = {0, 1, 1, 0}, cy[4] = {0, 0, 1, 1};
      std::vector<std::pair<double, double>> pts;
      for (int e = 0; e < 4; ++e) {
        const int a = e, b = (e + 1) % 4;
        if ((c[a] < level) != (c[b] < level)) {
          const double t = (level - c[a]) / (c[b] - c[a]);
          pts.emplace_back(i + cx[a] + t * (cx[b] - cx[a]), j + cy[a] + t * (cy[b] - cy[a]));
        }
      }
      for (std::size_t k = 0; k + 1 < pts.size(); k += 2)
        o << "<line x1=\"" << px(pts[k].first) << "\" y1=\"" << py(pts[k].second) << "\" x2=\"" << px(pts[k + 1].first)
          << "\" y2=\"" << py(pts[k + 1].second) << "\"/>\n";
    }
}

// The ends of both inputs' ranges, their names, and the colour scale from
// lo to hi beside the map.
void axes_and_scale(std::ostringstream& o, const HeatMap& m, double lo, double hi) {
  constexpr double W = kWidth, H = kHeight, L = kLeft, T = kTop;
  o << "<text x=\"" << L << "\" y=\"" << T + H + 18 << "\">" << num(m.x_range.first) << "</text>\n";
  o << "<text x=\"" << L + W << "\" y=\"" << T + H + 18 << "\" text-anchor=\"end\">" << num(m.x_range.second) << "</text>\n";
  o << "<text x=\"" << L + W / 2 << "\" y=\"" << T + H + 40 << "\" text-anchor=\"middle\">" << escape(m.x_label)
    << "</text>\n";
  o << "<text x=\"" << L - 6 << "\" y=\"" << T + H << "\" text-anchor=\"end\">" << num(m.y_range.first) << "</text>\n";
  o << "<text x=\"" << L - 6 << "\" y=\"" << T + 10 << "\" text-anchor=\"end\">" << num(m.y_range.second) << "</text>\n";
  o << "<text transform=\"translate(" << L - 50 << "," << T + H / 2 << ") rotate(-90)\" text-anchor=\"middle\">"
    << escape(m.y_label) << "</text>\n";
  for (int k = 0; k < 50; ++k)
    o << "<rect x=\"" << L + W + 30 << "\" y=\"" << T + H - (k + 1) * H / 50 << "\" width=\"20\" height=\"" << H / 50 + 0.3
      << "\" fill=\"" << heat_colour(k / 49.0) << "\"/>\n";
  o << "<text x=\"" << L + W + 56 << "\" y=\"" << T + H << "\">" << num(lo) << "</text>\n";
  o << "<text x=\"" << L + W + 56 << "\" y=\"" << T + 10 << "\">" << num(hi) << "</text>\n";
}

}  // namespace

std::string heat_colour(double t) {
  static const double stops[][3] = {{68, 1, 84}, {59, 82, 139}, {33, 145, 140}, {94, 201, 98}, {253, 231, 37}};
  t = std::clamp(t, 0.0, 1.0) * 4.0;
  const int i = std::min(3, static_cast<int>(t));
  const double u = t - i;
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", static_cast<int>(stops[i][0] + u * (stops[i + 1][0] - stops[i][0])),
                static_cast<int>(stops[i][1] + u * (stops[i + 1][1] - stops[i][1])),
                static_cast<int>(stops[i][2] + u * (stops[i + 1][2] - stops[i][2])));
  return buf;
}

std::string render(const HeatMap& m) {
  const int nx = static_cast<int>(m.x_values.size()), ny = static_cast<int>(m.y_values.size());
  const std::vector<double>& v = m.values;
  double lo = INFINITY, hi = -INFINITY;
  for (double x : v)
    if (std::isfinite(x)) lo = std::min(lo, x), hi = std::max(hi, x);
  constexpr double W = kWidth, H = kHeight, L = kLeft, T = kTop;
  const double cw = W / nx, ch = H / ny;
  const auto px = [&](double i) { return L + (i + 0.5) * cw; };
  const auto py = [&](double j) { return T + H - (j + 0.5) * ch; };
  std::ostringstream o;
  o << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << L + W + 140 << "\" height=\"" << T + H + 70
    << "\" font-family=\"Helvetica,Arial,sans-serif\" font-size=\"12\">\n";
  o << "<text x=\"" << L << "\" y=\"24\" font-size=\"15\">" << escape(m.title) << "</text>\n";
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) {
      const double x = v[static_cast<std::size_t>(j * nx + i)];
      const std::string fill = std::isfinite(x) ? heat_colour(hi > lo ? (x - lo) / (hi - lo) : 0.5) : "#c8c8c8";
      o << "<rect x=\"" << L + i * cw << "\" y=\"" << T + H - (j + 1) * ch << "\" width=\"" << cw + 0.3 << "\" height=\""
        << ch + 0.3 << "\" fill=\"" << fill << "\"><title>" << escape(m.y_label) << " = "
        << num(m.y_values[static_cast<std::size_t>(j)]) << ", " << escape(m.x_label) << " = "
        << num(m.x_values[static_cast<std::size_t>(i)]) << ": " << (std::isfinite(x) ? num(x) : escape(m.missing))
        << "</title></rect>\n";
    }
  // Contours at round levels.
  if (hi > lo && nx > 1 && ny > 1) {
    o << "<g stroke=\"#ffffff\" stroke-width=\"1\" fill=\"none\" opacity=\"0.85\">\n";
    for (double level : nice_ticks(lo, hi, 8)) contour(o, m, level, cw, ch);
    o << "</g>\n";
  }
  if (m.marked) {
    const long index = static_cast<long>(*m.marked);
    o << "<circle cx=\"" << px(static_cast<double>(index % nx)) << "\" cy=\"" << py(static_cast<double>(index / nx))
      << "\" r=\"" << std::max(5.0, 0.4 * std::min(cw, ch)) << "\" fill=\"none\" stroke=\"#d62728\" stroke-width=\"2.5\"/>\n";
  }
  axes_and_scale(o, m, lo, hi);
  o << "</svg>\n";
  return o.str();
}

}  // namespace figures
