#include "design/shaped_dual.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numeric>

#include <boost/math/quadrature/gauss.hpp>

namespace design {

DualTopology topology_of(DualFamily family) {
  switch (family) {
    case DualFamily::cassegrain: return {false, true};
    case DualFamily::gregorian: return {true, true};
    case DualFamily::adc: return {false, true};
    case DualFamily::ade: return {false, false};
    case DualFamily::adh: return {true, false};
    case DualFamily::adg: return {true, true};
  }
  return {};
}

bool centre_fed(DualFamily family) {
  return family == DualFamily::cassegrain || family == DualFamily::gregorian;
}

template <RealType Real>
std::vector<Real> even_angles(Real edge_angle, int n) {
  std::vector<Real> out;
  if (n < 2) return out;
  out.reserve(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) out.push_back(edge_angle * Real(i) / Real(n - 1));
  out.back() = edge_angle;
  return out;
}

template <RealType Real>
ReflectedRay<Real> reflected_ray(Real theta, Real rho, Real signed_x, Real path_length) {
  ReflectedRay<Real> r;
  const Real st = std::sin(theta), ct = std::cos(theta);
  r.a = path_length - rho * (Real(1) - ct);
  r.b = signed_x - rho * st;
  const Real a2 = r.a * r.a, b2 = r.b * r.b, sum = a2 + b2;
  r.sin_psi = Real(2) * r.a * r.b / sum;
  r.cos_psi = (b2 - a2) / sum;
  r.length = sum / (Real(2) * r.a);
  r.main_z = rho * ct + (b2 - a2) / (Real(2) * r.a);
  // The tangent rho' u + rho u_perp is normal to w - u (u the incident
  // direction, w the reflected one): rho' = rho (u_perp . w) / (1 - u . w).
  const Real num = ct * r.sin_psi - st * r.cos_psi;
  const Real den = Real(1) - (st * r.sin_psi + ct * r.cos_psi);
  r.d_rho = rho * num / den;
  return r;
}

template <RealType Real>
Real path_length_for_main_height(Real rho_axial, Real main_z, Real x_axial) {
  // z = rho + (x^2 - L^2) / (2 L) for the ray along the axis (B = s x),
  // that is L^2 + 2 (z - rho) L - x^2 = 0; its positive root, written
  // without cancellation.
  const Real d = rho_axial - main_z;
  const Real root = std::hypot(d, x_axial);
  if (d >= Real(0)) return d + root;
  return x_axial * x_axial / (root - d);
}

namespace {

// Knot intervals of the cumulative powers, and the rule inside each.
constexpr std::size_t kKnotIntervals = 256;
constexpr unsigned kGaussPoints = 15;

std::string degrees(double rad) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", rad * 180.0 / std::numbers::pi);
  return buf;
}

std::string number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", v);
  return buf;
}

// The integral of f over [a, b] by the Gauss-Legendre rule; `bad` is set
// when f gives a value that is negative or not finite.
template <RealType Real, class F>
Real gauss(F&& f, Real a, Real b, bool& bad) {
  if (a == b) return 0;
  const auto checked = [&](Real t) {
    const Real v = f(t);
    if (!std::isfinite(v) || v < Real(0)) {
      bad = true;
      return Real(0);
    }
    return v;
  };
  return boost::math::quadrature::gauss<Real, kGaussPoints>::integrate(checked, a, b);
}

}  // namespace

template <RealType Real>
EnergyMapping<Real>::EnergyMapping(const std::function<Real(Real)>& feed_power,
                                   const std::function<Real(Real)>& aperture_power,
                                   Real edge_angle, Real x_inner, Real x_outer,
                                   bool radius_increases)
    : feed_(feed_power),
      aperture_(aperture_power),
      edge_(edge_angle),
      x_inner_(x_inner),
      x_outer_(x_outer),
      increases_(radius_increases) {
  if (!feed_ || !aperture_) {
    problem_ = "the feed's power pattern or the aperture distribution is missing.";
    return;
  }
  if (!std::isfinite(edge_) || !(edge_ > Real(0)) || !std::isfinite(x_inner_) ||
      !std::isfinite(x_outer_) || !(x_inner_ >= Real(0)) || !(x_outer_ > x_inner_)) {
    problem_ = "the edge angle or the aperture's radii give no interval to map.";
    return;
  }
  feed_step_ = edge_ / Real(kKnotIntervals);
  x_step_ = (x_outer_ - x_inner_) / Real(kKnotIntervals);
  feed_cumulative_.assign(kKnotIntervals + 1, Real(0));
  aperture_cumulative_.assign(kKnotIntervals + 1, Real(0));
  bool bad_feed = false, bad_aperture = false;
  for (std::size_t k = 0; k < kKnotIntervals; ++k) {
    feed_cumulative_[k + 1] =
        feed_cumulative_[k] + feed_from_knot(k, feed_step_ * Real(k + 1), bad_feed);
    aperture_cumulative_[k + 1] =
        aperture_cumulative_[k] +
        aperture_from_knot(k, x_inner_ + x_step_ * Real(k + 1), bad_aperture);
  }
  if (bad_feed) {
    problem_ = "the feed's power pattern is negative or not a number within the edge angle.";
  } else if (bad_aperture) {
    problem_ = "the aperture distribution is negative or not a number within the aperture.";
  } else if (!(feed_cumulative_.back() > Real(0)) || !std::isfinite(feed_cumulative_.back())) {
    problem_ = "the feed radiates no power within the edge angle.";
  } else if (!(aperture_cumulative_.back() > Real(0)) ||
             !std::isfinite(aperture_cumulative_.back())) {
    problem_ = "the aperture distribution has no power between the inner and outer radius.";
  }
}

