#include <algorithm>
#include <boost/math/quadrature/gauss_kronrod.hpp>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

#include "analysis/analysis.h"
#include "design/feed.h"
#include "fields/prose.h"

namespace analysis {
namespace {

constexpr double kDeg = 180.0 / M_PI;

using Feed = design::BeamwidthFeed<double>;

double loss_db(double efficiency) { return efficiency > 0 ? -10.0 * std::log10(efficiency) : 300.0; }

// Prose numbers: `significant` digits, or `decimals` after the point.
std::string num(double v, int significant = 6) { return fields::number(v, significant); }
std::string fix(double v, int decimals) { return fields::fixed(v, decimals); }

// Piecewise linear function through samples of increasing abscissa, held
// constant beyond the ends.
class Linear {
 public:
  Linear(std::vector<double> x, std::vector<double> y) : x_(std::move(x)), y_(std::move(y)) {}
  double operator()(double at) const {
    if (at <= x_.front()) return y_.front();
    if (at >= x_.back()) return y_.back();
    const std::size_t i = static_cast<std::size_t>(std::upper_bound(x_.begin(), x_.end(), at) - x_.begin());
    const double t = (at - x_[i - 1]) / (x_[i] - x_[i - 1]);
    return y_[i - 1] + t * (y_[i] - y_[i - 1]);
  }

 private:
  std::vector<double> x_, y_;
};

// The traced rays and what the steps derive from them, per ray in increasing
// feed angle.
struct Rays {
  TraceResult trace;
  std::vector<bool> ringed;          // in the vertex ring
  std::vector<std::size_t> kept;     // the rays the verification figures are taken over
  std::vector<double> weight;        // feed power each ray stands for
  std::vector<double> rho, path;     // landing radius (normalised) and path length
};

// The aperture field as functions of normalised radius, and the bands it is
// integrated over.
struct ApertureModel {
  Linear amplitude, phase;           // sqrt of the delivered density; phase of the path error
  std::function<double(double)> wanted_density;
  Intervals annulus;                 // hole to rim, split at the shadow's edge
  Intervals open;                    // shadow's edge to rim

