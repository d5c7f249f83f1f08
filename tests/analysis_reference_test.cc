// The reference synthesis the design report is checked against.
#include <gtest/gtest.h>

#include <boost/math/special_functions/bessel.hpp>
#include <cmath>

#include "reference_design.h"

namespace {

constexpr double kDeg = 180.0 / M_PI;

TEST(ReferenceDesign, FeedExponentGivesTheBeamwidthLevel) {
  const double n = test::feed_exponent(40.0, -10.0);
  EXPECT_NEAR(n, 75.2, 0.1);
  // The power pattern is 10 dB down at half the beamwidth.
  EXPECT_NEAR(10.0 * std::log10(std::pow(std::cos(20.0 / 2 / kDeg), 2 * n)), -10.0, 1e-9);
}

TEST(ReferenceDesign, UniformExampleMatchesTheProgramsRayTable) {
  // The example run's ray table (32-bit program): first ray, and the ray
  // at main radius 0.99999 near the axis of the feed.
  const test::Geometry g;
  const double n = test::feed_exponent(40.0, -10.0);
  const auto rays = test::reference_rays(g, n, test::uniform().density, {0.12, 0.14, 0.97999, 0.99999, 1.0});
  EXPECT_NEAR(rays[0].theta * kDeg, 26.57, 0.005);
  EXPECT_NEAR(rays[0].sub_z, 0.5, 1e-12);
  EXPECT_NEAR(rays[0].sub_r, 0.25, 1e-12);
  EXPECT_NEAR(rays[0].main_z, -0.2, 1e-12);
  EXPECT_NEAR(rays[1].theta * kDeg, 25.66, 0.005);
  EXPECT_NEAR(rays[1].sub_z, 0.50273, 2e-5);
  EXPECT_NEAR(rays[1].sub_r, 0.24147, 2e-5);
  EXPECT_NEAR(rays[1].main_z, -0.20164, 2e-5);
  EXPECT_NEAR(rays[2].theta * kDeg, 2.64, 0.01);
  EXPECT_NEAR(rays[2].main_z, 0.04542, 5e-5);
  // Next to the rim theta changes as sqrt(1 - r); the 32-bit table is
  // good to about 1e-4 there.
  EXPECT_NEAR(rays[3].sub_z, 0.45466, 1e-4);
  EXPECT_NEAR(rays[3].main_z, 0.05869, 1e-4);
  EXPECT_NEAR(rays[0].path, 1.47099, 1e-5);
  // The axial ray lands on the rim.
  EXPECT_NEAR(rays[4].theta, 0.0, 1e-12);
  EXPECT_NEAR(rays[4].sub_r, 0.0, 1e-12);
}

TEST(ReferenceDesign, PathLengthIsConstantAndTheIntegrationConverged) {
  const test::Geometry g;
  const double n = test::feed_exponent(40.0, -10.0);
  for (const auto& dist : {test::uniform(), test::gaussian(12.0), test::taylor(25.0, 4)}) {
    SCOPED_TRACE(dist.name);
    const auto radii = test::even_radii(g.hole_radius, 45);
    const auto fine = test::reference_rays(g, n, dist.density, radii, 8000);
    const auto coarse = test::reference_rays(g, n, dist.density, radii, 1000);
    ASSERT_EQ(fine.size(), radii.size());
    for (std::size_t i = 0; i < fine.size(); ++i) {
      EXPECT_NEAR(fine[i].main_r, radii[i], 1e-12);
      EXPECT_NEAR(fine[i].path, fine[0].path, 1e-11);
      EXPECT_NEAR(fine[i].sub_z, coarse[i].sub_z, 1e-10);
      EXPECT_NEAR(fine[i].main_z, coarse[i].main_z, 1e-10);
      if (i > 0) {
        EXPECT_LT(fine[i].theta, fine[i - 1].theta);
      }
    }
    EXPECT_EQ(fine.back().theta, 0.0);
  }
}

TEST(ReferenceDesign, DistributionsAreOneOnTheAxisWithTheirEdgeLevels) {
  EXPECT_DOUBLE_EQ(test::uniform().density(0.7), 1.0);
  const auto gauss = test::gaussian(12.0);
  EXPECT_DOUBLE_EQ(gauss.density(0.0), 1.0);
  EXPECT_NEAR(10.0 * std::log10(gauss.density(1.0)), -12.0, 0.001);
  EXPECT_NEAR(10.0 * std::log10(gauss.density(0.5)), -6.0, 0.001);
  const auto tay = test::taylor(25.0, 4);
  EXPECT_NEAR(tay.density(0.0), 1.0, 1e-12);
  // Falls towards the rim, with zero slope there (a sum of J0(j1 r) terms).
  EXPECT_LT(tay.density(1.0), tay.density(0.5));
  EXPECT_NEAR(tay.density(1.0), tay.density(0.999), 1e-5);
}

TEST(ReferenceDesign, ScaledProfilesIncreaseInRadiusFromTheAxisAndTheHole) {
  const test::Geometry g;
  const auto rays = test::reference_rays(g, 75.0, test::uniform().density, test::even_radii(g.hole_radius, 21));
  auto p = test::scaled_profiles(rays, 100.0);
  EXPECT_EQ(p.sub_r[0], 0.0);
  EXPECT_NEAR(p.sub_r.back(), 12.5, 1e-9);
  EXPECT_NEAR(p.main_r[0], 6.0, 1e-9);
  EXPECT_NEAR(p.main_r.back(), 50.0, 1e-9);
  for (std::size_t i = 1; i < p.sub_r.size(); ++i) EXPECT_GT(p.sub_r[i], p.sub_r[i - 1]);
  for (std::size_t i = 1; i < p.main_r.size(); ++i) EXPECT_GT(p.main_r[i], p.main_r[i - 1]);
  test::extend_subreflector(p, 13.0);
  EXPECT_EQ(p.sub_r.back(), 13.0);
  EXPECT_EQ(p.sub_r.size(), 22u);
}

}  // namespace
