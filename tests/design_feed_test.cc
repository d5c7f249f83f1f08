// The feed pattern's exponent and the feed and aperture power integrals, in
// both real types against their closed forms.
#include "design/feed.h"

#include <gtest/gtest.h>

#include <cmath>

#include "design/choices.h"
#include "tests/test_util.h"

namespace design {
namespace {

constexpr float kDeg = Constants<float>::deg;
// The 32-point rule on a smooth integrand: about six significant digits in
// 32 bits, close to full precision in 64 bits.
constexpr double kQuadrature = 1e-5;
constexpr double kQuadrature64 = 1e-12;

TEST(FeedExponent, FortyDegreesAtTenDbGivesAboutSeventyFive) {
  const float n = feed_exponent_for(40.0f, -10.0f);
  EXPECT_NEAR(n, 75.2f, 0.05f);
  EXPECT_EQ(feed_exponent_for(40.0f, 10.0f), n);  // the sign of the level is dropped
  // The pattern is 10 dB down at the beam edge.
  EXPECT_NEAR(std::pow(std::cos(10.0f * kDeg), 2.0f * n), 0.1f, 0.1 * kQuadrature);
  EXPECT_EQ(feed_exponent_for(40.0f, 0.0f), 0.0f);
  EXPECT_NEAR(std::pow(std::cos(10.0 * Constants<double>::deg), 2.0 * feed_exponent_for(40.0, -10.0)),
              0.1, 1e-14);
}

TEST(FeedExponent, IsUndefinedForNoBeamOrAFullTurn) {
  for (float b : {0.0f, 360.0f, 400.0f}) EXPECT_FALSE(std::isfinite(feed_exponent_for(b, -10.0f))) << b;
}

// 2 (1 - cos(t/2)^(2n+2)) / (n + 1)
double closed_form_feed_power(double n, double t) {
  return 2.0 * (1.0 - std::pow(std::cos(t / 2.0), 2.0 * n + 2.0)) / (n + 1.0);
}

TEST(FeedPower, AgreesWithTheClosedForm) {
  struct Case { double half_angle, beamwidth, level; };
  for (Case c : {Case{26.565, 40.0, -10.0}, Case{30.0, 60.0, -12.0}, Case{10.0, 90.0, -3.0},
                 Case{45.0, 40.0, 0.0}}) {
    const float n = feed_exponent_for(static_cast<float>(c.beamwidth), static_cast<float>(c.level));
    const float t = static_cast<float>(c.half_angle) * kDeg;
    const double want = closed_form_feed_power(n, t);
    EXPECT_NEAR(feed_power(n, t), want, want * kQuadrature) << c.half_angle << " " << c.beamwidth;

    const double n64 = feed_exponent_for(c.beamwidth, c.level);
    const double t64 = c.half_angle * Constants<double>::deg;
    const double want64 = closed_form_feed_power(n64, t64);
    EXPECT_NEAR(feed_power(n64, t64), want64, want64 * kQuadrature64) << c.half_angle;
  }
  // A flat feed (0 dB) radiates 1 - cos(half angle).
  EXPECT_NEAR(feed_power(0.0f, 45.0f * kDeg), 1.0f - std::cos(45.0f * kDeg), kQuadrature);
  EXPECT_NEAR(feed_power_integrand(3.1415927f / 2.0f, 1.0f), 0.5f, 1e-6f);  // cos(45)^2 sin(90)
}

TEST(AperturePower, UniformIsTheRingAreaAndGaussianItsClosedForm) {
  EXPECT_NEAR(aperture_power(uniform_aperture<float>(), 0.1f), 0.495f, 1e-6f);  // (1 - 0.1^2) / 2
  EXPECT_NEAR(aperture_power(uniform_aperture<double>(), 0.1), 0.495, 1e-14);

  // integral of r e^(-k r) = -e^(-k r) (k r + 1) / k^2, k = 2 T / 8.686
  const double k = 2.0 * 10.0 / 8.686;
  auto prim = [k](double r) { return -std::exp(-k * r) * (k * r + 1.0) / (k * k); };
  const double want = prim(1.0) - prim(0.1);
  EXPECT_NEAR(aperture_power(gaussian_aperture(10.0f), 0.1f), want, 0.2 * kQuadrature);
  EXPECT_NEAR(aperture_power(gaussian_aperture(10.0), 0.1), want, want * kQuadrature64);

  Aperture<float> unknown;
  unknown.kind = static_cast<Distribution>(0);
  EXPECT_EQ(aperture_power(unknown, 0.1f), 0.0f);
}

TEST(PowerRatio, IsTheFeedPowerOverTheAperturePower) {
  DesignSpec choices = testutil::example_choices();
  choices.geometry.main_inner_radius = 0.1;
  const Design<float> d = make_design<float>(choices);
  EXPECT_EQ(d.feed.exponent, feed_exponent_for(40.0f, -10.0f));
  EXPECT_EQ(d.feed_power, feed_power(d.feed.exponent, d.feed_half_angle_rad));
  EXPECT_EQ(d.aperture_power, aperture_power(d.aperture, 0.1f));
  EXPECT_EQ(d.power_ratio, d.feed_power / d.aperture_power);
}

TEST(BeamwidthFeed, IsTheOnePatternTheFreeFunctionsAndTheClosedFormAgreeWith) {
  const BeamwidthFeed<float> f = BeamwidthFeed<float>::make(40.0f, -10.0f);
  EXPECT_EQ(f.exponent, feed_exponent_for(40.0f, -10.0f));
  for (float t : {0.0f, 0.1f, 0.4636476f, 1.5f}) {
    EXPECT_EQ(f.pattern(t), BeamwidthFeed<float>::pattern_of(t, f.exponent));
    EXPECT_EQ(f.power_integrand(t), feed_power_integrand(t, f.exponent)) << t;
  }
  EXPECT_FLOAT_EQ(f.pattern(20.0f * kDeg), 0.1f);  // -10 dB at half the beamwidth
  EXPECT_EQ(f.enclosed_power(0.4f), feed_power(f.exponent, 0.4f));

  // The closed form 2 (1 - cos(t/2)^(2n+2)) / (n + 1): 1 - cos(t) for n = 0.
  for (double n : {0.0, 0.5, 75.2}) {
    for (double t : {0.46, 2.0}) {
      const double want = closed_form_feed_power(n, t);
      EXPECT_NEAR(BeamwidthFeed<double>::enclosed_power_exact(t, n), want, want * 1e-13) << n << " " << t;
    }
  }
  EXPECT_NEAR(BeamwidthFeed<double>::enclosed_power_exact(2.0, 0.0), 1.0 - std::cos(2.0), 1e-15);
  EXPECT_EQ(BeamwidthFeed<double>::enclosed_power_exact(0.0, 75.2), 0.0);
  const BeamwidthFeed<double> wide = BeamwidthFeed<double>::make(40.0, -10.0);
  const double exact = BeamwidthFeed<double>::enclosed_power_exact(0.46, wide.exponent);
  EXPECT_NEAR(wide.enclosed_power(0.46), exact, exact * kQuadrature64);
}

}  // namespace
}  // namespace design
