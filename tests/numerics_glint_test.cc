#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include <gtest/gtest.h>

#include "numerics/glint.h"

namespace {

namespace gl = numerics::gauss_legendre;
using numerics::GLINT;

// Positive roots of P_n, increasing, and their weights, by Newton's method in
// long double (about 19 digits), independently of the table generator.
struct Rule {
  std::vector<long double> nodes, weights;
  long double centre_weight = 0;
};

void legendre(int n, long double x, long double& p, long double& dp) {
  long double p0 = 1, p1 = x;
  for (int k = 2; k <= n; ++k) {
    const long double p2 = ((2 * k - 1) * x * p1 - (k - 1) * p0) / k;
    p0 = p1;
    p1 = p2;
  }
  p = p1;
  dp = n * (x * p1 - p0) / (x * x - 1);
}

Rule reference_rule(int n) {
  Rule r;
  const long double pi = 3.141592653589793238462643383279502884L;
  for (int i = n / 2; i >= 1; --i) {
    long double x = std::cos(pi * (i - 0.25L) / (n + 0.5L));
    long double p, dp;
    for (int it = 0; it < 100; ++it) {
      legendre(n, x, p, dp);
      const long double dx = p / dp;
      x -= dx;
      if (std::fabs(dx) < 1e-19L) break;
    }
    legendre(n, x, p, dp);
    r.nodes.push_back(x);
    r.weights.push_back(2 / ((1 - x * x) * dp * dp));
  }
  if (n % 2 == 1) {
    long double p, dp;
    legendre(n, 0.0L, p, dp);
    r.centre_weight = 2 / (dp * dp);
  }
  return r;
}

// The float nearest to v rounded to seven significant digits.
float seven_digits(long double v) {
  char text[40];
  std::snprintf(text, sizeof text, "%.6Le", v);
  return std::strtof(text, nullptr);
}

TEST(GaussLegendreTable, HoldsEveryOrdersNodesAndWeightsToSevenDigits) {
  std::size_t nodes = 0, weights = 0;
  for (std::size_t k = 0; k < gl::kOrders.size(); ++k) {
    const int n = gl::kOrders[k];
    SCOPED_TRACE(n);
    const Rule r = reference_rule(n);
    ASSERT_EQ(gl::kNodeStart[k], static_cast<int>(nodes));
    ASSERT_EQ(gl::kWeightStart[k], static_cast<int>(weights));
    if (n % 2 == 1) {
      EXPECT_EQ(gl::kWeights[weights++], seven_digits(r.centre_weight));
    }
    for (std::size_t j = 0; j < r.nodes.size(); ++j) {
      EXPECT_EQ(gl::kNodes[nodes++], seven_digits(r.nodes[j])) << "node " << j;
      EXPECT_EQ(gl::kWeights[weights++], seven_digits(r.weights[j])) << "weight " << j;
    }
  }
  EXPECT_EQ(nodes, gl::kNodes.size());
  EXPECT_EQ(weights, gl::kWeights.size());
}

TEST(Glint, IntegratesPolynomialsUpToDegreeTwoNMinusOneOnEveryOrder) {
  // Each node and weight carries up to half a unit in its seventh digit, and
  // x^k multiplies a node's relative error by k, so the relative error of the
  // integral of x^k grows with k: allow (k + 4) units of 1.2e-7.
  constexpr double kUnitError = 1.2e-7;
  for (int n : gl::kOrders) {
    for (int k = 0; k <= 2 * n - 1; ++k) {
      SCOPED_TRACE(testing::Message() << "order " << n << ", x^" << k);
      auto power = [k](std::span<const float> v) {
        float p = 1.0f;
        for (int e = 0; e < k; ++e) p = p * v[0];
        return p;
      };
      std::vector<float> vec(1);
      float result = -1.0f;
      // on [-1, 1]: 2/(k+1) for even k, and odd powers cancel pair by pair
      GLINT(-1.0f, 1.0f, vec, power, n, result);
      if (k % 2 == 1) {
        EXPECT_EQ(result, 0.0f);
      } else {
        const double exact = 2.0 / (k + 1);
        EXPECT_NEAR(result, exact, exact * (k + 4) * kUnitError);
      }
      // on [0, 1]: 1/(k+1)
      GLINT(0.0f, 1.0f, vec, power, n, result);
      const double exact = 1.0 / (k + 1);
      EXPECT_NEAR(result, exact, exact * (k + 4) * kUnitError);
    }
  }
}

TEST(Glint, ConstantOneOnTheUnitIntervalGivesOneForEveryOrder) {
  constexpr float kFloatRounding = 3e-7f;  // a few units in the last place
  for (int n : gl::kOrders) {
    std::vector<float> vec(1);
    float result = 0.0f;
    GLINT(0.0f, 1.0f, vec, [](std::span<const float>) { return 1.0f; }, n, result);
    EXPECT_NEAR(result, 1.0f, kFloatRounding) << "order " << n;
  }
}

TEST(Glint, UnsupportedOrdersGiveZeroWithoutCallingTheIntegrand) {
  for (int n : {11, 13, 64, 0, 1, 2, -3}) {
    std::vector<float> vec = {0.25f, 9.0f};
    float result = 5.0f;
    int calls = 0;
    auto f = [&calls](std::span<const float>) {
      ++calls;
      return 1.0f;
    };
    GLINT(0.0f, 1.0f, vec, f, n, result);
    EXPECT_EQ(result, 0.0f) << "order " << n;
    EXPECT_EQ(calls, 0) << "order " << n;
    EXPECT_EQ(vec, (std::vector<float>{0.25f, 9.0f})) << "order " << n;
  }
}

TEST(Glint, EmptyIntervalGivesZeroAfterNEvaluationsAtTheLimit) {
  for (int n : gl::kOrders) {
    std::vector<float> vec(1);
    std::vector<float> seen;
    auto f = [&seen](std::span<const float> v) {
      seen.push_back(v[0]);
      return 3.0f;
    };
    float result = 5.0f;
    GLINT(0.625f, 0.625f, vec, f, n, result);
    EXPECT_EQ(result, 0.0f);
    EXPECT_EQ(seen, std::vector<float>(static_cast<std::size_t>(n), 0.625f)) << "order " << n;
  }
}

TEST(Glint, LeavesTheLastAbscissaAndPassesParametersThrough) {
  auto uses_parameter = [](std::span<const float> v) { return v[1] * v[0]; };
  std::vector<float> vec = {0.0f, 3.0f};
  float result = 0.0f;
  // odd order: the centre comes last
  GLINT(1.0f, 2.0f, vec, uses_parameter, 5, result);
  EXPECT_EQ(vec[0], 1.5f);
  EXPECT_EQ(vec[1], 3.0f);
  EXPECT_NEAR(result, 4.5f, 1e-6f);
  // even order: the node nearest b, m x_n + c
  GLINT(1.0f, 2.0f, vec, uses_parameter, 4, result);
  EXPECT_EQ(vec[0], 0.5f * gl::kNodes[2] + 1.5f);
  EXPECT_NEAR(result, 4.5f, 1e-6f);
}

TEST(Glint, SumsFromTheInnermostPairOutwardsWithTheCentreLast) {
  // The order of three nodes' additions, checked bit for bit on an integrand
  // that gives each node a very different magnitude.
  auto f = [](std::span<const float> v) { return std::exp(7.0f * v[0]); };
  std::vector<float> vec(1);
  float result = 0.0f;
  const float a = 0.1f, b = 0.9f;
  GLINT(a, b, vec, f, 3, result);
  const float m = (b - a) / 2.0f, c = (b + a) / 2.0f;
  const float x1 = gl::kNodes[0], w0 = gl::kWeights[0], w1 = gl::kWeights[1];
  float sum = 0.0f;
  sum = std::exp(7.0f * (c - m * x1)) * w1 + sum;
  sum = std::exp(7.0f * (m * x1 + c)) * w1 + sum;
  EXPECT_EQ(result, (std::exp(7.0f * c) * w0 + sum) * m);

  std::vector<float> seen;
  GLINT(a, b, vec, [&seen](std::span<const float> v) { seen.push_back(v[0]); return 1.0f; }, 6,
        result);
  const float x[3] = {gl::kNodes[5], gl::kNodes[6], gl::kNodes[7]};
  EXPECT_EQ(seen, (std::vector<float>{c - m * x[0], m * x[0] + c, c - m * x[1], m * x[1] + c,
                                      c - m * x[2], m * x[2] + c}));
}

TEST(Glint, ApertureOfAUniformDistributionWithHole) {
  // integral of r dr from 0.1 to 1 = (1 - 0.01)/2
  std::vector<float> vec(1);
  float result = 0.0f;
  GLINT(0.1f, 1.0f, vec, [](std::span<const float> v) { return v[0]; }, 32, result);
  EXPECT_FLOAT_EQ(result, 0.495f);
}

TEST(Glint, SwappingTheLimitsNegatesTheIntegral) {
  auto f = [](std::span<const float> v) { return std::cos(v[0]); };
  std::vector<float> vec(1);
  for (int n : gl::kOrders) {
    float forward = 0.0f, backward = 0.0f;
    GLINT(0.2f, 1.4f, vec, f, n, forward);
    GLINT(1.4f, 0.2f, vec, f, n, backward);
    EXPECT_FLOAT_EQ(backward, -forward) << "order " << n;
  }
}

}  // namespace
