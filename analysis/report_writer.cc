#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

#include "analysis/analysis.h"
#include "analysis/svg.h"
#include "fields/prose.h"
#include "io/files.h"
#include "io/folder.h"

namespace analysis {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMaxPlotPoints = 800;

double db(double power) { return 10.0 * std::log10(std::max(power, 1e-30)); }

// A number for the tables and the page, "nan" when it is not finite.
std::string num(double v, int digits = 9) {
  if (!std::isfinite(v)) return "nan";
  return fields::number(v, digits);
}

using fields::fixed;

// Every k-th point, and always the last, so that no polyline is needlessly long.
svg::Series thin(svg::Series s) {
  const std::size_t n = std::min(s.x.size(), s.y.size());
  if (n <= kMaxPlotPoints) return s;
  const std::size_t k = (n + kMaxPlotPoints - 1) / kMaxPlotPoints;
  std::vector<double> x, y;
  for (std::size_t i = 0; i < n; i += k) x.push_back(s.x[i]), y.push_back(s.y[i]);
  if ((n - 1) % k != 0) x.push_back(s.x[n - 1]), y.push_back(s.y[n - 1]);
  s.x = std::move(x);
  s.y = std::move(y);
  return s;
}

// Rays in increasing landing radius.
std::vector<std::size_t> by_radius(const Report& r) {
  std::vector<std::size_t> order(r.ray_rho.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return r.ray_rho[a] < r.ray_rho[b]; });
  return order;
}

svg::Series vertical(double x, double y0, double y1, const char* label = "") {
  return {label, svg::kGuide, {x, x}, {y0, y1}, 1.0, true, false};
}

svg::Chart geometry_chart(const Report& r, const DesignInput& d) {
  svg::Chart c;
  c.id = "geometry";
  c.title = "Cross-section with traced rays";
  c.x_label = "radius r (unit of D)";
  c.y_label = "axial position z (unit of D)";
  c.equal_scale = true;
  c.scale_unit = "units";
  c.height = 560;
  const double z_top = std::max(*std::max_element(d.sub_z.begin(), d.sub_z.end()), r.aperture_plane_z) + 0.12 * r.aperture_radius;
  const double z_low = std::min(*std::min_element(d.main_z.begin(), d.main_z.end()), 0.0);
  c.series.push_back({"", svg::kGuide, {0, 0}, {z_low - 0.05 * r.aperture_radius, z_top}, 1.0, true, false});
  // Rays first, so that the reflectors are drawn over them.
  for (std::size_t i = 0; i < r.fan.size(); ++i) {
    const TracedRay& ray = r.fan[i];
    const double x_top = ray.main_x + (z_top - ray.main_z) * std::tan(ray.direction_error_deg * M_PI / 180.0);
    c.series.push_back({i == 0 ? "traced rays" : "", svg::kRay, {0.0, ray.sub_x, ray.main_x, x_top},
                        {0.0, ray.sub_z, ray.main_z, z_top}, 1.0, false, false});
  }
  svg::Series sub{"subreflector", svg::kReflector, {}, {}, 2.2, false, false};
  for (std::size_t i = d.sub_r.size(); i-- > 0;) sub.x.push_back(-d.sub_r[i]), sub.y.push_back(d.sub_z[i]);
  for (std::size_t i = d.sub_r[0] == 0.0 ? 1 : 0; i < d.sub_r.size(); ++i) sub.x.push_back(d.sub_r[i]), sub.y.push_back(d.sub_z[i]);
  svg::Series main_right{"main reflector", svg::kReflector, d.main_r, d.main_z, 2.2, false, false};
  svg::Series main_left{"", svg::kReflector, {}, d.main_z, 2.2, false, false};
  for (double x : d.main_r) main_left.x.push_back(-x);
  c.series.push_back(thin(sub));
  c.series.push_back(thin(main_right));
  c.series.push_back(thin(main_left));
  c.series.push_back({"feed", svg::kDelivered, {0.0}, {0.0}, 2.5, false, true});
  c.notes.push_back({0.02 * r.aperture_radius, -0.06 * r.aperture_radius, "feed"});
  c.notes.push_back({0.02 * r.aperture_radius, z_top - 0.05 * r.aperture_radius, "axis"});
  const double pad = 0.06 * r.aperture_radius;
  c.x_range = std::make_pair(-r.aperture_radius - pad, r.aperture_radius + pad);
  c.y_range = std::make_pair(z_low - pad, z_top + pad);
  return c;
}

