// Aperture integrals of the design report: far field and illumination
// efficiency against closed forms, and the spline.
#include <gtest/gtest.h>

#include <boost/math/special_functions/bessel.hpp>
#include <cmath>

#include "analysis/aperture.h"
#include "analysis/spline.h"
#include "reference_design.h"

namespace {

constexpr double kDeg = 180.0 / M_PI;
const analysis::ApertureField kUniform = [](double) { return std::complex<double>(1.0); };

TEST(FarField, UniformDiscAnchors) {
  const double d_over_lambda = 100.0;
  const auto p = analysis::far_field(kUniform, {{0.0, 1.0}}, d_over_lambda);
  // lambda/D radians in degrees
  const double unit = kDeg / d_over_lambda;
  EXPECT_NEAR(p.hpbw_deg / unit, 1.029, 0.002);
  EXPECT_NEAR(p.first_null_deg / unit, 1.2197, 0.001);
  EXPECT_NEAR(p.first_sidelobe_db, -17.57, 0.02);
  EXPECT_NEAR(p.first_sidelobe_deg / unit, 5.1356 / M_PI, 0.001);  // first maximum of 2 J1(u)/u past the null
  EXPECT_GE(p.sidelobes_found, 10);
  EXPECT_EQ(p.level_db.front(), 0.0);
  EXPECT_NEAR(analysis::illumination_efficiency(kUniform, {{0.0, 1.0}}), 1.0, 1e-12);
}

TEST(FarField, AnnulusMatchesTheClosedForm) {
  // Uniform annulus b..1: E(u) = (J1(u) - b J1(b u)) / u.
  const double b = 0.3;
  std::vector<double> u{0.0};  // levels are relative to the largest sample
  for (double x = 0.5; x < 30.0; x += 0.73) u.push_back(x);
  const auto p = analysis::far_field_on(kUniform, {{b, 1.0}}, 1000.0, u);
  const double e0 = 0.5 * (1.0 - b * b);
  for (std::size_t i = 1; i < u.size(); ++i) {
    const double e = (boost::math::cyl_bessel_j(1, u[i]) - b * boost::math::cyl_bessel_j(1, b * u[i])) / u[i];
    const double level = 10.0 * std::log10(e * e / (e0 * e0));
    if (level > -60) {
      EXPECT_NEAR(p.level_db[i], level, 1e-6) << "u = " << u[i];
    }
  }
  EXPECT_NEAR(p.theta_deg[3], std::asin(u[3] / (M_PI * 1000.0)) * kDeg, 1e-12);
  // Illumination efficiency of a uniform annulus is its share of the disc.
  EXPECT_NEAR(analysis::illumination_efficiency(kUniform, {{b, 1.0}}), 1.0 - b * b, 1e-12);
}

TEST(FarField, TaylorDistributionKeepsItsSidelobes) {
  // The Taylor product pattern: 2 J1(u)/u with the first nbar - 1 zeros moved.
  const auto tay = test::taylor(25.0, 4);
  const auto field = [&](double rho) { return std::complex<double>(std::sqrt(tay.density(rho))); };
  const auto p = analysis::far_field(field, {{0.0, 1.0}}, 100.0);
  const double A = std::acosh(std::pow(10.0, 25.0 / 20.0)) / M_PI;
  const double j14 = boost::math::cyl_bessel_j_zero(1.0, 4);
  const auto product = [&](double u) {
    double f = u == 0 ? 1.0 : 2.0 * boost::math::cyl_bessel_j(1, u) / u;
    for (int n = 1; n < 4; ++n) {
      const double zn = j14 * std::sqrt((A * A + (n - 0.5) * (n - 0.5)) / (A * A + 3.5 * 3.5));
      const double jn = boost::math::cyl_bessel_j_zero(1.0, n);
      f *= (1 - u * u / (zn * zn)) / (1 - u * u / (jn * jn));
    }
    return f * f;
  };
  for (std::size_t i = 0; i < p.u.size(); i += 37) {
    const double level = 10.0 * std::log10(product(p.u[i]));
    if (level > -50) {
      EXPECT_NEAR(p.level_db[i], level, 0.01) << "u = " << p.u[i];
    }
  }
  EXPECT_NEAR(p.first_sidelobe_db, -25.0, 1.0);
  EXPECT_LT(p.first_sidelobe_db, -24.5);
}

TEST(FarField, PhaseErrorFillsTheNullsAndLowersTheGain) {
  // A quadratic phase error of a quarter wave at the rim.
  const auto defocused = [](double rho) { return std::polar(1.0, 0.5 * M_PI * rho * rho); };
  const auto ideal = analysis::far_field(kUniform, {{0.0, 1.0}}, 100.0);
  const auto p = analysis::far_field(defocused, {{0.0, 1.0}}, 100.0);
  EXPECT_GT(p.first_sidelobe_db, ideal.first_sidelobe_db + 1.0);
  const analysis::ApertureQuadrature q({{0.0, 1.0}});
  // |int e^{j a r^2} r dr|^2 / (1/2)^2 = (sin(a/2) / (a/2))^2 with a = pi/2
  EXPECT_NEAR(std::norm(q.integrate(defocused)) / 0.25, std::pow(std::sin(M_PI / 4) / (M_PI / 4), 2), 1e-12);
}

TEST(FarField, RefusesANonPositiveSize) {
  EXPECT_THROW(analysis::far_field(kUniform, {{0.0, 1.0}}, 0.0), std::invalid_argument);
}

TEST(NaturalSpline, InterpolatesAndConvergesOnUnevenPoints) {
  std::vector<double> x, y;
  for (int i = 0; i <= 60; ++i) {
    const double t = i / 60.0;
    x.push_back(t * t * 2.0 + 0.1 * t);  // crowded at the start
    y.push_back(std::sin(x.back()));
  }
  const analysis::NaturalSpline s(x, y);
  for (std::size_t i = 0; i < x.size(); ++i) EXPECT_NEAR(s.value(x[i]), y[i], 1e-14);
  for (double t = 0.3; t < 1.6; t += 0.0137) {  // away from the natural ends
    EXPECT_NEAR(s.value(t), std::sin(t), 1e-6);
    EXPECT_NEAR(s.slope(t), std::cos(t), 1e-4);
  }
  // Straight lines come out exact, also past the ends.
  const analysis::NaturalSpline line({0.0, 0.5, 2.0, 2.1}, {1.0, 2.0, 5.0, 5.2});
  EXPECT_NEAR(line.value(1.3), 3.6, 1e-14);
  EXPECT_NEAR(line.value(3.0), 7.0, 1e-13);
  EXPECT_NEAR(line.slope(-1.0), 2.0, 1e-13);
}

TEST(NaturalSpline, RefusesPointsItCannotPassThrough) {
  EXPECT_THROW(analysis::NaturalSpline({0.0}, {1.0}), std::invalid_argument);
  EXPECT_THROW(analysis::NaturalSpline({0.0, 1.0, 1.0}, {1.0, 2.0, 3.0}), std::invalid_argument);
  EXPECT_THROW(analysis::NaturalSpline({0.0, 1.0}, {1.0}), std::invalid_argument);
}

}  // namespace
