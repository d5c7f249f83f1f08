#include "design/scaled.h"

#include <algorithm>
#include <cmath>
#include <span>

#include "numerics/interp.h"

namespace design {
namespace {

// Largest scaled coordinate accepted.  Spline evaluation squares and cubes
// differences of radii; below this bound those stay far from the 32-bit
// overflow at 3.4e38, so no listing or file can show an infinity or a NaN.
template <RealType Real>
constexpr Real kLargestCoordinate = static_cast<Real>(1.0e15f);

// End slope that asks SPLINE for the natural condition at that end.
template <RealType Real>
constexpr Real kNaturalEnd = static_cast<Real>(1.0e30f);

// The POLINT window: the cubic through the outermost points.
constexpr int kExtrapolationPoints = 4;

// The most rows one listing may hold.  The row count follows from three
// free-form reals, so a tiny step could otherwise ask for billions of rows.
constexpr double kMaxListRows = 1.0e6;

template <RealType Real>
bool usable(Real v) {
  return std::isfinite(v) && std::fabs(v) <= kLargestCoordinate<Real>;
}

// The four columns of a ray table, in ray order.
template <RealType Real>
struct Columns {
  std::vector<Real> sub_r, sub_z, main_r, main_z;
};

template <RealType Real>
Columns<Real> columns(const RayTable<Real>& table) {
  Columns<Real> c;
  for (const Ray<Real>& ray : table.rays) {
    c.sub_r.push_back(ray.sub_r);
    c.sub_z.push_back(ray.sub_z);
    c.main_r.push_back(ray.main_r);
    c.main_z.push_back(ray.main_z);
  }
  return c;
}

template <RealType Real>
void sort_both(Columns<Real>& c) {
  const int n = static_cast<int>(c.sub_r.size());
  numerics::SORT2<Real>(n, c.sub_r, c.sub_z);
  numerics::SORT2<Real>(n, c.main_r, c.main_z);
}

// True when the radii are strictly increasing after scaling wherever they were
// before: scaling must not merge two points into one abscissa, which would
// leave the spline dividing by zero.
template <RealType Real>
bool keeps_points_apart(const std::vector<Real>& before, const std::vector<Real>& after) {
  for (std::size_t i = 1; i < before.size(); ++i) {
    if (before[i] > before[i - 1] && !(after[i] > after[i - 1])) return false;
  }
  return true;
}

// The outermost points of the subreflector that the extrapolation uses.
template <RealType Real>
std::pair<int, int> window(const ScaledDesign<Real>& s) {
  const int n = static_cast<int>(s.sub_r.size());
  const int first = std::max(0, n - kExtrapolationPoints);
  return {first, n - first};
}

// False when `rim_radius` lies so far out that, seen from it, two distinct
// radii of the extrapolation window round to the same distance: Neville's
// scheme would then divide by zero.
template <RealType Real>
bool reachable_by_polint(const ScaledDesign<Real>& s, Real rim_radius) {
  const auto [first, count] = window(s);
  const int n = first + count;
  for (int i = first; i < n; ++i) {
    for (int j = i + 1; j < n; ++j) {
      const Real ho = s.sub_r[i] - rim_radius;
      const Real hp = s.sub_r[j] - rim_radius;
      if (s.sub_r[i] != s.sub_r[j] && ho - hp == Real(0)) return false;
    }
  }
  return true;
}

}  // namespace

template <RealType Real>
Real Profile<Real>::height(Real radius) const {
  Real h = 0;
  numerics::SPLINT<Real>(r, z, y2, size(), radius, h, pause);
  return h;
}

template <RealType Real>
Profile<Real> ScaledDesign<Real>::profile(Reflector which, numerics::PauseHandler pause) const {
  Profile<Real> p;
  p.r = which == Reflector::main ? main_r : sub_r;
  p.z = which == Reflector::main ? main_z : sub_z;
  p.y2.assign(p.r.size(), Real(0));
  numerics::SPLINE<Real>(p.r, p.z, p.size(), kNaturalEnd<Real>, kNaturalEnd<Real>, p.y2);
  p.pause = std::move(pause);
  return p;
}

template <RealType Real>
ScaledDesign<Real> scale(const RayTable<Real>& table, Real main_diameter, Real main_inner_radius) {
  ScaledDesign<Real> s;
  s.main_diameter = main_diameter;
  s.design_scale = main_diameter / Real(2);
  Columns<Real> c = columns(table);
  sort_both(c);
  for (std::size_t i = 0; i < c.sub_r.size(); ++i) {
    c.sub_r[i] = c.sub_r[i] * s.design_scale;
    c.main_r[i] = c.main_r[i] * s.design_scale;
    c.sub_z[i] = c.sub_z[i] * s.design_scale;
    c.main_z[i] = c.main_z[i] * s.design_scale;
  }
  if (!c.sub_r.empty()) {
    c.sub_r[0] = Real(0);
    c.main_r[0] = main_inner_radius * s.design_scale;
  }
  s.sub_r = std::move(c.sub_r);
  s.sub_z = std::move(c.sub_z);
  s.main_r = std::move(c.main_r);
  s.main_z = std::move(c.main_z);
  if (!s.sub_r.empty()) s.sub_rim_diameter = s.sub_r.back() * Real(2);
  return s;
}

template <RealType Real>
std::string scaling_problem(const RayTable<Real>& table, Real main_diameter,
                            Real main_inner_radius) {
  if (!(main_diameter > Real(0))) return "The main reflector diameter must be greater than 0.";
  const ScaledDesign<Real> s = scale(table, main_diameter, main_inner_radius);
  for (std::size_t i = 0; i < s.sub_r.size(); ++i) {
    if (!usable(s.sub_r[i]) || !usable(s.sub_z[i]) || !usable(s.main_r[i]) ||
        !usable(s.main_z[i])) {
      return "The main reflector diameter is too large for this design.";
    }
  }
  Columns<Real> sorted = columns(table);
  sort_both(sorted);
  if (!keeps_points_apart(sorted.sub_r, s.sub_r) || !keeps_points_apart(sorted.main_r, s.main_r)) {
    return "The main reflector diameter is too small for this design.";
  }
  return {};
}

template <RealType Real>
Extrapolation<Real> extrapolation(const ScaledDesign<Real>& s, Real new_diameter,
                                  const numerics::PauseHandler& pause) {
  using Problem = typename Extrapolation<Real>::Problem;
  Extrapolation<Real> e;
  e.rim_radius = new_diameter / Real(2);
  // The new point must lie beyond the last one, or the spline's radii would
  // no longer increase.
  if (!(e.rim_radius > s.sub_r.back())) {
    e.problem = Problem::not_beyond_rim;
    return e;
  }
  const bool reachable = usable(e.rim_radius) && reachable_by_polint(s, e.rim_radius);
  if (reachable) {
    const auto [first, count] = window(s);
    Real dz = 0;
    numerics::POLINT<Real>(std::span<const Real>(s.sub_r).subspan(first, count),
                           std::span<const Real>(s.sub_z).subspan(first, count), count,
                           e.rim_radius, e.rim_z, dz, pause);
  }
  if (!reachable || !usable(e.rim_z)) e.problem = Problem::too_far;
  return e;
}

template <RealType Real>
void extend_sub(ScaledDesign<Real>& s, Real new_diameter, const Extrapolation<Real>& e) {
  s.sub_rim_diameter = new_diameter;
  s.sub_r.push_back(e.rim_radius);
  s.sub_z.push_back(e.rim_z);
}

template <RealType Real>
int list_row_count(Real start, Real stop, Real step) {
  if (step == Real(0)) return 0;
  // In 32 bits the established 1.2 is the 32-bit real nearest it.
  constexpr double kAllowance = static_cast<double>(static_cast<Real>(1.2));
  const double quotient =
      (static_cast<double>(stop) - static_cast<double>(start)) / static_cast<double>(step) +
      kAllowance;
  if (quotient < 1.0) return 0;
  if (!(quotient < kMaxListRows + 1.0)) return -1;
  return static_cast<int>(quotient);
}

#define RAVOST_INSTANTIATE(Real)                                                              \
  template struct Profile<Real>;                                                              \
  template struct ScaledDesign<Real>;                                                         \
  template std::string scaling_problem<Real>(const RayTable<Real>&, Real, Real);              \
  template ScaledDesign<Real> scale<Real>(const RayTable<Real>&, Real, Real);                 \
  template Extrapolation<Real> extrapolation<Real>(const ScaledDesign<Real>&, Real,           \
                                                   const numerics::PauseHandler&);            \
  template void extend_sub<Real>(ScaledDesign<Real>&, Real, const Extrapolation<Real>&);      \
  template int list_row_count<Real>(Real, Real, Real);
RAVOST_INSTANTIATE(float)
RAVOST_INSTANTIATE(double)
#undef RAVOST_INSTANTIATE

}  // namespace design
