#include <gtest/gtest.h>

namespace {

// With a = 1 + 2^-12 and c = -(1 + 2^-11), a*a = 1 + 2^-11 + 2^-24 rounds to
// 1 + 2^-11 in float, so the unfused a*a + c is exactly 0; a fused
// multiply-add keeps the 2^-24.  Every result of the program depends on the
// compiler not fusing (-ffp-contract=off).
TEST(FloatFlags, MultiplyAndAddAreNotFused) {
  volatile float a_in = 1.0f + 0x1p-12f;
  volatile float c_in = -(1.0f + 0x1p-11f);
  const float a = a_in;
  const float c = c_in;
  const float t = a * a;
  EXPECT_EQ(t + c, 0.0f);
  EXPECT_EQ(a * a + c, 0.0f);
}

}  // namespace
