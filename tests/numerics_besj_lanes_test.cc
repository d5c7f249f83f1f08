#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "numerics/besj.h"
#include "numerics/besj_lanes.h"

namespace {

using numerics::BESJ;
using numerics::BESJ0_many;
using numerics::BesjLanes;

// Every lane path the machine can run: 4 lanes always, 8 with AVX.
std::vector<BesjLanes> lane_paths() {
  std::vector<BesjLanes> paths = {BesjLanes::four};
  if (numerics::besj_eight_lanes_available()) paths.push_back(BesjLanes::eight);
  return paths;
}

std::string path_name(BesjLanes lanes) { return lanes == BesjLanes::four ? "4 lanes" : "8 lanes"; }

// Runs the batch over x in pieces of `batch` arguments (the last one
// shorter) and reports every argument whose result differs in any bit from
// the scalar BESJ.
void expect_scalar_bits(const std::vector<float>& x, std::size_t batch, BesjLanes lanes) {
  std::vector<float> j0(x.size(), -123.0f);
  for (std::size_t start = 0; start < x.size(); start += batch) {
    const std::size_t n = std::min(batch, x.size() - start);
    BESJ0_many(std::span(x).subspan(start, n), std::span(j0).subspan(start, n), lanes);
  }
  int reported = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const float want = BESJ(x[i], 0.0f);
    const bool same = std::bit_cast<std::uint32_t>(j0[i]) == std::bit_cast<std::uint32_t>(want);
    if (!same && reported < 10) {
      ++reported;
      ADD_FAILURE() << path_name(lanes) << ", batch " << batch << ": J0(" << std::hexfloat << x[i]
                    << ") = " << j0[i] << ", scalar " << want;
    }
  }
}

// Arguments over [lo, hi] in steps of `step`, shuffled so that neighbouring
// lanes have different series lengths and branches.
std::vector<float> grid(float lo, float hi, float step) {
  std::vector<float> x;
  for (int k = 0;; ++k) {
    const float v = lo + step * static_cast<float>(k);
    if (v > hi) break;
    x.push_back(v);
  }
  // a fixed interleave: take every 7th element in turn
  std::vector<float> mixed;
  mixed.reserve(x.size());
  for (std::size_t offset = 0; offset < 7; ++offset) {
    for (std::size_t i = offset; i < x.size(); i += 7) mixed.push_back(x[i]);
  }
  return mixed;
}

TEST(BesjLanes, SeriesSideMatchesScalarBits) {
  std::vector<float> x = grid(0.0f, 6.0f, 1.0f / 4096.0f);
  for (float tiny : {0.0f, -0.0f, 1e-30f, 1e-20f, 1e-10f, 1e-5f, 1e-3f,
                     std::numeric_limits<float>::denorm_min(), std::numeric_limits<float>::min()}) {
    x.push_back(tiny);
  }
  for (BesjLanes lanes : lane_paths()) expect_scalar_bits(x, x.size(), lanes);
}

TEST(BesjLanes, ExpansionSideAndSwitchPointMatchScalarBits) {
  std::vector<float> x = grid(6.0f, 72.0f, 1.0f / 512.0f);
  // the switch point and the floats on either side of it, mixed with
  // arguments far on each side so both branches meet in one batch
  float below = 6.0f;
  float above = 6.0f;
  for (int k = 0; k < 16; ++k) {
    below = std::nextafter(below, 0.0f);
    above = std::nextafter(above, 100.0f);
    x.insert(x.end(), {below, 6.0f, above, 0.5f, 63.6f});
  }
  for (BesjLanes lanes : lane_paths()) expect_scalar_bits(x, x.size(), lanes);
}

TEST(BesjLanes, NegativeAndSpecialArgumentsMatchScalarBits) {
  // negative arguments take the series; -inf and NaN run it or the
  // expansion to the end
  std::vector<float> x = grid(-70.0f, 0.0f, 1.0f / 64.0f);
  using limits = std::numeric_limits<float>;
  x.insert(x.end(), {limits::infinity(), -limits::infinity(), limits::quiet_NaN(), limits::max(),
                     -limits::max()});
  for (BesjLanes lanes : lane_paths()) expect_scalar_bits(x, x.size(), lanes);
}

TEST(BesjLanes, BatchesOfEveryLengthMatchScalarBits) {
  // lengths that leave every possible remainder of 4 and 8 lanes, over the
  // arguments the Taylor density uses (the zeros of J1 up to 63.6 times r)
  const std::vector<float> x = grid(0.0f, 64.0f, 1.0f / 64.0f);
  for (BesjLanes lanes : lane_paths()) {
    for (std::size_t batch : {1, 2, 3, 5, 7, 8, 9, 17, 19, 64, 65, 200}) {
      expect_scalar_bits(x, batch, lanes);
    }
  }
}

TEST(BesjLanes, WritesOnlyTheCommonLength) {
  const std::vector<float> x = {1.0f, 7.0f, 2.0f};
  std::vector<float> j0(5, -123.0f);
  BESJ0_many(x, j0);
  EXPECT_EQ(j0[2], BESJ(2.0f, 0.0f));
  EXPECT_EQ(j0[3], -123.0f);
  EXPECT_EQ(j0[4], -123.0f);

  std::vector<float> short_out(2, -123.0f);
  BESJ0_many(x, short_out);  // the third argument has nowhere to go
  EXPECT_EQ(short_out[1], BESJ(7.0f, 0.0f));

  BESJ0_many({}, j0);  // nothing to do
  EXPECT_EQ(j0[0], BESJ(1.0f, 0.0f));
}

}  // namespace