// The tabulation checks every value it meets; a later value that is not
// sound counts as 0 (see gauss), so the callers after construction ignore
// `bad`.
template <RealType Real>
Real EnergyMapping<Real>::feed_from_knot(std::size_t k, Real theta, bool& bad) const {
  return gauss<Real>([this](Real t) { return feed_(t) * std::sin(t); }, feed_step_ * Real(k),
                     theta, bad);
}

template <RealType Real>
Real EnergyMapping<Real>::aperture_from_knot(std::size_t k, Real x, bool& bad) const {
  return gauss<Real>([this](Real r) { return aperture_(r) * r; }, x_inner_ + x_step_ * Real(k),
                     x, bad);
}

template <RealType Real>
Real EnergyMapping<Real>::feed_fraction(Real theta) const {
  if (!(theta > Real(0))) return 0;
  if (theta >= edge_) return 1;
  const auto k = std::min(static_cast<std::size_t>(theta / feed_step_), kKnotIntervals - 1);
  bool bad = false;
  const Real f = feed_cumulative_[k] + feed_from_knot(k, theta, bad);
  return std::clamp(f / feed_cumulative_.back(), Real(0), Real(1));
}

template <RealType Real>
Real EnergyMapping<Real>::aperture_fraction(Real x) const {
  if (!(x > x_inner_)) return 0;
  if (x >= x_outer_) return 1;
  const auto k =
      std::min(static_cast<std::size_t>((x - x_inner_) / x_step_), kKnotIntervals - 1);
  bool bad = false;
  const Real g = aperture_cumulative_[k] + aperture_from_knot(k, x, bad);
  return std::clamp(g / aperture_cumulative_.back(), Real(0), Real(1));
}

template <RealType Real>
Real EnergyMapping<Real>::radius(Real theta) const {
  const Real f = feed_fraction(theta);
  const Real target = (increases_ ? f : Real(1) - f) * aperture_cumulative_.back();
  if (!(target > Real(0))) return x_inner_;
  if (target >= aperture_cumulative_.back()) return x_outer_;
  // The knot interval holding the target, then Newton's method on the
  // cumulative power inside it, kept in its bracket by bisection.
  const auto it = std::upper_bound(aperture_cumulative_.begin(), aperture_cumulative_.end(), target);
  const auto k = std::min(static_cast<std::size_t>(it - aperture_cumulative_.begin()) - 1,
                          kKnotIntervals - 1);
  Real lo = x_inner_ + x_step_ * Real(k);
  Real hi = k + 1 == kKnotIntervals ? x_outer_ : x_inner_ + x_step_ * Real(k + 1);
  const Real g_lo = aperture_cumulative_[k], g_hi = aperture_cumulative_[k + 1];
  const Real need = target - g_lo;
  Real x = g_hi > g_lo ? lo + (hi - lo) * (need / (g_hi - g_lo)) : lo;
  const Real tol = Real(4) * std::numeric_limits<Real>::epsilon() * x_outer_;
  bool bad = false;
  for (int i = 0; i < 100; ++i) {
    const Real value = aperture_from_knot(k, x, bad) - need;
    if (value == Real(0)) break;
    if (value > Real(0)) hi = x;
    else lo = x;
    const Real slope = aperture_(x) * x;
    Real next = slope > Real(0) ? x - value / slope : (lo + hi) / Real(2);
    if (!(next >= lo && next <= hi)) next = (lo + hi) / Real(2);
    const bool done = std::abs(next - x) <= tol || hi - lo <= tol;
    x = next;
    if (done) break;
  }
  return std::clamp(x, x_inner_, x_outer_);
}

