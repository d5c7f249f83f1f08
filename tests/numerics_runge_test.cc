#include <cmath>
#include <span>
#include <vector>

#include <gtest/gtest.h>

#include "numerics/runge.h"

namespace {

using numerics::RUNGE;

// Work storage for a system of n equations with `params` parameters after
// the dependent variables.
struct System {
  explicit System(int n, int params = 0)
      : y(static_cast<std::size_t>(n + 1 + params)),
        k1(static_cast<std::size_t>(n)),
        k2(k1),
        k3(k1),
        k4(k1),
        w(y) {}
  std::vector<float> y, k1, k2, k3, k4, w;
};

float exponential(std::span<const float> v, int i) { return v[static_cast<std::size_t>(i)]; }

TEST(Runge, OneStepOfTheExponentialGivesTheClassicalStages) {
  System s(1);
  s.y = {0.0f, 1.0f};
  RUNGE(s.y, 1, 0.1f, 1, exponential, s.k1, s.k2, s.k3, s.k4, s.w);
  EXPECT_EQ(s.k1[0], 1.0f);
  EXPECT_FLOAT_EQ(s.k2[0], 1.05f);
  EXPECT_FLOAT_EQ(s.k3[0], 1.0525f);
  EXPECT_FLOAT_EQ(s.k4[0], 1.10525f);
  EXPECT_EQ(s.y[1], 1.1051708f);
  EXPECT_EQ(s.y[0], 0.1f);
  // W keeps the last stage: x + h and Y + K3 h
  EXPECT_EQ(s.w[0], 0.1f);
  EXPECT_FLOAT_EQ(s.w[1], 1.10525f);
}

TEST(Runge, StagesAreFormedInTheWrittenOrderBitForBit) {
  // dy1/dx = x y2, dy2/dx = -y1 + 0.3 from 64 starting points, step 0.1:
  // S h / 6 and S (h / 6), or a regrouped sum of the stages, differ in their
  // last bit for many of them, so only the written order reproduces every
  // value.
  auto f = [](std::span<const float> v, int i) {
    return i == 1 ? v[0] * v[2] : -v[1] + 0.3f;
  };
  const float h = 0.1f;
  for (int start = 0; start < 64; ++start) {
    const float x = 0.7f + 0.013f * static_cast<float>(start);
    float a = 1.3f - 0.021f * static_cast<float>(start);
    float b = -0.45f + 0.017f * static_cast<float>(start);
    System s(2);
    s.y = {x, a, b};
    RUNGE(s.y, 2, h, 1, f, s.k1, s.k2, s.k3, s.k4, s.w);

    const float k1a = x * b, k1b = -a + 0.3f;
    const float xm = h / 2.0f + x;
    const float k2a = xm * (k1b * h / 2.0f + b), k2b = -(k1a * h / 2.0f + a) + 0.3f;
    const float k3a = xm * (k2b * h / 2.0f + b), k3b = -(k2a * h / 2.0f + a) + 0.3f;
    const float k4a = (x + h) * (k3b * h + b), k4b = -(k3a * h + a) + 0.3f;
    a = ((k2a + k3a) * 2.0f + k1a + k4a) * h / 6.0f + a;
    b = ((k2b + k3b) * 2.0f + k1b + k4b) * h / 6.0f + b;
    ASSERT_EQ(s.y[1], a) << "start " << start;
    ASSERT_EQ(s.y[2], b) << "start " << start;
    ASSERT_EQ(s.k4[0], k4a) << "start " << start;
    ASSERT_EQ(s.k4[1], k4b) << "start " << start;
  }
}

TEST(Runge, IntegratesTheExponentialToFourthOrderAccuracy) {
  // Global error of RK4 with h = 0.1 over [0, 1] is about 2e-6 e; float
  // rounding adds a few units of 1e-7.
  constexpr float kTolerance = 5e-6f;
  System s(1);
  s.y = {0.0f, 1.0f};
  RUNGE(s.y, 1, 0.1f, 10, exponential, s.k1, s.k2, s.k3, s.k4, s.w);
  EXPECT_NEAR(s.y[1], std::exp(1.0f), kTolerance);

  // and backwards again with a negative step
  RUNGE(s.y, 1, -0.1f, 10, exponential, s.k1, s.k2, s.k3, s.k4, s.w);
  EXPECT_NEAR(s.y[1], 1.0f, kTolerance);
}

TEST(Runge, AdvancesXByRepeatedAdditionOfTheStep) {
  System s(1);
  s.y = {0.0f, 1.0f};
  RUNGE(s.y, 1, 0.1f, 10, exponential, s.k1, s.k2, s.k3, s.k4, s.w);
  float x = 0.0f;
  for (int k = 0; k < 10; ++k) x = x + 0.1f;
  EXPECT_EQ(s.y[0], x);
  EXPECT_NE(s.y[0], 10.0f * 0.1f);  // 1.0000001, not 1
}

TEST(Runge, NoStepsLeavesEverythingUntouchedAndNeverCallsF) {
  for (int steps : {0, -1, -100}) {
    System s(2);
    s.y = {0.5f, 1.0f, 2.0f};
    s.k1 = {7.0f, 7.0f};
    s.w = {9.0f, 9.0f, 9.0f};
    int calls = 0;
    auto f = [&calls](std::span<const float>, int) { return static_cast<float>(++calls); };
    RUNGE(s.y, 2, 0.1f, steps, f, s.k1, s.k2, s.k3, s.k4, s.w);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(s.y, (std::vector<float>{0.5f, 1.0f, 2.0f}));
    EXPECT_EQ(s.k1, (std::vector<float>{7.0f, 7.0f}));
    EXPECT_EQ(s.w, (std::vector<float>{9.0f, 9.0f, 9.0f}));
  }
}

TEST(Runge, WithNoEquationsOnlyXAdvances) {
  std::vector<float> y = {1.0f, 42.0f};  // y[1] is a parameter here
  std::vector<float> w = y;
  std::vector<float> none;
  int calls = 0;
  auto f = [&calls](std::span<const float>, int) { return static_cast<float>(++calls); };
  RUNGE(y, 0, 0.25f, 3, f, none, none, none, none, w);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(y[0], 1.75f);
  EXPECT_EQ(y[1], 42.0f);
}

TEST(Runge, CallsFInFourRunsOfOneToNOnAnUnchangedVector) {
  // Three equations, one parameter after them that F must see in Y and W.
  constexpr int kN = 3;
  constexpr int kSteps = 2;
  System s(kN, 1);
  s.y = {0.0f, 1.0f, 2.0f, 3.0f, 5.0f};
  s.w = s.y;
  struct Call {
    const float* vector;
    int i;
    std::vector<float> contents;
  };
  std::vector<Call> calls;
  auto f = [&calls](std::span<const float> v, int i) {
    calls.push_back({v.data(), i, std::vector<float>(v.begin(), v.end())});
    return v[4] * static_cast<float>(i);  // reads the parameter
  };
  RUNGE(s.y, kN, 0.5f, kSteps, f, s.k1, s.k2, s.k3, s.k4, s.w);

  ASSERT_EQ(calls.size(), static_cast<std::size_t>(4 * kN * kSteps));
  for (std::size_t run = 0; run < 4 * kSteps; ++run) {
    const Call& first = calls[run * kN];
    // the first stage of a step reads Y itself, the other three W
    EXPECT_EQ(first.vector, run % 4 == 0 ? s.y.data() : s.w.data()) << "run " << run;
    EXPECT_EQ(first.contents[4], 5.0f);
    for (int i = 1; i <= kN; ++i) {
      const Call& c = calls[run * kN + static_cast<std::size_t>(i - 1)];
      EXPECT_EQ(c.i, i);
      EXPECT_EQ(c.vector, first.vector);
      EXPECT_EQ(c.contents, first.contents) << "vector changed within run " << run;
    }
  }
  EXPECT_EQ(s.y[4], 5.0f);
  EXPECT_EQ(s.w[4], 5.0f);
  // dY(i+1)/dx = 5 i is constant: Y(i+1) grows by 5 i per unit of x
  EXPECT_EQ(s.y[0], 1.0f);
  EXPECT_EQ(s.y[1], 6.0f);
  EXPECT_EQ(s.y[2], 12.0f);
  EXPECT_EQ(s.y[3], 18.0f);
}

}  // namespace
