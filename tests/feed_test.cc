// The feed pattern's exponent and the feed and aperture power integrals.
#include "ravost/feed.h"

#include <gtest/gtest.h>

#include <cmath>

namespace ravost {
namespace {

constexpr float kDeg = 3.1415927f / 180.0f;
// The 32-point rule on a smooth integrand: about six significant digits.
constexpr float kQuadrature = 1e-5f;

Design feed_design(float half_angle_deg, float beamwidth, float level) {
  Design d;
  d.pi = 3.1415927f;
  d.deg = kDeg;
  d.feed_half_angle = half_angle_deg * kDeg;
  d.feed_beamwidth = beamwidth;
  d.beamwidth_level_db = level;
  return d;
}

TEST(FeedExponent, FortyDegreesAtTenDbGivesAboutSeventyFive) {
  const float n = exponent_for_beamwidth(40.0f, -10.0f, kDeg);
  EXPECT_NEAR(n, 75.2f, 0.05f);
  EXPECT_EQ(exponent_for_beamwidth(40.0f, 10.0f, kDeg), n);  // the sign of the level is dropped
  // The pattern is 10 dB down at the beam edge.
  EXPECT_NEAR(std::pow(std::cos(10.0f * kDeg), 2.0f * n), 0.1f, 0.1f * kQuadrature);
  EXPECT_EQ(exponent_for_beamwidth(40.0f, 0.0f, kDeg), 0.0f);
}

TEST(FeedExponent, IsUndefinedForNoBeamOrAFullTurn) {
  EXPECT_FALSE(std::isfinite(exponent_for_beamwidth(0.0f, -10.0f, kDeg)));
  EXPECT_FALSE(std::isfinite(exponent_for_beamwidth(360.0f, -10.0f, kDeg)));
  EXPECT_FALSE(std::isfinite(exponent_for_beamwidth(400.0f, -10.0f, kDeg)));
}

TEST(FeedPower, AgreesWithTheClosedForm) {
  struct Case { float half_angle, beamwidth, level; };
  for (Case c : {Case{26.565f, 40.0f, -10.0f}, Case{30.0f, 60.0f, -12.0f}, Case{10.0f, 90.0f, -3.0f},
                 Case{45.0f, 40.0f, 0.0f}}) {
    Design d = feed_design(c.half_angle, c.beamwidth, c.level);
    d.ray_state[ray::main_z] = -0.6f;
    set_feed_power(d);
    const double n = d.feed_exponent;
    const double t = d.feed_half_angle;
    // 2 (1 - cos(t/2)^(2n+2)) / (n + 1)
    const double want = 2.0 * (1.0 - std::pow(std::cos(t / 2.0), 2.0 * n + 2.0)) / (n + 1.0);
    EXPECT_NEAR(d.feed_power, want, want * double{kQuadrature}) << c.half_angle << " " << c.beamwidth;
    EXPECT_EQ(d.ray_state[ray::feed_exponent], d.feed_exponent);
    EXPECT_EQ(d.ray_state[ray::main_z], -0.6f);  // parameters pass untouched
  }
  // A flat feed (0 dB) radiates 1 - cos(half angle).
  Design flat = feed_design(45.0f, 40.0f, 0.0f);
  set_feed_power(flat);
  EXPECT_NEAR(flat.feed_power, 1.0f - std::cos(45.0f * kDeg), kQuadrature);
}

TEST(FeedPower, IntegrandReadsAngleAndExponentFromTheVector) {
  RayState v{};
  v[ray::radius] = 3.1415927f / 2.0f;
  v[ray::feed_exponent] = 1.0f;
  EXPECT_NEAR(FPOWR(v), 0.5f, 1e-6f);  // cos(45 deg)^2 * sin(90 deg)
}

TEST(AperturePower, UniformIsTheRingAreaAndGaussianItsClosedForm) {
  Design d = feed_design(26.565f, 40.0f, -10.0f);
  d.main_inner_radius = 0.1f;
  d.apert.distribution_kind = 1;
  set_aperture_power(d);
  EXPECT_NEAR(d.aperture_power, 0.495f, 1e-6f);  // (1 - 0.1^2) / 2

  d.apert.distribution_kind = 2;
  d.apert.edge_taper_db = 10.0f;
  set_aperture_power(d);
  // integral of r e^(-k r) = -e^(-k r) (k r + 1) / k^2, k = 2 T / 8.686
  const double k = 2.0 * 10.0 / 8.686;
  auto prim = [k](double r) { return -std::exp(-k * r) * (k * r + 1.0) / (k * k); };
  EXPECT_NEAR(d.aperture_power, prim(1.0) - prim(0.1), 0.2 * double{kQuadrature});

  d.apert.distribution_kind = 0;
  set_aperture_power(d);
  EXPECT_EQ(d.aperture_power, 0.0f);
}

TEST(PowerRatio, GoesIntoTheVectorWithTheStartingRadius) {
  Design d = feed_design(26.565f, 40.0f, -10.0f);
  d.main_inner_radius = 0.1f;
  d.apert.distribution_kind = 1;
  set_feed_power(d);
  set_aperture_power(d);
  EXPECT_NE(d.ray_state[ray::radius], 0.1f);  // the quadrature's last abscissa
  set_power_ratio(d);
  EXPECT_EQ(d.power_ratio, d.feed_power / d.aperture_power);
  EXPECT_EQ(d.ray_state[ray::power_ratio], d.power_ratio);
  EXPECT_EQ(d.ray_state[ray::radius], 0.1f);
}

}  // namespace
}  // namespace ravost