namespace {

// The Dormand-Prince 5(4) pair.
constexpr double kC[7] = {0, 1.0 / 5, 3.0 / 10, 4.0 / 5, 8.0 / 9, 1, 1};
constexpr double kA[7][6] = {
    {},
    {1.0 / 5},
    {3.0 / 40, 9.0 / 40},
    {44.0 / 45, -56.0 / 15, 32.0 / 9},
    {19372.0 / 6561, -25360.0 / 2187, 64448.0 / 6561, -212.0 / 729},
    {9017.0 / 3168, -355.0 / 33, 46732.0 / 5247, 49.0 / 176, -5103.0 / 18656},
    {35.0 / 384, 0, 500.0 / 1113, 125.0 / 192, -2187.0 / 6784, 11.0 / 84}};
// The fifth-order weights less the fourth-order ones.
constexpr double kE[7] = {71.0 / 57600,  0, -71.0 / 16695, 71.0 / 1920, -17253.0 / 339200,
                          22.0 / 525, -1.0 / 40};

constexpr long kMaxSteps = 200000;

template <RealType Real>
struct Tolerance;
template <>
struct Tolerance<float> {
  static constexpr float relative = 2e-6f;
};
template <>
struct Tolerance<double> {
  static constexpr double relative = 1e-13;
};

// The state of one point of the integration, and why it cannot go on.
template <RealType Real>
struct Point {
  Real x = 0;  // aperture radius
  ReflectedRay<Real> ray;
  std::string problem;
};

template <RealType Real>
class Shaper {
 public:
  Shaper(const ShapedDualSpec<Real>& spec, const EnergyMapping<Real>& mapping)
      : spec_(spec), mapping_(mapping), sign_(spec.topology.rays_cross_axis ? Real(-1) : Real(1)) {}

  Point<Real> at(Real theta, Real rho) const {
    Point<Real> p;
    if (!std::isfinite(rho) || !(rho > Real(0))) {
      p.problem = "at feed angle " + degrees(theta) +
                  " deg the subreflector runs into the feed (its distance from the feed falls to 0).";
      return p;
    }
    p.x = mapping_.radius(theta);
    p.ray = reflected_ray(theta, rho, sign_ * p.x, spec_.path_length);
    const auto& r = p.ray;
    if (!(r.a > Real(0)) || !std::isfinite(r.length)) {
      p.problem = "at feed angle " + degrees(theta) +
                  " deg the ray reflected by the subreflector runs parallel to the axis and never "
                  "meets the main reflector: lengthen the path length or bring the subreflector "
                  "closer to the feed.";
    } else if (!(std::abs(r.b) < r.a) || !std::isfinite(r.d_rho)) {
      p.problem = "at feed angle " + degrees(theta) +
                  " deg the main reflector would meet the subreflector (the reflected ray no "
                  "longer heads back towards the main reflector): lengthen the path length or "
                  "move the subreflector.";
    }
    return p;
  }

