#include "ravost/feed.h"

#include <cmath>

#include "numerics/glint.h"
#include "ravost/aperture.h"

namespace ravost {
namespace {

// Order of the Gauss-Legendre rule for both power integrals.
constexpr int kQuadratureOrder = 32;

}  // namespace

float FPOWR(std::span<const float> v) {
  const float theta = v[ray::radius];
  const float n = v[ray::feed_exponent];
  // (cos(theta/2))^(2n) sin(theta)
  return std::pow(std::cos(theta / 2.0f), 2.0f * n) * std::sin(theta);
}

float APRPI(const APERT& apert, std::span<const float> v) {
  return APPL(apert, v) * v[ray::radius];
}

float exponent_for_beamwidth(float beamwidth_deg, float level_db, float deg) {
  // d = 20 log10(cos(B (pi/180) / 4)): level of (cos(theta/2))^2 at theta = B/2
  const float d = 20.0f * std::log10(std::cos(beamwidth_deg * deg / 4.0f));
  // n = -|L| / d
  return -std::fabs(level_db) / d;
}

void set_feed_power(Design& d) {
  d.feed_exponent = exponent_for_beamwidth(d.feed_beamwidth, d.beamwidth_level_db, d.deg);
  d.ray_state[ray::feed_exponent] = d.feed_exponent;
  numerics::GLINT(0.0f, d.feed_half_angle, d.ray_state, FPOWR, kQuadratureOrder, d.feed_power);
}

void set_aperture_power(Design& d) {
  const int kind = d.apert.distribution_kind;
  if (kind < 1 || kind > 3) {
    d.aperture_power = 0.0f;
    return;
  }
  const APERT& apert = d.apert;
  auto integrand = [&apert](std::span<const float> v) { return APRPI(apert, v); };
  numerics::GLINT(d.main_inner_radius, 1.0f, d.ray_state, integrand, kQuadratureOrder,
                  d.aperture_power);
}

void set_power_ratio(Design& d) {
  d.power_ratio = d.feed_power / d.aperture_power;
  d.ray_state[ray::power_ratio] = d.power_ratio;
  d.ray_state[ray::radius] = d.main_inner_radius;
}

}  // namespace ravost
