// The report's figures: the cross-section with traced rays, the aperture
// density, the far field, the path error and the feed pattern.
#include <algorithm>
#include <cmath>
#include <limits>

#include "report/parts.h"

namespace report {

using namespace analysis;
using fields::fixed;

namespace {

// Longest polyline drawn; longer series are thinned to about this many points.
constexpr std::size_t kMaxPlotPoints = 800;

// The levels the dB figures show: the aperture density from 40 dB below its
// value on the axis to 20 dB above, the far field from 50 dB below its peak,
// the feed pattern from 60 dB below its value on the axis to 5 dB above.
constexpr double kApertureFloorDb = -40.0, kApertureCeilingDb = 20.0;
constexpr double kPatternFloorDb = -50.0;
constexpr double kFeedFloorDb = -60.0, kFeedTopDb = 5.0;

// Every k-th point, the points next to a break (a point that is not
// finite) and always the last, so that no polyline is needlessly long and
// every break stays.
figures::Series thin(figures::Series s) {
  const std::size_t n = std::min(s.x.size(), s.y.size());
  if (n <= kMaxPlotPoints) return s;
  const std::size_t k = (n + kMaxPlotPoints - 1) / kMaxPlotPoints;
  const auto finite = [&](std::size_t i) { return std::isfinite(s.x[i]) && std::isfinite(s.y[i]); };
  std::vector<double> x, y;
  for (std::size_t i = 0; i < n; ++i) {
    const bool at_break = !finite(i) || (i > 0 && !finite(i - 1)) || (i + 1 < n && !finite(i + 1));
    if (i % k == 0 || at_break || i + 1 == n) x.push_back(s.x[i]), y.push_back(s.y[i]);
  }
  s.x = std::move(x);
  s.y = std::move(y);
  return s;
}

figures::Series vertical(double x, double y0, double y1, const char* label = "") {
  return {label, figures::kGuide, {x, x}, {y0, y1}, 1.0, true, false};
}

}  // namespace

std::vector<std::size_t> by_radius(const Report& r) {
  std::vector<std::size_t> order(r.ray_rho.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return r.ray_rho[a] < r.ray_rho[b]; });
  return order;
}

figures::Chart geometry_chart(const Report& r, const DesignInput& d) {
  figures::Chart c;
  c.id = "geometry";
  c.title = "Cross-section with traced rays";
  c.x_label = "radius r (" + length_label(d) + ")";
  c.y_label = "axial position z (" + length_label(d) + ")";
  c.equal_scale = true;
  c.scale_unit = d.length_unit.empty() ? "units" : d.length_unit;
  c.height = 560;
  const double z_top = std::max(*std::max_element(d.sub_z.begin(), d.sub_z.end()), r.aperture_plane_z) + 0.12 * r.aperture_radius;
  // A feed with a phase: the horn's reference point, `offset` behind the
  // phase centre the design puts at the feed point, is marked too.
  const PhaseCentreReport& pc = r.phase_centre;
  const bool horn = pc.known && std::isfinite(pc.reference_z);
  const double feed_z = analysed_feed(d).z;  // where the rays leave: a displaced feed's own place
  const double z_low = std::min({*std::min_element(d.main_z.begin(), d.main_z.end()), feed_z, d.feed_z,
                                 horn ? pc.reference_z : d.feed_z});
  c.series.push_back({"", figures::kGuide, {0, 0}, {z_low - 0.05 * r.aperture_radius, z_top}, 1.0, true, false});
  // Rays first, so that the reflectors are drawn over them.
  for (std::size_t i = 0; i < r.fan.size(); ++i) {
    const TracedRay& ray = r.fan[i];
    // a ray that crosses the axis is drawn to the main reflector's other side
    const double side = ray.crossed ? -1.0 : 1.0, main_x = side * ray.main_x;
    const double x_top = main_x + side * (z_top - ray.main_z) * std::tan(ray.direction_error_deg * M_PI / 180.0);
    c.series.push_back({i == 0 ? "traced rays" : "", figures::kRay, {0.0, ray.sub_x, main_x, x_top},
                        {feed_z, ray.sub_z, ray.main_z, z_top}, 1.0, false, false});
  }
  figures::Series sub{"subreflector", figures::kReflector, {}, {}, 2.2, false, false};
  for (std::size_t i = d.sub_r.size(); i-- > 0;) sub.x.push_back(-d.sub_r[i]), sub.y.push_back(d.sub_z[i]);
  for (std::size_t i = d.sub_r[0] == 0.0 ? 1 : 0; i < d.sub_r.size(); ++i) sub.x.push_back(d.sub_r[i]), sub.y.push_back(d.sub_z[i]);
  figures::Series main_right{"main reflector", figures::kReflector, d.main_r, d.main_z, 2.2, false, false};
  figures::Series main_left{"", figures::kReflector, {}, d.main_z, 2.2, false, false};
  for (double x : d.main_r) main_left.x.push_back(-x);
  c.series.push_back(thin(sub));
  c.series.push_back(thin(main_right));
  c.series.push_back(thin(main_left));
  c.series.push_back({horn ? "feed: phase centre" : "feed", figures::kDelivered, {0.0}, {feed_z}, 2.5, false, true});
  c.notes.push_back({0.02 * r.aperture_radius, feed_z - 0.06 * r.aperture_radius, horn ? "phase centre" : "feed"});
  if (horn) {
    c.series.push_back({"horn's reference point", figures::kWanted, {0.0}, {pc.reference_z}, 2.5, false, true});
    // The note beside the dot, on the other side of the axis when the dots
    // lie too close for two notes.
    const bool apart = std::fabs(pc.reference_z - feed_z) > 0.08 * r.aperture_radius;
    c.notes.push_back({apart ? 0.02 * r.aperture_radius : -0.3 * r.aperture_radius,
                       pc.reference_z - 0.06 * r.aperture_radius, "horn reference"});
  }
  c.notes.push_back({0.02 * r.aperture_radius, z_top - 0.05 * r.aperture_radius, "axis"});
  const double pad = 0.06 * r.aperture_radius;
  c.x_range = std::make_pair(-r.aperture_radius - pad, r.aperture_radius + pad);
  c.y_range = std::make_pair(z_low - pad, z_top + pad);
  return c;
}

