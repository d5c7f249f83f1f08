#include "figures/svg.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

#include "fields/prose.h"

namespace figures {
namespace {

constexpr double kLeft = 78, kRight = 24, kTop = 40, kBottom = 58;
constexpr double kLegendRow = 24;  // the height of a legend below the plot

// A drawing coordinate or length, to a hundredth of a pixel.
std::string px(double v) { return fields::fixed(v, 2); }

std::pair<double, double> data_range(const Chart& c, bool x_axis) {
  double lo = std::numeric_limits<double>::infinity(), hi = -lo;
  for (const auto& s : c.series)
    for (double v : x_axis ? s.x : s.y)
      if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
  if (!(lo <= hi)) return {0.0, 1.0};
  if (hi - lo < 1e-300 || hi - lo < 1e-12 * std::max(std::abs(lo), std::abs(hi))) {
    const double pad = lo == 0 ? 1.0 : 0.05 * std::abs(lo);
    return {lo - pad, hi + pad};
  }
  return {lo, hi};
}

// At least `span` wide, and wide enough to be labelled in six significant
// digits.
Span spread(std::pair<double, double> r, double span) {
  const double magnitude = std::max(std::abs(r.first), std::abs(r.second));
  const Span least = at_least(r.first, r.second, span);
  if (least.widened) return least;
  const Span labelled = at_least(r.first, r.second, kLabelSpanShare * magnitude);
  return {labelled.lo, labelled.hi, false};
}

// Widens [lo, hi] to the enclosing round ticks.
std::pair<double, double> widen(std::pair<double, double> r) {
  const double step = tick_step(r.first, r.second, 6);
  if (!(step > 0)) return r;
  return {std::floor(r.first / step + 1e-9) * step, std::ceil(r.second / step - 1e-9) * step};
}

}  // namespace

std::string escape(const std::string& text) {
  std::string out;
  for (char ch : text) {
    switch (ch) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += ch;
    }
  }
  return out;
}

