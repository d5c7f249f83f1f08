// Aperture distributions: uniform, Gaussian and the Taylor circular set-up
// (zeros, coefficients with their console table, amplitudes), in both real
// types against published values.
#include "design/aperture.h"

#include <gtest/gtest.h>

#include <boost/math/special_functions/bessel.hpp>
#include <algorithm>
#include <cmath>
#include <vector>
#include <string>

#include "numerics/besj.h"
#include "writers/tables.h"

namespace design {
namespace {

// The published Taylor values are given to four or five digits.
constexpr float kPublished = 1e-4f;
// The Gaussian uses 8.686 for 20/ln 10, 0.002 % off the exact dB value: at
// 10 dB down the power is about 3e-5 of itself off.
constexpr float kGaussianDb = 5e-5f;

TEST(Aperture, UniformIsOneEverywhereEvenBeyondTheRim) {
  const Aperture<float> a = uniform_aperture<float>();
  for (float r : {0.0f, 0.5f, 1.0f, 2.0f}) EXPECT_EQ(a.density(r), 1.0f) << r;
}

TEST(Aperture, GaussianTaperInDbGrowsLinearlyWithRadius) {
  const Aperture<float> a = gaussian_aperture(10.0f);
  EXPECT_EQ(a.density(0.0f), 1.0f);
  EXPECT_NEAR(a.density(0.5f), std::pow(10.0f, -0.5f), std::pow(10.0f, -0.5f) * kGaussianDb);
  EXPECT_NEAR(a.density(1.0f), 0.1f, 0.1f * kGaussianDb);
  // a negative taper rises towards the rim
  EXPECT_NEAR(gaussian_aperture(-10.0f).density(1.0f), 10.0f, 10.0f * kGaussianDb);
  EXPECT_NEAR(gaussian_aperture(10.0).density(1.0), 0.1, 0.1 * double{kGaussianDb});
}

TEST(Aperture, UnknownKindHasNoPower) {
  Aperture<float> a;
  a.kind = static_cast<Distribution>(4);
  EXPECT_EQ(a.density(0.5f), 0.0f);
}

// 30 dB, nbar = 5 against the published zeros and coefficients.
template <class Real>
void expect_thirty_db_five_zeros() {
  const Aperture<Real> a = taylor_aperture(Real(30), 5);
  const double want_zeros[] = {4.9574, 7.0176, 9.9291, 13.1377, 16.4706};
  for (int n = 0; n < 5; ++n) EXPECT_NEAR(a.zeros[n], want_zeros[n], kPublished) << n;
  EXPECT_EQ(a.zeros[4], j1_zeros<Real>()[4]);  // the first unchanged zero itself
  const double unnormalised[] = {1.0, 0.9890, -0.000753, -0.1016, 0.08197};
  for (int m = 0; m < 5; ++m) EXPECT_NEAR(a.unnormalised[m], unnormalised[m], kPublished) << m;
  const double normalised[] = {0.5080, 0.5024, -0.00038, -0.05161, 0.04164};
  for (int m = 0; m < 5; ++m) EXPECT_NEAR(a.coefficients[m], normalised[m], kPublished) << m;

  // Amplitude 1 on the axis, tapering to the rim, nothing beyond it.
  const std::span<const Real> c(a.coefficients);
  EXPECT_NEAR(taylor_amplitude<Real>(5, c, Real(0)), 1.0, 1e-6);
  EXPECT_NEAR(taylor_amplitude<Real>(5, c, Real(0.5)), 0.664, 1e-3);
  EXPECT_NEAR(taylor_amplitude<Real>(5, c, Real(1)), 0.327, 1e-3);
  EXPECT_EQ(taylor_amplitude<Real>(5, c, Real(-0.5)), taylor_amplitude<Real>(5, c, Real(0.5)));
  EXPECT_EQ(taylor_amplitude<Real>(5, c, std::nextafter(Real(1), Real(2))), Real(0));
  EXPECT_NEAR(10.0 * std::log10(static_cast<double>(a.density(Real(1)))), -9.7, 0.05);
}

TEST(Taylor, ThirtyDbWithFiveZerosMatchesThePublishedValuesInBothRealTypes) {
  expect_thirty_db_five_zeros<float>();
  expect_thirty_db_five_zeros<double>();
}

TEST(Taylor, CoefficientTableShowsTheUnnormalisedValuesAsE15_6) {
  const writers::Lines table = writers::taylor_table(taylor_aperture(30.0f, 5));
  EXPECT_EQ(table, (writers::Lines{"", " UNNORMALIZED COEFFICIENTS", " NO.   COEFFICIENT",
                                   "  1     1.000000E+00", "  2     9.890013E-01",
                                   "  3    -7.530756E-04", "  4    -1.015957E-01",
                                   "  5     8.196534E-02"}));
}

TEST(Taylor, OneZeroGivesAUniformDiscWithASingleRow) {
  const Aperture<float> a = taylor_aperture(30.0f, 1);
  EXPECT_EQ(writers::taylor_table(a).size(), 4u);
  EXPECT_EQ(a.zeros[0], j1_zeros<float>()[0]);
  EXPECT_EQ(a.density(0.0f), 1.0f);
  EXPECT_EQ(a.density(1.0f), 1.0f);
  EXPECT_EQ(a.density(1.5f), 0.0f);
}

TEST(Taylor, ZeroDbSpacesTheZerosEvenly) {
  std::array<float, kMaxNbar> zeros{};
  taylor_zeros(0.0f, 4, zeros);
  for (int n = 1; n <= 4; ++n) {
    const float want = j1_zeros<float>()[3] * (static_cast<float>(n) - 0.5f) / 3.5f;
    EXPECT_NEAR(zeros[n - 1], want, want * 1e-6f) << n;
  }
}

TEST(Taylor, CountsOutsideTheZeroTableTouchNothing) {
  std::array<float, kMaxNbar> zeros{};
  zeros.fill(7.0f);
  std::array<float, kMaxNbar> coefficients = zeros;
  for (int nbar : {0, -1, 21}) {
    taylor_zeros(30.0f, nbar, zeros);
    taylor_coefficients(nbar, zeros, coefficients);
  }
  for (float z : zeros) EXPECT_EQ(z, 7.0f);
  for (float c : coefficients) EXPECT_EQ(c, 7.0f);
  EXPECT_EQ(taylor_amplitude<float>(0, coefficients, 0.5f), 0.0f);
  // More terms than coefficients given: only those given are summed.
  EXPECT_EQ(taylor_amplitude<float>(5, std::span<const float>(coefficients).first(1), 0.5f), 7.0f);
}

// The amplitude as a plain term-by-term sum with the scalar Bessel routine.
float term_by_term(int nbar, std::span<const float> c, float r) {
  if (std::fabs(r) > 1.0f) return 0.0f;
  const int n_max = std::min({nbar, kMaxNbar, static_cast<int>(c.size())});
  if (n_max < 1) return 0.0f;
  float g = c[0];
  for (int n = 2; n <= n_max; ++n) g = g + c[n - 1] * numerics::BESJ(j1_zeros<float>()[n - 2] * r, 0.0f);
  return g;
}

TEST(Taylor, AmplitudesAtManyRadiiHaveTheBitsOfTheTermByTermSum) {
  std::vector<float> radii;
  for (int k = -130; k <= 130; ++k) radii.push_back(static_cast<float>(k) / 110.0f);
  radii.insert(radii.end(), {std::nextafter(1.0f, 2.0f), 1e-30f, std::nanf("")});
  for (int nbar : {1, 2, 5, 13, 20}) {
    const Aperture<float> a = taylor_aperture(nbar == 13 ? 40.0f : 25.0f, nbar);
    // a short coefficient list ends the sum too
    for (std::size_t size : {std::size_t{20}, std::size_t{3}}) {
      const std::span<const float> c = std::span(a.coefficients).first(size);
      // in one call, and in pieces of 7 (many passes, each with a remainder)
      std::vector<float> whole(radii.size(), -9.0f), pieces(radii.size(), -9.0f);
      taylor_amplitude_many<float>(nbar, c, radii, whole);
      for (std::size_t start = 0; start < radii.size(); start += 7) {
        const std::size_t n = std::min<std::size_t>(7, radii.size() - start);
        taylor_amplitude_many<float>(nbar, c, std::span(radii).subspan(start, n),
                                     std::span(pieces).subspan(start, n));
      }
      for (std::size_t i = 0; i < radii.size(); ++i) {
        const float want = term_by_term(nbar, c, radii[i]);
        EXPECT_EQ(bits_of(whole[i]), bits_of(want)) << nbar << " " << size << " r " << radii[i];
        EXPECT_EQ(bits_of(pieces[i]), bits_of(want)) << nbar << " " << size << " r " << radii[i];
      }
    }
    std::vector<float> densities(radii.size());
    a.density_many(radii, densities);
    for (std::size_t i = 0; i < radii.size(); ++i) {
      EXPECT_EQ(bits_of(densities[i]), bits_of(a.density(radii[i]))) << nbar << " r " << radii[i];
    }
  }
}

// The 64-bit amplitude as the sum of its Bessel terms in extended precision.
long double wide_amplitude(const Aperture<double>& a, double r) {
  long double g = a.coefficients[0];
  for (int n = 2; n <= a.nbar; ++n) {
    g += static_cast<long double>(a.coefficients[n - 1]) *
         boost::math::cyl_bessel_j(0, static_cast<long double>(j1_zeros<double>()[n - 2]) * r);
  }
  return g;
}

// The Chebyshev series of the 64-bit amplitude against the Bessel sum at 4001
// radii across the aperture.  The 64-bit sum itself is up to about 6.5 units
// in the last place of the largest amplitude off the exact sum and the series
// about 2.5, so the series is held to 3 units of the exact sum and 8 of the
// 64-bit one.  Where the amplitude is small only this absolute measure is
// meaningful: the 64-bit sum's own relative error grows there just the same.
TEST(TaylorChebyshev, MatchesTheBesselSumToAFewUnitsInTheLastPlace) {
  constexpr int kRadii = 4000;
  for (int nbar : {1, 2, 5, 20}) {
    for (double sidelobe_db : {20.0, 30.0, 40.0}) {
      const Aperture<double> a = taylor_aperture(sidelobe_db, nbar);
      const std::span<const double> c(a.coefficients);
      if (nbar == 1) {
        EXPECT_EQ(a.chebyshev.terms, 0);  // a constant: summed as it is
        EXPECT_EQ(a.density(0.3), 1.0);
        continue;
      }
      ASSERT_GT(a.chebyshev.terms, 1) << nbar;
      ASSERT_LE(static_cast<std::size_t>(a.chebyshev.terms), kMaxChebyshevTerms) << nbar;
      std::vector<double> radii, direct;
      double g_max = 0;
      for (int i = 0; i <= kRadii; ++i) {
        radii.push_back(static_cast<double>(i) / kRadii);  // 0 and 1 exactly at the ends
        direct.push_back(taylor_amplitude<double>(nbar, c, radii.back()));
        g_max = std::max(g_max, std::fabs(direct.back()));
      }
      const double ulp = std::ldexp(1.0, std::ilogb(g_max) - 52);
      for (std::size_t i = 0; i < radii.size(); ++i) {
        const double r = radii[i];
        const double g = a.chebyshev(r);
        EXPECT_LE(std::fabs(g - direct[i]), 8 * ulp) << nbar << " " << sidelobe_db << " r " << r;
        EXPECT_LE(std::fabs(static_cast<long double>(g) - wide_amplitude(a, r)), 3 * ulp)
            << nbar << " " << sidelobe_db << " r " << r;
        EXPECT_EQ(a.density(r), g * g);
        EXPECT_EQ(bits_of(a.density(-r)), bits_of(a.density(r)));  // even in r
      }
      // nothing beyond the rim, however close
      for (double r : {std::nextafter(1.0, 2.0), 1.5, -std::nextafter(1.0, 2.0), 1e300}) {
        EXPECT_EQ(bits_of(a.density(r)), bits_of(0.0)) << r;
      }
    }
  }
}

TEST(TaylorChebyshev, DensitiesAtManyRadiiHaveTheBitsOfOneByOne) {
  std::vector<double> radii;
  for (int k = -130; k <= 130; ++k) radii.push_back(static_cast<double>(k) / 110.0);
  radii.insert(radii.end(), {std::nextafter(1.0, 2.0), 1e-300, std::sqrt(0.5), std::nan("")});
  const Aperture<double> a = taylor_aperture(30.0, 20);
  // in one call (groups of lanes and a remainder), and in pieces of 3
  std::vector<double> whole(radii.size(), -9.0), pieces(radii.size(), -9.0);
  a.density_many(radii, whole);
  for (std::size_t start = 0; start < radii.size(); start += 3) {
    const std::size_t n = std::min<std::size_t>(3, radii.size() - start);
    a.density_many(std::span(radii).subspan(start, n), std::span(pieces).subspan(start, n));
  }
  for (std::size_t i = 0; i < radii.size(); ++i) {
    EXPECT_EQ(bits_of(whole[i]), bits_of(a.density(radii[i]))) << radii[i];
    EXPECT_EQ(bits_of(pieces[i]), bits_of(a.density(radii[i]))) << radii[i];
  }
  EXPECT_TRUE(std::isnan(whole.back()));
}

}  // namespace
}  // namespace design