std::string length_label(const DesignInput& d) {
  return d.length_unit.empty() ? std::string("unit of the diameter") : d.length_unit;
}

std::vector<AperturePoint> aperture_samples(const Report& r, const DesignInput& d) {
  constexpr int kSamples = 501;
  const DensityCurve& design = r.design_density.empty() ? r.traced_density : r.design_density;
  std::vector<AperturePoint> points;
  for (int i = 0; i < kSamples; ++i) {
    const double rho = r.hole_rho + (1.0 - r.hole_rho) * i / (kSamples - 1);
    const double written = r.as_written ? r.as_written->traced_density.at(rho) : std::nan("");
    points.push_back({rho, d.wanted_density ? d.wanted_density(rho) : std::nan(""), design.at(rho), written});
  }
  return points;
}

figures::Chart aperture_chart(const Report& r, const DesignInput& d) {
  figures::Chart c;
  c.id = "aperture";
  c.title = "Aperture power density";
  c.x_label = "radius (" + length_label(d) + ")";
  c.y_label = "power density (dB, 1 on axis = 0 dB)";
  // The wanted density, and the design's as a curve: from its own mapping
  // of feed angle to radius when its steps are known, else from the tubes
  // between the traced rays; the written surfaces' from their trace.
  figures::Series wanted{"wanted", figures::kWanted, {}, {}, 2.0, true, false};
  const bool mapped = !r.design_density.empty();
  const DensityCurve& own = mapped ? r.design_density : r.traced_density;
  figures::Series delivered{mapped ? "the design (its mapping of feed angle to radius)"
                                   : (r.traces_design ? "the design (ray trace)" : "delivered (ray trace)"),
                            figures::kDelivered, {}, {}, 1.6, false, false};
  double lo = 0, hi = 0;
  const auto level = [](double density) { return density > 0 ? db(density) : std::nan(""); };
  for (const AperturePoint& p : aperture_samples(r, d)) {
    wanted.x.push_back(p.rho * r.aperture_radius), wanted.y.push_back(level(p.wanted));
    if (std::isfinite(wanted.y.back())) lo = std::min(lo, wanted.y.back()), hi = std::max(hi, wanted.y.back());
  }
  for (std::size_t i = 0; i < own.rho.size(); ++i) {
    delivered.x.push_back(own.rho[i] * r.aperture_radius), delivered.y.push_back(level(own.density[i]));
    if (std::isfinite(delivered.y.back())) lo = std::min(lo, delivered.y.back()), hi = std::max(hi, delivered.y.back());
  }
  lo = std::max(lo, kApertureFloorDb);
  hi = std::min(hi, kApertureCeilingDb);
  // Headroom above the curves for the legend.
  const auto ticks = figures::nice_ticks(lo - 1.0, hi + 1.0 + 0.4 * (hi - lo + 2.0), 6);
  const double y0 = ticks.size() > 1 ? 2 * ticks.front() - ticks[1] : lo - 1, y1 = ticks.size() > 1 ? 2 * ticks.back() - ticks[ticks.size() - 2] : hi + 1;
  c.series.push_back(thin(wanted));
  if (r.as_written) {
    // The written surfaces' density, on the same scale, under the design's.
    const DensityCurve& w = r.as_written->traced_density;
    figures::Series written{"the written surfaces (ray trace)", figures::kWritten, {}, {}, 1.2, false, false};
    for (std::size_t i = 0; i < w.rho.size(); ++i) {
      written.x.push_back(w.rho[i] * r.aperture_radius);
      written.y.push_back(std::isfinite(w.density[i]) ? std::clamp(level(w.density[i]), y0, y1) : std::nan(""));
    }
    c.series.push_back(thin(written));
  }
  c.series.push_back(thin(delivered));
  // The bins no power reaches, as a bar along the bottom of the plot.
  figures::Series empty{"no power reaches here", figures::kDelivered, {}, {}, 5.0, false, false};
  const double half_bin = r.density_rho.size() > 1 ? 0.5 * (r.density_rho[1] - r.density_rho[0]) * r.aperture_radius : 0;
  const double bar = y0 + 0.025 * (y1 - y0);
  for (std::size_t i = 0; i < r.density_rho.size(); ++i) {
    if (r.density_delivered[i] > 0) continue;
    const double x = r.density_rho[i] * r.aperture_radius;
    if (i > 0 && r.density_delivered[i - 1] > 0 && !empty.x.empty()) empty.x.push_back(std::nan("")), empty.y.push_back(bar);
    empty.x.push_back(x - half_bin), empty.y.push_back(bar);
    empty.x.push_back(x + half_bin), empty.y.push_back(bar);
  }
  if (!empty.x.empty()) c.series.push_back(empty);
  if (r.shadow_rho > r.hole_rho && r.shadow_rho < 1) {
    c.series.push_back(vertical(r.shadow_rho * r.aperture_radius, y0, y1, "edge of the subreflector's shadow"));
  }
  c.x_range = std::make_pair(0.0, r.aperture_radius);
  c.y_range = std::make_pair(y0, y1);
  return c;
}

