// The program's results repeat bit for bit only when the compiler neither
// fuses multiplies into adds nor reorders sums (-ffp-contract=off, no
// -ffast-math).  The last ray of each example design is where the
// integration has run longest; a build that fuses or reorders moves its last
// bits (checked: -ffp-contract=fast with FMA, and -ffast-math, both change
// every design below).  The values were computed with the program's own flags.
// They also rest on the C library's float cos, pow and atan: on another C
// library, first check that the example outputs are unchanged, then take the
// new bits.
#include <gtest/gtest.h>

#include <ios>

#include "design/choices.h"
#include "design/synthesis.h"
#include "tests/test_util.h"

namespace design {
namespace {

struct Pinned {
  const char* name;
  DesignSpec choices;
  std::size_t rays;
  float feed_exponent, power_ratio;
  Ray<float> last;
};

::testing::AssertionResult same_bits(float got, float want, const char* what) {
  if (bits_of(got) == bits_of(want)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << what << " is " << std::hexfloat << got << ", not "
                                       << want;
}

TEST(FloatFlags, TheExampleDesignsKeepTheirLastBits) {
  DesignSpec gaussian = testutil::example_choices();
  gaussian.geometry = {0.25, 0.6, 0.2, 0.1};
  gaussian.feed = {30.0, -12.0};
  gaussian.aperture = {Distribution::gaussian, 10.0};
  gaussian.synthesis = {0.0005, 0.025};
  DesignSpec taylor = testutil::example_choices();
  taylor.geometry = {0.3, 0.55, 0.22, 0.15};
  taylor.feed = {50.0, -15.0};
  taylor.aperture = {Distribution::taylor, 0.0, 25.0, 4};
  taylor.synthesis = {0.001, 0.05};
  const Pinned designs[] = {
      {"uniform", testutil::example_choices(), 45, 0x1.2cd14p+6f, 0x1.ad4918p-5f,
       {0x1.21172ep-4f, 0x1.d191e2p-2f, 0x1.25a24ep-11f, 0x1.e0c962p-5f, 0x1.fffec4p-1f,
        0x1.78923ap+0f}},
      {"gaussian", gaussian, 37, 0x1.4197d6p+7f, 0x1.98baccp-4f,
       {0x1.a3d12cp-6f, 0x1.25e0fp-1f, 0x1.0d29c2p-12f, -0x1.f7f5e4p-8f, 0x1.000138p+0f,
        0x1.bd0366p+0f}},
      {"taylor", taylor, 18, 0x1.1ff31ep+6f, 0x1.122a5ep-3f,
       {0x1.9da2fp-5f, 0x1.0805f6p-1f, 0x1.dc8466p-12f, -0x1.21adep-4f, 0x1.fffec4p-1f,
        0x1.bec826p+0f}},
  };
  for (const Pinned& p : designs) {
    SCOPED_TRACE(p.name);
    const Design<float> d = make_design<float>(p.choices);
    EXPECT_TRUE(same_bits(d.feed.exponent, p.feed_exponent, "feed exponent"));
    EXPECT_TRUE(same_bits(d.power_ratio, p.power_ratio, "power ratio"));
    const RayTable<float> t = synthesize(d);
    ASSERT_EQ(t.rays.size(), p.rays);
    const Ray<float>& last = t.rays.back();
    EXPECT_TRUE(same_bits(last.feed_angle_deg, p.last.feed_angle_deg, "feed angle"));
    EXPECT_TRUE(same_bits(last.sub_z, p.last.sub_z, "subreflector z"));
    EXPECT_TRUE(same_bits(last.sub_r, p.last.sub_r, "subreflector r"));
    EXPECT_TRUE(same_bits(last.main_z, p.last.main_z, "main z"));
    EXPECT_TRUE(same_bits(last.main_r, p.last.main_r, "main r"));
    EXPECT_TRUE(same_bits(last.path_length, p.last.path_length, "path length"));
  }
}

}  // namespace
}  // namespace design
