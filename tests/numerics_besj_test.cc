#include <cmath>

#include <gtest/gtest.h>

#include "numerics/besj.h"

namespace {

using numerics::BESJ;
using numerics::GAMI;

// Near x = 6 the series sums terms up to about 20 in size to results below
// 0.3, so float cancellation costs about 1.7e-6 there (the worst found over
// [0, 60] in steps of 1e-4: 1.71e-6 for J0 at 5.811, 1.42e-6 for J1 at 5.841).
constexpr double kBesselTolerance = 2e-6;
// Away from the switch point, float rounding of the argument and of the
// cosine dominates: at most 2.2e-7 found for x >= 10.
constexpr double kFarTolerance = 3e-7;
// One part in 1e6 (six of the seven digits quoted in the tables).
constexpr float kSixDigits = 1e-6f;

TEST(Besj, OrderZeroAtZeroIsExactlyOne) { EXPECT_EQ(BESJ(0.0f, 0.0f), 1.0f); }

TEST(Besj, OrderZeroAndOneMatchTabulatedValues) {
  EXPECT_NEAR(BESJ(2.0f, 0.0f), 0.2238908f, kSixDigits);
  EXPECT_NEAR(BESJ(3.83171f, 0.0f), -0.40276f, 1e-5f);
  EXPECT_NEAR(BESJ(3.83171f, 1.0f), 0.0f, 2e-6f);  // first zero of J1
  EXPECT_NEAR(BESJ(1.0f, 1.0f), 0.440051f, kSixDigits);
  EXPECT_NEAR(BESJ(8.0f, 1.0f), 0.234636f, kSixDigits);
  EXPECT_NEAR(BESJ(10.0f, 0.0f), -0.2459358f, kSixDigits);
  EXPECT_NEAR(BESJ(2.404826f, 0.0f), 0.0f, kSixDigits);  // first zero of J0
}

TEST(Besj, BothMethodsStayCloseToTheTruthAroundTheSwitchPoint) {
  EXPECT_NEAR(BESJ(5.9f, 0.0f), 0.1220334f, kBesselTolerance);  // series
  EXPECT_NEAR(BESJ(6.0f, 0.0f), 0.1506453f, kBesselTolerance);  // series, last point
  EXPECT_NEAR(BESJ(6.1f, 0.0f), 0.1772914f, kBesselTolerance);  // expansion
  EXPECT_NEAR(BESJ(6.1f, 0.0f), 0.177291f, kSixDigits);
}

TEST(Besj, OrderZeroAndOneAgreeWithReferenceValuesFromZeroToSixty) {
  for (int v = 0; v <= 1; ++v) {
    double worst = 0.0, worst_far = 0.0;
    for (int k = 0; k <= 6000; ++k) {
      const float x = static_cast<float>(k) / 100.0f;
      const double reference = std::cyl_bessel_j(static_cast<double>(v), static_cast<double>(x));
      const double error = std::fabs(static_cast<double>(BESJ(x, static_cast<float>(v))) - reference);
      worst = std::max(worst, error);
      if (x >= 10.0f) worst_far = std::max(worst_far, error);
    }
    EXPECT_LE(worst, kBesselTolerance) << "order " << v;
    EXPECT_LE(worst_far, kFarTolerance) << "order " << v;
  }
}

TEST(Besj, SeriesIsEvenInXForOrderZero) {
  for (float x : {0.3f, 1.0f, 2.5f, 4.75f, 6.0f}) EXPECT_EQ(BESJ(-x, 0.0f), BESJ(x, 0.0f)) << x;
}

TEST(Besj, NonIntegerOrderUsesTheReciprocalGamma) {
  // J_1/2(x) = sqrt(2/(pi x)) sin x, by the series and by the expansion
  for (float x : {1.0f, 3.0f, 9.0f, 20.0f}) {
    const float exact = std::sqrt(2.0f / (3.1415927f * x)) * std::sin(x);
    EXPECT_NEAR(BESJ(x, 0.5f), exact, 3e-6f) << x;
  }
}

TEST(Gami, GivesReciprocalFactorialsAtPositiveIntegers) {
  EXPECT_EQ(GAMI(1.0f), 1.0f);
  EXPECT_EQ(GAMI(2.0f), 1.0f);
  EXPECT_EQ(GAMI(3.0f), 0.5f);
  EXPECT_FLOAT_EQ(GAMI(5.0f), 1.0f / 24.0f);
  EXPECT_FLOAT_EQ(GAMI(10.0f), 1.0f / 362880.0f);
}

TEST(Gami, FollowsTheStoredSeriesBetweenIntegers) {
  // c2 = 0.5772126 rather than Euler's 0.5772157 puts 1/G(0.5) at 0.5641888
  // against the true 0.5641896, so these agree to six digits only.
  EXPECT_NEAR(GAMI(0.5f), 0.564189f, kSixDigits);
  EXPECT_NEAR(GAMI(1.5f), 1.128378f, kSixDigits);
  EXPECT_NEAR(GAMI(2.5f), 0.7522528f, 2e-6f);
  EXPECT_NEAR(GAMI(-0.5f), -0.2820948f, 2e-6f);
}

TEST(Gami, IsZeroAtZeroAndBeyondTheCutOff) {
  EXPECT_EQ(GAMI(0.0f), 0.0f);
  EXPECT_EQ(GAMI(33.0f), 0.0f);
  EXPECT_EQ(GAMI(40.0f), 0.0f);
  EXPECT_EQ(GAMI(-33.5f), 0.0f);
  EXPECT_GT(GAMI(32.5f), 0.0f);
  EXPECT_EQ(GAMI(std::nanf("")), 0.0f);
}

TEST(Gami, RecursesDownwardsBelowMinusOne) {
  // 1/G(x - 1) = (x - 1)/G(x); zero at the poles
  EXPECT_NEAR(GAMI(-1.5f), 0.4231421f, 2e-6f);
  EXPECT_EQ(GAMI(-1.0f), 0.0f);
  EXPECT_EQ(GAMI(-2.0f), 0.0f);
}

}  // namespace