figures::Chart pattern_chart(const Report& r) {
  figures::Chart c;
  c.id = "pattern";
  c.title = "Far field (D/\u03bb = " + num(r.d_over_lambda, 6) + (r.wavelength_assumed ? ", assumed)" : ")");
  c.x_label = "angle from the axis (deg)";
  c.y_label = "relative power (dB)";
  c.series.push_back(thin({"ideal (wanted distribution)", figures::kWanted, r.ideal.theta_deg, r.ideal.level_db, 1.4, true, false}));
  c.series.push_back(thin({"without blockage", figures::kUnblocked, r.unblocked.theta_deg, r.unblocked.level_db, 1.4, false, false}));
  if (r.as_written)
    c.series.push_back(thin({"delivered by the written surfaces", figures::kWritten, r.as_written->delivered.theta_deg,
                             r.as_written->delivered.level_db, 1.2, false, false}));
  c.series.push_back(thin({r.as_written ? "delivered by the design" : "delivered", figures::kDelivered, r.delivered.theta_deg,
                           r.delivered.level_db, 1.8, false, false}));
  c.x_range = std::make_pair(0.0, r.delivered.theta_deg.empty() ? 1.0 : r.delivered.theta_deg.back());
  c.y_range = std::make_pair(kPatternFloorDb, 0.0);
  return c;
}

namespace {

// At most about kMaxPlotPoints points: of each run of neighbouring points
// the lowest and the highest, in their order, so that the lobes' peaks and
// the band the pattern fills stay where a plain thinning would skip them.
figures::Series envelope(figures::Series s) {
  const std::size_t n = std::min(s.x.size(), s.y.size());
  if (n <= kMaxPlotPoints) return s;
  const std::size_t k = (2 * n + kMaxPlotPoints - 1) / kMaxPlotPoints;
  std::vector<double> x, y;
  for (std::size_t from = 0; from < n; from += k) {
    const std::size_t to = std::min(n, from + k);
    std::size_t lo = to, hi = to;
    for (std::size_t i = from; i < to; ++i) {
      if (!std::isfinite(s.y[i])) continue;
      if (lo == to || s.y[i] < s.y[lo]) lo = i;
      if (hi == to || s.y[i] > s.y[hi]) hi = i;
    }
    if (lo == to) {
      // No level in the whole run: a break in the line.
      x.push_back(s.x[from]), y.push_back(std::numeric_limits<double>::quiet_NaN());
      continue;
    }
    x.push_back(s.x[std::min(lo, hi)]), y.push_back(s.y[std::min(lo, hi)]);
    if (hi != lo) x.push_back(s.x[std::max(lo, hi)]), y.push_back(s.y[std::max(lo, hi)]);
  }
  s.x = std::move(x);
  s.y = std::move(y);
  return s;
}

}  // namespace