svg::Chart aperture_chart(const Report& r) {
  svg::Chart c;
  c.id = "aperture";
  c.title = "Aperture power density";
  c.x_label = "radius (unit of D)";
  c.y_label = "power density (dB, 1 on axis = 0 dB)";
  svg::Series wanted{"wanted", svg::kWanted, {}, {}, 2.0, true, false};
  svg::Series delivered{"delivered by the profiles", svg::kDelivered, {}, {}, 1.6, false, false};
  double lo = 0, hi = 0;
  for (std::size_t i = 0; i < r.density_rho.size(); ++i) {
    const double x = r.density_rho[i] * r.aperture_radius;
    wanted.x.push_back(x), wanted.y.push_back(db(r.density_wanted[i]));
    // A bin no power reaches has no level: the line breaks there.
    const double level = r.density_delivered[i] > 0 ? db(r.density_delivered[i]) : std::nan("");
    delivered.x.push_back(x), delivered.y.push_back(level);
    lo = std::min(lo, wanted.y.back());
    hi = std::max(hi, wanted.y.back());
    if (std::isfinite(level)) lo = std::min(lo, level), hi = std::max(hi, level);
  }
  lo = std::max(lo, -40.0);
  hi = std::min(hi, 20.0);
  // Headroom above the curves for the legend.
  const auto ticks = svg::nice_ticks(lo - 1.0, hi + 1.0 + 0.4 * (hi - lo + 2.0), 6);
  const double y0 = ticks.size() > 1 ? 2 * ticks.front() - ticks[1] : lo - 1, y1 = ticks.size() > 1 ? 2 * ticks.back() - ticks[ticks.size() - 2] : hi + 1;
  c.series.push_back(thin(wanted));
  if (r.as_written) {
    // The written surfaces' density, on the same scale, under the design's.
    const Report& w = *r.as_written;
    delivered.label = "delivered by the design";
    svg::Series written{"delivered by the written surfaces", svg::kWritten, {}, {}, 1.2, false, false};
    for (std::size_t i = 0; i < w.density_rho.size(); ++i) {
      written.x.push_back(w.density_rho[i] * r.aperture_radius);
      written.y.push_back(w.density_delivered[i] > 0 ? std::clamp(db(w.density_delivered[i]), lo, hi) : std::nan(""));
    }
    c.series.push_back(thin(written));
  }
  c.series.push_back(thin(delivered));
  // The bins no power reaches, as a bar along the bottom of the plot.
  svg::Series empty{"no power reaches here", svg::kDelivered, {}, {}, 5.0, false, false};
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

svg::Chart pattern_chart(const Report& r) {
  svg::Chart c;
  c.id = "pattern";
  c.title = "Far field (D/\u03bb = " + num(r.d_over_lambda, 6) + (r.wavelength_assumed ? ", assumed)" : ")");
  c.x_label = "angle from the axis (deg)";
  c.y_label = "relative power (dB)";
  c.series.push_back(thin({"ideal (wanted distribution)", svg::kWanted, r.ideal.theta_deg, r.ideal.level_db, 1.4, true, false}));
  c.series.push_back(thin({"without blockage", svg::kUnblocked, r.unblocked.theta_deg, r.unblocked.level_db, 1.4, false, false}));
  if (r.as_written)
    c.series.push_back(thin({"delivered by the written surfaces", svg::kWritten, r.as_written->delivered.theta_deg,
                             r.as_written->delivered.level_db, 1.2, false, false}));
  c.series.push_back(thin({r.as_written ? "delivered by the design" : "delivered", svg::kDelivered, r.delivered.theta_deg,
                           r.delivered.level_db, 1.8, false, false}));
  c.x_range = std::make_pair(0.0, r.delivered.theta_deg.empty() ? 1.0 : r.delivered.theta_deg.back());
  c.y_range = std::make_pair(-50.0, 0.0);
  return c;
}

svg::Chart path_chart(const Report& r) {
  svg::Chart c;
  c.id = "path-error";
  c.title = "Path-length error across the aperture";
  c.x_label = "radius (unit of D)";
  c.y_label = "path error (wavelengths)";
  double lo = 0, hi = 0;
  // The rays of one trace outside its vertex ring as a line; the ring's as
  // grey dots on the scale of the lines.
  svg::Series ringed{"", svg::kGuide, {}, {}, 1.4, false, true};
  const auto rays = [&](const Report& x, const char* label, const char* colour, double width, bool dots_for_ring) {
    svg::Series s{label, colour, {}, {}, width, false, false};
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
    rays(*r.as_written, "the written surfaces", svg::kWritten, 1.2, true);
    rays(r, "the design", svg::kDelivered, 1.6, false);
  } else {
    rays(r, "delivered", svg::kDelivered, 1.6, true);
  }
  if (!ringed.x.empty()) {
    // The scale is the other rays'; the ring's dots beyond it are clipped,
    // and the legend gives their extent.
    const auto [ring_lo, ring_hi] = std::minmax_element(ringed.y.begin(), ringed.y.end());
    ringed.label = "rays next to the subreflector vertex (" + num(*ring_lo, 2) + " to " + num(*ring_hi, 2) + " \u03bb)";
    c.series.push_back(thin(ringed));
    if (hi - lo <= 0) hi = lo + 1e-6;
    const double pad = 0.1 * (hi - lo);
    c.y_range = std::make_pair(lo - pad, hi + 0.6 * (hi - lo));  // room for the legend
  }
  c.x_range = std::make_pair(0.0, r.aperture_radius);
  return c;
}

// The feed's power pattern as the design used it, on angles up to where it
// is known: from the model, and the planes of a table.
struct FeedCurve {
  std::vector<double> theta_deg, power_db;
};

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

svg::Chart feed_chart(const Report& r, const DesignInput& d) {
  svg::Chart c;
  c.id = "feed";
  c.title = "Feed power pattern" + (d.feed_model.empty() ? std::string() : " (" + d.feed_model + ")");
  c.x_label = "angle from the feed axis (deg)";
  c.y_label = "relative power (dB)";
  const FeedCurve f = feed_curve(d);
  if (!d.feed_table_theta_deg.empty()) {
    c.series.push_back(thin({"E plane (table)", svg::kUnblocked, d.feed_table_theta_deg, d.feed_table_e_db, 1.2, true, false}));
    c.series.push_back(thin({"H plane (table)", svg::kWritten, d.feed_table_theta_deg, d.feed_table_h_db, 1.2, true, false}));
  }
  c.series.push_back(thin({"averaged over phi, as designed for", svg::kDelivered, f.theta_deg, f.power_db, 1.8, false, false}));
  c.series.push_back(vertical(d.sub_half_angle_rad * 180.0 / M_PI, -60.0, 5.0, "subreflector rim"));
  c.notes.push_back({d.sub_half_angle_rad * 180.0 / M_PI, -3.0, " rim: " + fixed(r.feed_edge_taper_db, 1) + " dB"});
  c.x_range = std::make_pair(0.0, f.theta_deg.back());
  c.y_range = std::make_pair(-60.0, 5.0);
  return c;
}

std::string feed_csv(const DesignInput& d) {
  std::ostringstream o;
  const FeedCurve f = feed_curve(d);
  o << "theta_deg,power_db\n";
  for (std::size_t i = 0; i < f.theta_deg.size(); ++i) o << num(f.theta_deg[i]) << ',' << num(f.power_db[i]) << '\n';
  return o.str();
}

std::string aperture_csv(const Report& r) {
  std::ostringstream o;
  o << "radius,normalised_radius,wanted_db,delivered_db,wanted_density,delivered_density\n";
  for (std::size_t i = 0; i < r.density_rho.size(); ++i)
    o << num(r.density_rho[i] * r.aperture_radius) << ',' << num(r.density_rho[i]) << ',' << num(db(r.density_wanted[i]))
      << ',' << (r.density_delivered[i] > 0 ? num(db(r.density_delivered[i])) : "")  // no power, no level
      << ',' << num(r.density_wanted[i]) << ',' << num(r.density_delivered[i]) << '\n';
  return o.str();
}

std::string pattern_csv(const Report& r) {
  std::ostringstream o;
  o << "theta_deg,delivered_db,unblocked_db,ideal_db\n";
  const std::size_t n = std::min({r.delivered.theta_deg.size(), r.unblocked.level_db.size(), r.ideal.level_db.size()});
  for (std::size_t i = 0; i < n; ++i)
    o << num(r.delivered.theta_deg[i]) << ',' << num(r.delivered.level_db[i]) << ',' << num(r.unblocked.level_db[i]) << ','
      << num(r.ideal.level_db[i]) << '\n';
  return o.str();
}

std::string path_csv(const Report& r) {
  std::ostringstream o;
  o << "surfaces,radius,normalised_radius,feed_angle_deg,path_error_wavelengths,direction_error_deg,vertex_ring\n";
  const auto rows = [&](const Report& x, const char* surfaces) {
    for (std::size_t i : by_radius(x))
      o << surfaces << ',' << num(x.ray_rho[i] * x.aperture_radius) << ',' << num(x.ray_rho[i]) << ','
        << num(x.ray_theta_deg[i]) << ',' << num(x.ray_path_error_wavelengths[i]) << ','
        << num(x.ray_direction_error_deg[i]) << ',' << (x.ray_in_vertex_ring[i] ? 1 : 0) << '\n';
  };
  rows(r, r.traces_design ? "design" : "written");
  if (r.as_written) rows(*r.as_written, "written");
  return o.str();
}

std::string geometry_csv(const DesignInput& d) {
  std::ostringstream o;
  o << "reflector,r,z\n";
  for (std::size_t i = 0; i < d.sub_r.size(); ++i) o << "sub," << num(d.sub_r[i]) << ',' << num(d.sub_z[i]) << '\n';
  for (std::size_t i = 0; i < d.main_r.size(); ++i) o << "main," << num(d.main_r[i]) << ',' << num(d.main_z[i]) << '\n';
  return o.str();
}

// The physical optics' cuts: co- and cross-polar directivity in dBi in the
// 0, 45 and 90 degree planes.
std::string po_pattern_csv(const PhysicalOptics& p) {
  std::ostringstream o;
  o << "theta_deg";
  for (const po::Cut& c : p.result.cuts) o << ",co_" << num(c.phi_deg) << "_dbi,cross_" << num(c.phi_deg) << "_dbi";
  o << '\n';
  const auto dbi = [](const po::Complex& f) { return std::max(-300.0, db(std::norm(f))); };
  for (std::size_t i = 0; i < p.result.theta_deg.size(); ++i) {
    o << num(p.result.theta_deg[i]);
    for (const po::Cut& c : p.result.cuts) o << ',' << num(dbi(c.co[i])) << ',' << num(dbi(c.cross[i]));
    o << '\n';
  }
  return o.str();
}

// The same cuts in the plain-text cut format the feed files use: per cut a
// line of text, V_INI V_INC V_NUM C ICOMP ICUT NCOMP (linear co/cross,
// polar, two components), then the two complex components per angle,
// scaled so that their power is the directivity.
std::string po_pattern_cut(const PhysicalOptics& p) {
  std::ostringstream o;
  const std::vector<double>& t = p.result.theta_deg;
  const double step = t.size() > 1 ? t[1] - t[0] : 0.0;
  char line[160];
  for (const po::Cut& c : p.result.cuts) {
    o << "RAVOST physical optics, D/lambda " << num(p.d_over_lambda, 6) << ", phi = " << fixed(c.phi_deg, 1)
      << " deg, co and cross polar (third definition), power = directivity\n";
    std::snprintf(line, sizeof line, "%.6f %.10g %zu %.6f 3 1 2\n", t.empty() ? 0.0 : t[0], step, t.size(), c.phi_deg);
    o << line;
    for (std::size_t i = 0; i < t.size(); ++i) {
      std::snprintf(line, sizeof line, " %.8E %.8E %.8E %.8E\n", c.co[i].real(), c.co[i].imag(), c.cross[i].real(),
                    c.cross[i].imag());
      o << line;
    }
  }
  return o.str();
}

nlohmann::json po_json(const PhysicalOptics& p) {
  using nlohmann::json;
  const po::Result& r = p.result;
  json cuts = json::array();
  for (const po::Cut& c : r.cuts)
    cuts.push_back({{"phi_deg", c.phi_deg},
                    {"hpbw_deg", c.hpbw_deg},
                    {"first_sidelobe_db", c.first_sidelobe_db},
                    {"first_sidelobe_deg", c.first_sidelobe_deg},
                    {"sidelobes", c.sidelobes_found},
                    {"cross_polar_peak_db", c.cross_peak_db}});
  json j = {{"directivity_dbi", r.directivity_dbi},
            {"geometrical_optics_directivity_dbi", p.go_directivity_dbi},
            {"diffraction_and_scattering_db",
             {{"total", p.difference_db}, {"spillover_past_sub", p.past_sub_db}, {"spillover_past_main", p.past_main_db}, {"rest", p.rest_db}}},
            {"spillover_past_sub", r.spillover_past_sub},
            {"spillover_past_main", r.spillover_past_main},
            {"cross_polar_peak_db", r.cross_polar_peak_db},
            {"hpbw_deg", r.hpbw_deg},
            {"first_sidelobe_db", r.first_sidelobe_db},
            {"cuts", cuts},
            {"profiles", p.traces_design ? "design" : "written profiles"},
            {"subreflector_shadow", "aperture field removed inside the subreflector's radius"},
            {"samples",
             {{"subreflector_nodes", r.sub_nodes},
              {"main_reflector_nodes", r.main_nodes},
              {"azimuth_nodes_max", r.azimuth_nodes_max},
              {"angles", r.angles},
              {"nodes_per_wavelength", p.per_wavelength}}}};
  if (r.sphere_power_share) {
    j["sphere_power_share"] = *r.sphere_power_share;
    j["sphere_directivity_dbi"] = *r.sphere_directivity_dbi;
  }
  return j;
}

nlohmann::json pattern_json(const Pattern& p) {
  return {{"hpbw_deg", p.hpbw_deg},
          {"first_null_deg", p.first_null_deg},
          {"first_sidelobe_db", p.first_sidelobe_db},
          {"first_sidelobe_deg", p.first_sidelobe_deg},
          {"sidelobes_computed", p.sidelobes_found}};
}

// NaN (no ray to take a figure from) as null.
nlohmann::json value_or_null(double v) { return std::isfinite(v) ? nlohmann::json(v) : nlohmann::json(nullptr); }

nlohmann::json vertex_ring_json(const VertexRing& v) {
  return {{"subreflector_radius", v.sub_radius},
          {"feed_angle_max_deg", v.feed_angle_max_deg},
          {"power_share", v.power_share},
          {"rays", v.rays},
          {"rays_traced", v.rays_traced},
          {"rays_lost", v.rays_lost},
          {"path_length_error_peak_to_peak_wavelengths", value_or_null(v.path_error_pp_wavelengths)},
          {"path_length_error_max_abs_wavelengths", value_or_null(v.path_error_max_abs_wavelengths)},
          {"collimation_error_max_deg", value_or_null(v.collimation_error_max_deg)},
          {"landing_radius_min_normalised", value_or_null(v.landing_rho_min)},
          {"landing_radius_max_normalised", value_or_null(v.landing_rho_max)},
          {"matters", v.matters}};
}

// The figures of one trace: directivity, efficiencies, pattern, verification.
nlohmann::json figures_json(const Report& r) {
  using nlohmann::json;
  const Efficiency& e = r.efficiency;
  return {
      {"directivity_dbi", r.directivity_dbi},
      {"efficiency",
       {{"spillover", e.spillover}, {"illumination", e.illumination}, {"blockage", e.blockage}, {"phase", e.phase}, {"total", e.total}}},
      {"pattern",
       {{"hpbw_deg", r.delivered.hpbw_deg},
        {"first_null_deg", r.delivered.first_null_deg},
        {"first_sidelobe_db", r.delivered.first_sidelobe_db},
        {"unblocked_first_sidelobe_db", r.unblocked.first_sidelobe_db},
        {"ideal_first_sidelobe_db", r.ideal.first_sidelobe_db},
        {"ideal_full_disc_first_sidelobe_db", r.ideal_disc_first_sidelobe_db},
        {"delivered", pattern_json(r.delivered)},
        {"unblocked", pattern_json(r.unblocked)},
        {"ideal", pattern_json(r.ideal)}}},
      {"verification",
       {{"rays_traced", r.rays_traced},
        {"rays_requested", r.rays_requested},
        {"rays_lost", r.rays_lost},
        {"path_length_error_peak_to_peak_wavelengths", r.path_error_pp_wavelengths},
        {"path_length_error_rms_wavelengths", r.path_error_rms_wavelengths},
        {"phase_error_peak_to_peak_deg", r.phase_error_pp_deg},
        {"mean_path_length", r.mean_path},
        {"collimation_error_max_deg", r.collimation_error_max_deg},
        {"aperture_power_error_max_db", r.aperture_power_error_max_db},
        {"aperture_power_error_rim_db", r.aperture_power_error_rim_db},
        {"misplaced_power_share", r.misplaced_power_share},
        {"lost_power_share", r.lost_power_share},
        {"aperture_power_error_range_normalised", {r.aperture_error_rho_min, r.aperture_error_rho_max}},
        {"aperture_bins_without_power", r.aperture_bins_without_power},
        {"path_length_error_peak_to_peak_all_rays_wavelengths", r.path_error_pp_all_rays_wavelengths},
        {"vertex_ring", vertex_ring_json(r.vertex_ring)}}}};
}

}  // namespace