 private:
  const ShapedDualSpec<Real>& spec_;
  const EnergyMapping<Real>& mapping_;
  Real sign_;
};

template <RealType Real>
ShapedRay<Real> make_ray(Real theta, Real rho, const Point<Real>& p, Real sign) {
  ShapedRay<Real> out;
  out.theta = theta;
  out.sub_distance = rho;
  out.sub_r = rho * std::sin(theta);
  out.sub_z = rho * std::cos(theta);
  out.aperture_radius = p.x;
  out.main_r = sign * p.x;
  out.main_z = p.ray.main_z;
  out.reflected_angle = std::atan2(p.ray.sin_psi, p.ray.cos_psi);
  if (out.reflected_angle < Real(0)) out.reflected_angle += Real(2) * Constants<Real>::pi;
  return out;
}

// The points of the integration's steps, for the check that the surfaces
// keep apart.
template <RealType Real>
struct TracePoint {
  Real theta;
  Real sub_r, sub_z;
  Real main_r, main_z;  // main_r as the aperture radius, not signed
};

// Where the main reflector reaches up to the subreflector or through it:
// at any radius both surfaces cover, the main reflector must lie below the
// subreflector.  Empty when it nowhere does.
template <RealType Real>
std::string surfaces_meet(std::vector<TracePoint<Real>> trace) {
  if (trace.size() < 2) return {};
  std::sort(trace.begin(), trace.end(),
            [](const TracePoint<Real>& a, const TracePoint<Real>& b) { return a.theta < b.theta; });
  bool monotone = true;
  for (std::size_t i = 1; i < trace.size(); ++i) {
    if (trace[i].sub_r < trace[i - 1].sub_r) monotone = false;
  }
  const auto meets = [](const TracePoint<Real>& m, const TracePoint<Real>& s0,
                        const TracePoint<Real>& s1) {
    const Real lo = std::min(s0.sub_r, s1.sub_r), hi = std::max(s0.sub_r, s1.sub_r);
    if (m.main_r < lo || m.main_r > hi) return false;
    const Real span = s1.sub_r - s0.sub_r;
    const Real z = span != Real(0) ? s0.sub_z + (s1.sub_z - s0.sub_z) * ((m.main_r - s0.sub_r) / span)
                                   : std::min(s0.sub_z, s1.sub_z);
    return !(m.main_z < z);
  };
  for (const TracePoint<Real>& m : trace) {
    bool met = false;
    if (monotone) {
      // The sub's segment holding the main point's radius.
      const auto it = std::lower_bound(
          trace.begin(), trace.end(), m.main_r,
          [](const TracePoint<Real>& p, Real r) { return p.sub_r < r; });
      if (it != trace.begin() && it != trace.end()) met = meets(m, *(it - 1), *it);
      else if (it != trace.end() && it->sub_r == m.main_r) met = !(m.main_z < it->sub_z);
    } else {
      for (std::size_t i = 1; i < trace.size() && !met; ++i) met = meets(m, trace[i - 1], trace[i]);
    }
    if (met) {
      return "the main reflector reaches the subreflector at radius " +
             number(static_cast<double>(m.main_r)) + " (the ray of feed angle " +
             degrees(static_cast<double>(m.theta)) +
             " deg): lengthen the path length or move the subreflector away from the main "
             "reflector.";
    }
  }
  return {};
}

std::string spec_problem(double edge, double x_inner, double x_outer, double anchor,
                         double path) {
  if (!std::isfinite(edge) || !(edge > 0) || !(edge < std::numbers::pi / 2)) {
    return "the feed's edge angle must lie between 0 and 90 degrees (not included).";
  }
  if (!std::isfinite(x_inner) || !std::isfinite(x_outer) || !(x_inner >= 0) ||
      !(x_outer > x_inner)) {
    return "the aperture must run from an inner radius of 0 or more out to a larger outer "
           "radius (they are " + number(x_inner) + " and " + number(x_outer) + ").";
  }
  if (!std::isfinite(anchor) || !(anchor > 0)) {
    return "the subreflector's distance from the feed must be a positive number.";
  }
  if (!std::isfinite(path) || !(path > 0)) {
    return "the path length must be a positive number.";
  }
  return {};
}

}  // namespace

