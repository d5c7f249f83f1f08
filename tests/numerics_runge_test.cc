#include <algorithm>
#include <cmath>
#include <ios>
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

TEST(Runge, OneStepKeepsTheBitsOfItsStagesSummedInTheWrittenOrder) {
  // dy1/dx = x y2, dy2/dx = -y1 + 0.3, one step of 0.1.  From these starting
  // points the stages summed as S (h / 6), or in another order, change the
  // last bit of one result or both; the values are those of the sums as
  // written, h S / 6 with (K2 + K3) 2 + K1 + K4.
  auto f = [](std::span<const float> v, int i) { return i == 1 ? v[0] * v[2] : -v[1] + 0.3f; };
  struct Step {
    float x, a, b;          // start
    float want_a, want_b;   // after the step
  };
  const Step steps[] = {
      {0x1.a8f5c2p-1f, 0x1.170a3cp+0f, -0x1.1eb85p-2f, 0x1.0fd5dap+0f, -0x1.6e42bp-2f},
      {0x1.31a9fcp+0f, 0x1.010624p-1f, 0x1.916878p-3f, 0x1.0cd4a6p-1f, 0x1.65a9d8p-3f},
      {0x1.6d9168p+0f, 0x1.fbe76p-4f, 0x1.010626p-1f, 0x1.983874p-3f, 0x1.082326p-1f},
  };
  for (const Step& st : steps) {
    System s(2);
    s.y = {st.x, st.a, st.b};
    RUNGE(s.y, 2, 0.1f, 1, f, s.k1, s.k2, s.k3, s.k4, s.w);
    EXPECT_EQ(s.y[1], st.want_a) << std::hexfloat << st.x;
    EXPECT_EQ(s.y[2], st.want_b) << std::hexfloat << st.x;
  }
}

// The error at x = 1 of `steps` steps of 1/steps in 64-bit reals, for a
// system whose solution is known in closed form.
template <class Deriv>
double error_at_one(int steps, std::vector<double> y0, Deriv f, const std::vector<double>& exact) {
  const std::size_t n = y0.size() - 1;
  std::vector<double> k1(n), k2(n), k3(n), k4(n), w(y0);
  RUNGE(std::span<double>(y0), static_cast<int>(n), 1.0 / steps, steps, f, k1, k2, k3, k4, w);
  double worst = 0.0;
  for (std::size_t i = 1; i <= n; ++i) worst = std::max(worst, std::fabs(y0[i] - exact[i - 1]));
  return worst;
}

TEST(Runge, HalvingTheStepCutsTheErrorSixteenfold) {
  // Fourth order: the global error falls by 2^4 as the step halves.  A
  // stage taken from the wrong vector or weighted wrongly drops the order
  // and the ratio to 8 or less.
  struct Problem {
    const char* name;
    std::vector<double> y0;  // x = 0, then the dependent variables
    double (*f)(std::span<const double>, int);
    std::vector<double> exact;  // at x = 1
  };
  const Problem problems[] = {
      // y' = y: e^x
      {"exponential", {0.0, 1.0}, [](std::span<const double> v, int) { return v[1]; },
       {std::exp(1.0)}},
      // y' = cos x: sin x (the step is Simpson's rule)
      {"cosine", {0.0, 0.0}, [](std::span<const double> v, int) { return std::cos(v[0]); },
       {std::sin(1.0)}},
      // y1' = y2, y2' = -y1: cos x and -sin x, each stage using the other's
      {"oscillator", {0.0, 1.0, 0.0},
       [](std::span<const double> v, int i) { return i == 1 ? v[2] : -v[1]; },
       {std::cos(1.0), -std::sin(1.0)}},
  };
  for (const Problem& p : problems) {
    const double coarse = error_at_one(10, p.y0, p.f, p.exact);
    const double fine = error_at_one(20, p.y0, p.f, p.exact);
    const double finer = error_at_one(40, p.y0, p.f, p.exact);
    EXPECT_GT(coarse, 1e-9) << p.name;  // far above the rounding of 64-bit reals
    EXPECT_NEAR(coarse / fine, 16.0, 1.0) << p.name;
    EXPECT_NEAR(fine / finer, 16.0, 1.0) << p.name;
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