// The physical optics' cuts in dBi against the angle off the beam axis:
// co-polar solid, cross-polar dashed, one colour per plane, with the
// geometrical optics' far field (aperture integration, at its directivity)
// over them.  Two charts: out to where the geometrical optics' pattern ends
// (the finely sampled angles at least), and the whole pattern to 180 degrees.
std::vector<figures::Chart> po_pattern_charts(const Report& r) {
  const po::Result& q = r.physical_optics->result;
  const double top = 10.0 * std::ceil((q.directivity_dbi + 1.0) / 10.0);
  const auto level = [](const po::Complex& f) {
    const double p = std::norm(f);
    return p > 0 ? 10.0 * std::log10(p) : std::numeric_limits<double>::quiet_NaN();
  };
  const char* colours[] = {figures::kDelivered, figures::kUnblocked, figures::kWanted};
  const double near_deg = std::max(r.delivered.theta_deg.empty() ? 0.0 : r.delivered.theta_deg.back(),
                                   q.fine_angles > 0 ? q.theta_deg[q.fine_angles - 1] : 0.0);
  std::vector<figures::Chart> charts;
  for (const bool whole : {false, true}) {
    figures::Chart c;
    c.id = whole ? "po-pattern-whole" : "po-pattern-near";
    c.title = std::string(whole ? "Whole pattern by physical optics" : "Physical optics near the beam") + " (D/\u03bb = " +
              num(r.d_over_lambda, 6) + ")";
    c.x_label = "angle from the beam axis (deg)";
    c.y_label = "directivity (dBi)";
    const double to = whole ? 180.0 : (near_deg > 0 ? near_deg : 180.0);
    for (std::size_t k = 0; k < q.cuts.size() && k < 3; ++k) {
      const po::Cut& cut = q.cuts[k];
      figures::Series co{"co-polar, \u03c6 = " + num(cut.phi_deg) + "\u00b0", colours[k], {}, {}, 1.4, false, false};
      figures::Series cross{"cross-polar, \u03c6 = " + num(cut.phi_deg) + "\u00b0", colours[k], {}, {}, 1.0, true, false};
      bool any_cross = false;
      for (std::size_t i = 0; i < q.theta_deg.size() && q.theta_deg[i] <= to; ++i) {
        co.x.push_back(q.theta_deg[i]), co.y.push_back(level(cut.co[i]));
        cross.x.push_back(q.theta_deg[i]), cross.y.push_back(level(cut.cross[i]));
        any_cross = any_cross || std::norm(cut.cross[i]) > 0;
      }
      c.series.push_back(envelope(co));
      // The principal planes have no cross-polar field: no line, no legend.
      if (any_cross) c.series.push_back(envelope(cross));
    }
    figures::Series go{"geometrical optics (aperture integration)", figures::kReflector, {}, {}, 1.2, true, false};
    for (std::size_t i = 0; i < r.delivered.theta_deg.size() && i < r.delivered.level_db.size(); ++i)
      go.x.push_back(r.delivered.theta_deg[i]), go.y.push_back(r.delivered.level_db[i] + r.directivity_dbi);
    c.series.push_back(thin(go));
    c.x_range = std::make_pair(0.0, to);
    c.y_range = std::make_pair(top - (whole ? 100.0 : 70.0), top);
    c.height = 400;
    charts.push_back(std::move(c));
  }
  return charts;
}