nlohmann::json report_document(const Report& r, const DesignInput& d) {
  using nlohmann::json;
  json inputs = json::array();
  for (const auto& [label, value] : d.inputs) inputs.push_back({{"label", label}, {"value", value}});
  json j = {
      {"distribution", d.distribution},
      {"design_inputs", inputs},
      {"main_diameter", d.main_diameter},
      {"wavelength", r.wavelength},
      {"wavelength_assumed", r.wavelength_assumed},
      {"d_over_lambda", r.d_over_lambda},
      {"figures_trace", r.traces_design ? "design" : "written profiles"}};
  j.update(figures_json(r));
  if (r.as_written) {
    json written = figures_json(*r.as_written);
    const Report::WrittenLoss& l = r.written_loss;
    written["directivity_loss_db"] = {
        {"total", l.total_db}, {"vertex_ring", l.vertex_ring_db}, {"spline_ends", l.spline_ends_db}, {"rest", l.rest_db}};
    j["as_written"] = written;
    const Report::SamplingAdvice& a = r.sampling_advice;
    const auto positive = [](auto v) { return v > 0 ? json(v) : json(nullptr); };
    j["sampling_advice"] = {{"output_interval", positive(a.output_interval)},
                            {"surface_points", positive(a.surface_points)},
                            {"spline_points", positive(a.spline_points)}};
  }
  j["geometry"] = {{"hole_radius", d.hole_radius},
                   {"subreflector_radius", r.shadow_rho * r.aperture_radius},
                   {"feed_exponent", d.feed_exponent},
                   {"feed_model", d.feed_model},
                   {"feed_pattern_last_angle_deg", d.feed_last_angle_rad * 180.0 / M_PI},
                   {"feed_edge_taper_db", r.feed_edge_taper_db},
                   {"subreflector_half_angle_deg", d.sub_half_angle_rad * 180.0 / M_PI}};
  if (r.physical_optics) j["physical_optics"] = po_json(*r.physical_optics);
  j["design_precision"] = d.double_precision ? "64-bit" : "32-bit";
  j["notes"] = r.notes;
  return j;
}

