#include <algorithm>
#include <boost/math/quadrature/gauss_kronrod.hpp>
#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>
#include <string>

#include "analysis/analysis.h"

namespace analysis {
namespace {

constexpr double kDeg = 180.0 / M_PI;

double loss_db(double efficiency) { return efficiency > 0 ? -10.0 * std::log10(efficiency) : 300.0; }

std::string fmt(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

// Feed power inside the cone of half angle theta per 2 pi, for the power
// pattern cos(theta/2)^(2n): 4 (1 - cos(theta/2)^(2n+2)) / (2n+2).
double feed_power(double theta, double n) {
  return -4.0 * std::expm1((2.0 * n + 2.0) * std::log(std::cos(0.5 * theta))) / (2.0 * n + 2.0);
}

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

void check_profile(const std::vector<double>& r, const std::vector<double>& z, const char* name) {
  if (r.size() < 3 || r.size() != z.size())
    throw std::invalid_argument(std::string(name) + " profile needs at least three points with r and z each");
  for (std::size_t i = 0; i < r.size(); ++i)
    if (!std::isfinite(r[i]) || !std::isfinite(z[i]))
      throw std::invalid_argument(std::string(name) + " profile has a value that is not a number");
  for (std::size_t i = 1; i < r.size(); ++i)
    if (!(r[i] > r[i - 1])) throw std::invalid_argument(std::string(name) + " profile radii must increase");
}

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

void write_notes(Report& r, const DesignInput& d) {
  auto& notes = r.notes;
  const Efficiency& e = r.efficiency;
  if (r.wavelength_assumed)
    notes.push_back("No wavelength was given: every figure that depends on it assumes D/\u03bb = 100.");
  const std::pair<const char*, double> losses[] = {{"spillover", loss_db(e.spillover)},
                                                   {"illumination taper", loss_db(e.illumination)},
                                                   {"blockage", loss_db(e.blockage)},
                                                   {"phase error", loss_db(e.phase)}};
  const auto worst = *std::max_element(std::begin(losses), std::end(losses),
                                       [](const auto& a, const auto& b) { return a.second < b.second; });
  notes.push_back("The efficiency of " + fmt("%.1f", 100 * e.total) + " % costs " + fmt("%.2f", loss_db(e.total)) +
                  " dB in all; the largest loss is " + worst.first + " (" + fmt("%.2f", worst.second) + " dB).");
  notes.push_back("Spillover costs " + fmt("%.2f", loss_db(e.spillover)) + " dB: the feed illuminates the subreflector rim at " +
                  fmt("%.1f", r.feed_edge_taper_db) + " dB.");
  notes.push_back("Blockage costs " + fmt("%.2f", loss_db(e.blockage)) + " dB: the subreflector shadows the aperture out to " +
                  fmt("%.3g", r.shadow_rho * r.aperture_radius) + " (" + fmt("%.1f", 100 * r.shadow_rho) +
                  " % of the radius), beyond the hole of radius " + fmt("%.3g", r.hole_rho * r.aperture_radius) + ".");
  const double ideal = r.ideal.first_sidelobe_db, real = r.delivered.first_sidelobe_db;
  if (real > ideal + 0.5)
    notes.push_back("The first sidelobe rises from " + fmt("%.1f", ideal) + " dB (ideal) to " + fmt("%.1f", real) +
                    " dB because of the hole and the shadow (the wanted distribution over the whole disc gives " +
                    fmt("%.1f", r.ideal_disc_first_sidelobe_db) + " dB, without the shadow the profiles give " +
                    fmt("%.1f", r.unblocked.first_sidelobe_db) + " dB).");
  else
    notes.push_back("The first sidelobe is " + fmt("%.1f", real) + " dB, within 0.5 dB of the ideal " + fmt("%.1f", ideal) +
                    " dB of the wanted distribution on the annulus.");
  const double phase_loss = loss_db(e.phase);
  const std::string path = fmt("%.3g", r.path_error_pp_wavelengths) + " \u03bb peak to peak (" +
                           fmt("%.3g", r.path_error_rms_wavelengths) + " \u03bb rms, " + fmt("%.1f", r.phase_error_pp_deg) +
                           "\u00b0 of phase)";
  if (r.path_error_pp_wavelengths < 0.02)
    notes.push_back("The profiles focus well: the path error is " + path + " and costs " + fmt("%.3f", phase_loss) + " dB.");
  else
    notes.push_back("The path error is " + path + " and costs " + fmt("%.3f", phase_loss) + " dB.");
  if (!d.double_precision && r.path_error_pp_wavelengths > 0.01 && r.path_error_trend_share > 0.5) {
    std::string steps;
    if (d.calc_interval > 0)
      steps = " over about " + fmt("%.0f", (1.0 - r.hole_rho) / d.calc_interval) + " integration steps of " +
              fmt("%g", d.calc_interval);
    notes.push_back("The design was computed in 32-bit reals and the path error drifts steadily across the aperture (a straight line in radius explains " +
                    fmt("%.0f", 100 * r.path_error_trend_share) + " % of it): rounding accumulated" + steps +
                    ". It costs " + fmt("%.3f", phase_loss) +
                    " dB; design again with --double or a coarser calculation interval.");
  }
  std::string density = "the delivered aperture power follows the wanted distribution within " +
                        fmt("%.2g", r.aperture_power_error_max_db) + " dB";
  if (r.aperture_error_rho_min > r.hole_rho + 0.01 || r.aperture_error_rho_max < 0.99)
    density += " between " + fmt("%.1f", 100 * r.aperture_error_rho_min) + " % and " + fmt("%.1f", 100 * r.aperture_error_rho_max) +
               " % of the radius, where the rays land";
  notes.push_back("The largest ray direction error is " + fmt("%.3g", r.collimation_error_max_deg) + "\u00b0 (" +
                  fmt("%.2g", r.collimation_error_max_deg / std::max(r.delivered.hpbw_deg, 1e-30)) +
                  " half-power beamwidths), for the ray leaving the feed at " + fmt("%.2f", r.worst_ray_theta_deg) +
                  "\u00b0 and landing at " + fmt("%.1f", 100 * r.worst_ray_rho) + " % of the radius; " + density + ".");
  if (r.aperture_bins_without_power > 0) {
    const double bin_width = r.density_rho.size() > 1 ? r.density_rho[1] - r.density_rho[0] : 0;
    notes.push_back(std::to_string(r.aperture_bins_without_power) + " of " + std::to_string(r.density_rho.size()) +
                    " radial bins of the aperture (" + fmt("%.2g", bin_width * r.aperture_radius) +
                    " wide) receive no power from any traced ray.");
  }
  const VertexRing& ring = r.vertex_ring;
  if (ring.matters) {
    std::string text = "Rays within " + fmt("%.2f", ring.feed_angle_max_deg) + "\u00b0 of the axis (" +
                       fmt("%.2g", 100 * ring.power_share) +
                       " % of the power on the subreflector) meet the subreflector between its vertex and the first surface point off the axis (radius " +
                       fmt("%.3g", ring.sub_radius) + "), where a spline through the surface points cannot follow the surface; ";
    if (ring.rays_traced > 0) {
      text += "they leave the main reflector up to " + fmt("%.2g", ring.collimation_error_max_deg) + "\u00b0 off the axis, land between \u03c1 = " +
              fmt("%.3f", ring.landing_rho_min) + " and " + fmt("%.3f", ring.landing_rho_max) + " with path errors up to " +
              fmt("%.3g", ring.path_error_max_abs_wavelengths) + " \u03bb";
      if (ring.rays_lost > 0) text += ", and " + std::to_string(ring.rays_lost) + " of the " + std::to_string(ring.rays) + " such rays traced miss the main reflector";
      text += ". The verification figures above leave them out (with them the path error is " +
              fmt("%.3g", r.path_error_pp_all_rays_wavelengths) +
              " \u03bb peak to peak); their power counts in the efficiencies and the far field where it lands, their phase does not.";
    } else {
      text += "all " + std::to_string(ring.rays) + " such rays traced miss the main reflector, and their power is lost to the aperture.";
    }
    text += " A smaller output interval puts a surface point closer to the vertex.";
    notes.push_back(text);
  }
  if (r.rays_lost > 0)
    notes.push_back(std::to_string(r.rays_lost) + " of " + std::to_string(r.rays_requested) +
                    " traced rays (feed angles " + fmt("%.2f", r.lost_theta_min_deg) + "\u00b0 to " +
                    fmt("%.2f", r.lost_theta_max_deg) + "\u00b0) missed a reflector and are lost to the aperture.");
}

}  // namespace

Report analyse(const DesignInput& d, const Options& o) {
  validate(d, o);
  Report r;
  const double a = 0.5 * d.main_diameter;
  const double n = d.feed_exponent, theta_s = d.sub_half_angle_rad;
  r.aperture_radius = a;
  r.wavelength_assumed = !(o.wavelength > 0);
  r.wavelength = r.wavelength_assumed ? d.main_diameter / 100.0 : o.wavelength;
  r.d_over_lambda = d.main_diameter / r.wavelength;
  r.hole_rho = d.hole_radius / a;
  r.shadow_rho = *std::max_element(d.sub_r.begin(), d.sub_r.end()) / a;
  r.feed_edge_taper_db = 20.0 * n * std::log10(std::cos(0.5 * theta_s));

  // Ray trace.
  const TraceResult trace = trace_rays(d.sub_r, d.sub_z, d.main_r, d.main_z, theta_s, o.rays);
  r.rays_requested = trace.rays_requested;
  r.rays_traced = static_cast<int>(trace.rays.size());
  r.rays_lost = trace.rays_lost;
  if (!trace.lost.empty()) {
    r.lost_theta_min_deg = trace.lost.front().theta * kDeg;
    r.lost_theta_max_deg = trace.lost.back().theta * kDeg;
  }
  r.aperture_plane_z = trace.aperture_plane_z;
  r.fan = trace_rays(d.sub_r, d.sub_z, d.main_r, d.main_z, theta_s, 9).rays;
  const auto& rays = trace.rays;
  const std::size_t m = rays.size();
  if (m < 3) throw std::invalid_argument("fewer than three rays reach the aperture: the profiles do not form a design");

  // The vertex ring: rays that meet the subreflector inside the profile's
  // first interval from the axis.
  VertexRing& ring = r.vertex_ring;
  if (std::abs(d.sub_r[0]) <= 1e-9 * std::abs(d.sub_r.back())) {
    ring.sub_radius = d.sub_r[1];
    const double theta_v = std::clamp(std::atan2(d.sub_r[1], d.sub_z[1]), 0.0, theta_s);
    ring.feed_angle_max_deg = theta_v * kDeg;
    ring.power_share = feed_power(theta_v, n) / feed_power(theta_s, n);
  }
  const auto in_ring = [&](double sub_x) { return sub_x < ring.sub_radius; };  // NaN: missed the subreflector
  std::vector<bool> ringed(m);
  std::vector<std::size_t> kept;  // the rays the verification figures are taken over
  for (std::size_t i = 0; i < m; ++i) {
    ringed[i] = in_ring(rays[i].sub_x);
    if (!ringed[i]) kept.push_back(i);
  }
  for (const LostRay& lost : trace.lost) ring.rays_lost += in_ring(lost.sub_x) ? 1 : 0;
  ring.rays_traced = static_cast<int>(m - kept.size());
  ring.rays = ring.rays_traced + ring.rays_lost;
  if (kept.size() < 3)
    throw std::invalid_argument("fewer than three rays away from the subreflector's vertex reach the aperture: the profiles do not form a design");

  // Path error, weighted by the feed power each ray carries.
  std::vector<double> weight(m), rho(m), path(m);
  for (std::size_t i = 0; i < m; ++i) {
    const double lo = i > 0 ? 0.5 * (rays[i].theta + rays[i - 1].theta) : rays[i].theta;
    const double hi = i + 1 < m ? 0.5 * (rays[i].theta + rays[i + 1].theta) : rays[i].theta;
    weight[i] = feed_power(hi, n) - feed_power(lo, n);
    rho[i] = rays[i].aperture_x / a;
    path[i] = rays[i].path;
  }
  double sw = 0, sp = 0;
  for (std::size_t i : kept) sw += weight[i], sp += weight[i] * path[i];
  r.mean_path = sp / sw;
  double var = 0, lo = path[kept[0]], hi = lo;
  std::vector<double> kept_rho, kept_path, kept_weight;
  for (std::size_t i : kept) {
    var += weight[i] * (path[i] - r.mean_path) * (path[i] - r.mean_path);
    lo = std::min(lo, path[i]);
    hi = std::max(hi, path[i]);
    kept_rho.push_back(rho[i]);
    kept_path.push_back(path[i]);
    kept_weight.push_back(weight[i]);
  }
  r.path_error_pp_wavelengths = (hi - lo) / r.wavelength;
  r.path_error_rms_wavelengths = std::sqrt(var / sw) / r.wavelength;
  r.phase_error_pp_deg = 360.0 * r.path_error_pp_wavelengths;
  r.path_error_trend_share = trend_share(kept_rho, kept_path, kept_weight);
  const auto [all_lo, all_hi] = std::minmax_element(path.begin(), path.end());
  r.path_error_pp_all_rays_wavelengths = (*all_hi - *all_lo) / r.wavelength;

  // Aperture power density: every tube between two neighbouring rays that
  // both reached the aperture carries the feed power between their angles
  // and spreads it evenly over the area between their landing radii; the
  // bins add up what falls on them.  Tubes that fold over (a caustic) and
  // rays that missed a reflector are accounted for as they are.  The tubes
  // of the vertex ring count in the delivered density (their power lands
  // somewhere) but not in its error, which is the design's.
  const double rho_h = r.hole_rho;
  const double wanted_total = boost::math::quadrature::gauss_kronrod<double, 31>::integrate(
      [&](double x) { return d.wanted_density(x) * x; }, rho_h, 1.0, 10, 1e-12);
  const int bins = std::clamp(static_cast<int>(m) / 6, 20, 400);
  const double bin_width = (1.0 - rho_h) / bins;
  std::vector<double> deposited(static_cast<std::size_t>(bins), 0.0), deposited_kept = deposited;
  for (std::size_t i = 0; i + 1 < m; ++i) {
    if (rays[i + 1].index != rays[i].index + 1) continue;
    const bool kept_tube = !ringed[i] && !ringed[i + 1];
    const double power = feed_power(rays[i + 1].theta, n) - feed_power(rays[i].theta, n);
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
  // cover (a tenth of a bin of slack for the rays that just miss an edge).
  const double c_norm = wanted_total / (feed_power(theta_s, n) - feed_power(0.0, n));
  r.aperture_error_rho_min = *std::min_element(kept_rho.begin(), kept_rho.end());
  r.aperture_error_rho_max = *std::max_element(kept_rho.begin(), kept_rho.end());
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
    if (!(wanted > 1e-6)) continue;
    if (!(density > 0)) ++r.aperture_bins_without_power;
    const bool inside = b_lo >= r.aperture_error_rho_min - 0.1 * bin_width && b_hi <= r.aperture_error_rho_max + 0.1 * bin_width;
    if (inside && density_kept > 0) power_error = std::max(power_error, std::abs(10.0 * std::log10(density_kept / wanted)));
  }
  r.aperture_power_error_max_db = power_error;

  r.ray_theta_deg.resize(m);
  r.ray_rho = rho;
  r.ray_path_error_wavelengths.resize(m);
  r.ray_direction_error_deg.resize(m);
  r.ray_in_vertex_ring = ringed;
  for (std::size_t i = 0; i < m; ++i) {
    r.ray_theta_deg[i] = rays[i].theta * kDeg;
    r.ray_path_error_wavelengths[i] = (path[i] - r.mean_path) / r.wavelength;
    r.ray_direction_error_deg[i] = rays[i].direction_error_deg;
    const double direction_error = std::abs(rays[i].direction_error_deg);
    if (ringed[i]) {
      const double e = r.ray_path_error_wavelengths[i];
      const bool first = std::isnan(ring.landing_rho_min);
      ring.collimation_error_max_deg = first ? direction_error : std::max(ring.collimation_error_max_deg, direction_error);
      ring.path_error_max_abs_wavelengths = first ? std::abs(e) : std::max(ring.path_error_max_abs_wavelengths, std::abs(e));
      ring.landing_rho_min = first ? rho[i] : std::min(ring.landing_rho_min, rho[i]);
      ring.landing_rho_max = first ? rho[i] : std::max(ring.landing_rho_max, rho[i]);
      continue;
    }
    if (direction_error > r.collimation_error_max_deg) {
      r.collimation_error_max_deg = direction_error;
      r.worst_ray_theta_deg = r.ray_theta_deg[i];
      r.worst_ray_rho = rho[i];
    }
  }
  if (ring.rays_traced > 0) {
    double ring_lo = std::numeric_limits<double>::infinity(), ring_hi = -ring_lo;
    for (std::size_t i = 0; i < m; ++i)
      if (ringed[i]) ring_lo = std::min(ring_lo, path[i]), ring_hi = std::max(ring_hi, path[i]);
    ring.path_error_pp_wavelengths = (ring_hi - ring_lo) / r.wavelength;
  }
  ring.matters = ring.rays_lost > 0 ||
                 (ring.rays_traced > 0 && (r.path_error_pp_all_rays_wavelengths > 1.1 * r.path_error_pp_wavelengths ||
                                           ring.collimation_error_max_deg > r.collimation_error_max_deg));

  // Aperture field: amplitude sqrt(density), phase from the path error, as
  // functions of radius through the rays sorted by landing radius.  The
  // phase comes from the rays outside the vertex ring only: theirs would
  // interleave with it where they land and stand for radii they do not
  // belong to; their power is in the amplitude.
  std::vector<std::size_t> order(m);
  for (std::size_t i = 0; i < m; ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) { return rho[x] < rho[y]; });
  std::vector<double> xs, phase, amp;
  for (std::size_t i : order) {
    if (ringed[i] || (!xs.empty() && !(rho[i] > xs.back()))) continue;
    xs.push_back(rho[i]);
    phase.push_back(-2.0 * M_PI * r.ray_path_error_wavelengths[i]);
  }
  for (double density : r.density_delivered) amp.push_back(std::sqrt(density));
  const Linear amp_of(r.density_rho, amp), phase_of(xs, phase);
  const ApertureField field = [&](double x) { return std::polar(amp_of(x), phase_of(x)); };
  const ApertureField amplitude = [&](double x) { return std::complex<double>(amp_of(x)); };
  const ApertureField wanted = [&](double x) { return std::complex<double>(std::sqrt(std::max(0.0, d.wanted_density(x)))); };