namespace {

// Where the data go on the drawing: the plotted ranges and the plot area.
struct Frame {
  std::pair<double, double> xr, yr;
  double pw = 0, ph = 0;  // width and height of the plot area
  bool y_at_minimum = false;  // the y range is the chart's minimum span
  double X(double v) const { return kLeft + (v - xr.first) / (xr.second - xr.first) * pw; }
  double Y(double v) const { return kTop + ph - (v - yr.first) / (yr.second - yr.first) * ph; }
};

// The width a legend entry takes in a row below the plot.
double entry_width(const Series& s) { return 44 + 6.8 * static_cast<double>(s.label.size()); }

// A legend below the plot: its entries row by row, as many to a row as fit.
std::vector<std::vector<const Series*>> legend_rows(const Chart& c) {
  std::vector<std::vector<const Series*>> rows;
  if (!c.legend_below) return rows;
  double x = 0;
  for (const auto& s : c.series) {
    if (s.label.empty()) continue;
    if (rows.empty() || x + entry_width(s) > c.width - kLeft - kRight + 30) rows.emplace_back(), x = 0;
    rows.back().push_back(&s);
    x += entry_width(s);
  }
  return rows;
}

Frame frame_of(const Chart& c) {
  Frame f;
  if (c.x_range) {
    f.xr = *c.x_range;
  } else {
    const Span x = spread(data_range(c, true), 0);
    f.xr = widen({x.lo, x.hi});
  }
  if (c.y_range) {
    f.yr = *c.y_range;
  } else {
    const Span y = spread(data_range(c, false), c.y_min_span);
    f.yr = widen({y.lo, y.hi});
    f.y_at_minimum = y.widened;
  }
  f.pw = c.width - kLeft - kRight;
  f.ph = c.height - kTop - kBottom - kLegendRow * static_cast<double>(legend_rows(c).size());
  auto& xr = f.xr;
  auto& yr = f.yr;
  const double pw = f.pw, ph = f.ph;
  if (c.equal_scale) {
    // Stretch the axis with the coarser scale so that both have the same.
    const double sx = (xr.second - xr.first) / pw, sy = (yr.second - yr.first) / ph;
    if (sx > sy) {
      const double mid = 0.5 * (yr.first + yr.second), half = 0.5 * sx * ph;
      yr = {mid - half, mid + half};
    } else {
      const double mid = 0.5 * (xr.first + xr.second), half = 0.5 * sy * pw;
      xr = {mid - half, mid + half};
    }
  }
  return f;
}

// The opening tag, the title, the clipping rectangle and the background.
void head(std::ostringstream& o, const Chart& c, const Frame& f, const std::string& clip) {
  const double pw = f.pw, ph = f.ph;
  o << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << c.width << "\" height=\"" << c.height
    << "\" viewBox=\"0 0 " << c.width << ' ' << c.height << "\" font-family=\"Helvetica, Arial, sans-serif\" font-size=\"13\">\n";
  o << "<title>" << escape(c.title) << "</title>\n";
  o << "<defs><clipPath id=\"" << escape(clip) << "\"><rect x=\"" << px(kLeft) << "\" y=\"" << px(kTop) << "\" width=\""
    << px(pw) << "\" height=\"" << px(ph) << "\"/></clipPath></defs>\n";
  o << "<rect x=\"0\" y=\"0\" width=\"" << c.width << "\" height=\"" << c.height << "\" fill=\"white\"/>\n";
  o << "<text x=\"" << px(kLeft + 0.5 * pw) << "\" y=\"24\" text-anchor=\"middle\" font-size=\"15\" font-weight=\"bold\">"
    << escape(c.title) << "</text>\n";
}

// Grid, ticks and tick labels, the plot's border and the axis labels.
void axes(std::ostringstream& o, const Chart& c, const Frame& f) {
  const auto& xr = f.xr;
  const auto& yr = f.yr;
  const double pw = f.pw, ph = f.ph;
  const auto X = [&](double v) { return f.X(v); };
  const auto Y = [&](double v) { return f.Y(v); };
  const auto xt = nice_ticks(xr.first, xr.second, c.equal_scale ? 8 : 7);
  const auto yt = nice_ticks(yr.first, yr.second, 6);
  const double xstep = xt.size() > 1 ? xt[1] - xt[0] : 1, ystep = yt.size() > 1 ? yt[1] - yt[0] : 1;
  o << "<g stroke=\"#e4e4e4\" stroke-width=\"1\">\n";
  for (double t : xt) o << "<line x1=\"" << px(X(t)) << "\" y1=\"" << px(kTop) << "\" x2=\"" << px(X(t)) << "\" y2=\"" << px(kTop + ph) << "\"/>\n";
  for (double t : yt) o << "<line x1=\"" << px(kLeft) << "\" y1=\"" << px(Y(t)) << "\" x2=\"" << px(kLeft + pw) << "\" y2=\"" << px(Y(t)) << "\"/>\n";
  o << "</g>\n<g stroke=\"black\" stroke-width=\"1\">\n";
  for (double t : xt) o << "<line x1=\"" << px(X(t)) << "\" y1=\"" << px(kTop + ph) << "\" x2=\"" << px(X(t)) << "\" y2=\"" << px(kTop + ph + 5) << "\"/>\n";
  for (double t : yt) o << "<line x1=\"" << px(kLeft - 5) << "\" y1=\"" << px(Y(t)) << "\" x2=\"" << px(kLeft) << "\" y2=\"" << px(Y(t)) << "\"/>\n";
  o << "</g>\n<g fill=\"black\">\n";
  for (double t : xt)
    o << "<text x=\"" << px(X(t)) << "\" y=\"" << px(kTop + ph + 19) << "\" text-anchor=\"middle\">" << tick_label(t, xstep) << "</text>\n";
  for (double t : yt)
    o << "<text x=\"" << px(kLeft - 8) << "\" y=\"" << px(Y(t) + 4) << "\" text-anchor=\"end\">" << tick_label(t, ystep) << "</text>\n";
  o << "</g>\n";
  o << "<rect x=\"" << px(kLeft) << "\" y=\"" << px(kTop) << "\" width=\"" << px(pw) << "\" height=\"" << px(ph)
    << "\" fill=\"none\" stroke=\"black\" stroke-width=\"1\"/>\n";
  o << "<text x=\"" << px(kLeft + 0.5 * pw) << "\" y=\"" << px(kTop + ph + kBottom - 14) << "\" text-anchor=\"middle\">" << escape(c.x_label) << "</text>\n";
  o << "<text transform=\"translate(18 " << px(kTop + 0.5 * ph) << ") rotate(-90)\" text-anchor=\"middle\">" << escape(c.y_label) << "</text>\n";
  if (f.y_at_minimum)
    o << "<text x=\"" << px(kLeft + 8) << "\" y=\"" << px(kTop + 16) << "\" font-size=\"12\" fill=\"#555555\">"
      << "values vary less than " << fields::number(c.y_min_span, 3) << ": minimum span shown</text>\n";
}

// One marker centred on (cx, cy), with its hover text `tip` (a <title>
// element or empty).  A dot beyond the plotted range is drawn hollow.
void marker(std::ostringstream& o, Series::Shape shape, bool beyond, double cx, double cy, double radius,
            const std::string& colour, const std::string& tip) {
  const std::string end = tip.empty() ? "/>\n" : ">" + tip;
  if (shape == Series::Shape::cross) {
    const double r = radius + 0.5;
    o << "<path d=\"M" << px(cx - r) << ',' << px(cy - r) << 'L' << px(cx + r) << ',' << px(cy + r) << 'M' << px(cx - r)
      << ',' << px(cy + r) << 'L' << px(cx + r) << ',' << px(cy - r) << "\" stroke=\"" << colour
      << "\" stroke-width=\"1.8\"" << end << (tip.empty() ? "" : "</path>\n");
    return;
  }
  o << "<circle cx=\"" << px(cx) << "\" cy=\"" << px(cy) << "\" r=\"" << px(radius) << "\"";
  if (shape == Series::Shape::ring || beyond)
    o << " fill=\"white\" stroke=\"" << colour << "\" stroke-width=\"" << (shape == Series::Shape::ring ? "1.5" : "1") << "\"";
  else
    o << " fill=\"" << colour << "\" stroke=\"none\"";
  o << end << (tip.empty() ? "" : "</circle>\n");
}

// The series, clipped to the plot; points that are not finite break a line.
void data(std::ostringstream& o, const Chart& c, const Frame& f, const std::string& clip) {
  const auto X = [&](double v) { return f.X(v); };
  const auto Y = [&](double v) { return f.Y(v); };
  o << "<g clip-path=\"url(#" << escape(clip) << ")\" fill=\"none\" stroke-linejoin=\"round\">\n";
  for (const auto& s : c.series) {
    const std::size_t n = std::min(s.x.size(), s.y.size());
    if (s.markers) {
      const double radius = 1.5 * s.width;
      for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(s.x[i]) || (!s.at_axis && !std::isfinite(s.y[i]))) continue;
        const double margin = radius + 1.0;  // a hollow marker's outline too
        double cx = X(s.x[i]), cy = s.at_axis ? kTop + f.ph - margin - 1.0 : Y(s.y[i]);
        bool beyond = false;
        if (s.pin || s.at_axis) {
          // Wholly inside the plot's frame: a marker past it sits on its edge.
          const double left = kLeft + margin, right = kLeft + f.pw - margin;
          const double top = kTop + margin, bottom = kTop + f.ph - margin;
          beyond = cx < kLeft || cx > kLeft + f.pw || cy < kTop || cy > kTop + f.ph;
          cx = std::clamp(cx, left, right);
          cy = std::clamp(cy, top, bottom);
        }
        const std::string tip = i < s.tips.size() && !s.tips[i].empty() ? "<title>" + escape(s.tips[i]) + "</title>" : "";
        marker(o, s.shape, beyond, cx, cy, radius, s.colour, tip);
      }
      continue;
    }
    // Points that are not finite break the line.
    std::string points;
    const auto flush = [&] {
      if (!points.empty())
        o << "<polyline stroke=\"" << s.colour << "\" stroke-width=\"" << px(s.width) << "\""
          << (s.dashed ? " stroke-dasharray=\"7 4\"" : "") << " points=\"" << points << "\"/>\n";
      points.clear();
    };
    for (std::size_t i = 0; i < n; ++i) {
      if (!std::isfinite(s.x[i]) || !std::isfinite(s.y[i])) {
        flush();
        continue;
      }
      // Keep far-off points from overflowing the drawing's coordinates.
      const double yy = std::clamp(Y(s.y[i]), -10.0 * c.height, 11.0 * c.height);
      if (!points.empty()) points += ' ';
      points += px(X(s.x[i]));
      points += ',';
      points += px(yy);
    }
    flush();
  }
  o << "</g>\n";
  for (const auto& note : c.notes)
    o << "<text x=\"" << px(X(note.x)) << "\" y=\"" << px(Y(note.y)) << "\" font-size=\"12\">" << escape(note.text) << "</text>\n";
}