template <RealType Real>
ShapedDual<Real> shape_dual(const ShapedDualSpec<Real>& spec) {
  ShapedDual<Real> out;
  out.path_length = spec.path_length;
  out.problem = spec_problem(spec.edge_angle, spec.x_inner, spec.x_outer, spec.anchor_distance,
                             spec.path_length);
  if (!out.problem.empty()) return out;
  for (const Real t : spec.angles) {
    if (!std::isfinite(t) || t < Real(0) || t > spec.edge_angle) {
      out.problem = "a row's feed angle (" + number(static_cast<double>(t) * 180.0 / std::numbers::pi) +
                    " deg) lies outside the subreflector, 0 to " + degrees(spec.edge_angle) +
                    " deg.";
      return out;
    }
  }
  const EnergyMapping<Real> mapping(spec.feed_power, spec.aperture_power, spec.edge_angle,
                                    spec.x_inner, spec.x_outer, spec.topology.radius_increases);
  if (!mapping.problem().empty()) {
    out.problem = mapping.problem();
    return out;
  }
  const Shaper<Real> shaper(spec, mapping);
  const Real sign = spec.topology.rays_cross_axis ? Real(-1) : Real(1);

  // The rows in the order the integration meets them, away from the anchor.
  const bool from_vertex = spec.anchor == SubAnchor::vertex;
  std::vector<std::size_t> order(spec.angles.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t i, std::size_t j) {
    return from_vertex ? spec.angles[i] < spec.angles[j] : spec.angles[i] > spec.angles[j];
  });

  Real theta = from_vertex ? Real(0) : spec.edge_angle;
  Real rho = spec.anchor_distance;
  Point<Real> here = shaper.at(theta, rho);
  if (!here.problem.empty()) {
    out.problem = here.problem;
    return out;
  }
  const Real span = spec.edge_angle;
  const Real rtol = Tolerance<Real>::relative;
  const Real atol = rtol * spec.anchor_distance;
  const Real h_min = span * Real(64) * std::numeric_limits<Real>::epsilon();
  Real h = span / Real(64);
  std::vector<ShapedRay<Real>> rows(spec.angles.size());
  std::array<Real, 7> k{};
  std::vector<TracePoint<Real>> trace;
  const auto keep = [&trace](Real t, Real r, const Point<Real>& p) {
    trace.push_back({t, r * std::sin(t), r * std::cos(t), p.x, p.ray.main_z});
  };
  keep(theta, rho, here);

  // The integration always runs over the whole subreflector, so that the
  // checks of the surfaces do not depend on the rows asked.
  const Real far_end = from_vertex ? spec.edge_angle : Real(0);
  order.push_back(spec.angles.size());
  for (const std::size_t row : order) {
    const Real target = row < spec.angles.size() ? spec.angles[row] : far_end;
    while (theta != target) {
      if (out.steps >= kMaxSteps) {
        out.problem = "the integration of the subreflector takes too many steps near feed angle " +
                      degrees(theta) + " deg.";
        return out;
      }
      const Real dir = target > theta ? Real(1) : Real(-1);
      const Real left = std::abs(target - theta);
      const bool last = h >= left;
      const Real step = dir * (last ? left : h);
      // The stages; a stage at a point the geometry cannot serve shrinks the
      // step, and below the smallest step the problem is the design's.
      std::string failed;
      k[0] = here.ray.d_rho;
      for (int s = 1; s < 7 && failed.empty(); ++s) {
        Real y = rho;
        for (int j = 0; j < s; ++j) y += step * Real(kA[s][j]) * k[j];
        // The stages at the step's end take the row's angle itself.
        const Real ts = kC[s] == 1.0 ? (last ? target : theta + step) : theta + step * Real(kC[s]);
        const Point<Real> p = shaper.at(ts, y);
        if (!p.problem.empty()) failed = p.problem;
        else k[s] = p.ray.d_rho;
      }
      Real rho_new = rho;
      Real error = 0;
      if (failed.empty()) {
        for (int j = 0; j < 6; ++j) rho_new += step * Real(kA[6][j]) * k[j];
        Real e = 0;
        for (int j = 0; j < 7; ++j) e += Real(kE[j]) * k[j];
        error = std::abs(step * e) / (atol + rtol * std::max(std::abs(rho), std::abs(rho_new)));
      }
      if (!failed.empty() || !(error <= Real(1))) {
        if (std::abs(step) <= h_min) {
          out.problem = failed.empty() ? "the subreflector's equation has no finite solution near "
                                         "feed angle " + degrees(theta) + " deg."
                                       : failed;
          return out;
        }
        h = !failed.empty() || !std::isfinite(error)
                ? std::abs(step) / Real(4)
                : std::abs(step) * std::max(Real(0.2), Real(0.9) * std::pow(error, Real(-0.2)));
        h = std::max(h, h_min);
        continue;
      }
      const Real theta_new = last ? target : theta + step;
      const Point<Real> p = shaper.at(theta_new, rho_new);
      if (!p.problem.empty()) {
        out.problem = p.problem;
        return out;
      }
      ++out.steps;
      theta = theta_new;
      rho = rho_new;
      here = p;
      keep(theta, rho, here);
      const Real grow = error > Real(0) ? Real(0.9) * std::pow(error, Real(-0.2)) : Real(5);
      const Real next = std::abs(step) * std::min(Real(5), grow);
      // A short last step to a row does not shrink the steps after it.
      h = last ? std::max(h, next) : next;
    }
    if (row < rows.size()) rows[row] = make_ray(theta, rho, here, sign);
  }
  out.problem = surfaces_meet(std::move(trace));
  if (out.problem.empty()) out.rays = std::move(rows);
  return out;
}

#define RAVOST_INSTANTIATE(Real)                                                         \
  template std::vector<Real> even_angles<Real>(Real, int);                               \
  template ReflectedRay<Real> reflected_ray<Real>(Real, Real, Real, Real);               \
  template Real path_length_for_main_height<Real>(Real, Real, Real);                     \
  template class EnergyMapping<Real>;                                                    \
  template ShapedDual<Real> shape_dual<Real>(const ShapedDualSpec<Real>&);
RAVOST_INSTANTIATE(float)
RAVOST_INSTANTIATE(double)
#undef RAVOST_INSTANTIATE

}  // namespace design