  const double edge = std::clamp(std::max(r.shadow_rho, rho_h), rho_h, 1.0);
  const Intervals annulus{{rho_h, edge}, {edge, 1.0}}, open{{edge, 1.0}};
  const ApertureQuadrature q_annulus(annulus), q_open(open);
  const double s_annulus = q_annulus.integrate(amplitude).real();
  const double s_open = q_open.integrate(amplitude).real();

  Efficiency& e = r.efficiency;
  e.spillover = feed_power(theta_s, n) / feed_power(M_PI, n);
  e.illumination = illumination_efficiency(amplitude, annulus);
  e.blockage = s_annulus > 0 ? (s_open / s_annulus) * (s_open / s_annulus) : 0;
  e.phase = s_open > 0 ? std::norm(q_open.integrate(field)) / (s_open * s_open) : 0;
  e.total = e.spillover * e.illumination * e.blockage * e.phase;
  const double ka = M_PI * r.d_over_lambda;
  r.directivity_dbi = e.total > 0 ? 10.0 * std::log10(e.total * ka * ka) : -300.0;

  // Far field.
  r.delivered = far_field(field, open, r.d_over_lambda);
  const double u_max = r.delivered.u.back();
  r.unblocked = far_field(field, annulus, r.d_over_lambda, u_max);
  r.ideal = far_field(wanted, annulus, r.d_over_lambda, u_max);
  r.ideal_disc_first_sidelobe_db = far_field(wanted, {{0.0, 1.0}}, r.d_over_lambda, std::min(u_max, 20.0)).first_sidelobe_db;

  write_notes(r, d);
  return r;
}

}  // namespace analysis
