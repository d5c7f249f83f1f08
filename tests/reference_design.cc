#include "reference_design.h"

#include <algorithm>
#include <array>
#include <boost/math/quadrature/gauss_kronrod.hpp>
#include <boost/math/special_functions/bessel.hpp>
#include <boost/math/tools/roots.hpp>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace test {
namespace {

std::string number(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", v);
  return buffer;
}

using State = std::array<double, 3>;  // r, R, z_m

struct Equations {
  double n, K;
  const std::function<double(double)>& a;

  State operator()(double theta, const State& s) const {
    const double r = s[0], R = s[1], zm = s[2];
    const double c = std::pow(std::cos(0.5 * theta), 2.0 * n);
    const double dr = -std::sin(theta) * c / (a(r) * r * K);
    const double phi = std::atan((r - R * std::sin(theta)) / (R * std::cos(theta) - zm));
    return {dr, std::tan(0.5 * (phi + theta)) * R, std::tan(0.5 * phi) * dr};
  }
};

State rk4(const Equations& f, double theta, const State& s, double h) {
  const auto add = [](const State& x, const State& k, double w) {
    return State{x[0] + w * k[0], x[1] + w * k[1], x[2] + w * k[2]};
  };
  const State k1 = f(theta, s);
  const State k2 = f(theta + 0.5 * h, add(s, k1, 0.5 * h));
  const State k3 = f(theta + 0.5 * h, add(s, k2, 0.5 * h));
  const State k4 = f(theta + h, add(s, k3, h));
  State out;
  for (int i = 0; i < 3; ++i) out[i] = s[i] + h / 6.0 * (k1[i] + 2 * k2[i] + 2 * k3[i] + k4[i]);
  return out;
}

Ray make_ray(double theta, const State& s) {
  Ray ray;
  ray.theta = theta;
  ray.R = s[1];
  ray.sub_r = s[1] * std::sin(theta);
  ray.sub_z = s[1] * std::cos(theta);
  ray.main_r = s[0];
  ray.main_z = s[2];
  ray.path = std::hypot(ray.sub_r - ray.main_r, ray.sub_z - ray.main_z) + ray.R - ray.main_z;
  return ray;
}

}  // namespace

double feed_exponent(double beamwidth_deg, double level_db) {
  const double quarter = beamwidth_deg / 4.0 * M_PI / 180.0;
  return -std::abs(level_db) / (20.0 * std::log10(std::cos(quarter)));
}

Distribution uniform() { return {"uniform", [](double) { return 1.0; }}; }

Distribution gaussian(double edge_taper_db) {
  return {"Gaussian, " + number(edge_taper_db) + " dB edge taper", [edge_taper_db](double r) {
            const double a = std::exp(-edge_taper_db * r / 8.686);
            return a * a;
          }};
}

Distribution taylor(double sidelobe_db, int nbar) {
  if (nbar < 1) throw std::invalid_argument("nbar must be at least 1");
  // Zeros of J1: j1[0] = 0, then the positive zeros.
  std::vector<double> j1(static_cast<std::size_t>(nbar) + 1, 0.0);
  for (int m = 1; m <= nbar; ++m) j1[static_cast<std::size_t>(m)] = boost::math::cyl_bessel_j_zero(1.0, m);
  const double ratio = std::pow(10.0, std::abs(sidelobe_db) / 20.0);
  const double A = std::acosh(ratio) / M_PI;
  const double half_n = nbar - 0.5;
  // The first nbar - 1 pattern zeros moved to keep the sidelobes level.
  std::vector<double> zeros;
  for (int k = 1; k < nbar; ++k)
    zeros.push_back(j1[static_cast<std::size_t>(nbar)] * std::sqrt((A * A + (k - 0.5) * (k - 0.5)) / (A * A + half_n * half_n)));
  std::vector<double> c(static_cast<std::size_t>(nbar), 0.0);
  c[0] = 1.0;
  for (int m = 1; m < nbar; ++m) {
    const double mu2 = j1[static_cast<std::size_t>(m)] * j1[static_cast<std::size_t>(m)];
    double p1 = 1.0, p2 = 1.0;
    for (int k = 1; k < nbar; ++k) {
      p1 *= 1.0 - mu2 / (zeros[static_cast<std::size_t>(k) - 1] * zeros[static_cast<std::size_t>(k) - 1]);
      if (k != m) p2 *= 1.0 - mu2 / (j1[static_cast<std::size_t>(k)] * j1[static_cast<std::size_t>(k)]);
    }
    c[static_cast<std::size_t>(m)] = -p1 / p2 / boost::math::cyl_bessel_j(0, j1[static_cast<std::size_t>(m)]);
  }
  double g0 = 0;
  for (double v : c) g0 += v;
  const auto g = [c, j1, g0](double r) {
    double sum = 0;
    for (std::size_t m = 0; m < c.size(); ++m) sum += c[m] * boost::math::cyl_bessel_j(0, j1[m] * r);
    return sum / g0;
  };
  return {"Taylor, " + number(std::abs(sidelobe_db)) + " dB sidelobes, nbar " + std::to_string(nbar),
          [g](double r) { return g(r) * g(r); }};
}

