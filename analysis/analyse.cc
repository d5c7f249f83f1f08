#include <algorithm>
#include <boost/math/quadrature/gauss_kronrod.hpp>
#include <cmath>
#include <cstdio>
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
  notes.push_back("The largest ray direction error is " + fmt("%.3g", r.collimation_error_max_deg) + "\u00b0 (" +
                  fmt("%.2g", r.collimation_error_max_deg / std::max(r.delivered.hpbw_deg, 1e-30)) +
                  " half-power beamwidths), for the ray leaving the feed at " + fmt("%.2f", r.worst_ray_theta_deg) +
                  "\u00b0 and landing at " + fmt("%.1f", 100 * r.worst_ray_rho) +
                  " % of the radius; the delivered aperture power follows the wanted distribution within " +
                  fmt("%.2g", r.aperture_power_error_max_db) + " dB.");
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
  for (int i = 0, k = 0; i < trace.rays_requested; ++i) {
    if (k < static_cast<int>(trace.rays.size()) && trace.rays[static_cast<std::size_t>(k)].index == i) {
      ++k;
      continue;
    }
    const double lost = theta_s * i / (trace.rays_requested - 1) * kDeg;
    r.lost_theta_min_deg = r.rays_lost && r.lost_theta_max_deg == 0 && r.lost_theta_min_deg == 0 ? lost : std::min(r.lost_theta_min_deg, lost);
    r.lost_theta_max_deg = std::max(r.lost_theta_max_deg, lost);
  }
  r.aperture_plane_z = trace.aperture_plane_z;
  r.fan = trace_rays(d.sub_r, d.sub_z, d.main_r, d.main_z, theta_s, 9).rays;
  const auto& rays = trace.rays;
  const std::size_t m = rays.size();
  if (m < 3) throw std::invalid_argument("fewer than three rays reach the aperture: the profiles do not form a design");

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
  for (std::size_t i = 0; i < m; ++i) sw += weight[i], sp += weight[i] * path[i];
  r.mean_path = sp / sw;
  double var = 0, lo = path[0], hi = path[0];
  for (std::size_t i = 0; i < m; ++i) {
    var += weight[i] * (path[i] - r.mean_path) * (path[i] - r.mean_path);
    lo = std::min(lo, path[i]);
    hi = std::max(hi, path[i]);
  }
  r.path_error_pp_wavelengths = (hi - lo) / r.wavelength;
  r.path_error_rms_wavelengths = std::sqrt(var / sw) / r.wavelength;
  r.phase_error_pp_deg = 360.0 * r.path_error_pp_wavelengths;
  r.path_error_trend_share = trend_share(rho, path, weight);

  // Aperture power density: every tube between two neighbouring rays that
  // both reached the aperture carries the feed power between their angles
  // and spreads it evenly over the area between their landing radii; the
  // bins add up what falls on them.  Tubes that fold over (a caustic) and
  // rays that missed a reflector are accounted for as they are.
  const double rho_h = r.hole_rho;
  const double wanted_total = boost::math::quadrature::gauss_kronrod<double, 31>::integrate(
      [&](double x) { return d.wanted_density(x) * x; }, rho_h, 1.0, 10, 1e-12);
  const int bins = std::clamp(static_cast<int>(m) / 6, 20, 400);
  const double bin_width = (1.0 - rho_h) / bins;
  std::vector<double> deposited(static_cast<std::size_t>(bins), 0.0);
  for (std::size_t i = 0; i + 1 < m; ++i) {
    if (rays[i + 1].index != rays[i].index + 1) continue;
    const double power = feed_power(rays[i + 1].theta, n) - feed_power(rays[i].theta, n);
    const double lo_rho = std::min(rho[i], rho[i + 1]), hi_rho = std::max(rho[i], rho[i + 1]);
    const double area = 0.5 * (hi_rho * hi_rho - lo_rho * lo_rho);
    const int first = std::max(0, static_cast<int>(std::floor((lo_rho - rho_h) / bin_width)));
    const int last = std::min(bins - 1, static_cast<int>(std::floor((hi_rho - rho_h) / bin_width)));
    for (int b = first; b <= last; ++b) {
      const double b_lo = std::max(lo_rho, rho_h + b * bin_width), b_hi = std::min(hi_rho, rho_h + (b + 1) * bin_width);
      if (area > 0) {
        if (b_hi > b_lo) deposited[static_cast<std::size_t>(b)] += power * 0.5 * (b_hi * b_hi - b_lo * b_lo) / area;
      } else {
        deposited[static_cast<std::size_t>(b)] += power;  // a tube focused onto one radius
      }
    }
  }
  // The feed power in the cone, spread as wanted, gives the wanted total.
  const double c_norm = wanted_total / (feed_power(theta_s, n) - feed_power(0.0, n));
  double power_error = 0;
  for (int b = 0; b < bins; ++b) {
    const double b_lo = rho_h + b * bin_width, b_hi = b_lo + bin_width;
    const double centre = 0.5 * (b_lo + b_hi);
    const double density = c_norm * deposited[static_cast<std::size_t>(b)] / (0.5 * (b_hi * b_hi - b_lo * b_lo));
    const double wanted = d.wanted_density(centre);
    r.density_rho.push_back(centre);
    r.density_delivered.push_back(density);
    r.density_wanted.push_back(wanted);
    if (wanted > 1e-6) {
      const double err = density > 0 ? std::abs(10.0 * std::log10(density / wanted)) : 100.0;
      power_error = std::max(power_error, std::min(err, 100.0));
    }
  }
  r.aperture_power_error_max_db = power_error;

  r.ray_theta_deg.resize(m);
  r.ray_rho = rho;
  r.ray_path_error_wavelengths.resize(m);
  r.ray_direction_error_deg.resize(m);
  for (std::size_t i = 0; i < m; ++i) {
    r.ray_theta_deg[i] = rays[i].theta * kDeg;
    r.ray_path_error_wavelengths[i] = (path[i] - r.mean_path) / r.wavelength;
    r.ray_direction_error_deg[i] = rays[i].direction_error_deg;
    if (std::abs(rays[i].direction_error_deg) > r.collimation_error_max_deg) {
      r.collimation_error_max_deg = std::abs(rays[i].direction_error_deg);
      r.worst_ray_theta_deg = r.ray_theta_deg[i];
      r.worst_ray_rho = rho[i];
    }
  }

  // Aperture field: amplitude sqrt(density), phase from the path error, as
  // functions of radius through the rays sorted by landing radius.
  std::vector<std::size_t> order(m);
  for (std::size_t i = 0; i < m; ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) { return rho[x] < rho[y]; });
  std::vector<double> xs, phase, amp;
  for (std::size_t i : order) {
    if (!xs.empty() && !(rho[i] > xs.back())) continue;
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
