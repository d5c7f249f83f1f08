#include <algorithm>
#include <boost/math/quadrature/gauss.hpp>
#include <boost/math/quadrature/gauss_kronrod.hpp>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "analysis/analysis.h"
#include "analysis/levels.h"
#include "design/feed.h"
#include "fields/prose.h"

namespace analysis {
namespace {

constexpr double kDeg = 180.0 / M_PI;

using Feed = design::BeamwidthFeed<double>;

// The feed's power pattern and enclosed power, from whichever model the
// design input carries.
struct FeedPower {
  std::function<double(double)> pattern, enclosed;
  double last_angle = M_PI;
};

FeedPower feed_of(const DesignInput& d) {
  if (d.feed_pattern && d.feed_enclosed_power) return {d.feed_pattern, d.feed_enclosed_power, d.feed_last_angle_rad};
  const double n = d.feed_exponent;
  return {[n](double t) { return Feed::pattern_of(t, n); }, [n](double t) { return Feed::enclosed_power_exact(t, n); }, M_PI};
}

// The two profiles a trace goes through, and the radius inside which the
// subreflector's rays form the vertex ring (0: no ring).  The ring's rays
// count in the figures over cones unless `ring_apart` is set (for the
// design's own profiles, whose ring lies beyond the integration's reach).
struct Profiles {
  const Surface& sub;
  const Surface& main;
  double ring_radius = 0;
  bool ring_apart = false;
};

double loss_db(double efficiency) { return efficiency > 0 ? -10.0 * std::log10(efficiency) : kTotalLossDb; }

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
  FeedPower feed;
  TraceResult trace;
  std::vector<bool> ringed;          // in the vertex ring
  std::vector<std::size_t> kept;     // the rays the verification figures are taken over
  std::vector<double> weight;        // feed power each ray stands for
  std::vector<double> rho, path;     // landing radius (normalised) and path length
};

// The aperture field as functions of normalised radius, and the bands it is
// integrated over.
struct ApertureModel {
  Linear amplitude, phase;           // sqrt of the delivered density; phase of the path error and the feed
  std::function<double(double)> wanted_density;
  Intervals annulus;                 // hole to rim, split at the shadow's edge
  Intervals open;                    // shadow's edge to rim
  // The magnitude of the feed's phase factor (see model_aperture); none: 1.
  std::shared_ptr<const Linear> coupling = {};
  // The phase of the path error alone, when the feed gives a phase.
  std::shared_ptr<const Linear> path_phase = {};

  ApertureField path_field() const {
    if (!path_phase) return field();
    return [this](double x) { return std::polar(amplitude(x), (*path_phase)(x)); };
  }

