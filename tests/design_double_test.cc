// The 64-bit design against an independent solution of the same equations in
// long double: at a calculation interval of 1e-5, where 32-bit rounding moves
// the path length by several units in its fifth digit, the 64-bit ray table
// agrees with it to every printed digit.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "design/feed.h"
#include "design/choices.h"
#include "design/synthesis.h"
#include "tests/test_util.h"

namespace {

using Real = long double;

// One ray of the independent solution.
struct Point {
  Real theta, distance, main_z;
};

// d(theta, R, z_m)/dr for the uniform aperture and a feed pattern
// cos(theta/2)^(2n): power conservation, reflection at the subreflector
// (half the angle between the incoming and outgoing rays) and reflection into
// the axis at the main reflector.
Point slope(Real r, const Point& p, Real k, Real n) {
  const Real c = std::pow(std::cos(p.theta / 2), 2 * n);
  const Real d_theta = -(r * k) / (std::sin(p.theta) * c);
  const Real xs = p.distance * std::sin(p.theta);
  const Real zs = p.distance * std::cos(p.theta);
  const Real phi = std::atan((r - xs) / (zs - p.main_z));
  return {d_theta, std::tan((phi + p.theta) / 2) * d_theta * p.distance, std::tan(phi / 2)};
}

TEST(DesignDouble, RayTableAgreesWithAnIndependentLongDoubleSolutionToThePrintedDigits) {
  design::DesignSpec choices = testutil::example_choices();
  choices.synthesis.calc_interval = 1e-5;
  choices.precision = design::Precision::double_;
  const design::Design<double> in = design::make_design<double>(choices);
  const design::RayTable<double> table = design::synthesize(in);
  ASSERT_EQ(table.rays.size(), 45u);

  // Independently: the feed power to the subreflector rim in closed form,
  // int_0^a cos(t/2)^(2n) sin t dt = 4 (1 - cos(a/2)^(2n+2)) / (2n + 2), and
  // the uniform aperture power (1 - r0^2)/2.
  const Real n = in.feed.exponent;
  const Real a = std::atan(Real(0.25) / Real(0.5));
  const Real feed = 4 * (1 - std::pow(std::cos(a / 2), 2 * n + 2)) / (2 * n + 2);
  const Real k = feed / ((1 - Real(0.12) * Real(0.12)) / 2);
  Point p{a, Real(0.25) / std::sin(a), Real(-0.2)};
  Real r = 0.12L;
  const Real h = 1e-5L;
  for (std::size_t row = 0; row < table.rays.size(); ++row) {
    if (row > 0) {
      for (int step = 0; step < 2000; ++step) {
        const Point k1 = slope(r, p, k, n);
        const Point k2 = slope(r + h / 2, {p.theta + h / 2 * k1.theta, p.distance + h / 2 * k1.distance, p.main_z + h / 2 * k1.main_z}, k, n);
        const Point k3 = slope(r + h / 2, {p.theta + h / 2 * k2.theta, p.distance + h / 2 * k2.distance, p.main_z + h / 2 * k2.main_z}, k, n);
        const Point k4 = slope(r + h, {p.theta + h * k3.theta, p.distance + h * k3.distance, p.main_z + h * k3.main_z}, k, n);
        p.theta += h / 6 * (k1.theta + 2 * k2.theta + 2 * k3.theta + k4.theta);
        p.distance += h / 6 * (k1.distance + 2 * k2.distance + 2 * k3.distance + k4.distance);
        p.main_z += h / 6 * (k1.main_z + 2 * k2.main_z + 2 * k3.main_z + k4.main_z);
        r = 0.12L + static_cast<Real>((row - 1) * 2000 + step + 1) * h;
      }
    }
    const design::Ray<double> ray = table.rays[row];
    const Real xs = p.distance * std::sin(p.theta);
    const Real zs = p.distance * std::cos(p.theta);
    const Real path = std::hypot(xs - r, zs - p.main_z) + std::hypot(xs, zs) - p.main_z;
    // Printed as F7.2 (angle), F8.5 (coordinates) and 1PE12.5 (path length).
    EXPECT_NEAR(ray.feed_angle_deg, static_cast<double>(p.theta * 180 / std::acos(Real(-1))), 5e-3) << row;
    EXPECT_NEAR(ray.sub_z, static_cast<double>(zs), 5e-6) << row;
    EXPECT_NEAR(ray.sub_r, static_cast<double>(xs), 5e-6) << row;
    EXPECT_NEAR(ray.main_z, static_cast<double>(p.main_z), 5e-6) << row;
    EXPECT_NEAR(ray.main_r, static_cast<double>(r), 5e-6) << row;
    EXPECT_NEAR(ray.path_length, static_cast<double>(path), 5e-6) << row;
  }
}

// The 64-bit Taylor amplitude from its Chebyshev series gives the ray table of
// the Bessel sum: the two designs differ by rounding alone, far below the
// printed digits.
TEST(DesignDouble, TaylorRayTableFromTheChebyshevSeriesIsThatOfTheBesselSum) {
  design::DesignSpec choices = testutil::example_choices();
  choices.aperture = {design::Distribution::taylor, 0.0, 30.0, 20};
  choices.synthesis.calc_interval = 1e-4;
  choices.precision = design::Precision::double_;
  const design::Design<double> fitted = design::make_design<double>(choices);
  ASSERT_GT(fitted.aperture.chebyshev.terms, 0);
  design::Design<double> summed = fitted;
  summed.aperture.chebyshev.terms = 0;  // back to the Bessel sum
  const design::RayTable<double> a = design::synthesize(fitted);
  const design::RayTable<double> b = design::synthesize(summed);
  ASSERT_EQ(a.rays.size(), 45u);
  ASSERT_EQ(b.rays.size(), a.rays.size());
  for (std::size_t i = 0; i < a.rays.size(); ++i) {
    EXPECT_NEAR(a.rays[i].feed_angle_deg, b.rays[i].feed_angle_deg, 1e-9) << i;
    EXPECT_NEAR(a.rays[i].sub_z, b.rays[i].sub_z, 1e-9) << i;
    EXPECT_NEAR(a.rays[i].sub_r, b.rays[i].sub_r, 1e-9) << i;
    EXPECT_NEAR(a.rays[i].main_z, b.rays[i].main_z, 1e-9) << i;
    EXPECT_NEAR(a.rays[i].main_r, b.rays[i].main_r, 1e-9) << i;
    EXPECT_NEAR(a.rays[i].path_length, b.rays[i].path_length, 1e-9) << i;
  }
}

}  // namespace
