#include "figures/heat_map.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "fields/prose.h"
#include "figures/svg.h"
#include "figures/ticks.h"

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

// A tick label for an input that has one value only.
std::string single(double v) { return fields::number(v, 6); }

// Ticks along both inputs: round values over the span the cells cover, each
// where its value falls between the cell centres.
void input_axes(std::ostringstream& o, const HeatMap& m, double cw, double ch) {
  constexpr double W = kWidth, H = kHeight, L = kLeft, T = kTop;
  const auto along = [](const std::vector<double>& values, const std::pair<double, double>& range, double cell,
                        const auto& place) {
    const std::size_t n = values.size();
    std::vector<std::pair<double, std::string>> out;  // drawing position, label
    if (n == 0) return out;
    if (n == 1 || !(range.second > range.first)) {
      out.emplace_back(place(0.5 * cell), single(values.front()));
      return out;
    }
    const double per_cell = (range.second - range.first) / static_cast<double>(n - 1);
    const double lo = range.first - 0.5 * per_cell, hi = range.second + 0.5 * per_cell;
    const double step = tick_step(lo, hi, 6);
    for (double t : nice_ticks(lo, hi, 6))
      out.emplace_back(place((0.5 + (t - range.first) / per_cell) * cell), tick_label(t, step));
    return out;
  };
  const auto xs = along(m.x_values, m.x_range, cw, [&](double d) { return L + d; });
  const auto ys = along(m.y_values, m.y_range, ch, [&](double d) { return T + H - d; });
  o << "<path stroke=\"black\" fill=\"none\" d=\"";
  for (const auto& [x, label] : xs) o << 'M' << x << ',' << T + H << "v5";
  for (const auto& [y, label] : ys) o << 'M' << L - 5 << ',' << y << "h5";
  o << "\"/>\n";
  for (const auto& [x, label] : xs)
    o << "<text x=\"" << x << "\" y=\"" << T + H + 18 << "\" text-anchor=\"middle\">" << label << "</text>\n";
  for (const auto& [y, label] : ys)
    o << "<text x=\"" << L - 8 << "\" y=\"" << y + 4 << "\" text-anchor=\"end\">" << label << "</text>\n";
  o << "<text x=\"" << L + W / 2 << "\" y=\"" << T + H + 38 << "\" text-anchor=\"middle\">" << escape(m.x_label)
    << "</text>\n";
  o << "<text transform=\"translate(" << L - 62 << "," << T + H / 2 << ") rotate(-90)\" text-anchor=\"middle\">"
    << escape(m.y_label) << "</text>\n";
}

// The colour scale from lo to hi beside the map, with round ticks.
void colour_bar(std::ostringstream& o, double lo, double hi) {
  constexpr double W = kWidth, H = kHeight, L = kLeft, T = kTop;
  for (int k = 0; k < 50; ++k)
    o << "<rect x=\"" << L + W + 30 << "\" y=\"" << T + H - (k + 1) * H / 50 << "\" width=\"20\" height=\"" << H / 50 + 0.3
      << "\" fill=\"" << heat_colour(k / 49.0) << "\"/>\n";
  if (!std::isfinite(lo)) return;  // no values: no scale
  if (!(hi > lo)) {
    o << "<text x=\"" << L + W + 56 << "\" y=\"" << T + H / 2 + 4 << "\">" << single(lo) << "</text>\n";
    return;
  }
  const double step = tick_step(lo, hi, 6);
  const auto ticks = nice_ticks(lo, hi, 6);
  const auto y = [&](double v) { return T + H - (v - lo) / (hi - lo) * H; };
  o << "<path stroke=\"black\" fill=\"none\" d=\"";
  for (double t : ticks) o << 'M' << L + W + 50 << ',' << y(t) << "h4";
  o << "\"/>\n";
  for (double t : ticks) o << "<text x=\"" << L + W + 56 << "\" y=\"" << y(t) + 4 << "\">" << tick_label(t, step) << "</text>\n";
}

constexpr const char* kGrey = "#c8c8c8";
constexpr const char* kPale = "#f3e2c7";       // a warned cell
constexpr const char* kWarnedMark = "#e08a00";
constexpr const char* kRefusedMark = "#303030";
constexpr const char* kFailedMark = "#c00000";
constexpr const char* kBestMark = "#d62728";