namespace {

std::string report_json(const Report& r, const DesignInput& d) { return report_document(r, d).dump(2) + "\n"; }

std::string report_html(const Report& r, const DesignInput& d, const std::vector<std::pair<std::string, std::string>>& figures) {
  const auto esc = svg::escape;
  const Efficiency& e = r.efficiency;
  const auto loss = [](double eff) { return eff > 0 ? fixed(-10.0 * std::log10(eff), 2) : "&#8734;"; };
  std::ostringstream o;
  o << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Design report: " << esc(d.distribution)
    << "</title>\n<style>\n"
       "body{font-family:Helvetica,Arial,sans-serif;max-width:980px;margin:24px auto;padding:0 16px;color:#111;line-height:1.4}\n"
       "h1{font-size:1.6em;margin-bottom:0.2em}h2{font-size:1.2em;margin-top:1.6em;border-bottom:1px solid #ccc}\n"
       "table{border-collapse:collapse;margin:8px 0}td,th{border:1px solid #ccc;padding:3px 10px;text-align:left}\n"
       "td.n{text-align:right;font-variant-numeric:tabular-nums}th{background:#f2f2f2}\n"
       "figure{margin:18px 0}figcaption{font-size:0.92em;color:#333;margin-top:4px}svg{max-width:100%;height:auto}\n"
       ".warn{color:#a40000}\n</style>\n</head>\n<body>\n";
  o << "<h1>Dual-reflector design report</h1>\n<p>" << esc(d.distribution) << " aperture distribution, main diameter "
    << num(d.main_diameter, 6) << ", D/&#955; = " << num(r.d_over_lambda, 6)
    << (r.wavelength_assumed ? " <span class=\"warn\">(no wavelength given: D/&#955; = " + num(r.d_over_lambda, 6) + " assumed)</span>" : "")
    << ".</p>\n";

  o << "<h2>Design inputs</h2>\n<table>\n";
  for (const auto& [label, value] : d.inputs) o << "<tr><th>" << esc(label) << "</th><td>" << esc(value) << "</td></tr>\n";
  // The arithmetic, unless the inputs already name it.
  const bool named = std::any_of(d.inputs.begin(), d.inputs.end(), [](const auto& input) { return input.first == "Arithmetic"; });
  if (!named) o << "<tr><th>Design arithmetic</th><td>" << (d.double_precision ? "64-bit reals" : "32-bit reals") << "</td></tr>\n";
  o << "</table>\n";

  const Report* w = r.as_written.get();
  // A row: the design's value and, beside it, the written surfaces' value
  // with the difference in dB when given.
  const auto row = [&](const std::string& label, const std::string& value, const std::string& loss_db, const std::string& written,
                       const std::string& diff) {
    o << "<tr><td>" << label << "</td><td class=\"n\">" << value << "</td><td class=\"n\">" << loss_db << "</td>";
    if (w) o << "<td class=\"n\">" << written << "</td><td class=\"n\">" << diff << "</td>";
    o << "</tr>\n";
  };
  const auto ratio_db = [](double a, double b) { return a > 0 && b > 0 ? fixed(10.0 * std::log10(a / b), 3) : std::string(); };
  o << "<h2>Figures of merit</h2>\n";
  if (w)
    o << "<p>The design's figures trace the surfaces as synthesised; beside them the surfaces as written (natural splines through the "
      << d.sub_r.size() << " subreflector and " << d.main_r.size() << " main-reflector points of the output interval).</p>\n";
  o << "<table>\n<tr><th>quantity</th><th>design</th><th>loss (dB)</th>";
  if (w) o << "<th>as written</th><th>difference (dB)</th>";
  o << "</tr>\n";
  row("Directivity", fixed(r.directivity_dbi, 2) + " dBi", "", w ? fixed(w->directivity_dbi, 2) + " dBi" : "",
      w ? fixed(w->directivity_dbi - r.directivity_dbi, 3) : "");
  const auto eff_row = [&](const char* label, double Efficiency::*field) {
    const double v = e.*field;
    row(label, fixed(100 * v, 2) + " %", loss(v), w ? fixed(100 * (w->efficiency.*field), 2) + " %" : "",
        w ? ratio_db(w->efficiency.*field, v) : "");
  };
  eff_row("Spillover efficiency", &Efficiency::spillover);
  eff_row("Illumination efficiency", &Efficiency::illumination);
  eff_row("Blockage efficiency", &Efficiency::blockage);
  eff_row("Phase efficiency", &Efficiency::phase);
  eff_row("Total efficiency", &Efficiency::total);
  row("Half-power beamwidth", num(r.delivered.hpbw_deg, 4) + "&#176;", "", w ? num(w->delivered.hpbw_deg, 4) + "&#176;" : "", "");
  row("First null", num(r.delivered.first_null_deg, 4) + "&#176;", "", w ? num(w->delivered.first_null_deg, 4) + "&#176;" : "", "");
  const auto sidelobes = [](const Report& x) {
    return fixed(x.delivered.first_sidelobe_db, 1) + " / " + fixed(x.unblocked.first_sidelobe_db, 1) + " / " +
           fixed(x.ideal.first_sidelobe_db, 1) + " dB";
  };
  row("First sidelobe (delivered / without blockage / ideal)", sidelobes(r), "", w ? sidelobes(*w) : "", "");
  const VertexRing& ring = w ? w->vertex_ring : r.vertex_ring;
  const std::string left_out = ring.rays_traced > 0 ? " <sup>*</sup>" : "";
  const auto path = [](const Report& x) {
    return num(x.path_error_pp_wavelengths, 3) + " (" + num(x.path_error_rms_wavelengths, 3) + ") &#955;";
  };
  row("Path-length error, peak to peak of the cone means (rms)" + (w ? std::string() : left_out), path(r), "",
      w ? path(*w) + left_out : "", "");
  row("Largest ray direction error, cone mean" + (w ? std::string() : left_out), num(r.collimation_error_max_deg, 3) + "&#176;", "",
      w ? num(w->collimation_error_max_deg, 3) + "&#176;" + left_out : "", "");
  const auto power = [](const Report& x) {
    std::string text = num(x.aperture_power_error_max_db, 3) + " dB (rim " + num(x.aperture_power_error_rim_db, 3) + " dB)";
    if (x.aperture_bins_without_power > 0)
      text += "<br><span class=\"warn\">" + std::to_string(x.aperture_bins_without_power) + " of " +
              std::to_string(x.density_rho.size()) + " radial bins receive no power</span>";
    return text;
  };
  row("Largest annulus power error", power(r), "", w ? power(*w) : "", "");
  const auto shares = [](const Report& x) {
    return num(100 * x.misplaced_power_share, 3) + " % / " + num(100 * x.lost_power_share, 3) + " %";
  };
  row("Power misplaced / lost", shares(r), "", w ? shares(*w) : "", "");
  row("Rays traced", std::to_string(r.rays_traced) + " of " + std::to_string(r.rays_requested), "",
      w ? std::to_string(w->rays_traced) + " of " + std::to_string(w->rays_requested) : "", "");
  o << "</table>\n";
  if (w) {
    const Report::WrittenLoss& l = r.written_loss;
    o << "<p>The written surfaces lose " << fixed(l.total_db, 3) << " dB of directivity: " << fixed(l.vertex_ring_db, 3)
      << " dB next to the subreflector's vertex, " << fixed(l.spline_ends_db, 3) << " dB at the splines' ends, "
      << fixed(l.rest_db, 3) << " dB elsewhere.";
    const Report::SamplingAdvice& a = r.sampling_advice;
    o << " Sampling advice: output interval "
      << (a.output_interval > 0 ? num(a.output_interval, 6) : std::string("none found")) << ", surface and spline points "
      << (a.surface_points > 0 ? std::to_string(a.surface_points) : std::string("none found")) << ".</p>\n";
  }
  if (ring.rays_traced > 0) {
    o << "<p><sup>*</sup> With the " << ring.rays_traced << " rays within " << fixed(ring.feed_angle_max_deg, 2)
      << "&#176; of the axis that meet the " << (w ? "written " : "")
      << "subreflector before its first surface point off the axis (" << num(100 * ring.power_share, 2)
      << " % of the power on the subreflector), each weighted by the power it carries; on their own they stray by up to "
      << num(ring.collimation_error_max_deg, 3) << "&#176;.</p>\n";
  }

  if (const PhysicalOptics* p = r.physical_optics.get()) {
    const po::Result& q = p->result;
    o << "<h2>Physical optics</h2>\n<p>The currents the feed induces on the " << (p->traces_design ? "designed " : "written ")
      << "subreflector radiate onto the main reflector (near field kept); the main reflector's currents, the feed and the "
         "subreflector radiate to the far field. The subreflector's shadow removes the aperture field inside its radius.</p>\n"
      << "<table>\n<tr><th>quantity</th><th>value</th></tr>\n"
      << "<tr><td>Directivity by physical optics / geometrical optics</td><td class=\"n\">" << fixed(q.directivity_dbi, 2) << " / "
      << fixed(p->go_directivity_dbi, 2) << " dBi</td></tr>\n"
      << "<tr><td>Diffraction and scattering (past the subreflector / past the main reflector / rest)</td><td class=\"n\">"
      << fixed(p->difference_db, 3) << " dB (" << fixed(p->past_sub_db, 3) << " / " << fixed(p->past_main_db, 3) << " / "
      << fixed(p->rest_db, 3) << ")</td></tr>\n"
      << "<tr><td>Feed power past the subreflector / past the main reflector</td><td class=\"n\">"
      << fixed(100 * q.spillover_past_sub, 2) << " % / " << fixed(100 * q.spillover_past_main, 2) << " %</td></tr>\n"
      << "<tr><td>Half-power beamwidth</td><td class=\"n\">" << num(q.hpbw_deg, 4) << "&#176;</td></tr>\n"
      << "<tr><td>First sidelobe (highest of the 0, 45 and 90&#176; planes)</td><td class=\"n\">" << fixed(q.first_sidelobe_db, 2)
      << " dB</td></tr>\n"
      << "<tr><td>Peak cross-polarisation (third definition)</td><td class=\"n\">"
      << (q.cross_polar_peak_db > -299 ? fixed(q.cross_polar_peak_db, 1) + " dB" : std::string("none")) << "</td></tr>\n";
    if (q.sphere_power_share)
      o << "<tr><td>Far-field power over the sphere / feed power</td><td class=\"n\">" << fixed(100 * *q.sphere_power_share, 2)
        << " %</td></tr>\n";
    o << "<tr><td>Samples (subreflector / main reflector / most azimuthal / angles)</td><td class=\"n\">" << q.sub_nodes << " / "
      << q.main_nodes << " / " << q.azimuth_nodes_max << " / " << q.angles << "</td></tr>\n</table>\n"
      << "<p>Cuts in po_pattern.csv and po_pattern.cut (co- and cross-polar, 0, 45 and 90&#176; planes).</p>\n";
  }

  o << "<h2>What limits the design</h2>\n<ul>\n";
  for (const auto& note : r.notes) o << "<li>" << esc(note) << "</li>\n";
  o << "</ul>\n";

  o << "<h2>Figures</h2>\n";
  for (const auto& [file, svg_text] : figures) {
    const std::size_t body = svg_text.find("<svg");
    std::string caption = file;
    if (file == "geometry.svg") caption = "Cross-section to scale, both reflectors mirrored about the axis, with a fan of rays traced through the profiles.";
    if (file == "aperture.svg") caption = "Aperture power density, wanted and delivered by the ray trace.";
    if (file == "feed.svg")
      caption = "The feed's power pattern the design was shaped for (averaged over phi), the planes of a tabulated feed, and the subreflector rim.";
    if (file == "pattern.svg") caption = "Far field by aperture integration: delivered, without the subreflector's blockage, and the ideal pattern of the wanted distribution.";
    if (file == "path_error.svg")
      caption = r.vertex_ring.rays_traced > 0
                    ? "Path-length error of the traced rays against their landing radius; grey dots: the rays next to the subreflector vertex, on the scale of the others."
                    : "Path-length error of the traced rays against their landing radius.";
    o << "<figure id=\"" << esc(file) << "\">\n" << svg_text.substr(body == std::string::npos ? 0 : body) << "<figcaption><b>"
      << esc(file) << "</b> (data in " << esc(file.substr(0, file.size() - 4)) << ".csv): " << esc(caption)
      << "</figcaption>\n</figure>\n";
  }
  o << "</body>\n</html>\n";
  return o.str();
}

}  // namespace