std::vector<Ray> reference_rays(const Geometry& g, double n, const std::function<double(double)>& density,
                                const std::vector<double>& radii, int steps) {
  if (steps < 10) throw std::invalid_argument("too few integration steps");
  const double theta_s = std::atan(g.sub_radius / g.feed_to_sub_rim);
  const double feed_power = -4.0 * std::expm1((2.0 * n + 2.0) * std::log(std::cos(0.5 * theta_s))) / (2.0 * n + 2.0);
  const double aperture_power = boost::math::quadrature::gauss_kronrod<double, 61>::integrate(
      [&](double r) { return density(r) * r; }, g.hole_radius, 1.0, 15, 1e-14);
  const Equations f{n, feed_power / aperture_power, density};

  // Whole trajectory from the subreflector rim (ray 1, to the hole rim) to the axis.
  const double h = -theta_s / steps;
  std::vector<double> thetas{theta_s};
  std::vector<State> states{{g.hole_radius, g.sub_radius / std::sin(theta_s), -g.main_hole_to_feed}};
  for (int i = 1; i <= steps; ++i) {
    states.push_back(rk4(f, thetas.back(), states.back(), h));
    thetas.push_back(i == steps ? 0.0 : theta_s + i * h);
  }

  std::vector<Ray> rays;
  for (double r : radii) {
    if (r < g.hole_radius || r > 1.0) throw std::invalid_argument("output radius outside the main reflector");
    // The step over which the main-reflector radius passes r, then the part
    // of it that ends exactly at r.
    const auto it = std::lower_bound(states.begin(), states.end(), r, [](const State& s, double v) { return s[0] < v; });
    if (it == states.begin()) {
      rays.push_back(make_ray(thetas.front(), states.front()));
      continue;
    }
    // The rim is the axial ray, theta = 0.  Near it r departs from 1 only as
    // theta^2, so a search for r = 1 would turn the integration's last
    // rounding error into a visible slide of the ray along the profiles.
    if (it == states.end() || r == 1.0) {
      rays.push_back(make_ray(thetas.back(), states.back()));
      continue;
    }
    const std::size_t k = static_cast<std::size_t>(it - states.begin()) - 1;
    const auto miss = [&](double part) { return rk4(f, thetas[k], states[k], part)[0] - r; };
    boost::uintmax_t iterations = 100;
    const double span = thetas[k + 1] - thetas[k];  // negative: theta falls as r grows
    const auto root = boost::math::tools::toms748_solve(miss, span, 0.0, states[k + 1][0] - r, states[k][0] - r,
                                                        boost::math::tools::eps_tolerance<double>(52), iterations);
    const double part = 0.5 * (root.first + root.second);
    rays.push_back(make_ray(thetas[k] + part, rk4(f, thetas[k], states[k], part)));
  }
  return rays;
}

std::vector<double> even_radii(double hole_radius, int count) {
  std::vector<double> r;
  for (int i = 0; i < count; ++i) r.push_back(i + 1 == count ? 1.0 : hole_radius + (1.0 - hole_radius) * i / (count - 1));
  return r;
}

Profiles scaled_profiles(const std::vector<Ray>& rays, double diameter) {
  const double s = 0.5 * diameter;
  std::vector<Ray> by_sub = rays;
  std::sort(by_sub.begin(), by_sub.end(), [](const Ray& a, const Ray& b) { return a.sub_r < b.sub_r; });
  std::vector<Ray> by_main = rays;
  std::sort(by_main.begin(), by_main.end(), [](const Ray& a, const Ray& b) { return a.main_r < b.main_r; });
  Profiles p;
  for (const Ray& ray : by_sub) p.sub_r.push_back(ray.sub_r * s), p.sub_z.push_back(ray.sub_z * s);
  for (const Ray& ray : by_main) p.main_r.push_back(ray.main_r * s), p.main_z.push_back(ray.main_z * s);
  if (!p.sub_r.empty()) p.sub_r[0] = 0.0;
  return p;
}

void extend_subreflector(Profiles& p, double radius) {
  const std::size_t n = p.sub_r.size();
  if (n < 2 || radius <= p.sub_r.back()) return;
  const double slope = (p.sub_z[n - 1] - p.sub_z[n - 2]) / (p.sub_r[n - 1] - p.sub_r[n - 2]);
  p.sub_z.push_back(p.sub_z.back() + slope * (radius - p.sub_r.back()));
  p.sub_r.push_back(radius);
}

}  // namespace test
