#include "design/feed.h"

#include <array>
#include <boost/math/quadrature/gauss.hpp>
#include <cmath>
#include <limits>
#include <span>

#include "numerics/glint.h"

namespace design {
namespace {

// Order of the Gauss-Legendre rule for both power integrals.
constexpr int kQuadratureOrder = 32;

// Integrates f from a to b with the 32-point rule of the design's precision.
// The 32-bit rule hands the abscissa in element 0 of a vector, as GLINT does.
template <class F>
float integrate(float a, float b, F f) {
  std::array<float, 1> v{};
  float result = 0.0f;
  numerics::GLINT(
      a, b, v, [&f](std::span<const float> x) { return f(x[0]); }, kQuadratureOrder, result);
  return result;
}

template <class F>
double integrate(double a, double b, F f) {
  // The 64-bit rule refuses bounds that are not finite; like the 32-bit
  // rule, a design with such a bound gets a NaN for validate() to find.
  if (!std::isfinite(a) || !std::isfinite(b)) return std::numeric_limits<double>::quiet_NaN();
  return boost::math::quadrature::gauss<double, kQuadratureOrder>::integrate(f, a, b);
}

}  // namespace

template <RealType Real>
BeamwidthFeed<Real> BeamwidthFeed<Real>::make(Real beamwidth_deg, Real level_db) {
  return {beamwidth_deg, level_db, feed_exponent_for(beamwidth_deg, level_db)};
}

template <RealType Real>
Real BeamwidthFeed<Real>::enclosed_power(Real half_angle_rad) const {
  return feed_power(exponent, half_angle_rad);
}

template <RealType Real>
double BeamwidthFeed<Real>::enclosed_power_exact(double theta, double n) {
  return -4.0 * std::expm1((2.0 * n + 2.0) * std::log(std::cos(0.5 * theta))) / (2.0 * n + 2.0);
}

template <RealType Real>
Real feed_exponent_for(Real beamwidth_deg, Real level_db) {
  // d = 20 log10(cos(B (pi/180) / 4)): level of (cos(theta/2))^2 at theta = B/2
  const Real d = Real(20) * std::log10(std::cos(beamwidth_deg * Constants<Real>::deg / Real(4)));
  // n = -|L| / d
  return -std::fabs(level_db) / d;
}

template <RealType Real>
Real feed_power(Real feed_exponent, Real half_angle_rad) {
  return integrate(Real(0), half_angle_rad,
                   [feed_exponent](Real theta) { return feed_power_integrand(theta, feed_exponent); });
}

template <RealType Real>
Real aperture_power(const Aperture<Real>& aperture, Real inner_radius) {
  return integrate(inner_radius, Real(1), [&aperture](Real r) { return aperture.density(r) * r; });
}

#define RAVOST_INSTANTIATE(Real)                                        \
  template struct BeamwidthFeed<Real>;                                  \
  template Real feed_exponent_for<Real>(Real, Real);                    \
  template Real feed_power<Real>(Real, Real);                           \
  template Real aperture_power<Real>(const Aperture<Real>&, Real);
RAVOST_INSTANTIATE(float)
RAVOST_INSTANTIATE(double)
#undef RAVOST_INSTANTIATE

}  // namespace design
