#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "numerics/interp.h"
#include "numerics/pause.h"

namespace {

using numerics::POLINT;
using numerics::SORT2;
using numerics::SPLINE;
using numerics::SPLINT;

constexpr float kNatural = 1.0e30f;  // end slope that asks for the natural spline

// Collects the messages of the pauses it is handed to.
struct PauseRecorder {
  std::vector<std::string> messages;
  numerics::PauseHandler handler() {
    return [this](std::string_view m) { messages.emplace_back(m); };
  }
};

// No pause where none is expected: the tests below that expect one record it.
const numerics::PauseHandler pause;

std::vector<std::pair<float, float>> pairs(const std::vector<float>& a, const std::vector<float>& b) {
  std::vector<std::pair<float, float>> p;
  for (std::size_t i = 0; i < a.size(); ++i) p.emplace_back(a[i], b[i]);
  return p;
}

TEST(Sort2, LeavesAnIncreasingTableUnchanged) {
  std::vector<float> ra = {1, 2, 3, 4, 5, 6, 7};
  std::vector<float> rb = {10, 20, 30, 40, 50, 60, 70};
  SORT2<float>(7, ra, rb);
  EXPECT_EQ(ra, (std::vector<float>{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(rb, (std::vector<float>{10, 20, 30, 40, 50, 60, 70}));
}

TEST(Sort2, ReversesADecreasingTableWithItsCompanions) {
  std::vector<float> ra = {0.9f, 0.7f, 0.5f, 0.3f, 0.1f, -0.1f};
  std::vector<float> rb = {1, 2, 3, 4, 5, 6};
  SORT2<float>(6, ra, rb);
  EXPECT_EQ(ra, (std::vector<float>{-0.1f, 0.1f, 0.3f, 0.5f, 0.7f, 0.9f}));
  EXPECT_EQ(rb, (std::vector<float>{6, 5, 4, 3, 2, 1}));
}

TEST(Sort2, MovesEveryCompanionWithItsKeyAmongEqualKeys) {
  std::vector<float> ra = {3, 1, 2, 3, 1, 2, 3, 0, 2};
  std::vector<float> rb = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  auto expected = pairs(ra, rb);
  SORT2<float>(9, ra, rb);
  EXPECT_TRUE(std::is_sorted(ra.begin(), ra.end()));
  auto got = pairs(ra, rb);
  std::sort(expected.begin(), expected.end());
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, expected);

  std::vector<float> same = {2, 2, 2, 2};
  std::vector<float> tags = {1, 2, 3, 4};
  SORT2<float>(4, same, tags);
  EXPECT_EQ(same, (std::vector<float>{2, 2, 2, 2}));
  std::sort(tags.begin(), tags.end());
  EXPECT_EQ(tags, (std::vector<float>{1, 2, 3, 4}));
}

TEST(Sort2, SortsOnlyTheFirstNEntriesAndIgnoresShortTables) {
  std::vector<float> ra = {5, 4, 3, 2, 1};
  std::vector<float> rb = {1, 2, 3, 4, 5};
  SORT2<float>(3, ra, rb);
  EXPECT_EQ(ra, (std::vector<float>{3, 4, 5, 2, 1}));
  EXPECT_EQ(rb, (std::vector<float>{3, 2, 1, 4, 5}));
  SORT2<float>(1, ra, rb);
  SORT2<float>(0, ra, rb);
  EXPECT_EQ(ra, (std::vector<float>{3, 4, 5, 2, 1}));
}

TEST(Spline, ThroughAStraightLineHasNoCurvatureAndInterpolatesLinearly) {
  const std::vector<float> x = {0.0f, 1.0f, 2.5f, 4.0f, 7.0f};
  std::vector<float> y;
  for (float v : x) y.push_back(2.0f * v + 1.0f);
  std::vector<float> y2(5, 9.0f);
  SPLINE<float>(x, y, 5, kNatural, kNatural, y2);
  EXPECT_EQ(y2, std::vector<float>(5, 0.0f));
  float v = 0.0f;
  for (float at : {-1.0f, 0.0f, 0.5f, 3.0f, 7.0f, 9.0f}) {
    SPLINT<float>(x, y, y2, 5, at, v, pause);
    EXPECT_FLOAT_EQ(v, 2.0f * at + 1.0f) << at;
  }
}

TEST(Spline, NaturalSplineThroughThreePointsByHand) {
  // (0,0), (1,1), (2,0): y2 = 0, -3, 0 and the midpoint of the first
  // interval lies at 0.5 + 0.375 * 3 / 6 = 0.6875
  const std::vector<float> x = {0, 1, 2}, y = {0, 1, 0};
  std::vector<float> y2(3);
  SPLINE<float>(x, y, 3, kNatural, kNatural, y2);
  EXPECT_EQ(y2, (std::vector<float>{0.0f, -3.0f, 0.0f}));
  float v = 0.0f;
  SPLINT<float>(x, y, y2, 3, 0.5f, v, pause);
  EXPECT_EQ(v, 0.6875f);
}

TEST(Spline, WithExactEndSlopesReproducesACubicInsideAndBeyondTheTable) {
  // y = x^3 - 2x with its slopes 3x^2 - 2 at both ends is itself the spline
  constexpr float kRounding = 2e-5f;  // float rounding of values up to ~30
  auto cubic = [](float t) { return t * t * t - 2.0f * t; };
  const std::vector<float> x = {-1.0f, -0.25f, 0.5f, 1.0f, 2.0f, 2.5f, 3.0f};
  std::vector<float> y;
  for (float t : x) y.push_back(cubic(t));
  std::vector<float> y2(x.size());
  const int n = static_cast<int>(x.size());
  SPLINE<float>(x, y, n, 1.0f, 25.0f, y2);
  float v = 0.0f;
  for (float at : {-2.0f, -1.0f, -0.6f, 0.0f, 0.75f, 1.0f, 2.2f, 3.0f, 3.5f}) {
    SPLINT<float>(x, y, y2, n, at, v, pause);
    EXPECT_NEAR(v, cubic(at), kRounding) << at;
  }
}

TEST(Splint, ReturnsTheOrdinateAtEveryTableAbscissaIncludingTheLast) {
  const std::vector<float> x = {0.0f, 0.3f, 0.7f, 1.2f, 2.0f};
  const std::vector<float> y = {1.0f, -0.5f, 0.25f, 3.0f, 2.0f};
  std::vector<float> y2(5);
  SPLINE<float>(x, y, 5, kNatural, kNatural, y2);
  float v = 0.0f;
  for (std::size_t i = 0; i < x.size(); ++i) {
    SPLINT<float>(x, y, y2, 5, x[i], v, pause);
    EXPECT_EQ(v, y[i]) << i;
  }
}

TEST(Spline, ServesAReflectorProfileOfThousandAndTwoPoints) {
  // y = x^2 at x = 0, 1, ..., 1001: every value and slope is exact in float,
  // and the spline's second derivative settles at 2 away from the natural ends.
  constexpr int kPoints = 1002;
  std::vector<float> x(kPoints), y(kPoints), y2(kPoints);
  for (std::size_t i = 0; i < kPoints; ++i) {
    x[i] = static_cast<float>(i);
    y[i] = x[i] * x[i];
  }
  SPLINE<float>(x, y, kPoints, kNatural, kNatural, y2);
  for (std::size_t i : {250u, 500u, 750u, 990u}) EXPECT_NEAR(y2[i], 2.0f, 1e-5f) << i;
  EXPECT_EQ(y2[kPoints - 1], 0.0f);
  float v = 0.0f;
  SPLINT<float>(x, y, y2, kPoints, 800.5f, v, pause);
  EXPECT_NEAR(v, 800.5f * 800.5f, 0.1f);
}

TEST(Splint, EqualAbscissaePauseWithAMessageAndCarryOn) {
  PauseRecorder recorder;
  const numerics::PauseHandler pause = recorder.handler();
  const std::vector<float> x = {0.0f, 1.0f, 1.0f}, y = {0.0f, 1.0f, 2.0f}, y2(3, 0.0f);
  float v = 0.0f;
  SPLINT<float>(x, y, y2, 3, 1.0f, v, pause);
  EXPECT_EQ(recorder.messages, (std::vector<std::string>{"bad xa input in splint"}));
  EXPECT_EQ(v, 1.0f);  // after the pause: the value of the point
  SPLINT<float>(x, y, y2, 3, 0.5f, v, pause);  // the other interval is sound
  EXPECT_EQ(v, 0.5f);
  EXPECT_EQ(recorder.messages.size(), 1u);
}

TEST(Polint, FourPointsOfACubicGiveItsValueAnywhere) {
  auto cubic = [](float t) { return t * t * t - 2.0f * t + 1.0f; };
  const std::vector<float> x = {0.0f, 1.0f, 2.0f, 3.0f};
  std::vector<float> y;
  for (float t : x) y.push_back(cubic(t));
  float v = 0.0f, dy = 0.0f;
  for (float at : {-0.5f, 0.4f, 1.5f, 2.7f, 4.0f}) {
    POLINT<float>(x, y, 4, at, v, dy, pause);
    EXPECT_NEAR(v, cubic(at), 2e-6f * std::max(1.0f, std::fabs(cubic(at)))) << at;
  }
  // at an abscissa it starts from that point and every correction is 0
  POLINT<float>(x, y, 4, 2.0f, v, dy, pause);
  EXPECT_EQ(v, y[2]);
  EXPECT_EQ(dy, 0.0f);
}

TEST(Polint, StartsFromTheLowerOfTwoEquallyNearPoints) {
  // Starting from (1, 0) the one correction is +0.5; from (2, 1) it is -0.5.
  const std::vector<float> x = {1.0f, 2.0f}, y = {0.0f, 1.0f};
  float v = 0.0f, dy = 0.0f;
  POLINT<float>(x, y, 2, 1.5f, v, dy, pause);
  EXPECT_EQ(v, 0.5f);
  EXPECT_EQ(dy, 0.5f);
}

TEST(Polint, KeepsWithinItsTenPointWorkTables) {
  std::vector<float> x(12), y(12);
  for (std::size_t i = 0; i < 12; ++i) {
    x[i] = static_cast<float>(i);
    y[i] = 3.0f * x[i] - 1.0f;
  }
  float v = 1.0f, dy = 1.0f;
  POLINT<float>(x, y, 12, 4.5f, v, dy, pause);  // uses the first ten points
  EXPECT_FLOAT_EQ(v, 12.5f);
  POLINT<float>(x, y, 0, 4.5f, v, dy, pause);
  EXPECT_EQ(v, 0.0f);
  EXPECT_EQ(dy, 0.0f);
}

TEST(Polint, EqualAbscissaePauseWithAMessageAndCarryOn) {
  PauseRecorder recorder;
  const numerics::PauseHandler pause = recorder.handler();
  const std::vector<float> x = {0.0f, 1.0f, 1.0f, 2.0f}, y = {0.0f, 1.0f, 1.0f, 4.0f};
  float v = 0.0f, dy = 0.0f;
  POLINT<float>(x, y, 4, 0.5f, v, dy, pause);
  ASSERT_FALSE(recorder.messages.empty());
  EXPECT_EQ(recorder.messages[0], "failure in polint");
  EXPECT_TRUE(std::isfinite(v));
  EXPECT_TRUE(std::isfinite(dy));
}

TEST(Spline, EqualNeighbouringAbscissaeGiveFiniteSecondDerivatives) {
  // A profile whose rays all coincide: every abscissa equal.
  const std::vector<float> same_x(5, 0.3f), same_y(5, -0.2f);
  std::vector<float> y2(5, 1.0f);
  SPLINE<float>(same_x, same_y, 5, kNatural, kNatural, y2);
  for (float v : y2) EXPECT_TRUE(std::isfinite(v));
  // One repeated abscissa inside an otherwise sound table.
  const std::vector<float> x = {0.0f, 1.0f, 1.0f, 2.0f, 3.0f}, y = {0.0f, 1.0f, 1.0f, 4.0f, 9.0f};
  SPLINE<float>(x, y, 5, kNatural, kNatural, y2);
  for (float v : y2) EXPECT_TRUE(std::isfinite(v));
  PauseRecorder recorder;
  const numerics::PauseHandler pause = recorder.handler();
  float v = 0.0f;
  SPLINT<float>(x, y, y2, 5, 2.5f, v, pause);
  EXPECT_TRUE(std::isfinite(v));
}

TEST(Splint, ASinglePointPausesThenGivesAConstantProfile) {
  PauseRecorder recorder;
  const numerics::PauseHandler pause = recorder.handler();
  const std::vector<float> x = {2.0f}, y = {-1.5f}, y2 = {0.0f};
  float v = 0.0f;
  SPLINT<float>(x, y, y2, 1, 7.0f, v, pause);
  EXPECT_EQ(v, -1.5f);
  EXPECT_EQ(recorder.messages, std::vector<std::string>{"bad xa input in splint"});
}

}  // namespace