// A legend entry's sample: the series' marker, or a stretch of its line.
void sample(std::ostringstream& o, const Series& s, double x, double y) {
  if (s.markers)
    marker(o, s.shape, false, x + 11, y, s.shape == Series::Shape::dot ? 3.0 : 3.5, s.colour, "");
  else
    o << "<line x1=\"" << px(x) << "\" y1=\"" << px(y) << "\" x2=\"" << px(x + 22) << "\" y2=\"" << px(y) << "\" stroke=\""
      << s.colour << "\" stroke-width=\"" << px(std::max(2.0, s.width)) << "\"" << (s.dashed ? " stroke-dasharray=\"7 4\"" : "")
      << "/>\n";
}

// The legend: top right inside the plot, or in a row below it.
void legend(std::ostringstream& o, const Chart& c, const Frame& f) {
  const double pw = f.pw;
  std::vector<const Series*> entries;
  for (const auto& s : c.series)
    if (!s.label.empty()) entries.push_back(&s);
  if (entries.empty()) return;
  if (c.legend_below) {
    double y = kTop + f.ph + kBottom + kLegendRow / 2 - 8;
    o << "<g>\n";
    for (const auto& row : legend_rows(c)) {
      double x = kLeft;
      for (const Series* s : row) {
        sample(o, *s, x, y - 4);
        o << "<text x=\"" << px(x + 28) << "\" y=\"" << px(y) << "\">" << escape(s->label) << "</text>\n";
        x += entry_width(*s);
      }
      y += kLegendRow;
    }
    o << "</g>\n";
    return;
  }
  std::size_t longest = 0;
  for (const auto* s : entries) longest = std::max(longest, s->label.size());
  const double w = 44 + 7.0 * static_cast<double>(longest), h = 8 + 18.0 * static_cast<double>(entries.size());
  const double x0 = kLeft + pw - w - 8, y0 = kTop + 8;
  o << "<g>\n<rect x=\"" << px(x0) << "\" y=\"" << px(y0) << "\" width=\"" << px(w) << "\" height=\"" << px(h)
    << "\" fill=\"white\" fill-opacity=\"0.9\" stroke=\"#b0b0b0\"/>\n";
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const double y = y0 + 15 + 18.0 * static_cast<double>(i);
    sample(o, *entries[i], x0 + 8, y - 4);
    o << "<text x=\"" << px(x0 + 36) << "\" y=\"" << px(y) << "\">" << escape(entries[i]->label) << "</text>\n";
  }
  o << "</g>\n";
}

