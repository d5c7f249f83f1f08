#include "analysis/raytrace.h"

#include <boost/math/tools/roots.hpp>
#include <cmath>
#include <optional>
#include <stdexcept>

#include "analysis/spline.h"

namespace analysis {
namespace {

// First zero of f on [a, b] found by scanning for a sign change and
// narrowing it down with TOMS 748.  Nothing if f keeps its sign.
template <class F>
std::optional<double> first_root(F f, double a, double b, int segments) {
  double x0 = a, f0 = f(a);
  if (f0 == 0.0) return a;
  for (int i = 1; i <= segments; ++i) {
    const double x1 = a + (b - a) * i / segments;
    const double f1 = f(x1);
    if (f1 == 0.0) return x1;
    if ((f0 < 0) != (f1 < 0)) {
      boost::uintmax_t iterations = 100;
      const auto bracket = boost::math::tools::toms748_solve(
          f, x0, x1, f0, f1, boost::math::tools::eps_tolerance<double>(52), iterations);
      return 0.5 * (bracket.first + bracket.second);
    }
    x0 = x1;
    f0 = f1;
  }
  return std::nullopt;
}

struct Vec {
  double x, z;
};

// Mirror image of direction d in the surface z(x) of slope s.
Vec reflect(Vec d, double s) {
  const double norm = std::hypot(s, 1.0);
  const Vec n{-s / norm, 1.0 / norm};
  const double dn = d.x * n.x + d.z * n.z;
  return {d.x - 2.0 * dn * n.x, d.z - 2.0 * dn * n.z};
}

}  // namespace

HermiteSurface::HermiteSurface(std::vector<double> r, std::vector<double> z, std::vector<double> slope) {
  const std::size_t n = r.size();
  if (n < 2 || z.size() != n || slope.size() != n)
    throw std::invalid_argument("a profile needs at least two points, each with a height and a slope");
  for (std::size_t i = 0; i < n; ++i)
    if (!std::isfinite(r[i]) || !std::isfinite(z[i]) || !std::isfinite(slope[i]))
      throw std::invalid_argument("a profile point is not a number");
  for (std::size_t i = 1; i < n; ++i)
    if (!(r[i] > r[i - 1])) throw std::invalid_argument("profile radii must increase");
  front_ = r.front();
  back_ = r.back();
  front_z_ = z.front();
  back_z_ = z.back();
  front_slope_ = slope.front();
  back_slope_ = slope.back();
  curve_ = std::make_shared<const Curve>(std::move(r), std::move(z), std::move(slope));
}

double HermiteSurface::value(double r) const {
  if (r <= front_) return front_z_ + front_slope_ * (r - front_);
  if (r >= back_) return back_z_ + back_slope_ * (r - back_);
  return (*curve_)(r);
}

double HermiteSurface::slope(double r) const {
  if (r <= front_) return front_slope_;
  if (r >= back_) return back_slope_;
  return curve_->prime(r);
}

TraceResult trace_rays(const std::vector<double>& sub_r, const std::vector<double>& sub_z,
                       const std::vector<double>& main_r, const std::vector<double>& main_z,
                       double theta_max, int n_rays, double feed_z) {
  return trace_rays(SplineSurface(NaturalSpline(sub_r, sub_z)), SplineSurface(NaturalSpline(main_r, main_z)), theta_max,
                    n_rays, feed_z);
}

TraceResult trace_rays(const Surface& sub, const Surface& main, double theta_max, int n_rays, double feed_z) {
  TraceResult out;
  out.rays_requested = n_rays;
  out.aperture_plane_z = main.value(main.back());
  // The search ranges reach past each profile's ends only by a rounding
  // error, so that the rays meant for the very ends are kept; a ray that
  // lands further out misses the reflector and is lost.
  const double sub_reach = sub.back() * (1.0 + 1e-9);
  const double main_span = main.back() - main.front();
  const double main_lo = std::max(0.0, main.front() - 1e-9 * main_span);
  const double main_hi = main.back() + 1e-9 * main_span;
  out.rays.reserve(static_cast<std::size_t>(n_rays));
  const auto lose = [&](int index, double theta, double sub_x) {
    out.lost.push_back({index, theta, sub_x});
    ++out.rays_lost;
  };
  for (int i = 0; i < n_rays; ++i) {
    const double theta = n_rays > 1 ? theta_max * i / (n_rays - 1) : 0.0;
    const Vec d{std::sin(theta), std::cos(theta)};
    // Subreflector: radius x where the ray x = (z - feed_z) tan(theta) meets z_s(x).
    const auto xs = first_root([&](double x) { return (sub.value(x) - feed_z) * d.x - x * d.z; }, 0.0, sub_reach, 8);
    if (!xs) {
      lose(i, theta, std::nan(""));
      continue;
    }
    const Vec ps{*xs, sub.value(*xs)};
    const Vec d1 = reflect(d, sub.slope(ps.x));
    // Main reflector: radius x where the reflected ray meets z_m(x), i.e. the
    // cross product of the ray direction with (point - ps) vanishes, ahead of ps.
    // The surface is one of revolution: a ray that crosses the axis between
    // the reflectors meets it on the far side of the meridian plane, at -x;
    // that side is searched when the near side holds no point ahead.
    const auto meet = [&](double side) -> std::optional<Vec> {
      const auto cross = [&](double x) { return d1.x * (main.value(x) - ps.z) - d1.z * (side * x - ps.x); };
      const auto xm = first_root(cross, main_lo, main_hi, 16);
      if (!xm) return std::nullopt;
      const Vec pm{side * *xm, main.value(*xm)};
      if ((pm.x - ps.x) * d1.x + (pm.z - ps.z) * d1.z <= 0.0) return std::nullopt;
      return pm;
    };
    std::optional<Vec> hit = meet(1.0);
    double side = 1.0;
    if (!hit && d1.x < 0.0) {
      hit = meet(-1.0);
      side = -1.0;
    }
    if (!hit) {
      lose(i, theta, ps.x);
      continue;
    }
    const Vec pm = *hit;
    const Vec d2 = reflect(d1, side * main.slope(side * pm.x));
    if (d2.z <= 0.0) {
      lose(i, theta, ps.x);
      continue;
    }
    const double t = (out.aperture_plane_z - pm.z) / d2.z;
    TracedRay ray;
    ray.index = i;
    ray.theta = theta;
    ray.sub_x = ps.x;
    ray.sub_z = ps.z;
    // radii, and the direction error away from the axis, whichever side
    ray.main_x = side * pm.x;
    ray.main_z = pm.z;
    ray.aperture_x = side * (pm.x + t * d2.x);
    ray.direction_error_deg = side * std::atan2(d2.x, d2.z) * 180.0 / M_PI;
    ray.path = std::hypot(ps.x, ps.z - feed_z) + std::hypot(pm.x - ps.x, pm.z - ps.z) + t;
    ray.crossed = side < 0;
    out.rays.push_back(ray);
  }
  return out;
}

}  // namespace analysis