void write_report(const Report& r, const DesignInput& d, const fs::path& dir) {
  try {
    // Every file is staged and the folder takes them all at once, or none.
    io::FolderWriter folder(dir);
    const std::vector<std::pair<std::string, std::string>> figures = {
        {"geometry.svg", svg::render(geometry_chart(r, d))},
        {"aperture.svg", svg::render(aperture_chart(r))},
        {"pattern.svg", svg::render(pattern_chart(r))},
        {"path_error.svg", svg::render(path_chart(r))},
        {"feed.svg", svg::render(feed_chart(r, d))}};
    const std::string prolog = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    for (const auto& [file, text] : figures) folder.write(file, prolog + text);
    folder.write("geometry.csv", geometry_csv(d));
    folder.write("aperture.csv", aperture_csv(r));
    folder.write("pattern.csv", pattern_csv(r));
    folder.write("path_error.csv", path_csv(r));
    folder.write("feed.csv", feed_csv(d));
    if (r.physical_optics) {
      folder.write("po_pattern.csv", po_pattern_csv(*r.physical_optics));
      folder.write("po_pattern.cut", po_pattern_cut(*r.physical_optics));
    }
    folder.write("report.json", report_json(r, d));
    folder.write("report.html", report_html(r, d, figures));
    folder.commit();
  } catch (const io::RunError& e) {
    // The caller puts the report's failure in its own words around ours.
    std::string what = e.what();
    if (what.rfind("Error: ", 0) == 0) what.erase(0, 7);
    throw std::runtime_error(what);
  }
}

}  // namespace analysis