// The scale bar, bottom left inside the plot.
void scale_bar(std::ostringstream& o, const Chart& c, const Frame& f) {
  const auto& xr = f.xr;
  const double pw = f.pw, ph = f.ph;
  const double length = tick_step(0, xr.second - xr.first, 5);
  const double x0 = kLeft + 14, y0 = kTop + ph - 16, x1 = x0 + length / (xr.second - xr.first) * pw;
  o << "<g stroke=\"black\" stroke-width=\"2\"><line x1=\"" << px(x0) << "\" y1=\"" << px(y0) << "\" x2=\"" << px(x1)
    << "\" y2=\"" << px(y0) << "\"/><line x1=\"" << px(x0) << "\" y1=\"" << px(y0 - 5) << "\" x2=\"" << px(x0) << "\" y2=\""
    << px(y0 + 5) << "\"/><line x1=\"" << px(x1) << "\" y1=\"" << px(y0 - 5) << "\" x2=\"" << px(x1) << "\" y2=\""
    << px(y0 + 5) << "\"/></g>\n";
  o << "<text x=\"" << px(0.5 * (x0 + x1)) << "\" y=\"" << px(y0 - 8) << "\" text-anchor=\"middle\">"
    << tick_label(length, length) << ' ' << escape(c.scale_unit) << "</text>\n";
}

}  // namespace

std::string render(const Chart& c) {
  const Frame f = frame_of(c);
  const std::string clip = "clip-" + c.id;
  std::ostringstream o;
  head(o, c, f, clip);
  axes(o, c, f);
  data(o, c, f, clip);
  legend(o, c, f);
  if (!c.scale_unit.empty()) scale_bar(o, c, f);
  o << "</svg>\n";
  return o.str();
}

std::string render_stacked(const std::vector<Chart>& charts) {
  int width = 0, height = 0;
  for (const Chart& c : charts) width = std::max(width, c.width), height += c.height;
  std::ostringstream o;
  o << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << width << "\" height=\"" << height << "\" viewBox=\"0 0 "
    << width << ' ' << height << "\">\n";
  int y = 0;
  for (const Chart& c : charts) {
    const std::string one = render(c);
    // Each chart as a nested picture, moved down past the ones above.
    o << "<svg y=\"" << y << "\"" << one.substr(std::string("<svg").size());
    y += c.height;
  }
  o << "</svg>\n";
  return o.str();
}

}  // namespace figures