  ApertureField field() const {
    return [this](double x) { return std::polar(amplitude(x), phase(x)); };
  }
  ApertureField amplitude_only() const {
    return [this](double x) { return std::complex<double>(amplitude(x)); };
  }
  ApertureField wanted() const {
    return [this](double x) { return std::complex<double>(std::sqrt(std::max(0.0, wanted_density(x)))); };
  }
};

void check_profile(const std::vector<double>& r, const std::vector<double>& z, const char* name) {
  if (r.size() < 3 || r.size() != z.size())
    throw std::invalid_argument(std::string(name) + " profile needs at least three points with r and z each");
  for (std::size_t i = 0; i < r.size(); ++i)
    if (!std::isfinite(r[i]) || !std::isfinite(z[i]))
      throw std::invalid_argument(std::string(name) + " profile has a value that is not a number");
  for (std::size_t i = 1; i < r.size(); ++i)
    if (!(r[i] > r[i - 1])) throw std::invalid_argument(std::string(name) + " profile radii must increase");
}

// Rejects a design or options the analysis cannot work with.
void validate(const DesignInput& d, const Options& o) {
  check_profile(d.sub_r, d.sub_z, "subreflector");
  check_profile(d.main_r, d.main_z, "main-reflector");
  if (!(d.main_diameter > 0)) throw std::invalid_argument("main diameter must be positive");
  if (!(d.hole_radius >= 0 && d.hole_radius < 0.5 * d.main_diameter))
    throw std::invalid_argument("hole radius must lie between 0 and D/2");
  if (!(d.feed_exponent > 0)) throw std::invalid_argument("feed exponent must be positive");
  if (!(d.sub_half_angle_rad > 0 && d.sub_half_angle_rad < M_PI))
    throw std::invalid_argument("subreflector half angle must lie between 0 and 180 degrees");
  if (!d.wanted_density) throw std::invalid_argument("wanted aperture density is missing");
  if (!(o.wavelength >= 0) || !std::isfinite(o.wavelength)) throw std::invalid_argument("wavelength must not be negative");
  if (o.rays < 9) throw std::invalid_argument("trace at least 9 rays");
  if (!(o.assumed_d_over_lambda > 0) || !std::isfinite(o.assumed_d_over_lambda))
    throw std::invalid_argument("the assumed D/lambda must be positive");
  if (o.fan_rays < 0) throw std::invalid_argument("the fan of rays must not be negative");
  if (o.rays_per_bin < 1 || o.bins_min < 1 || o.bins_max < o.bins_min)
    throw std::invalid_argument("aperture bins: at least one ray a bin, and 1 <= fewest bins <= most bins");
  if (o.sidelobes < 1 || !(o.full_disc_u_max > 0)) throw std::invalid_argument("far field: at least one sidelobe, positive extent");
  for (double v : {o.vertex_on_axis, o.ring_path_error_growth, o.wanted_density_floor, o.bin_edge_slack, o.sidelobe_rise_db,
                   o.focus_path_error, o.drift_path_error, o.drift_trend_share, o.coverage_margin})
    if (!(v >= 0) || !std::isfinite(v)) throw std::invalid_argument("analysis thresholds must be finite and not negative");
}

// Share of the weighted variance of y that a straight line in x explains.
double trend_share(const std::vector<double>& x, const std::vector<double>& y, const std::vector<double>& w) {
  double sw = 0, sx = 0, sy = 0;
  for (std::size_t i = 0; i < x.size(); ++i) sw += w[i], sx += w[i] * x[i], sy += w[i] * y[i];
  if (!(sw > 0)) return 0;
  const double mx = sx / sw, my = sy / sw;
  double sxx = 0, sxy = 0, syy = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    sxx += w[i] * (x[i] - mx) * (x[i] - mx);
    sxy += w[i] * (x[i] - mx) * (y[i] - my);
    syy += w[i] * (y[i] - my) * (y[i] - my);
  }
  return sxx > 0 && syy > 0 ? sxy * sxy / (sxx * syy) : 0;
}

// Wavelength, the aperture's radii and the feed's level at the subreflector rim.
void set_geometry(Report& r, const DesignInput& d, const Options& o) {
  const double a = 0.5 * d.main_diameter;
  r.aperture_radius = a;
  r.wavelength_assumed = !(o.wavelength > 0);
  r.wavelength = r.wavelength_assumed ? d.main_diameter / o.assumed_d_over_lambda : o.wavelength;
  r.d_over_lambda = d.main_diameter / r.wavelength;
  r.hole_rho = d.hole_radius / a;
  r.shadow_rho = *std::max_element(d.sub_r.begin(), d.sub_r.end()) / a;
  r.feed_edge_taper_db = 10.0 * std::log10(Feed::pattern_of(d.sub_half_angle_rad, d.feed_exponent));
}

// Traces the rays from the feed to the aperture plane, and the fan drawn in
// the cross-section.
Rays trace(Report& r, const DesignInput& d, const Options& o) {
  Rays rays;
  rays.trace = trace_rays(d.sub_r, d.sub_z, d.main_r, d.main_z, d.sub_half_angle_rad, o.rays);
  const TraceResult& t = rays.trace;
  r.rays_requested = t.rays_requested;
  r.rays_traced = static_cast<int>(t.rays.size());
  r.rays_lost = t.rays_lost;
  if (!t.lost.empty()) {
    r.lost_theta_min_deg = t.lost.front().theta * kDeg;
    r.lost_theta_max_deg = t.lost.back().theta * kDeg;
  }
  r.aperture_plane_z = t.aperture_plane_z;
  r.fan = trace_rays(d.sub_r, d.sub_z, d.main_r, d.main_z, d.sub_half_angle_rad, o.fan_rays).rays;
  if (t.rays.size() < 3) throw std::invalid_argument("fewer than three rays reach the aperture: the profiles do not form a design");
  return rays;
}

// The vertex ring: rays that meet the subreflector inside the profile's first
// interval from the axis.  Sorts the rays into the ring and the kept ones.
void find_vertex_ring(Report& r, const DesignInput& d, const Options& o, Rays& rays) {
  VertexRing& ring = r.vertex_ring;
  const double theta_s = d.sub_half_angle_rad, n = d.feed_exponent;
  if (std::abs(d.sub_r[0]) <= o.vertex_on_axis * std::abs(d.sub_r.back())) {
    ring.sub_radius = d.sub_r[1];
    const double theta_v = std::clamp(std::atan2(d.sub_r[1], d.sub_z[1]), 0.0, theta_s);
    ring.feed_angle_max_deg = theta_v * kDeg;
    ring.power_share = Feed::enclosed_power_exact(theta_v, n) / Feed::enclosed_power_exact(theta_s, n);
  }
  const auto in_ring = [&](double sub_x) { return sub_x < ring.sub_radius; };  // NaN: missed the subreflector
  const std::size_t m = rays.trace.rays.size();
  rays.ringed.assign(m, false);
  for (std::size_t i = 0; i < m; ++i) {
    rays.ringed[i] = in_ring(rays.trace.rays[i].sub_x);
    if (!rays.ringed[i]) rays.kept.push_back(i);
  }
  for (const LostRay& lost : rays.trace.lost) ring.rays_lost += in_ring(lost.sub_x) ? 1 : 0;
  ring.rays_traced = static_cast<int>(m - rays.kept.size());
  ring.rays = ring.rays_traced + ring.rays_lost;
  if (rays.kept.size() < 3)
    throw std::invalid_argument("fewer than three rays away from the subreflector's vertex reach the aperture: the profiles do not form a design");
}

// Path error of the kept rays, weighted by the feed power each ray carries.
void path_errors(Report& r, const DesignInput& d, Rays& rays) {
  const auto& traced = rays.trace.rays;
  const std::size_t m = traced.size();
  const double n = d.feed_exponent;
  rays.weight.resize(m);
  rays.rho.resize(m);
  rays.path.resize(m);
  for (std::size_t i = 0; i < m; ++i) {
    const double lo = i > 0 ? 0.5 * (traced[i].theta + traced[i - 1].theta) : traced[i].theta;
    const double hi = i + 1 < m ? 0.5 * (traced[i].theta + traced[i + 1].theta) : traced[i].theta;
    rays.weight[i] = Feed::enclosed_power_exact(hi, n) - Feed::enclosed_power_exact(lo, n);
    rays.rho[i] = traced[i].aperture_x / r.aperture_radius;
    rays.path[i] = traced[i].path;
  }
  const auto& weight = rays.weight;
  const auto& path = rays.path;
  double sw = 0, sp = 0;
  for (std::size_t i : rays.kept) sw += weight[i], sp += weight[i] * path[i];
  r.mean_path = sp / sw;
  double var = 0, lo = path[rays.kept[0]], hi = lo;
  std::vector<double> kept_rho, kept_path, kept_weight;
  for (std::size_t i : rays.kept) {
    var += weight[i] * (path[i] - r.mean_path) * (path[i] - r.mean_path);
    lo = std::min(lo, path[i]);
    hi = std::max(hi, path[i]);
    kept_rho.push_back(rays.rho[i]);
    kept_path.push_back(path[i]);
    kept_weight.push_back(weight[i]);
  }
  r.path_error_pp_wavelengths = (hi - lo) / r.wavelength;
  r.path_error_rms_wavelengths = std::sqrt(var / sw) / r.wavelength;
  r.phase_error_pp_deg = 360.0 * r.path_error_pp_wavelengths;
  r.path_error_trend_share = trend_share(kept_rho, kept_path, kept_weight);
  const auto [all_lo, all_hi] = std::minmax_element(path.begin(), path.end());
  r.path_error_pp_all_rays_wavelengths = (*all_hi - *all_lo) / r.wavelength;
}

// Aperture power density: every tube between two neighbouring rays that
// both reached the aperture carries the feed power between their angles and
// spreads it evenly over the area between their landing radii; the bins add
// up what falls on them.  Tubes that fold over (a caustic) and rays that
// missed a reflector are accounted for as they are.  The tubes of the vertex
// ring count in the delivered density (their power lands somewhere) but not
// in its error, which is the design's.
void aperture_density(Report& r, const DesignInput& d, const Options& o, const Rays& rays) {
  // Adaptive 31-point Gauss-Kronrod rule for the wanted power on the annulus.
  constexpr unsigned kMaxDepth = 10;
  constexpr double kTolerance = 1e-12;
  const auto& traced = rays.trace.rays;
  const auto& rho = rays.rho;
  const std::size_t m = traced.size();
  const double n = d.feed_exponent, rho_h = r.hole_rho;
  const double wanted_total = boost::math::quadrature::gauss_kronrod<double, 31>::integrate(
      [&](double x) { return d.wanted_density(x) * x; }, rho_h, 1.0, kMaxDepth, kTolerance);
  const int bins = std::clamp(static_cast<int>(m) / o.rays_per_bin, o.bins_min, o.bins_max);
  const double bin_width = (1.0 - rho_h) / bins;
  std::vector<double> deposited(static_cast<std::size_t>(bins), 0.0), deposited_kept = deposited;
  for (std::size_t i = 0; i + 1 < m; ++i) {
    if (traced[i + 1].index != traced[i].index + 1) continue;
    const bool kept_tube = !rays.ringed[i] && !rays.ringed[i + 1];
    const double power = Feed::enclosed_power_exact(traced[i + 1].theta, n) - Feed::enclosed_power_exact(traced[i].theta, n);
    const double lo_rho = std::min(rho[i], rho[i + 1]), hi_rho = std::max(rho[i], rho[i + 1]);
    const double area = 0.5 * (hi_rho * hi_rho - lo_rho * lo_rho);
    const int first = std::max(0, static_cast<int>(std::floor((lo_rho - rho_h) / bin_width)));
    const int last = std::min(bins - 1, static_cast<int>(std::floor((hi_rho - rho_h) / bin_width)));
    for (int b = first; b <= last; ++b) {
      const double b_lo = std::max(lo_rho, rho_h + b * bin_width), b_hi = std::min(hi_rho, rho_h + (b + 1) * bin_width);
      double share = 0;
      if (area > 0) {
        if (b_hi > b_lo) share = power * 0.5 * (b_hi * b_hi - b_lo * b_lo) / area;
      } else {
        share = power;  // a tube focused onto one radius
      }
      deposited[static_cast<std::size_t>(b)] += share;
      if (kept_tube) deposited_kept[static_cast<std::size_t>(b)] += share;
    }
  }
  // The feed power in the cone, spread as wanted, gives the wanted total.
  // The error is taken over the bins wholly inside the radii the kept rays
  // cover (with some slack for the rays that just miss an edge).
  const double c_norm =
      wanted_total / (Feed::enclosed_power_exact(d.sub_half_angle_rad, n) - Feed::enclosed_power_exact(0.0, n));
  r.aperture_error_rho_min = rho[rays.kept.front()];
  r.aperture_error_rho_max = rho[rays.kept.front()];
  for (std::size_t i : rays.kept) {
    r.aperture_error_rho_min = std::min(r.aperture_error_rho_min, rho[i]);
    r.aperture_error_rho_max = std::max(r.aperture_error_rho_max, rho[i]);
  }
  const double slack = o.bin_edge_slack * bin_width;
  double power_error = 0;
  for (int b = 0; b < bins; ++b) {
    const double b_lo = rho_h + b * bin_width, b_hi = b_lo + bin_width;
    const double centre = 0.5 * (b_lo + b_hi), bin_area = 0.5 * (b_hi * b_hi - b_lo * b_lo);
    const double density = c_norm * deposited[static_cast<std::size_t>(b)] / bin_area;
    const double density_kept = c_norm * deposited_kept[static_cast<std::size_t>(b)] / bin_area;
    const double wanted = d.wanted_density(centre);
    r.density_rho.push_back(centre);
    r.density_delivered.push_back(density);
    r.density_wanted.push_back(wanted);
    if (!(wanted > o.wanted_density_floor)) continue;
    if (!(density > 0)) ++r.aperture_bins_without_power;
    const bool inside = b_lo >= r.aperture_error_rho_min - slack && b_hi <= r.aperture_error_rho_max + slack;
    if (inside && density_kept > 0) power_error = std::max(power_error, std::abs(10.0 * std::log10(density_kept / wanted)));
  }
  r.aperture_power_error_max_db = power_error;
}

// Per-ray figures, the worst ray direction, and the vertex ring's own
// figures and whether it matters.
void ray_figures(Report& r, const Options& o, const Rays& rays) {
  const auto& traced = rays.trace.rays;
  const std::size_t m = traced.size();
  VertexRing& ring = r.vertex_ring;
  r.ray_theta_deg.resize(m);
  r.ray_rho = rays.rho;
  r.ray_path_error_wavelengths.resize(m);
  r.ray_direction_error_deg.resize(m);
  r.ray_in_vertex_ring = rays.ringed;
  for (std::size_t i = 0; i < m; ++i) {
    r.ray_theta_deg[i] = traced[i].theta * kDeg;
    r.ray_path_error_wavelengths[i] = (rays.path[i] - r.mean_path) / r.wavelength;
    r.ray_direction_error_deg[i] = traced[i].direction_error_deg;
    const double direction_error = std::abs(traced[i].direction_error_deg);
    if (rays.ringed[i]) {
      const double e = r.ray_path_error_wavelengths[i];
      const bool first = std::isnan(ring.landing_rho_min);
      ring.collimation_error_max_deg = first ? direction_error : std::max(ring.collimation_error_max_deg, direction_error);
      ring.path_error_max_abs_wavelengths = first ? std::abs(e) : std::max(ring.path_error_max_abs_wavelengths, std::abs(e));
      ring.landing_rho_min = first ? rays.rho[i] : std::min(ring.landing_rho_min, rays.rho[i]);
      ring.landing_rho_max = first ? rays.rho[i] : std::max(ring.landing_rho_max, rays.rho[i]);
      continue;
    }
    if (direction_error > r.collimation_error_max_deg) {
      r.collimation_error_max_deg = direction_error;
      r.worst_ray_theta_deg = r.ray_theta_deg[i];
      r.worst_ray_rho = rays.rho[i];
    }
  }
  if (ring.rays_traced > 0) {
    double ring_lo = std::numeric_limits<double>::infinity(), ring_hi = -ring_lo;
    for (std::size_t i = 0; i < m; ++i)
      if (rays.ringed[i]) ring_lo = std::min(ring_lo, rays.path[i]), ring_hi = std::max(ring_hi, rays.path[i]);
    ring.path_error_pp_wavelengths = (ring_hi - ring_lo) / r.wavelength;
  }
  ring.matters = ring.rays_lost > 0 ||
                 (ring.rays_traced > 0 &&
                  (r.path_error_pp_all_rays_wavelengths > o.ring_path_error_growth * r.path_error_pp_wavelengths ||
                   ring.collimation_error_max_deg > r.collimation_error_max_deg));
}

// Aperture field: amplitude sqrt(density), phase from the path error, as
// functions of radius through the rays sorted by landing radius.  The phase
// comes from the rays outside the vertex ring only: theirs would interleave
// with it where they land and stand for radii they do not belong to; their
// power is in the amplitude.
ApertureModel model_aperture(const Report& r, const DesignInput& d, const Rays& rays) {
  const auto& rho = rays.rho;
  std::vector<std::size_t> order(rho.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) { return rho[x] < rho[y]; });
  std::vector<double> xs, phase, amp;
  for (std::size_t i : order) {
    if (rays.ringed[i] || (!xs.empty() && !(rho[i] > xs.back()))) continue;
    xs.push_back(rho[i]);
    phase.push_back(-2.0 * M_PI * r.ray_path_error_wavelengths[i]);
  }
  for (double density : r.density_delivered) amp.push_back(std::sqrt(density));
  const double rho_h = r.hole_rho;
  const double edge = std::clamp(std::max(r.shadow_rho, rho_h), rho_h, 1.0);
  return {Linear(r.density_rho, amp), Linear(xs, phase), d.wanted_density, {{rho_h, edge}, {edge, 1.0}}, {{edge, 1.0}}};
}