// A cell's mark: a ring for a warned design, a cross for one refused or failed.
void cell_mark(std::ostringstream& o, HeatMap::Cell kind, double x, double y, double r) {
  if (kind == HeatMap::Cell::warned)
    o << "<circle cx=\"" << x << "\" cy=\"" << y << "\" r=\"" << r << "\" fill=\"none\" stroke=\"" << kWarnedMark
      << "\" stroke-width=\"1.5\" pointer-events=\"none\"/>\n";
  else if (kind == HeatMap::Cell::refused || kind == HeatMap::Cell::failed)
    o << "<path d=\"M" << x - r << ',' << y - r << 'L' << x + r << ',' << y + r << 'M' << x - r << ',' << y + r << 'L' << x + r
      << ',' << y - r << "\" stroke=\"" << (kind == HeatMap::Cell::refused ? kRefusedMark : kFailedMark)
      << "\" stroke-width=\"1.6\" pointer-events=\"none\"/>\n";
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
  using Cell = HeatMap::Cell;
  const int nx = static_cast<int>(m.x_values.size()), ny = static_cast<int>(m.y_values.size());
  const std::vector<double>& v = m.values;
  const auto kind = [&](std::size_t k) { return k < m.kinds.size() ? m.kinds[k] : Cell::value; };
  double lo = INFINITY, hi = -INFINITY;
  for (std::size_t k = 0; k < v.size(); ++k)
    if (kind(k) == Cell::value && std::isfinite(v[k])) lo = std::min(lo, v[k]), hi = std::max(hi, v[k]);
  // The colour scale: at least the minimum span, and wide enough for labels
  // of six significant digits.
  Span scale{lo, hi, false};
  if (std::isfinite(lo)) {
    scale = at_least(lo, hi, m.min_span);
    if (!scale.widened && hi > lo) {
      const Span labelled = at_least(lo, hi, kLabelSpanShare * std::max(std::abs(lo), std::abs(hi)));
      scale = {labelled.lo, labelled.hi, false};
    }
  }
  constexpr double W = kWidth, H = kHeight, L = kLeft, T = kTop;
  const double cw = W / nx, ch = H / ny;
  const auto px = [&](double i) { return L + (i + 0.5) * cw; };
  const auto py = [&](double j) { return T + H - (j + 0.5) * ch; };
  const double mark_r = std::clamp(0.3 * std::min(cw, ch), 2.0, 7.0);
  bool present[4] = {false, false, false, false};
  std::ostringstream o;
  o << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << L + W + 140 << "\" height=\"" << T + H + 96
    << "\" font-family=\"Helvetica,Arial,sans-serif\" font-size=\"12\">\n";
  o << "<text x=\"" << L << "\" y=\"24\" font-size=\"15\">" << escape(m.title) << "</text>\n";
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) {
      const std::size_t k = static_cast<std::size_t>(j * nx + i);
      const double x = v[k];
      const Cell c = kind(k);
      present[static_cast<int>(c)] = true;
      std::string fill = kGrey, what;
      if (c == Cell::value) {
        if (std::isfinite(x))
          fill = heat_colour(scale.hi > scale.lo ? (x - scale.lo) / (scale.hi - scale.lo) : 0.5), what = num(x);
        else
          what = escape(m.missing);
      } else {
        if (c == Cell::warned) fill = kPale;
        what = c == Cell::warned ? "warned" : c == Cell::refused ? "refused" : "failed";
        if (std::isfinite(x)) what += " (" + num(x) + ")";
      }
      if (k < m.tips.size() && !m.tips[k].empty()) what += ": " + escape(m.tips[k]);
      o << "<rect x=\"" << L + i * cw << "\" y=\"" << T + H - (j + 1) * ch << "\" width=\"" << cw + 0.3 << "\" height=\""
        << ch + 0.3 << "\" fill=\"" << fill << "\"><title>" << escape(m.y_label) << " = "
        << num(m.y_values[static_cast<std::size_t>(j)]) << ", " << escape(m.x_label) << " = "
        << num(m.x_values[static_cast<std::size_t>(i)]) << ": " << what << "</title></rect>\n";
      cell_mark(o, c, px(i), py(j), mark_r);
    }
  // Contours at round levels; none when the values vary less than the
  // minimum span (their levels would trace numerical jitter).
  if (hi > lo && nx > 1 && ny > 1 && !scale.widened) {
    HeatMap values_only = m;
    for (std::size_t k = 0; k < values_only.values.size(); ++k)
      if (kind(k) != Cell::value) values_only.values[k] = std::nan("");
    o << "<g stroke=\"#ffffff\" stroke-width=\"1\" fill=\"none\" opacity=\"0.85\">\n";
    for (double level : nice_ticks(lo, hi, 8)) contour(o, values_only, level, cw, ch);
    o << "</g>\n";
  }
  if (m.marked) {
    const long index = static_cast<long>(*m.marked);
    o << "<circle cx=\"" << px(static_cast<double>(index % nx)) << "\" cy=\"" << py(static_cast<double>(index / nx))
      << "\" r=\"" << std::max(5.0, 0.4 * std::min(cw, ch)) << "\" fill=\"none\" stroke=\"" << kBestMark
      << "\" stroke-width=\"2.5\"/>\n";
  }
  input_axes(o, m, cw, ch);
  colour_bar(o, scale.lo, scale.hi);
  // The legend of the marks drawn, below the map.
  double x = L;
  const double y = T + H + 60;
  const auto entry = [&](const std::string& swatch, const std::string& text) {
    o << swatch << "<text x=\"" << x + 14 << "\" y=\"" << y + 4 << "\">" << escape(text) << "</text>\n";
    x += 30 + 6.5 * static_cast<double>(text.size());
  };
  const auto square = [&](const char* fill) {
    return "<rect x=\"" + fields::number(x - 6, 6) + "\" y=\"" + fields::number(y - 6, 6) +
           "\" width=\"12\" height=\"12\" fill=\"" + fill + "\"/>\n";
  };
  if (m.marked) {
    std::ostringstream ring;
    ring << "<circle cx=\"" << x << "\" cy=\"" << y << "\" r=\"5\" fill=\"none\" stroke=\"" << kBestMark
         << "\" stroke-width=\"2.5\"/>\n";
    entry(ring.str(), m.marked_label);
  }
  const std::pair<Cell, const char*> kinds[] = {{Cell::warned, "warned design (not a candidate)"},
                                                {Cell::refused, "refused design"},
                                                {Cell::failed, "failed design"}};
  for (const auto& [c, text] : kinds) {
    if (!present[static_cast<int>(c)]) continue;
    std::ostringstream swatch;
    swatch << square(c == Cell::warned ? kPale : kGrey);
    cell_mark(swatch, c, x, y, 4);
    entry(swatch.str(), text);
  }
  if (scale.widened)
    o << "<text x=\"" << L << "\" y=\"" << T + H + 84 << "\" fill=\"#555555\">values vary less than "
      << fields::number(m.min_span, 3) << ": colour scale at that minimum span</text>\n";
  o << "</svg>\n";
  return o.str();
}

}  // namespace figures