figures::Chart path_chart(const Report& r, const DesignInput& d) {
  figures::Chart c;
  c.id = "path-error";
  c.title = "Path-length error across the aperture";
  c.x_label = "radius (" + length_label(d) + ")";
  c.y_label = "path error (wavelengths)";
  double lo = 0, hi = 0;
  // The rays of one trace outside its vertex ring as a line; the ring's as
  // grey dots on the scale of the lines.
  figures::Series ringed{"", figures::kGuide, {}, {}, 1.4, false, true, true};
  const auto rays = [&](const Report& x, const char* label, const char* colour, double width, bool dots_for_ring) {
    figures::Series s{label, colour, {}, {}, width, false, false};
    for (std::size_t i : by_radius(x)) {
      const double px = x.ray_rho[i] * r.aperture_radius, py = x.ray_path_error_wavelengths[i];
      if (x.ray_in_vertex_ring[i]) {
        if (dots_for_ring) ringed.x.push_back(px), ringed.y.push_back(py);
      } else {
        s.x.push_back(px), s.y.push_back(py);
        lo = std::min(lo, py), hi = std::max(hi, py);
      }
    }
    c.series.push_back(thin(s));
  };
  if (r.as_written) {
    rays(*r.as_written, "the written surfaces", figures::kWritten, 1.2, true);
    rays(r, "the design", figures::kDelivered, 1.6, false);
  } else {
    rays(r, "delivered", figures::kDelivered, 1.6, true);
  }
  if (!ringed.x.empty()) {
    // The scale is the other rays'; the ring's dots beyond it are drawn
    // hollow on the plot's edge, and the legend gives their extent.
    if (hi - lo <= 0) hi = lo + 1e-6;
    const double pad = 0.1 * (hi - lo);
    c.y_range = std::make_pair(lo - pad, hi + 0.6 * (hi - lo));  // room for the legend
    const auto [ring_lo, ring_hi] = std::minmax_element(ringed.y.begin(), ringed.y.end());
    const bool off_scale = *ring_lo < c.y_range->first || *ring_hi > c.y_range->second;
    ringed.label = "rays next to the subreflector vertex (" + num(*ring_lo, 2) + " to " + num(*ring_hi, 2) + " \u03bb" +
                   (off_scale ? "; hollow: off the scale)" : ")");
    c.series.push_back(thin(ringed));
  }
  c.x_range = std::make_pair(0.0, r.aperture_radius);
  return c;
}

FeedCurve feed_curve(const DesignInput& d) {
  constexpr int kSamples = 721;
  FeedCurve f;
  const double n = d.feed_exponent, last = d.feed_last_angle_rad;
  for (int i = 0; i < kSamples; ++i) {
    const double t = last * i / (kSamples - 1);
    const double p = d.feed_pattern ? d.feed_pattern(t) : std::pow(std::cos(0.5 * t), 2.0 * n);
    f.theta_deg.push_back(t * 180.0 / M_PI);
    f.power_db.push_back(db(p));
  }
  return f;
}

double feed_figure_limit_deg(const DesignInput& d) {
  const double last = d.feed_last_angle_rad * 180.0 / M_PI;
  const double wanted = kFeedFigureSpan * d.sub_half_angle_rad * 180.0 / M_PI;
  // Up to a round 5 degrees past that, within the known pattern.
  return std::min(last, 5.0 * std::ceil(wanted / 5.0 - 1e-9));
}

figures::Chart feed_chart(const Report& r, const DesignInput& d, double to_deg) {
  figures::Chart c;
  c.id = to_deg < d.feed_last_angle_rad * 180.0 / M_PI ? "feed" : "feed-whole";
  c.title = "Feed power pattern";
  c.x_label = "angle from the feed axis (deg)";
  c.y_label = "relative power (dB)";
  const FeedCurve f = feed_curve(d);
  if (!d.feed_table_theta_deg.empty()) {
    c.series.push_back(thin({"E plane (table)", figures::kUnblocked, d.feed_table_theta_deg, d.feed_table_e_db, 1.2, true, false}));
    c.series.push_back(thin({"H plane (table)", figures::kWritten, d.feed_table_theta_deg, d.feed_table_h_db, 1.2, true, false}));
  }
  c.series.push_back(thin({"averaged over phi, as designed for", figures::kDelivered, f.theta_deg, f.power_db, 1.8, false, false}));
  // The rim's level in the legend, where no curve can hide it.
  // The rim as written (an extrapolated point included), where the
  // spillover is counted from, and the designed one when it lies inside.
  const double designed = analysed_feed(d).sub_half_angle_rad * 180.0 / M_PI;  // as the analysed feed sees it
  const double written = r.rim_extension.written_angle_deg > 0 ? r.rim_extension.written_angle_deg : designed;
  std::string rim = "subreflector rim, " + fixed(written, 1) + "\u00b0: " + fixed(r.feed_edge_taper_db, 1) + " dB";
  if (fixed(written, 1) != fixed(designed, 1)) rim += " (designed rim " + fixed(designed, 1) + "\u00b0)";
  c.series.push_back(vertical(written, kFeedFloorDb, kFeedTopDb, rim.c_str()));
  c.x_range = std::make_pair(0.0, std::min(to_deg, f.theta_deg.back()));
  c.y_range = std::make_pair(kFeedFloorDb, kFeedTopDb);
  return c;
}

}  // namespace report