// Spillover, illumination, blockage and phase efficiencies, and the directivity.
void efficiencies(Report& r, const DesignInput& d, const ApertureModel& model) {
  const ApertureField amplitude = model.amplitude_only();
  const ApertureQuadrature q_annulus(model.annulus), q_open(model.open);
  const double s_annulus = q_annulus.integrate(amplitude).real();
  const double s_open = q_open.integrate(amplitude).real();
  const double n = d.feed_exponent;
  Efficiency& e = r.efficiency;
  e.spillover = Feed::enclosed_power_exact(d.sub_half_angle_rad, n) / Feed::enclosed_power_exact(M_PI, n);
  e.illumination = illumination_efficiency(amplitude, model.annulus);
  e.blockage = s_annulus > 0 ? (s_open / s_annulus) * (s_open / s_annulus) : 0;
  e.phase = s_open > 0 ? std::norm(q_open.integrate(model.field())) / (s_open * s_open) : 0;
  e.total = e.spillover * e.illumination * e.blockage * e.phase;
  const double ka = M_PI * r.d_over_lambda;
  r.directivity_dbi = e.total > 0 ? 10.0 * std::log10(e.total * ka * ka) : -300.0;
}

// Far field delivered, without blockage and of the wanted distribution, on
// the same angles; and the wanted distribution's first sidelobe over the
// whole disc.
void far_fields(Report& r, const Options& o, const ApertureModel& model) {
  const ApertureField field = model.field(), wanted = model.wanted();
  r.delivered = far_field(field, model.open, r.d_over_lambda, 0, o.sidelobes);
  const double u_max = r.delivered.u.back();
  r.unblocked = far_field(field, model.annulus, r.d_over_lambda, u_max);
  r.ideal = far_field(wanted, model.annulus, r.d_over_lambda, u_max);
  r.ideal_disc_first_sidelobe_db =
      far_field(wanted, {{0.0, 1.0}}, r.d_over_lambda, std::min(u_max, o.full_disc_u_max)).first_sidelobe_db;
}

