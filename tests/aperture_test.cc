// Aperture distributions: uniform, Gaussian and the Taylor circular set-up
// (zeros, coefficients with their console table, amplitudes).
#include "ravost/aperture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

namespace ravost {
namespace {

// The published Taylor values are given to four or five digits.
constexpr float kPublished = 1e-4f;
// The Gaussian uses 8.686 for 20/ln 10, 0.002 % off the exact dB value: at
// 10 dB down the power is about 3e-5 of itself off.
constexpr float kGaussianDb = 5e-5f;

float appl(const APERT& a, float r) {
  const float v[1] = {r};
  return APPL(a, v);
}

// A Taylor distribution set up as the dialog does it; the console table in `table`.
APERT taylor(float s, int nbar, std::array<float, 20>& zeros, std::string& table) {
  APERT a;
  a.distribution_kind = 3;
  a.sidelobe_level_db = s;
  a.nbar = nbar;
  std::istringstream in;
  std::ostringstream out;
  Dialog dialog(in, out);
  TCYZO(s, nbar, zeros);
  TCYAC(nbar, zeros, a.taylor_coefficients, dialog);
  table = out.str();
  return a;
}

TEST(Aperture, UniformIsOneEverywhereEvenBeyondTheRim) {
  APERT a;
  a.distribution_kind = 1;
  for (float r : {0.0f, 0.5f, 1.0f, 2.0f}) EXPECT_EQ(appl(a, r), 1.0f) << r;
}

TEST(Aperture, GaussianTaperInDbGrowsLinearlyWithRadius) {
  APERT a;
  a.distribution_kind = 2;
  a.edge_taper_db = 10.0f;
  EXPECT_EQ(appl(a, 0.0f), 1.0f);
  EXPECT_NEAR(appl(a, 0.5f), std::pow(10.0f, -0.5f), std::pow(10.0f, -0.5f) * kGaussianDb);
  EXPECT_NEAR(appl(a, 1.0f), 0.1f, 0.1f * kGaussianDb);
  a.edge_taper_db = -10.0f;  // a negative taper rises towards the rim
  EXPECT_NEAR(appl(a, 1.0f), 10.0f, 10.0f * kGaussianDb);
}

TEST(Aperture, UnknownKindHasNoPower) {
  APERT a;
  a.distribution_kind = 4;
  EXPECT_EQ(appl(a, 0.5f), 0.0f);
}

TEST(Taylor, ThirtyDbWithFiveZerosMatchesThePublishedValues) {
  std::array<float, 20> zeros{};
  std::string table;
  const APERT a = taylor(30.0f, 5, zeros, table);

  const float want_zeros[] = {4.9574f, 7.0176f, 9.9291f, 13.1377f, 16.4706f};
  for (int n = 0; n < 5; ++n) EXPECT_NEAR(zeros[n], want_zeros[n], kPublished) << n;
  EXPECT_EQ(zeros[4], APERT::j1_zeros[4]);  // the first unchanged zero itself

  // The console table: header, then the unnormalised coefficients as E15.6.
  const std::string head = "\n UNNORMALIZED COEFFICIENTS\n NO.   COEFFICIENT\n  1     1.000000E+00\n";
  ASSERT_EQ(table.substr(0, head.size()), head);
  std::istringstream rows(table.substr(head.size()));
  const float unnormalised[] = {0.9890f, -0.000753f, -0.1016f, 0.08197f};
  for (int m = 2; m <= 5; ++m) {
    std::string row;
    std::getline(rows, row);
    ASSERT_EQ(row.size(), 20u);
    EXPECT_EQ(std::stoi(row.substr(0, 3)), m);
    EXPECT_EQ(row.substr(3, 2), "  ");
    EXPECT_NEAR(std::stof(row.substr(5)), unnormalised[m - 2], kPublished) << row;
  }

  const float normalised[] = {0.5080f, 0.5024f, -0.00038f, -0.05161f, 0.04164f};
  for (int m = 0; m < 5; ++m) EXPECT_NEAR(a.taylor_coefficients[m], normalised[m], kPublished);

  // Amplitude 1 on the axis, tapering to the rim, nothing beyond it.
  EXPECT_NEAR(TCYDS(5, a.taylor_coefficients, 0.0f), 1.0f, 1e-6f);
  EXPECT_NEAR(TCYDS(5, a.taylor_coefficients, 0.5f), 0.664f, 1e-3f);
  EXPECT_NEAR(TCYDS(5, a.taylor_coefficients, 1.0f), 0.327f, 1e-3f);
  EXPECT_EQ(TCYDS(5, a.taylor_coefficients, -0.5f), TCYDS(5, a.taylor_coefficients, 0.5f));
  EXPECT_EQ(TCYDS(5, a.taylor_coefficients, std::nextafter(1.0f, 2.0f)), 0.0f);
  EXPECT_NEAR(10.0f * std::log10(appl(a, 1.0f)), -9.7f, 0.05f);
}

TEST(Taylor, OneZeroGivesAUniformDiscWithASingleRow) {
  std::array<float, 20> zeros{};
  std::string table;
  const APERT a = taylor(30.0f, 1, zeros, table);
  EXPECT_EQ(table, "\n UNNORMALIZED COEFFICIENTS\n NO.   COEFFICIENT\n  1     1.000000E+00\n");
  EXPECT_EQ(zeros[0], APERT::j1_zeros[0]);
  EXPECT_EQ(appl(a, 0.0f), 1.0f);
  EXPECT_EQ(appl(a, 1.0f), 1.0f);
  EXPECT_EQ(appl(a, 1.5f), 0.0f);
}

TEST(Taylor, ZeroDbSpacesTheZerosEvenly) {
  std::array<float, 20> zeros{};
  TCYZO(0.0f, 4, zeros);
  for (int n = 1; n <= 4; ++n) {
    const float want = APERT::j1_zeros[3] * (n - 0.5f) / 3.5f;
    EXPECT_NEAR(zeros[n - 1], want, want * 1e-6f) << n;
  }
}

TEST(Taylor, CountsOutsideTheZeroTableTouchNothing) {
  std::array<float, 20> zeros{};
  zeros.fill(7.0f);
  std::array<float, 20> coefficients = zeros;
  std::istringstream in;
  std::ostringstream out;
  Dialog dialog(in, out);
  for (int nbar : {0, -1, 21}) {
    TCYZO(30.0f, nbar, zeros);
    TCYAC(nbar, zeros, coefficients, dialog);
  }
  for (float z : zeros) EXPECT_EQ(z, 7.0f);
  for (float c : coefficients) EXPECT_EQ(c, 7.0f);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(TCYDS(0, coefficients, 0.5f), 0.0f);
}

}  // namespace
}  // namespace ravost