  ApertureField field() const {
    if (coupling) return [this](double x) { return std::polar(amplitude(x) * (*coupling)(x), phase(x)); };
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
  if (!(d.feed_pattern && d.feed_enclosed_power) && !(d.feed_exponent > 0))
    throw std::invalid_argument("feed exponent must be positive");
  if (!std::isfinite(d.feed_z) || !std::isfinite(d.feed_axial_offset) || !(d.sub_rim_radius >= 0))
    throw std::invalid_argument("the feed's position is not a number");
  const AnalysedFeed feed = analysed_feed(d);
  if (d.feed_axial_offset != 0.0) {
    // The displaced feed must stay between the reflectors on the axis.
    if (!(feed.z > d.main_z.front()))
      throw std::invalid_argument("the feed's axial offset puts it behind the main reflector");
    if (d.sub_r.front() == 0.0 && !(feed.z < d.sub_z.front()))
      throw std::invalid_argument("the feed's axial offset puts it at or beyond the subreflector's vertex");
  }
  const std::size_t phases = d.feed_phase_theta_deg.size();
  if (d.feed_phase_e_deg.size() != phases || d.feed_phase_h_deg.size() != phases || phases == 1)
    throw std::invalid_argument("the feed's phase needs both planes' phase at two angles or more");
  for (std::size_t i = 0; i < phases; ++i) {
    if (!std::isfinite(d.feed_phase_theta_deg[i]) || !std::isfinite(d.feed_phase_e_deg[i]) ||
        !std::isfinite(d.feed_phase_h_deg[i]) || (i > 0 && !(d.feed_phase_theta_deg[i] > d.feed_phase_theta_deg[i - 1])))
      throw std::invalid_argument("the feed's phase needs finite values at increasing angles");
  }
  if (!std::isfinite(d.phase_centre_length) || !std::isfinite(d.phase_centre_fit_wavelengths))
    throw std::invalid_argument("the feed's phase centre is not a number");
  if (!(d.feed_last_angle_rad >= feed.sub_half_angle_rad && d.feed_last_angle_rad <= M_PI))
    throw std::invalid_argument("the feed pattern must reach the subreflector's half angle");
  if (!(feed.sub_half_angle_rad > 0 && feed.sub_half_angle_rad < M_PI))
    throw std::invalid_argument("subreflector half angle must lie between 0 and 180 degrees");
  if (!(o.surface_rms >= 0) || !std::isfinite(o.surface_rms))
    throw std::invalid_argument("the surface error's RMS must be a number, not negative");
  const std::size_t steps = d.step_main_r.size();
  if (d.step_sub_r.size() != steps || d.step_sub_z.size() != steps || d.step_main_z.size() != steps)
    throw std::invalid_argument("the design's step points need both profile points each");
  if (!(d.sub_half_angle_rad > 0 && d.sub_half_angle_rad < M_PI))
    throw std::invalid_argument("subreflector half angle must lie between 0 and 180 degrees");
  if (!d.wanted_density) throw std::invalid_argument("wanted aperture density is missing");
  if (!(o.wavelength >= 0) || !std::isfinite(o.wavelength)) throw std::invalid_argument("wavelength must not be negative");
  if (o.wavelength > 0) {
    const double d_over_lambda = d.main_diameter / o.wavelength;
    if (!(d_over_lambda >= kMinDOverLambda && d_over_lambda <= kMaxDOverLambda))
      throw std::invalid_argument("the wavelength " + num(o.wavelength) + " makes D/lambda " + num(d_over_lambda) +
                                  ", outside the range the report works in (" + num(kMinDOverLambda) + " to " +
                                  num(kMaxDOverLambda) + "): give it in the unit of the diameter, " +
                                  num(d.main_diameter) + " here.");
  }
  if (o.rays < 9) throw std::invalid_argument("trace at least 9 rays");
  if (!(o.assumed_d_over_lambda > 0) || !std::isfinite(o.assumed_d_over_lambda))
    throw std::invalid_argument("the assumed D/lambda must be positive");
  if (o.fan_rays < 0) throw std::invalid_argument("the fan of rays must not be negative");
  if (o.rays_per_bin < 1 || o.bins_min < 1 || o.bins_max < o.bins_min)
    throw std::invalid_argument("aperture bins: at least one ray a bin, and 1 <= fewest bins <= most bins");
  if (o.sidelobes < 1 || !(o.full_disc_u_max > 0)) throw std::invalid_argument("far field: at least one sidelobe, positive extent");
  if (o.annuli < 2) throw std::invalid_argument("verify over at least two annuli");
  for (double v : {o.vertex_on_axis, o.ring_path_error_growth, o.wanted_density_floor, o.bin_edge_slack, o.sidelobe_rise_db,
                   o.focus_path_error, o.drift_path_error, o.drift_trend_share, o.coverage_margin,
                   o.advice_directivity_loss_db, o.advice_path_error})
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

// The feed angle of the written subreflector's rim (its outermost point, an
// extrapolated one included), within the feed pattern's reach.
double written_rim_angle(const DesignInput& d) {
  // Seen from the feed as analysed (displaced when the report asks for it).
  const double theta = std::atan2(d.sub_r.back(), d.sub_z.back() - analysed_feed(d).z);
  return std::clamp(theta, 0.0, feed_of(d).last_angle);
}

// The phase centre ahead of the table's reference point, the horn's
// reference point and the phase left over the cone about the phase centre.
PhaseCentreReport place_phase_centre(const DesignInput& d, double wavelength) {
  PhaseCentreReport pc;
  if (d.feed_phase_theta_deg.empty()) return pc;
  pc.known = true;
  pc.source = d.phase_centre;
  switch (d.phase_centre) {
    case DesignInput::PhaseCentre::reference:
      break;
    case DesignInput::PhaseCentre::given:
      pc.offset = d.phase_centre_length;
      pc.offset_wavelengths = d.phase_centre_length / wavelength;
      break;
    case DesignInput::PhaseCentre::fit:
      pc.offset_wavelengths = d.phase_centre_fit_wavelengths;
      pc.offset = d.phase_centre_fit_wavelengths * wavelength;
      break;
  }
  pc.phase_centre_z = d.feed_z;
  pc.reference_z = d.feed_z - pc.offset;
  pc.main_vertex_z = d.main_z.front();
  pc.reference_from_vertex = pc.reference_z - pc.main_vertex_z;
  const FeedPhase phase = feed_phase(d, pc.offset_wavelengths);
  double lo = std::numeric_limits<double>::infinity(), hi = -lo;
  constexpr int kSamples = 200;
  for (int i = 0; i <= kSamples; ++i) {
    const double theta = d.sub_half_angle_rad * i / kSamples;
    for (double p : {phase.e(theta), phase.h(theta)}) lo = std::min(lo, p), hi = std::max(hi, p);
  }
  pc.variation_deg = (hi - lo) * kDeg;
  return pc;
}

// Wavelength, the aperture's radii and the feed's level at the subreflector rim.
void set_geometry(Report& r, const DesignInput& d, const Options& o) {
  const double a = 0.5 * d.main_diameter;
  r.aperture_radius = a;
  r.wavelength_assumed = !(o.wavelength > 0);
  r.wavelength = r.wavelength_assumed ? d.main_diameter / o.assumed_d_over_lambda : o.wavelength;
  r.d_over_lambda = d.main_diameter / r.wavelength;
  r.hole_rho = d.hole_radius / a;
  r.surface_rms = o.surface_rms;
  r.shadow_rho = *std::max_element(d.sub_r.begin(), d.sub_r.end()) / a;
  r.sub_diameter_wavelengths = 2.0 * d.sub_r.back() / r.wavelength;
  r.feed_edge_taper_db = 10.0 * std::log10(std::max(feed_of(d).pattern(written_rim_angle(d)), 1e-300));
  r.phase_centre = place_phase_centre(d, r.wavelength);
}

// The part of the written subreflector beyond the design's rim: the feed's
// power on it and, when `trace` is set, where its rays land.  The rays go
// through the profile `p.sub` up to its last radius and the written
// profile beyond it, to the written rim.
void rim_extension(Report& r, const DesignInput& d, const Profiles& p, bool trace) {
  Report::RimExtension& x = r.rim_extension;
  const FeedPower feed = feed_of(d);
  const double theta_d = analysed_feed(d).sub_half_angle_rad, theta_w = written_rim_angle(d);
  x.design_angle_deg = theta_d * kDeg;
  x.written_angle_deg = theta_w * kDeg;
  // A written rim without an extrapolated point is the designed one, its
  // angle moved by the rounding of the written points (some 1e-7 rad in
  // 32-bit reals): no part beyond it.
  constexpr double kSameRimRad = 1e-6;
  const double on_sub = feed.enclosed(theta_w) - feed.enclosed(0.0);
  if (!(theta_w > theta_d + kSameRimRad) || !(on_sub > 0)) return;
  x.power_share = std::max(0.0, (feed.enclosed(theta_w) - feed.enclosed(theta_d)) / on_sub);
  if (!trace) return;
  // Evenly spread rays from the axis to the written rim, enough for about
  // kRingRays of them beyond the design's rim (and no more than kMaxRays).
  constexpr int kRingRays = 16, kMaxRays = 4001;
  const int n = std::clamp(static_cast<int>(std::ceil(kRingRays * theta_w / (theta_w - theta_d))) + 1, kRingRays, kMaxRays);
  const SplineSurface written{NaturalSpline(d.sub_r, d.sub_z)};
  const JoinedSurface sub(p.sub, written, std::min(p.sub.back(), written.back()));
  const TraceResult t = trace_rays(sub, p.main, theta_w, n, analysed_feed(d).z);
  for (const TracedRay& ray : t.rays) {
    if (!(ray.theta > theta_d)) continue;
    ++x.rays;
    const double rho = ray.aperture_x / r.aperture_radius;
    const bool first = std::isnan(x.landing_rho_min);
    x.landing_rho_min = first ? rho : std::min(x.landing_rho_min, rho);
    x.landing_rho_max = first ? rho : std::max(x.landing_rho_max, rho);
  }
  for (const LostRay& lost : t.lost)
    if (lost.theta > theta_d) ++x.rays, ++x.rays_lost;
}

// Traces the rays from the feed to the aperture plane, and the fan drawn in
// the cross-section.
Rays trace(Report& r, const DesignInput& d, const Options& o, const Profiles& p) {
  Rays rays;
  rays.feed = feed_of(d);
  const AnalysedFeed at = analysed_feed(d);
  rays.trace = trace_rays(p.sub, p.main, at.sub_half_angle_rad, o.rays, at.z);
  const TraceResult& t = rays.trace;
  r.rays_requested = t.rays_requested;
  r.rays_traced = static_cast<int>(t.rays.size());
  r.rays_lost = t.rays_lost;
  if (!t.lost.empty()) {
    r.lost_theta_min_deg = t.lost.front().theta * kDeg;
    r.lost_theta_max_deg = t.lost.back().theta * kDeg;
  }
  r.aperture_plane_z = t.aperture_plane_z;
  if (o.fan_rays > 0) r.fan = trace_rays(p.sub, p.main, at.sub_half_angle_rad, o.fan_rays, at.z).rays;
  if (t.rays.size() < 3) throw std::invalid_argument("fewer than three rays reach the aperture: the profiles do not form a design");
  return rays;
}

// The vertex ring: rays that meet the subreflector inside the profile's first
// interval from the axis.  Sorts the rays into the ring and the kept ones.
void find_vertex_ring(Report& r, const DesignInput& d, const Profiles& p, Rays& rays) {
  VertexRing& ring = r.vertex_ring;
  const AnalysedFeed at = analysed_feed(d);
  const double theta_s = at.sub_half_angle_rad;
  if (p.ring_radius > 0) {
    ring.sub_radius = p.ring_radius;
    const double theta_v =
        std::clamp(std::atan2(p.ring_radius, p.sub.value(p.ring_radius) - at.z), 0.0, theta_s);
    ring.feed_angle_max_deg = theta_v * kDeg;
    ring.power_share = rays.feed.enclosed(theta_v) / rays.feed.enclosed(theta_s);
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
void path_errors(Report& r, Rays& rays) {
  const auto& traced = rays.trace.rays;
  const std::size_t m = traced.size();
  rays.weight.resize(m);
  rays.rho.resize(m);
  rays.path.resize(m);
  for (std::size_t i = 0; i < m; ++i) {
    const double lo = i > 0 ? 0.5 * (traced[i].theta + traced[i - 1].theta) : traced[i].theta;
    const double hi = i + 1 < m ? 0.5 * (traced[i].theta + traced[i + 1].theta) : traced[i].theta;
    rays.weight[i] = rays.feed.enclosed(hi) - rays.feed.enclosed(lo);
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

// The wanted power on the annulus from rho_h to the rim: the integral of the
// wanted density times rho, by an adaptive 31-point Gauss-Kronrod rule.
double wanted_power(const DesignInput& d, double rho_h) {
  constexpr unsigned kMaxDepth = 10;
  constexpr double kTolerance = 1e-12;
  return boost::math::quadrature::gauss_kronrod<double, 31>::integrate(
      [&](double x) { return d.wanted_density(x) * x; }, rho_h, 1.0, kMaxDepth, kTolerance);
}

// Adds a point to a density curve; a NaN density breaks it (once).
void add_point(DensityCurve& c, double rho, double density) {
  if (!std::isfinite(density) && (c.density.empty() || !std::isfinite(c.density.back()))) return;
  c.rho.push_back(std::isfinite(density) ? rho : std::nan(""));
  c.density.push_back(density);
}

// Aperture power density: every tube between two neighbouring rays that
// both reached the aperture carries the feed power between their angles and
// spreads it evenly over the area between their landing radii; the bins add
// up what falls on them.  Tubes that fold over (a caustic) and rays that
// missed a reflector are accounted for as they are.  The tubes of the vertex
// ring count in the delivered density (their power lands somewhere) but not
// in its error, which is the design's.
void aperture_density(Report& r, const DesignInput& d, const Options& o, const Rays& rays) {
  const auto& traced = rays.trace.rays;
  const auto& rho = rays.rho;
  const std::size_t m = traced.size();
  const double rho_h = r.hole_rho;
  const double wanted_total = wanted_power(d, rho_h);
  const int bins = std::clamp(static_cast<int>(m) / o.rays_per_bin, o.bins_min, o.bins_max);
  const double bin_width = (1.0 - rho_h) / bins;
  std::vector<double> deposited(static_cast<std::size_t>(bins), 0.0), deposited_kept = deposited;
  for (std::size_t i = 0; i + 1 < m; ++i) {
    if (traced[i + 1].index != traced[i].index + 1) continue;
    const bool kept_tube = !rays.ringed[i] && !rays.ringed[i + 1];
    const double power = rays.feed.enclosed(traced[i + 1].theta) - rays.feed.enclosed(traced[i].theta);
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
      wanted_total / (rays.feed.enclosed(analysed_feed(d).sub_half_angle_rad) - rays.feed.enclosed(0.0));
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
  r.aperture_power_error_max_db = power_error;  // replaced by the annuli's figure
  // Each tube's own density, without bins: a curve as smooth as the traced
  // surfaces.  The vertex ring's tubes are left out (their rays interleave
  // with the others where they land), and so are tubes whose rays do not
  // both arrive or that land on one radius.
  for (std::size_t i = 0; i + 1 < m; ++i) {
    const double area = 0.5 * std::abs(rho[i + 1] * rho[i + 1] - rho[i] * rho[i]);
    if (traced[i + 1].index != traced[i].index + 1 || rays.ringed[i] || rays.ringed[i + 1] || !(area > 0)) {
      add_point(r.traced_density, 0.0, std::nan(""));
      continue;
    }
    const double power = rays.feed.enclosed(traced[i + 1].theta) - rays.feed.enclosed(traced[i].theta);
    add_point(r.traced_density, 0.5 * (rho[i] + rho[i + 1]), c_norm * power / area);
  }
}

// The aperture density of the design's own mapping of feed angle (seen from
// the phase centre) to landing radius at its integration steps: between
// neighbouring steps the feed power between their angles over the area
// between their radii, on the scale of the delivered density.
DensityCurve mapped_density(const DesignInput& d) {
  DensityCurve c;
  const FeedPower feed = feed_of(d);
  const double a = 0.5 * d.main_diameter, rho_h = d.hole_radius / a;
  const double cone = feed.enclosed(d.sub_half_angle_rad) - feed.enclosed(0.0);
  if (!(cone > 0)) return c;
  const double scale = wanted_power(d, rho_h) / cone;
  double previous_theta = 0, previous_rho = 0;
  for (std::size_t i = 0; i < d.step_main_r.size(); ++i) {
    const double theta = std::atan2(d.step_sub_r[i], d.step_sub_z[i] - d.feed_z), rho = d.step_main_r[i] / a;
    if (i > 0) {
      const double area = 0.5 * std::abs(rho * rho - previous_rho * previous_rho);
      const double power = std::abs(feed.enclosed(theta) - feed.enclosed(previous_theta));
      add_point(c, 0.5 * (rho + previous_rho), area > 0 ? scale * power / area : std::nan(""));
    }
    previous_theta = theta;
    previous_rho = rho;
  }
  return c;
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

// Path and direction errors over cones of equal feed power: per cone the
// means weighted by the power each ray carries (over all rays too, for the
// path error with the vertex ring).
void cone_figures(Report& r, const Rays& rays, std::size_t k, double cone_power, bool ring_apart) {
  const auto& traced = rays.trace.rays;
  const std::size_t m = traced.size();
  const auto cone_of = [&](double theta) {
    const double share = rays.feed.enclosed(theta) / cone_power;
    return std::min(k - 1, static_cast<std::size_t>(std::max(0.0, share) * static_cast<double>(k)));
  };
  std::vector<double> w(k, 0.0), w_all(k, 0.0), path(k, 0.0), path_all(k, 0.0), dir(k, 0.0), theta(k, 0.0), rho(k, 0.0);
  for (std::size_t i = 0; i < m; ++i) {
    const std::size_t c = cone_of(traced[i].theta);
    const double wi = rays.weight[i];
    w_all[c] += wi;
    path_all[c] += wi * rays.path[i];
    if (ring_apart && rays.ringed[i]) continue;
    w[c] += wi;
    path[c] += wi * rays.path[i];
    dir[c] += wi * std::abs(traced[i].direction_error_deg);
    theta[c] += wi * traced[i].theta;
    rho[c] += wi * rays.rho[i];
  }
  double lo = std::numeric_limits<double>::infinity(), hi = -lo, lo_all = lo, hi_all = hi;
  r.collimation_error_max_deg = 0;
  for (std::size_t c = 0; c < k; ++c) {
    if (w_all[c] > 0) {
      lo_all = std::min(lo_all, path_all[c] / w_all[c]);
      hi_all = std::max(hi_all, path_all[c] / w_all[c]);
    }
    if (!(w[c] > 0)) continue;
    lo = std::min(lo, path[c] / w[c]);
    hi = std::max(hi, path[c] / w[c]);
    if (dir[c] / w[c] >= r.collimation_error_max_deg) {
      r.collimation_error_max_deg = dir[c] / w[c];
      r.worst_ray_theta_deg = theta[c] / w[c] * kDeg;
      r.worst_ray_rho = rho[c] / w[c];
    }
  }
  r.path_error_pp_wavelengths = hi > lo ? (hi - lo) / r.wavelength : 0.0;
  r.phase_error_pp_deg = 360.0 * r.path_error_pp_wavelengths;
  r.path_error_pp_all_rays_wavelengths = hi_all > lo_all ? (hi_all - lo_all) / r.wavelength : 0.0;
}

// The edges of k annuli of equal wanted power from the hole to the rim.
std::vector<double> equal_power_edges(const Report& r, const DesignInput& d, std::size_t k) {
  // The wanted power from the hole outwards, tabulated by Gauss-Legendre
  // panels and inverted linearly.
  constexpr int kPanels = 400;
  const double rho_h = r.hole_rho;
  std::vector<double> grid{rho_h}, cumulative{0.0};
  for (int i = 0; i < kPanels; ++i) {
    const double a = rho_h + (1.0 - rho_h) * i / kPanels, b = rho_h + (1.0 - rho_h) * (i + 1) / kPanels;
    const double part = boost::math::quadrature::gauss<double, 10>::integrate(
        [&](double x) { return std::max(0.0, d.wanted_density(x)) * x; }, a, b);
    grid.push_back(b);
    cumulative.push_back(cumulative.back() + part);
  }
  const Linear radius_at(cumulative, grid);
  std::vector<double> edge(k + 1);
  for (std::size_t j = 0; j <= k; ++j) edge[j] = radius_at(cumulative.back() * static_cast<double>(j) / static_cast<double>(k));
  edge.front() = rho_h;
  edge.back() = 1.0;
  return edge;
}

// The power each annulus receives from the tubes between neighbouring
// rays, against its share; the power misplaced and lost.
void annulus_power(Report& r, const Rays& rays, const std::vector<double>& edge, double cone_power) {
  const auto& traced = rays.trace.rays;
  const std::size_t m = traced.size();
  const std::size_t k = edge.size() - 1;
  // The annulus index counts from the rim inwards, as the cones count from
  // the axis outwards.
  std::vector<double> delivered(k, 0.0);
  double arrived = 0;
  for (std::size_t i = 0; i + 1 < m; ++i) {
    if (traced[i + 1].index != traced[i].index + 1) continue;
    const double power = rays.feed.enclosed(traced[i + 1].theta) - rays.feed.enclosed(traced[i].theta);
    const double a = std::min(rays.rho[i], rays.rho[i + 1]), b = std::max(rays.rho[i], rays.rho[i + 1]);
    arrived += power;
    for (std::size_t j = 0; j < k; ++j) {
      const double lo_j = edge[k - 1 - j], hi_j = edge[k - j];
      double share = 0;
      if (b > a) {
        const double x0 = std::max(a, lo_j), x1 = std::min(b, hi_j);
        if (x1 > x0) share = (x1 * x1 - x0 * x0) / (b * b - a * a);
      } else if (a >= lo_j && (a < hi_j || (j == 0 && a <= hi_j))) {
        share = 1.0;  // a tube focused onto one radius
      }
      delivered[j] += power * share;
    }
  }
  const double wanted = cone_power / static_cast<double>(k);
  double error = 0, misplaced = 0;
  for (std::size_t j = 0; j < k; ++j) {
    misplaced += std::max(0.0, delivered[j] - wanted);
    const double e = annulus_error_db(delivered[j] / wanted);
    if (j == 0)
      r.aperture_power_error_rim_db = e;
    else
      error = std::max(error, e);
  }
  r.aperture_power_error_max_db = error;
  r.misplaced_power_share = misplaced / cone_power;
  r.lost_power_share = std::max(0.0, 1.0 - arrived / cone_power);
}

// Verification over cones of equal feed power, which the design sends to
// annuli of equal wanted power.  Per cone the path and direction errors are
// means weighted by the power each ray carries, so that refining the traced
// surfaces can only make them converge: a single ray's error near a badly
// sampled spot weighs as little as the power it carries.  The aperture power
// is compared annulus by annulus, the outermost one (where the rays from
// next to the axis land) apart.
void annulus_figures(Report& r, const DesignInput& d, const Options& o, const Rays& rays, bool ring_apart) {
  const auto k = static_cast<std::size_t>(o.annuli);
  r.annuli = o.annuli;
  const double cone_power = rays.feed.enclosed(analysed_feed(d).sub_half_angle_rad);
  cone_figures(r, rays, k, cone_power, ring_apart);
  annulus_power(r, rays, equal_power_edges(r, d, k), cone_power);
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
  // The feed's phase about its phase centre rides on each ray.  The
  // aperture field of a linearly polarised feed in an axially symmetric
  // system is, on a ring, the E plane's field times cos^2(phi) plus the H
  // plane's times sin^2(phi); on the beam axis both weigh alike.  So a ray
  // carries (a_E e^{j psi_E} + a_H e^{j psi_H}) / (a_E + a_H) with a_E,
  // a_H the planes' amplitudes: its argument the amplitude-weighted phase,
  // its magnitude (1 when both planes' phases agree) the loss of the
  // planes' phase difference.  The amplitude itself stays the delivered
  // density's, so the illumination and spillover keep their meaning.
  const FeedPhase feed_phase_of = feed_phase(d, r.phase_centre.offset_wavelengths);
  const FeedPower feed = feed_of(d);
  const std::function<double(double)> e_plane = d.feed_e_plane ? d.feed_e_plane : feed.pattern;
  const std::function<double(double)> h_plane = d.feed_h_plane ? d.feed_h_plane : feed.pattern;
  std::vector<double> xs, phase, amp, coupling, path_only;
  for (std::size_t i : order) {
    if (rays.ringed[i] || (!xs.empty() && !(rho[i] > xs.back()))) continue;
    xs.push_back(rho[i]);
    double path_phase = -2.0 * M_PI * r.ray_path_error_wavelengths[i];
    path_only.push_back(path_phase);
    double magnitude = 1.0;
    if (feed_phase_of.e) {
      const double theta = r.ray_theta_deg[i] / kDeg;
      const double ae = std::sqrt(std::max(0.0, e_plane(theta))), ah = std::sqrt(std::max(0.0, h_plane(theta)));
      const double pe = feed_phase_of.e(theta), ph = feed_phase_of.h(theta);
      if (pe == ph || !(ae + ah > 0)) {
        path_phase += pe;
      } else {
        const std::complex<double> c = (std::polar(ae, pe) + std::polar(ah, ph)) / (ae + ah);
        path_phase += std::arg(c);
        magnitude = std::abs(c);
      }
    }
    phase.push_back(path_phase);
    coupling.push_back(magnitude);
  }
  for (double density : r.density_delivered) amp.push_back(std::sqrt(density));
  const double rho_h = r.hole_rho;
  const double edge = std::clamp(std::max(r.shadow_rho, rho_h), rho_h, 1.0);
  ApertureModel model{Linear(r.density_rho, amp), Linear(xs, phase), d.wanted_density, {{rho_h, edge}, {edge, 1.0}},
                      {{edge, 1.0}}};
  if (std::any_of(coupling.begin(), coupling.end(), [](double m) { return m != 1.0; })) {
    model.coupling = std::make_shared<const Linear>(xs, coupling);
  }
  if (feed_phase_of.e) model.path_phase = std::make_shared<const Linear>(xs, std::move(path_only));
  return model;
}

// Spillover, illumination, blockage and phase efficiencies, and the directivity.
void efficiencies(Report& r, const DesignInput& d, const Options& o, const ApertureModel& model) {
  const ApertureField amplitude = model.amplitude_only();
  const ApertureQuadrature q_annulus(model.annulus), q_open(model.open);
  const double s_annulus = q_annulus.integrate(amplitude).real();
  const double s_open = q_open.integrate(amplitude).real();
  const FeedPower feed = feed_of(d);
  Efficiency& e = r.efficiency;
  // The spillover is the power outside the written rim; the power on the
  // subreflector beyond the design's rim is not part of the aperture field
  // the rays give, and is lost with the blockage.
  e.spillover = feed.enclosed(written_rim_angle(d)) / feed.enclosed(feed.last_angle);
  e.illumination = illumination_efficiency(amplitude, model.annulus);
  e.blockage = s_annulus > 0 ? (s_open / s_annulus) * (s_open / s_annulus) : 0;
  e.blockage *= 1.0 - r.rim_extension.power_share;
  e.phase = s_open > 0 ? std::norm(q_open.integrate(model.field())) / (s_open * s_open) : 0;
  e.path_phase = !model.path_phase ? e.phase
                 : s_open > 0      ? std::norm(q_open.integrate(model.path_field())) / (s_open * s_open)
                                   : 0;
  e.surface = ruze_factor(o.surface_rms, r.wavelength);
  e.total = e.spillover * e.illumination * e.blockage * e.phase * e.surface;
  const double ka = M_PI * r.d_over_lambda;
  r.directivity_dbi = e.total > 0 ? 10.0 * std::log10(e.total * ka * ka) : kFloorDb;
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

// The notes on the efficiency and its losses: spillover, blockage.
void loss_notes(Report& r, const DesignInput& d, const Options& o) {
  auto& notes = r.notes;
  const Efficiency& e = r.efficiency;
  if (r.wavelength_assumed)
    notes.push_back("No wavelength was given: every figure that depends on it assumes D/\u03bb = " +
                    num(o.assumed_d_over_lambda) + ".");
  const std::pair<const char*, double> losses[] = {{"spillover", loss_db(e.spillover)},
                                                   {"illumination taper", loss_db(e.illumination)},
                                                   {"blockage", loss_db(e.blockage)},
                                                   {"phase error", loss_db(e.phase)},
                                                   {"surface error", loss_db(e.surface)}};
  const auto worst = *std::max_element(std::begin(losses), std::end(losses),
                                       [](const auto& a, const auto& b) { return a.second < b.second; });
  notes.push_back("The efficiency of " + fix(100 * e.total, 1) + " % costs " + fix(loss_db(e.total), 2) +
                  " dB in all; the largest loss is " + worst.first + " (" + fix(worst.second, 2) + " dB).");
  if (d.feed_axial_offset != 0.0)
    notes.push_back("The feed is analysed displaced by " + num(d.feed_axial_offset, 4) + " (" +
                    num(d.feed_axial_offset / r.wavelength, 3) + " \u03bb) along the axis, towards the " +
                    (d.feed_axial_offset > 0 ? "subreflector" : "main reflector") +
                    ", from where the design puts its phase centre: every figure of this report is of the "
                    "displaced feed.");
  if (o.surface_rms > 0)
    notes.push_back("A random surface error of " + num(o.surface_rms, 4) + " rms (" +
                    num(o.surface_rms / r.wavelength, 4) + " \u03bb) costs " + fix(loss_db(e.surface), 3) +
                    " dB (Ruze) in the directivity.");
  const std::string feed = d.feed_model.empty() ? "the feed" : "the feed (" + d.feed_model + ")";
  notes.push_back("Spillover costs " + fix(loss_db(e.spillover), 2) + " dB: " + feed + " illuminates the subreflector rim at " +
                  fix(r.feed_edge_taper_db, 1) + " dB.");
  if (d.feed_last_angle_rad < M_PI)
    notes.push_back("The feed pattern is known up to " + fix(d.feed_last_angle_rad * kDeg, 1) +
                    "\u00b0 only: the spillover counts the power radiated beyond the subreflector up to that angle.");
  notes.push_back("Blockage costs " + fix(loss_db(e.blockage), 2) + " dB: the subreflector shadows the aperture out to " +
                  num(r.shadow_rho * r.aperture_radius, 3) + " (" + fix(100 * r.shadow_rho, 1) +
                  " % of the radius), beyond the hole of radius " + num(r.hole_rho * r.aperture_radius, 3) + ".");
  const Report::RimExtension& x = r.rim_extension;
  if (x.power_share > 0) {
    std::string text = "The subreflector as written reaches beyond the designed rim (feed angles " + fix(x.design_angle_deg, 2) +
                       "° to " + fix(x.written_angle_deg, 2) + "°): " + num(100 * x.power_share, 3) +
                       " % of the power on it falls there, outside the design's mapping, and counts as lost with the blockage";
    if (x.rays > x.rays_lost && std::isfinite(x.landing_rho_min)) {
      text += "; its rays land between ρ = " + fix(x.landing_rho_min, 3) + " and " + fix(x.landing_rho_max, 3);
      if (x.landing_rho_max <= r.shadow_rho) text += ", inside the subreflector's shadow";
    }
    if (x.rays_lost > 0)
      text += x.rays_lost == x.rays ? "; all " + std::to_string(x.rays) + " of its rays traced miss the main reflector"
                                    : "; " + std::to_string(x.rays_lost) + " of " + std::to_string(x.rays) + " of its rays traced miss the main reflector";
    notes.push_back(text + ". The spillover is counted from the written rim.");
  }
}

// The notes on the first sidelobe and the path error.
void pattern_notes(Report& r, const DesignInput& d, const Options& o) {
  auto& notes = r.notes;
  const Efficiency& e = r.efficiency;
  const double ideal = r.ideal.first_sidelobe_db, real = r.delivered.first_sidelobe_db;
  if (real > ideal + o.sidelobe_rise_db)
    notes.push_back("The first sidelobe rises from " + fix(ideal, 1) + " dB (ideal) to " + fix(real, 1) +
                    " dB because of the hole and the shadow (the wanted distribution over the whole disc gives " +
                    fix(r.ideal_disc_first_sidelobe_db, 1) + " dB, without the shadow the profiles give " +
                    fix(r.unblocked.first_sidelobe_db, 1) + " dB).");
  else
    notes.push_back("The first sidelobe is " + fix(real, 1) + " dB, within " + num(o.sidelobe_rise_db) + " dB of the ideal " +
                    fix(ideal, 1) + " dB of the wanted distribution between the hole and the rim.");
  const double phase_loss = loss_db(e.path_phase);
  if (r.phase_centre.known) {
    const PhaseCentreReport& pc = r.phase_centre;
    const std::string where =
        pc.source == DesignInput::PhaseCentre::reference
            ? "taken at the feed file's reference point"
            : num(pc.offset_wavelengths, 3) + " \u03bb ahead of the feed file's reference point" +
                  (pc.source == DesignInput::PhaseCentre::fit ? " (the best fit)" : "");
    notes.push_back("The feed's phase about its phase centre (" + where + ") varies by " + fix(pc.variation_deg, 1) +
                    "\u00b0 over the subreflector's cone and costs " + fix(loss_db(e.phase) - phase_loss, 3) + " dB.");
  }
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
}

// The notes on the ray directions, the power per annulus and the bins of
// the aperture without power.
void verification_notes(Report& r, const Options& o) {
  auto& notes = r.notes;
  const std::string k = std::to_string(o.annuli);
  std::string density = "every ring receives its share of the power within " + num(r.aperture_power_error_max_db, 2) +
                        " dB (the outermost, where the rays from next to the feed's axis land, within " +
                        num(r.aperture_power_error_rim_db, 2) + " dB), and " + num(100 * r.misplaced_power_share, 2) +
                        " % of the power lands in another ring than meant";
  if (r.lost_power_share > 0) density += " (" + num(100 * r.lost_power_share, 2) + " % is lost)";
  notes.push_back("The rays are checked in " + k + " slices of the feed's cone that carry equal power, each of which the design sends to its own ring of the aperture, the " +
                  k + " rings meant to receive equal power. Averaged over a slice (each ray weighted by its power), the rays leave the main reflector at most " +
                  num(r.collimation_error_max_deg, 3) + "\u00b0 off the axis (" +
                  num(r.collimation_error_max_deg / std::max(r.delivered.hpbw_deg, 1e-30), 2) +
                  " half-power beamwidths), those leaving the feed near " + fix(r.worst_ray_theta_deg, 2) +
                  "\u00b0 and landing near " + fix(100 * r.worst_ray_rho, 1) + " % of the radius; " + density + ".");
  if (r.aperture_bins_without_power > 0) {
    const double bin_width = r.density_rho.size() > 1 ? r.density_rho[1] - r.density_rho[0] : 0;
    notes.push_back(std::to_string(r.aperture_bins_without_power) + " of " + std::to_string(r.density_rho.size()) +
                    " thin rings of the aperture (" + num(bin_width * r.aperture_radius, 2) +
                    " wide) receive no power from any traced ray.");
  }
}

// The note on the rays next to the subreflector's vertex, where the
// splines through the written points cannot follow the surface.
void vertex_ring_note(Report& r) {
  auto& notes = r.notes;
  const VertexRing& ring = r.vertex_ring;
  if (!ring.matters || r.traces_design) return;
  std::string text = "Rays within " + fix(ring.feed_angle_max_deg, 2) + "\u00b0 of the axis (" +
                     num(100 * ring.power_share, 2) +
                     " % of the power on the subreflector) meet the subreflector between its vertex and the first surface point off the axis (radius " +
                     num(ring.sub_radius, 3) + "), where a spline through the surface points cannot follow the surface; ";
  if (ring.rays_traced > 0) {
    text += "they leave the main reflector up to " + num(ring.collimation_error_max_deg, 2) + "\u00b0 off the axis, land between \u03c1 = " +
            fix(ring.landing_rho_min, 3) + " and " + fix(ring.landing_rho_max, 3) + " with path errors up to " +
            num(ring.path_error_max_abs_wavelengths, 3) + " \u03bb";
    if (ring.rays_lost > 0) text += ", and " + std::to_string(ring.rays_lost) + " of the " + std::to_string(ring.rays) + " such rays traced miss the main reflector";
    text += ". The checks over slices of equal feed power count them with the power they carry; the phase of the aperture field leaves them out, their power counts where it lands.";
  } else {
    text += "all " + std::to_string(ring.rays) + " such rays traced miss the main reflector, and their power is lost to the aperture.";
  }
  text += " A smaller output interval puts a surface point closer to the vertex.";
  notes.push_back(text);
}

// What limits the design, in plain words.
void write_notes(Report& r, const DesignInput& d, const Options& o) {
  loss_notes(r, d, o);
  pattern_notes(r, d, o);
  verification_notes(r, o);
  vertex_ring_note(r);
  auto& notes = r.notes;
  if (r.rays_lost > 0)
    notes.push_back(std::to_string(r.rays_lost) + " of " + std::to_string(r.rays_requested) +
                    " traced rays (feed angles " + fix(r.lost_theta_min_deg, 2) + "\u00b0 to " +
                    fix(r.lost_theta_max_deg, 2) + "\u00b0) missed a reflector and are lost to the aperture.");
}

// The figures of one pair of profiles; the far field too when `far` is set.
Report figures(const DesignInput& d, const Options& o, const Profiles& p, bool far, const std::function<void(int)>& done) {
  if (o.check) o.check();
  Report r;
  set_geometry(r, d, o);
  Rays rays = trace(r, d, o, p);
  if (o.check) o.check();
  find_vertex_ring(r, d, p, rays);
  path_errors(r, rays);
  aperture_density(r, d, o, rays);
  ray_figures(r, o, rays);
  annulus_figures(r, d, o, rays, p.ring_apart);
  if (done) done(1);
  rim_extension(r, d, p, far);
  const ApertureModel model = model_aperture(r, d, rays);
  efficiencies(r, d, o, model);
  if (far) far_fields(r, o, model);
  if (done) done(2);
  return r;
}

// The written profiles: natural splines through the points as written.
struct WrittenSurfaces {
  SplineSurface sub, main;
  double ring_radius;
};

WrittenSurfaces written_surfaces(const DesignInput& d, const Options& o) {
  const bool on_axis = std::abs(d.sub_r[0]) <= o.vertex_on_axis * std::abs(d.sub_r.back());
  return {SplineSurface(NaturalSpline(d.sub_r, d.sub_z)), SplineSurface(NaturalSpline(d.main_r, d.main_z)),
          on_axis ? d.sub_r[1] : 0.0};
}

// The figures of the written profiles without the far field, for the parts
// of the loss and the sampling advice.
Report quick_figures(const DesignInput& d, const Options& o, const Surface& sub, const Surface& main, double ring) {
  Options quick = o;
  quick.fan_rays = 0;
  return figures(d, quick, {sub, main, ring}, false, {});
}

// How much of the written surfaces' loss comes from the subreflector next to
// its vertex, how much from the splines' natural ends, and the rest: the
// design's own curve is put in for the first written interval of the
// subreflector, then the splines are clamped to the design's end slopes.
Report::WrittenLoss split_loss(const DesignInput& d, const Options& o, const Report& design, const Report& written,
                               const DesignSurfaces& own, const WrittenSurfaces& w) {
  Report::WrittenLoss loss;
  loss.total_db = design.directivity_dbi - written.directivity_dbi;
  const double ring = w.ring_radius;
  const JoinedSurface sub_ring(own.sub, w.sub, ring);
  const double with_vertex =
      ring > 0 ? quick_figures(d, o, sub_ring, w.main, 0).directivity_dbi : written.directivity_dbi;
  const auto clamped = [](const std::vector<double>& r, const std::vector<double>& z, const HermiteSurface& s) {
    const std::optional<double> back =
        r.back() <= s.back() ? std::optional<double>(s.slope(r.back())) : std::nullopt;  // not past an extrapolated rim
    return SplineSurface(NaturalSpline(r, z, s.slope(r.front()), back));
  };
  const SplineSurface sub_clamped = clamped(d.sub_r, d.sub_z, own.sub), main_clamped = clamped(d.main_r, d.main_z, own.main);
  const JoinedSurface sub_both(own.sub, sub_clamped, ring);
  const double with_ends = quick_figures(d, o, sub_both, main_clamped, 0).directivity_dbi;
  loss.vertex_ring_db = with_vertex - written.directivity_dbi;
  loss.spline_ends_db = with_ends - with_vertex;
  loss.rest_db = loss.total_db - loss.vertex_ring_db - loss.spline_ends_db;
  return loss;
}

// Written profiles of the design's steps taken every `stride` steps, as the
// program writes them: sorted by radius, the subreflector's innermost point
// put on the axis and the main reflector's first on the hole rim.
struct Rows {
  std::vector<double> sub_r, sub_z, main_r, main_z;
};

Rows rows_every(const DesignInput& d, std::size_t stride) {
  Rows rows;
  for (std::size_t i = 0; i < d.step_main_r.size(); i += stride) {
    rows.sub_r.push_back(d.step_sub_r[i]);
    rows.sub_z.push_back(d.step_sub_z[i]);
    rows.main_r.push_back(d.step_main_r[i]);
    rows.main_z.push_back(d.step_main_z[i]);
  }
  std::reverse(rows.sub_r.begin(), rows.sub_r.end());
  std::reverse(rows.sub_z.begin(), rows.sub_z.end());
  rows.sub_r.front() = 0.0;
  rows.main_r.front() = d.hole_radius;
  return rows;
}

bool strictly_increasing(const std::vector<double>& x) {
  for (std::size_t i = 1; i < x.size(); ++i)
    if (!(x[i] > x[i - 1])) return false;
  return true;
}

// Whether written surfaces pass the advice: directivity within its loss of
// the design's, path error within its limit.
bool passes(const DesignInput& d, const Options& o, const Report& design, const Surface& sub, const Surface& main,
            double ring) {
  try {
    const Report r = quick_figures(d, o, sub, main, ring);
    return design.directivity_dbi - r.directivity_dbi < o.advice_directivity_loss_db &&
           r.path_error_pp_wavelengths < o.advice_path_error;
  } catch (const std::invalid_argument&) {
    return false;
  }
}

// The coarsest output interval (a whole number of steps, ending on the rim,
// at most the one written, at most kMaxRows rows) and the fewest equally
// spaced surface points whose written surfaces pass; 0 where none does.
Report::SamplingAdvice advise(const DesignInput& d, const Options& o, const Report& design, const DesignSurfaces& own) {
  constexpr std::size_t kMaxRows = 1001;
  Report::SamplingAdvice advice;
  const std::size_t steps = d.step_main_r.size() - 1;
  if (steps >= 1 && d.steps_per_row > 0 && d.step_interval > 0) {
    for (std::size_t stride = std::min<std::size_t>(static_cast<std::size_t>(d.steps_per_row), steps); stride >= 1; --stride) {
      if (steps % stride != 0) continue;
      if (steps / stride + 1 > kMaxRows) break;
      const Rows rows = rows_every(d, stride);
      if (rows.sub_r.size() < 3 || !strictly_increasing(rows.sub_r) || !strictly_increasing(rows.main_r)) continue;
      const SplineSurface sub(NaturalSpline(rows.sub_r, rows.sub_z)), main(NaturalSpline(rows.main_r, rows.main_z));
      if (passes(d, o, design, sub, main, rows.sub_r[1])) {
        advice.output_interval = d.step_interval * static_cast<double>(stride);
        break;
      }
    }
  }
  // Surface and spline points, sampled from the design's own profiles at
  // equally spaced radii: the fewest that pass, every count tried above it
  // passing too.
  const auto sampled = [&](int points) {
    std::vector<double> sr(static_cast<std::size_t>(points)), sz = sr, mr = sr, mz = sr;
    for (int i = 0; i < points; ++i) {
      const double t = static_cast<double>(i) / (points - 1);
      sr[static_cast<std::size_t>(i)] = own.sub.front() + t * (own.sub.back() - own.sub.front());
      mr[static_cast<std::size_t>(i)] = own.main.front() + t * (own.main.back() - own.main.front());
      sz[static_cast<std::size_t>(i)] = own.sub.value(sr[static_cast<std::size_t>(i)]);
      mz[static_cast<std::size_t>(i)] = own.main.value(mr[static_cast<std::size_t>(i)]);
    }
    const SplineSurface sub(NaturalSpline(sr, sz)), main(NaturalSpline(mr, mz));
    return passes(d, o, design, sub, main, sr[1]);
  };
  int pass = 0, fail = 2;
  for (int points = 8; points <= o.advice_max_points; points *= 2) {
    if (sampled(points)) {
      pass = points;
      break;
    }
    fail = points;
  }
  if (pass == 0 && o.advice_max_points > fail && sampled(o.advice_max_points)) pass = o.advice_max_points;
  if (pass > 0) {
    while (pass - fail > 1) {
      const int mid = fail + (pass - fail) / 2;
      (sampled(mid) ? pass : fail) = mid;
    }
    advice.surface_points = pass;
    advice.spline_points = pass;
  }
  return advice;
}

// What the written surfaces lose and how finely to write them, in plain words.
void write_written_notes(Report& r, const DesignInput& d, const Options& o) {
  const Report& w = *r.as_written;
  const Report::WrittenLoss& l = r.written_loss;
  r.notes.push_back("The figures trace the design as synthesised (its integration steps, with the slopes the reflection law gives there). The surfaces as written (natural splines through the " +
                    std::to_string(d.sub_r.size()) + " subreflector and " + std::to_string(d.main_r.size()) +
                    " main-reflector points) give " + fix(w.directivity_dbi, 2) + " dBi, " + fix(l.total_db, 3) +
                    " dB less: " + fix(l.vertex_ring_db, 3) + " dB from the subreflector between its vertex and the first written point off the axis, " +
                    fix(l.spline_ends_db, 3) + " dB from the splines' straight ends, " + fix(l.rest_db, 3) +
                    " dB from the spacing of the points elsewhere.");
  const Report::SamplingAdvice& a = r.sampling_advice;
  std::string advice;
  if (a.output_interval > 0)
    advice = "An output interval of " + num(a.output_interval) + " (normalised)";
  else
    advice = "No output interval that is a whole number of calculation steps and ends on the rim";
  advice += " keeps";
  advice += " the written surfaces within " + num(o.advice_directivity_loss_db) + " dB of the design's directivity and their path error under " +
            num(o.advice_path_error) + " \u03bb peak to peak";
  if (!(a.output_interval > 0)) advice += "; a finer calculation interval gives more steps to choose from";
  advice += ". ";
  if (a.surface_points > 0)
    advice += "Surface files and spline objects need at least " + std::to_string(a.surface_points) +
              " equally spaced points per reflector for the same.";
  else
    advice += "No surface file or spline object of at most " + std::to_string(o.advice_max_points) +
              " equally spaced points per reflector does the same.";
  r.notes.push_back(advice);
  for (const std::string& note : w.notes)
    if (note.rfind("Rays within ", 0) == 0) r.notes.push_back("As written: " + note);
}

}  // namespace

double annulus_error_db(double share) {
  // Not std::max(share, floor): a share that is not a number is no power.
  return std::abs(10.0 * std::log10(share > kAnnulusFloorShare ? share : kAnnulusFloorShare));
}

double DensityCurve::at(double x) const {
  for (std::size_t i = 0; i + 1 < rho.size(); ++i) {
    const double x0 = rho[i], x1 = rho[i + 1], y0 = density[i], y1 = density[i + 1];
    if (!std::isfinite(x0) || !std::isfinite(x1) || !std::isfinite(y0) || !std::isfinite(y1)) continue;
    if (x < std::min(x0, x1) || x > std::max(x0, x1)) continue;
    return x1 == x0 ? y0 : y0 + (x - x0) / (x1 - x0) * (y1 - y0);
  }
  return std::nan("");
}

// The design's own profiles from its integration steps: both profile
// points of every step with the slopes the reflection law gives there (each
// ray leaves the feed's phase centre at (0, feed_z) and the main reflector
// along +z), between them a cubic Hermite.  The subreflector's vertex is put on the
// axis from the innermost step with the slope 0 of a smooth vertex, where a
// parabola through that step meets the axis.
DesignSurfaces design_surfaces(const DesignInput& d) {
  const std::size_t n = d.step_main_r.size();
  std::vector<double> sx, sz, ss, mx, mz, ms;
  for (std::size_t i = 0; i < n; ++i) {
    const double xs = d.step_sub_r[i], zs = d.step_sub_z[i], r = d.step_main_r[i], zm = d.step_main_z[i];
    const double zf = zs - d.feed_z;  // the subreflector point seen from the feed
    const double l1 = std::hypot(xs, zf), l2 = std::hypot(r - xs, zm - zs);
    const double u1x = xs / l1, u1z = zf / l1, u2x = (r - xs) / l2, u2z = (zm - zs) / l2;
    // normals along (outgoing - incoming); the surface slope is -n_x / n_z
    const double sub_slope = -(u2x - u1x) / (u2z - u1z);
    const double main_slope = u2x / (1.0 - u2z);
    if (!std::isfinite(sub_slope) || !std::isfinite(main_slope))
      throw std::invalid_argument("a step of the design has no surface slope");
    if (mx.empty() || r > mx.back()) mx.push_back(r), mz.push_back(zm), ms.push_back(main_slope);
    sx.push_back(xs), sz.push_back(zs), ss.push_back(sub_slope);
  }
  // The subreflector in increasing radius, from the vertex.
  std::vector<double> vx, vz, vs;
  if (!sx.empty() && sx.back() > 0) vx.push_back(0.0), vz.push_back(sz.back() - 0.5 * ss.back() * sx.back()), vs.push_back(0.0);
  for (std::size_t i = sx.size(); i-- > 0;)
    if (vx.empty() || sx[i] > vx.back()) vx.push_back(sx[i]), vz.push_back(sz[i]), vs.push_back(ss[i]);
  if (vx.size() < 3 || mx.size() < 3) throw std::invalid_argument("the design's steps do not form profiles");
  return {HermiteSurface(std::move(vx), std::move(vz), std::move(vs)), HermiteSurface(std::move(mx), std::move(mz), std::move(ms))};
}

bool subreflector_too_small(double sub_diameter_wavelengths) {
  return sub_diameter_wavelengths < kSmallSubreflectorWavelengths;
}

bool shadow_not_sharp(double sub_diameter_wavelengths) { return sub_diameter_wavelengths < kSharpShadowWavelengths; }

bool power_balance_off(double balance) {
  return !(balance >= 1.0 - kPowerBalanceTolerance && balance <= 1.0 + kPowerBalanceTolerance);
}

namespace {

// The cautions on the geometrical optics: ray optics needs a subreflector
// many wavelengths across.
void go_cautions(Report& r) {
  if (subreflector_too_small(r.sub_diameter_wavelengths))
    r.cautions.push_back("The subreflector is " + num(r.sub_diameter_wavelengths, 3) + " wavelengths across, under " +
                         num(kSmallSubreflectorWavelengths) +
                         ": ray optics does not hold at this size, and the efficiencies and directivity from it are not reliable "
                         "(diffraction at the subreflector, which the rays leave out, spreads its power well beyond the main reflector).");
}

// The geometrical optics of the report.
Report analyse_rays(const DesignInput& d, const Options& o) {
  const bool own_steps = !d.step_main_r.empty();
  const int total = own_steps ? (o.compare_written ? 6 : 3) : 3;
  int steps_done = 0;
  const auto step = [&](int) {
    if (o.progress) o.progress(++steps_done, total);
    if (o.check) o.check();
  };
  const WrittenSurfaces written = written_surfaces(d, o);
  const Profiles written_profiles{written.sub, written.main, written.ring_radius};
  std::optional<DesignSurfaces> own;
  std::string fallback;
  if (own_steps) {
    try {
      own.emplace(design_surfaces(d));
    } catch (const std::invalid_argument& e) {
      fallback = e.what();
    }
  }
  if (!own) {
    Report r = figures(d, o, written_profiles, true, step);
    write_notes(r, d, o);
    if (!fallback.empty())
      r.notes.push_back("The figures trace the profiles as written: " + fallback + ".");
    go_cautions(r);
    if (o.progress) o.progress(total, total);
    return r;
  }
  // Rays nearer the axis than the innermost step leave the feed where the
  // integration never reached (it ends on the main reflector's rim a fixed
  // step short of the axis); like the written profiles' first interval,
  // they are kept apart from the verification figures.
  const double innermost = d.step_sub_r.back();
  Report r = figures(d, o, {own->sub, own->main, innermost > 0 ? innermost : 0.0, true}, true, step);
  r.traces_design = true;
  r.design_density = mapped_density(d);
  write_notes(r, d, o);
  go_cautions(r);
  if (!o.compare_written) {
    step(0);
    return r;
  }
  auto w = std::make_shared<Report>(figures(d, o, written_profiles, true, step));
  write_notes(*w, d, o);
  r.written_loss = split_loss(d, o, r, *w, *own, written);
  step(0);
  r.sampling_advice = advise(d, o, r, *own);
  r.as_written = std::move(w);
  write_written_notes(r, d, o);
  step(0);
  return r;
}

// Where the physical optics is outside what it supports, in sentences.
void po_cautions(PhysicalOptics& p) {
  const po::Result& r = p.result;
  const std::string across = num(p.sub_diameter_wavelengths, 3) + " wavelengths across";
  if (subreflector_too_small(p.sub_diameter_wavelengths))
    p.cautions.push_back("The subreflector is " + across + ", under " + num(kSmallSubreflectorWavelengths) +
                         ": the physical-optics currents (those of an infinite plane at each point of the surface) do not "
                         "describe it at this size, and the directivity, the spillover and the pattern are rough estimates.");
  if (p.power_balance && power_balance_off(*p.power_balance)) {
    const double apart = std::abs(*r.sphere_directivity_dbi - r.directivity_dbi);
    p.cautions.push_back("The far-field power over the sphere is " + fix(100 * *r.sphere_power_share, 1) + " % of the feed's power (" +
                         fix(100 * *p.power_balance, 1) + " % with the power the subreflector's shadow takes out added back), off by more than " +
                         num(100 * kPowerBalanceTolerance) + " %: the currents do not conserve power here, and the directivity from the feed's power (" +
                         fix(r.directivity_dbi, 2) + " dBi) and from the power over the sphere (" + fix(*r.sphere_directivity_dbi, 2) +
                         " dBi), " + fix(apart, 2) + " dB apart, are both uncertain by about as much.");
  }
  if (shadow_not_sharp(p.sub_diameter_wavelengths)) {
    // Said after the size caution when that is given, without repeating the size.
    const std::string lead = subreflector_too_small(p.sub_diameter_wavelengths)
                                 ? "At this size"
                                 : "The subreflector is " + across + ", under " + num(kSharpShadowWavelengths) + ":";
    p.cautions.push_back(lead + " its shadow on the main reflector is far from the sharp one the physical optics assumes, and the "
                         "blockage, the split of the loss (past the subreflector, past the main reflector, the rest) and the "
                         "pattern far from the beam depend on that approximation.");
  }
}

// A loss term below zero is a gain, and says why.  Terms within kNegligibleDb
// of zero are quadrature noise (the same power integrated two ways) and are
// written as zero.
void explain_gains(PhysicalOptics& p) {
  constexpr double kNegligibleDb = 5e-4;
  const bool balance_off = p.power_balance && power_balance_off(*p.power_balance);
  const std::string beam_reason =
      balance_off ? "the physical optics' power balance is off at this size (see the cautions), which lifts its directivity"
                  : "the fields of the feed and of the subreflector's currents add power on the beam that the aperture field of "
                    "the geometrical optics does not carry";
  const std::pair<const char*, double*> terms[] = {
      {"total", &p.difference_db}, {"spillover_past_sub", &p.past_sub_db}, {"spillover_past_main", &p.past_main_db}, {"rest", &p.rest_db}};
  for (const auto& [name, value] : terms) {
    if (*value >= 0) continue;
    if (*value > -kNegligibleDb) {
      *value = 0.0;
      continue;
    }
    const std::string term = name;
    std::string why;
    if (term == "total")
      why = "Physical optics finds more directivity than the geometrical optics: " + beam_reason + ".";
    else if (term == "spillover_past_sub")
      why = "The feed's E- and H-plane patterns put more power on the subreflector than the power pattern the geometrical optics counts.";
    else if (term == "spillover_past_main")
      why = "The subreflector's field brings more power onto the main reflector than the geometrical optics' rays.";
    else if (balance_off)
      why = "The remainder is a gain: " + beam_reason + ".";
    else
      why = "The remainder is what the terms before it leave, and it comes out as a gain where they overlap: power the "
            "subreflector sends into the main reflector's hole or its own shadow (from its part beyond the designed rim, and "
            "by diffraction at its rim) counts here as past the main reflector, though the geometrical optics' blockage has "
            "counted it lost already.";
    p.gains.emplace_back(term, why);
  }
}

}  // namespace

double ruze_factor(double rms, double wavelength) {
  if (!(rms > 0)) return 1.0;
  const double x = 4.0 * M_PI * rms / wavelength;
  return std::exp(-x * x);
}

AnalysedFeed analysed_feed(const DesignInput& d) {
  AnalysedFeed f{d.feed_z, d.sub_half_angle_rad};
  if (d.feed_axial_offset == 0.0) return f;
  f.z = d.feed_z + d.feed_axial_offset;
  if (d.sub_rim_radius > 0) {
    // The designed rim, where the design's feed sees it at its half angle.
    const double rim_z = d.feed_z + d.sub_rim_radius / std::tan(d.sub_half_angle_rad);
    f.sub_half_angle_rad = std::atan2(d.sub_rim_radius, rim_z - f.z);
  }
  return f;
}

PhysicalOptics physical_optics(const DesignInput& d, const Options& o, const Report& geometrical,
                               const std::function<void(int, int)>& progress) {
  PhysicalOptics out;
  out.d_over_lambda = geometrical.d_over_lambda;
  out.go_directivity_dbi = geometrical.directivity_dbi;
  const FeedPower feed = feed_of(d);
  po::System s;
  const std::function<double(double)> e_plane = d.feed_e_plane ? d.feed_e_plane : feed.pattern;
  const std::function<double(double)> h_plane = d.feed_h_plane ? d.feed_h_plane : feed.pattern;
  s.feed.e_plane = [e_plane](double t) { return std::sqrt(std::max(0.0, e_plane(t))); };
  s.feed.h_plane = [h_plane](double t) { return std::sqrt(std::max(0.0, h_plane(t))); };
  const FeedPhase phase = feed_phase(d, geometrical.phase_centre.offset_wavelengths);
  s.feed.e_phase = phase.e;
  s.feed.h_phase = phase.h;
  s.feed.last_angle = feed.last_angle;
  s.feed.z = analysed_feed(d).z;
  s.wavelength = geometrical.wavelength;
  // The subreflector as far out as its written profile reaches (an
  // extrapolated rim included), the main reflector from the hole to the rim.
  const double sub_rim = *std::max_element(d.sub_r.begin(), d.sub_r.end());
  s.shadow_radius = sub_rim;
  std::optional<DesignSurfaces> own;
  if (!d.step_main_r.empty()) {
    try {
      own.emplace(design_surfaces(d));
    } catch (const std::invalid_argument&) {
    }
  }
  const SplineSurface written_sub{NaturalSpline(d.sub_r, d.sub_z)}, written_main{NaturalSpline(d.main_r, d.main_z)};
  // The design's own subreflector up to its last step, beyond it the
  // written profile out to the written rim (an extrapolated point
  // included): the same subreflector the other analyses and the files see,
  // not the design's end tangent carried on.
  std::optional<JoinedSurface> own_sub;
  if (own) own_sub.emplace(own->sub, written_sub, own->sub.back());
  const Surface& sub = own ? static_cast<const Surface&>(*own_sub) : written_sub;
  const Surface& main = own ? static_cast<const Surface&>(own->main) : written_main;
  out.traces_design = own.has_value();
  s.sub = po::Reflector{&sub, 0.0, sub_rim, true};
  s.main = po::Reflector{&main, d.hole_radius, 0.5 * d.main_diameter, false};
  po::Options po_options;
  po_options.sampling = o.po_sampling;
  po_options.sidelobes = o.sidelobes;
  po_options.sphere_power = !o.po_figures_only && geometrical.d_over_lambda <= o.po_sphere_up_to_d_over_lambda;
  po_options.figures_only = o.po_figures_only;
  po_options.progress = progress;
  po_options.check = o.check;
  out.result = po::analyse(s, po_options);
  // A random surface error takes its share of the power out of the beam
  // into a wide, weak halo: the directivities lose the Ruze factor, the
  // cuts keep their shape relative to the peak.
  const double surface_db = 10.0 * std::log10(geometrical.efficiency.surface);
  out.result.directivity_dbi += surface_db;
  if (out.result.sphere_directivity_dbi) *out.result.sphere_directivity_dbi += surface_db;
  out.per_wavelength = o.po_sampling.per_wavelength * o.po_sampling.factor;
  const po::Result& r = out.result;
  out.difference_db = out.go_directivity_dbi - r.directivity_dbi;
  // The geometrical optics counts the feed's spillover already: only a
  // difference in it (the planes' own patterns against the power pattern)
  // is new here.
  const double on_sub = 1.0 - r.spillover_past_sub;
  out.past_sub_db = on_sub > 0 ? 10.0 * std::log10(geometrical.efficiency.spillover / on_sub) : 0.0;
  const double on_main = on_sub > 0 ? 1.0 - r.spillover_past_main / on_sub : 1.0;
  out.past_main_db = on_main > 0 ? -10.0 * std::log10(on_main) : kTotalLossDb;
  out.rest_db = out.difference_db - out.past_sub_db - out.past_main_db;
  out.sub_diameter_wavelengths = geometrical.sub_diameter_wavelengths;
  if (r.sphere_power_share) out.power_balance = *r.sphere_power_share + r.shadowed_share;
  po_cautions(out);
  explain_gains(out);
  return out;
}

PhysicalOpticsFigures figures_of(const PhysicalOptics& p) {
  const po::Result& r = p.result;
  PhysicalOpticsFigures f;
  f.directivity_dbi = r.directivity_dbi;
  if (std::any_of(r.cuts.begin(), r.cuts.end(), [](const po::Cut& c) { return c.sidelobes_found > 0; }))
    f.first_sidelobe_db = r.first_sidelobe_db;
  if (r.cross_polar_peak_db > kFloorDb) f.cross_polar_peak_db = r.cross_polar_peak_db;
  f.hpbw_deg = r.hpbw_deg;
  f.spillover_past_sub = r.spillover_past_sub;
  f.spillover_past_main = r.spillover_past_main;
  return f;
}

FeedPhase feed_phase(const DesignInput& d, double offset_wavelengths) {
  if (d.feed_phase_theta_deg.size() < 2) return {};
  const auto plane = [&d, offset_wavelengths](const std::vector<double>& degrees) {
    std::vector<double> radians(degrees.size());
    for (std::size_t i = 0; i < degrees.size(); ++i) radians[i] = degrees[i] / kDeg;
    std::vector<double> theta(d.feed_phase_theta_deg.size());
    for (std::size_t i = 0; i < theta.size(); ++i) theta[i] = d.feed_phase_theta_deg[i] / kDeg;
    const auto table = std::make_shared<const Linear>(std::move(theta), std::move(radians));
    const double kd = 2.0 * M_PI * offset_wavelengths;
    return std::function<double(double)>([table, kd](double t) {
      return kd != 0.0 ? (*table)(t) - kd * std::cos(t) : (*table)(t);
    });
  };
  return {plane(d.feed_phase_e_deg), plane(d.feed_phase_h_deg)};
}

Report analyse(const DesignInput& d, const Options& o) {
  validate(d, o);
  if (!o.physical_optics) return analyse_rays(d, o);
  // The progress of both parts on one scale: the ray trace's steps, then
  // the physical optics as a hundred more.
  constexpr int kPoSteps = 100;
  Options rays = o;
  int rays_total = 0;
  if (o.progress)
    rays.progress = [&](int done, int total) {
      rays_total = total;
      o.progress(done, total + kPoSteps);
    };
  Report r = analyse_rays(d, rays);
  std::function<void(int, int)> progress;
  if (o.progress)
    progress = [&](int done, int total) {
      o.progress(rays_total + kPoSteps * done / std::max(1, total), rays_total + kPoSteps);
    };
  r.physical_optics = std::make_shared<const PhysicalOptics>(physical_optics(d, o, r, progress));
  return r;
}

}  // namespace analysis