// What limits the design, in plain words.
void write_notes(Report& r, const DesignInput& d, const Options& o) {
  auto& notes = r.notes;
  const Efficiency& e = r.efficiency;
  if (r.wavelength_assumed)
    notes.push_back("No wavelength was given: every figure that depends on it assumes D/\u03bb = " +
                    num(o.assumed_d_over_lambda) + ".");
  const std::pair<const char*, double> losses[] = {{"spillover", loss_db(e.spillover)},
                                                   {"illumination taper", loss_db(e.illumination)},
                                                   {"blockage", loss_db(e.blockage)},
                                                   {"phase error", loss_db(e.phase)}};
  const auto worst = *std::max_element(std::begin(losses), std::end(losses),
                                       [](const auto& a, const auto& b) { return a.second < b.second; });
  notes.push_back("The efficiency of " + fix(100 * e.total, 1) + " % costs " + fix(loss_db(e.total), 2) +
                  " dB in all; the largest loss is " + worst.first + " (" + fix(worst.second, 2) + " dB).");
  notes.push_back("Spillover costs " + fix(loss_db(e.spillover), 2) + " dB: the feed illuminates the subreflector rim at " +
                  fix(r.feed_edge_taper_db, 1) + " dB.");
  notes.push_back("Blockage costs " + fix(loss_db(e.blockage), 2) + " dB: the subreflector shadows the aperture out to " +
                  num(r.shadow_rho * r.aperture_radius, 3) + " (" + fix(100 * r.shadow_rho, 1) +
                  " % of the radius), beyond the hole of radius " + num(r.hole_rho * r.aperture_radius, 3) + ".");
  const double ideal = r.ideal.first_sidelobe_db, real = r.delivered.first_sidelobe_db;
  if (real > ideal + o.sidelobe_rise_db)
    notes.push_back("The first sidelobe rises from " + fix(ideal, 1) + " dB (ideal) to " + fix(real, 1) +
                    " dB because of the hole and the shadow (the wanted distribution over the whole disc gives " +
                    fix(r.ideal_disc_first_sidelobe_db, 1) + " dB, without the shadow the profiles give " +
                    fix(r.unblocked.first_sidelobe_db, 1) + " dB).");
  else
    notes.push_back("The first sidelobe is " + fix(real, 1) + " dB, within " + num(o.sidelobe_rise_db) + " dB of the ideal " +
                    fix(ideal, 1) + " dB of the wanted distribution on the annulus.");
  const double phase_loss = loss_db(e.phase);
  const std::string path = num(r.path_error_pp_wavelengths, 3) + " \u03bb peak to peak (" +
                           num(r.path_error_rms_wavelengths, 3) + " \u03bb rms, " + fix(r.phase_error_pp_deg, 1) +
                           "\u00b0 of phase)";
  if (r.path_error_pp_wavelengths < o.focus_path_error)
    notes.push_back("The profiles focus well: the path error is " + path + " and costs " + fix(phase_loss, 3) + " dB.");
  else
    notes.push_back("The path error is " + path + " and costs " + fix(phase_loss, 3) + " dB.");
  if (!d.double_precision && r.path_error_pp_wavelengths > o.drift_path_error && r.path_error_trend_share > o.drift_trend_share) {
    std::string steps;
    if (d.calc_interval > 0)
      steps = " over about " + fix((1.0 - r.hole_rho) / d.calc_interval, 0) + " integration steps of " + num(d.calc_interval);
    notes.push_back("The design was computed in 32-bit reals and the path error drifts steadily across the aperture (a straight line in radius explains " +
                    fix(100 * r.path_error_trend_share, 0) + " % of it): rounding accumulated" + steps +
                    ". It costs " + fix(phase_loss, 3) +
                    " dB; design again with --double or a coarser calculation interval.");
  }
  std::string density = "the delivered aperture power follows the wanted distribution within " +
                        num(r.aperture_power_error_max_db, 2) + " dB";
  if (r.aperture_error_rho_min > r.hole_rho + o.coverage_margin || r.aperture_error_rho_max < 1.0 - o.coverage_margin)
    density += " between " + fix(100 * r.aperture_error_rho_min, 1) + " % and " + fix(100 * r.aperture_error_rho_max, 1) +
               " % of the radius, where the rays land";
  notes.push_back("The largest ray direction error is " + num(r.collimation_error_max_deg, 3) + "\u00b0 (" +
                  num(r.collimation_error_max_deg / std::max(r.delivered.hpbw_deg, 1e-30), 2) +
                  " half-power beamwidths), for the ray leaving the feed at " + fix(r.worst_ray_theta_deg, 2) +
                  "\u00b0 and landing at " + fix(100 * r.worst_ray_rho, 1) + " % of the radius; " + density + ".");
  if (r.aperture_bins_without_power > 0) {
    const double bin_width = r.density_rho.size() > 1 ? r.density_rho[1] - r.density_rho[0] : 0;
    notes.push_back(std::to_string(r.aperture_bins_without_power) + " of " + std::to_string(r.density_rho.size()) +
                    " radial bins of the aperture (" + num(bin_width * r.aperture_radius, 2) +
                    " wide) receive no power from any traced ray.");
  }
  const VertexRing& ring = r.vertex_ring;
  if (ring.matters) {
    std::string text = "Rays within " + fix(ring.feed_angle_max_deg, 2) + "\u00b0 of the axis (" +
                       num(100 * ring.power_share, 2) +
                       " % of the power on the subreflector) meet the subreflector between its vertex and the first surface point off the axis (radius " +
                       num(ring.sub_radius, 3) + "), where a spline through the surface points cannot follow the surface; ";
    if (ring.rays_traced > 0) {
      text += "they leave the main reflector up to " + num(ring.collimation_error_max_deg, 2) + "\u00b0 off the axis, land between \u03c1 = " +
              fix(ring.landing_rho_min, 3) + " and " + fix(ring.landing_rho_max, 3) + " with path errors up to " +
              num(ring.path_error_max_abs_wavelengths, 3) + " \u03bb";
      if (ring.rays_lost > 0) text += ", and " + std::to_string(ring.rays_lost) + " of the " + std::to_string(ring.rays) + " such rays traced miss the main reflector";
      text += ". The verification figures above leave them out (with them the path error is " +
              num(r.path_error_pp_all_rays_wavelengths, 3) +
              " \u03bb peak to peak); their power counts in the efficiencies and the far field where it lands, their phase does not.";
    } else {
      text += "all " + std::to_string(ring.rays) + " such rays traced miss the main reflector, and their power is lost to the aperture.";
    }
    text += " A smaller output interval puts a surface point closer to the vertex.";
    notes.push_back(text);
  }
  if (r.rays_lost > 0)
    notes.push_back(std::to_string(r.rays_lost) + " of " + std::to_string(r.rays_requested) +
                    " traced rays (feed angles " + fix(r.lost_theta_min_deg, 2) + "\u00b0 to " +
                    fix(r.lost_theta_max_deg, 2) + "\u00b0) missed a reflector and are lost to the aperture.");
}

}  // namespace

Report analyse(const DesignInput& d, const Options& o) {
  constexpr int kSteps = 5;
  auto done = [&o](int step) {
    if (o.progress) o.progress(step, kSteps);
  };
  validate(d, o);
  Report r;
  set_geometry(r, d, o);
  Rays rays = trace(r, d, o);
  done(1);
  find_vertex_ring(r, d, o, rays);
  path_errors(r, d, rays);
  aperture_density(r, d, o, rays);
  ray_figures(r, o, rays);
  done(2);
  const ApertureModel model = model_aperture(r, d, rays);
  efficiencies(r, d, model);
  done(3);
  far_fields(r, o, model);
  done(4);
  write_notes(r, d, o);
  done(5);
  return r;
}

}  // namespace analysis
