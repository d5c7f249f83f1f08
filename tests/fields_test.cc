// Exact-string tables for the fixed-width fields.  Every expected string was
// printed by gfortran 12 with the same edit descriptor (F w.d, 1P E w.d, I w),
// the 32-bit cases from REAL(4) variables.
#include "fields/fields.h"

#include <gtest/gtest.h>

#include <climits>
#include <limits>

namespace {

using fields::A;
using fields::E;
using fields::F;
using fields::I;
using fields::X;

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

TEST(FixedField, RoundsAnExactTieToTheEvenDigit) {
  EXPECT_EQ(F(0.125, 5, 2), " 0.12");
  EXPECT_EQ(F(0.375, 5, 2), " 0.38");
  EXPECT_EQ(F(-0.125, 6, 2), " -0.12");
  EXPECT_EQ(F(2.5, 3, 0), " 2.");
  EXPECT_EQ(F(3.5, 3, 0), " 4.");
  EXPECT_EQ(F(0.5, 4, 0), "  0.");
  EXPECT_EQ(F(1.5, 4, 0), "  2.");
  EXPECT_EQ(F(0.0625, 7, 3), "  0.062");
  EXPECT_EQ(F(0.0375, 7, 3), "  0.037");
  EXPECT_EQ(F(0.25, 2, 1), ".2");
}

TEST(FixedField, RoundsTheExactBinaryValueNotItsDecimalSpelling) {
  EXPECT_EQ(F(2.675, 5, 2), " 2.67");
  EXPECT_EQ(F(1.005, 5, 2), " 1.00");
  EXPECT_EQ(F(0.15, 4, 1), " 0.1");
  EXPECT_EQ(F(0.45, 4, 1), " 0.5");
  EXPECT_EQ(F(99.995, 6, 2), "100.00");
}

TEST(FixedField, DropsTheLeadingZeroOnlyWhenTheFieldWouldOverflow) {
  EXPECT_EQ(F(0.5, 6, 4), "0.5000");
  EXPECT_EQ(F(0.5, 5, 4), ".5000");
  EXPECT_EQ(F(-0.5, 6, 3), "-0.500");
  EXPECT_EQ(F(-0.5, 5, 3), "-.500");
  EXPECT_EQ(F(-0.5, 4, 3), "****");
  EXPECT_EQ(F(0.5, 3, 2), ".50");
  EXPECT_EQ(F(0.0, 3, 2), ".00");
  EXPECT_EQ(F(0.0, 4, 2), "0.00");
  EXPECT_EQ(F(0.995, 4, 2), "0.99");
  EXPECT_EQ(F(0.96, 2, 1), "**");
  EXPECT_EQ(F(0.5, 2, 0), "0.");
  EXPECT_EQ(F(-0.4, 2, 0), "**");
  EXPECT_EQ(F(0.0, 1, 0), "*");
  EXPECT_EQ(F(0.5, 5, 5), "*****");
}

TEST(FixedField, KeepsTheMinusSignOfAValueThatRoundsToZero) {
  EXPECT_EQ(F(-0.001, 5, 2), "-0.00");
  EXPECT_EQ(F(-0.004, 5, 2), "-0.00");
  EXPECT_EQ(F(-0.0, 5, 2), "-0.00");
  EXPECT_EQ(F(0.0, 5, 2), " 0.00");
  EXPECT_EQ(F(-0.0051, 5, 2), "-0.01");
  EXPECT_EQ(F(-0.001, 4, 2), "-.00");
  EXPECT_EQ(F(-0.001, 3, 2), "***");
  EXPECT_EQ(F(-0.4, 3, 0), "-0.");
}

TEST(FixedField, FillsTheFieldWithAsterisksWhenTheValueDoesNotFit) {
  EXPECT_EQ(F(999.995, 6, 2), "******");
  EXPECT_EQ(F(-99.995, 6, 2), "******");
  EXPECT_EQ(F(-99.994, 6, 2), "-99.99");
  EXPECT_EQ(F(12345.678, 8, 3), "********");
  EXPECT_EQ(F(1e8, 12, 3), "************");
  EXPECT_EQ(F(1e7, 12, 3), "10000000.000");
  EXPECT_EQ(F(-1e7, 12, 3), "************");
  EXPECT_EQ(F(10.0, 5, 3), "*****");
  EXPECT_EQ(F(9.9996, 5, 3), "*****");
  EXPECT_EQ(F(1e300, 15, 3), "***************");
}

TEST(FixedField, PrintsEveryWidthTheListingsUse) {
  EXPECT_EQ(F(-1.25, 5, 1), " -1.2");
  EXPECT_EQ(F(3.14159, 6, 2), "  3.14");
  EXPECT_EQ(F(-12.345, 7, 2), " -12.35");
  EXPECT_EQ(F(0.7071, 7, 3), "  0.707");
  EXPECT_EQ(F(1234.567, 8, 2), " 1234.57");
  EXPECT_EQ(F(-123.4567, 8, 3), "-123.457");
  EXPECT_EQ(F(12.34567, 8, 4), " 12.3457");
  EXPECT_EQ(F(-0.123456, 8, 5), "-0.12346");
  EXPECT_EQ(F(-1234.5678, 9, 3), "-1234.568");
  EXPECT_EQ(F(1234.5678, 9, 4), "1234.5678");
  EXPECT_EQ(F(-12345.6789, 10, 3), "-12345.679");
  EXPECT_EQ(F(-1234.56789, 10, 4), "-1234.5679");
  EXPECT_EQ(F(1234567.891, 11, 3), "1234567.891");
  EXPECT_EQ(F(-1234567.891, 12, 3), "-1234567.891");
  EXPECT_EQ(F(98765432109.876, 15, 3), "98765432109.876");
}

TEST(FixedField, PrintsAFloatAsItsExactWidenedValue) {
  EXPECT_EQ(F(0.1f, 12, 9), " 0.100000001");
  EXPECT_EQ(F(0.3f, 12, 9), " 0.300000012");
  EXPECT_EQ(F(-0.7f, 12, 9), "-0.699999988");
  EXPECT_EQ(F(123.456f, 10, 4), "  123.4560");
  EXPECT_EQ(F(123.456f, 15, 11), "123.45600128174");
  EXPECT_EQ(F(3.1415927f, 9, 4), "   3.1416");
}

TEST(ExponentField, RoundsAnExactTieToTheEvenDigit) {
  EXPECT_EQ(E(0.125, 9, 1), "  1.2E-01");
  EXPECT_EQ(E(0.375, 9, 1), "  3.8E-01");
  EXPECT_EQ(E(-2.5, 7, 0), "-2.E+00");
  EXPECT_EQ(E(3.5, 7, 0), " 4.E+00");
  EXPECT_EQ(E(9.999995, 12, 5), " 1.00000E+01");
  EXPECT_EQ(E(9.9999949, 12, 5), " 9.99999E+00");
}

TEST(ExponentField, PrintsEveryWidthTheListingsUse) {
  EXPECT_EQ(E(-1234.5678, 12, 5), "-1.23457E+03");
  EXPECT_EQ(E(0.000123456789, 13, 6), " 1.234568E-04");
  EXPECT_EQ(E(-0.000123456789, 14, 6), " -1.234568E-04");
  EXPECT_EQ(E(6.02214076e23, 15, 6), "   6.022141E+23");
  EXPECT_EQ(E(3.1415927f, 13, 6), " 3.141593E+00");
  EXPECT_EQ(E(0.1f, 25, 16), "   1.0000000149011612E-01");
  EXPECT_EQ(E(1e20f, 15, 6), "   1.000000E+20");
  EXPECT_EQ(E(-1e-3f, 14, 6), " -1.000000E-03");
}

TEST(ExponentField, DropsTheLetterEForAThreeDigitExponent) {
  EXPECT_EQ(E(0.0, 13, 6), " 0.000000E+00");
  EXPECT_EQ(E(1e-99, 13, 6), " 1.000000E-99");
  EXPECT_EQ(E(9.9999999e99, 13, 6), " 1.000000+100");
  EXPECT_EQ(E(1e100, 12, 5), " 1.00000+100");
  EXPECT_EQ(E(-1e-100, 13, 6), "-1.000000-100");
  EXPECT_EQ(E(1.7976931348623157e308, 12, 5), " 1.79769+308");
  EXPECT_EQ(E(-2.2250738585072014e-308, 12, 5), "-2.22507-308");
  EXPECT_EQ(E(4.9406564584124654e-324, 13, 6), " 4.940656-324");
  EXPECT_EQ(E(1e-5, 14, 6), "  1.000000E-05");
  EXPECT_EQ(E(-1e20, 15, 6), "  -1.000000E+20");
}

TEST(ExponentField, KeepsTheSignOfNegativeZeroAndOverflowsToAsterisks) {
  EXPECT_EQ(E(-0.0, 12, 5), "-0.00000E+00");
  EXPECT_EQ(E(1.0, 11, 5), "1.00000E+00");
  EXPECT_EQ(E(-1.0, 11, 5), "***********");
  EXPECT_EQ(E(1.0, 5, 0), "*****");
  EXPECT_EQ(E(1.0, 6, 0), "1.E+00");
}

TEST(NonFiniteValues, PrintAsNaNInfOrInfinityDependingOnWidth) {
  EXPECT_EQ(F(inf, 2, 0), "**");
  EXPECT_EQ(F(inf, 3, 0), "Inf");
  EXPECT_EQ(F(-inf, 3, 0), "***");
  EXPECT_EQ(F(-inf, 4, 1), "-Inf");
  EXPECT_EQ(F(inf, 7, 3), "    Inf");
  EXPECT_EQ(F(inf, 8, 3), "Infinity");
  EXPECT_EQ(F(-inf, 8, 3), "    -Inf");
  EXPECT_EQ(F(-inf, 9, 3), "-Infinity");
  EXPECT_EQ(F(nan, 2, 0), "**");
  EXPECT_EQ(F(nan, 3, 0), "NaN");
  EXPECT_EQ(F(nan, 8, 3), "     NaN");
  EXPECT_EQ(F(-nan, 8, 3), "     NaN");
  EXPECT_EQ(E(inf, 12, 5), "    Infinity");
  EXPECT_EQ(E(-inf, 12, 5), "   -Infinity");
  EXPECT_EQ(E(nan, 12, 5), "         NaN");
}

TEST(IntegerField, RightJustifiesAndOverflowsToAsterisks) {
  EXPECT_EQ(I(0, 1), "0");
  EXPECT_EQ(I(9, 1), "9");
  EXPECT_EQ(I(10, 1), "*");
  EXPECT_EQ(I(-1, 1), "*");
  EXPECT_EQ(I(-99, 3), "-99");
  EXPECT_EQ(I(-100, 3), "***");
  EXPECT_EQ(I(9999, 4), "9999");
  EXPECT_EQ(I(10000, 4), "****");
  EXPECT_EQ(I(-99999, 6), "-99999");
  EXPECT_EQ(I(-100000, 6), "******");
  EXPECT_EQ(I(1234567, 7), "1234567");
  EXPECT_EQ(I(12345678, 7), "*******");
  EXPECT_EQ(I(LLONG_MIN, 20), "-9223372036854775808");
  EXPECT_EQ(I(LLONG_MAX, 19), "9223372036854775807");
}

TEST(TextField, CutsOrPadsToExactlyTheWidth) {
  EXPECT_EQ(A("abc", 5), "abc  ");
  EXPECT_EQ(A("abcdef", 3), "abc");
  EXPECT_EQ(A("", 2), "  ");
  EXPECT_EQ(A("abc", 0), "");
  EXPECT_EQ(X(3), "   ");
  EXPECT_EQ(X(0), "");
}

TEST(MalformedDescriptors, GiveAnEmptyOrAsteriskFieldInsteadOfFailing) {
  EXPECT_EQ(F(1.0, 0, 2), "");
  EXPECT_EQ(F(1.0, -3, 2), "");
  EXPECT_EQ(E(1.0, -1, 5), "");
  EXPECT_EQ(I(5, -1), "");
  EXPECT_EQ(A("x", -1), "");
  EXPECT_EQ(X(-2), "");
  EXPECT_EQ(F(1.0, 5, -1), "*****");
  EXPECT_EQ(E(1.0, 12, -1), "************");
  // d so large that d + 1 would overflow an int.
  EXPECT_EQ(F(1.0, 5, INT_MAX), "*****");
  EXPECT_EQ(E(1.0, 5, INT_MAX), "*****");
  EXPECT_EQ(F(1.0, INT_MAX, 2).size(), static_cast<size_t>(fields::kMaxWidth));
  EXPECT_EQ(I(7, INT_MAX).size(), static_cast<size_t>(fields::kMaxWidth));
  EXPECT_EQ(X(INT_MAX).size(), static_cast<size_t>(fields::kMaxWidth));
}

TEST(MalformedDescriptors, WideFieldsWithManyDecimalsHoldTheLargestDouble) {
  const double big = std::numeric_limits<double>::max();
  const std::string f = F(big, fields::kMaxWidth, fields::kMaxWidth - 320);
  ASSERT_EQ(f.size(), static_cast<size_t>(fields::kMaxWidth));
  EXPECT_EQ(f.find('*'), std::string::npos);
  EXPECT_EQ(f.substr(f.find_first_not_of(' '), 7), "1797693");
  const std::string e = E(-big, fields::kMaxWidth, fields::kMaxWidth - 7);
  ASSERT_EQ(e.size(), static_cast<size_t>(fields::kMaxWidth));
  EXPECT_EQ(e.substr(0, 4), "-1.7");
  EXPECT_EQ(e.substr(e.size() - 4), "+308");
}

TEST(EveryField, IsExactlyItsWidthWhateverTheValue) {
  const double values[] = {0.0, -0.0, 0.5, -0.5, 1e-300, -1e300, 123.456, -9.99995, inf, -inf, nan};
  for (double v : values) {
    for (int w = 1; w <= 16; ++w) {
      for (int d = 0; d <= w; ++d) {
        EXPECT_EQ(F(v, w, d).size(), static_cast<size_t>(w)) << v << " F" << w << "." << d;
        EXPECT_EQ(E(v, w, d).size(), static_cast<size_t>(w)) << v << " E" << w << "." << d;
      }
    }
  }
}

}  // namespace
