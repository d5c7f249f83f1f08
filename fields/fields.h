// Fixed-width output fields in the style of Fortran edit descriptors.
//
//   F(v, w, d)  Fw.d   v rounded to d decimals, right-justified in w characters
//   E(v, w, d)  1PEw.d one digit before the point: d.dddE+xx, right-justified
//   I(v, w)     Iw     integer right-justified in w characters
//   A(s, w)     Aw     text cut or padded with blanks to exactly w characters
//   X(n)        nX     n blanks
//
// Numbers are rounded from their exact binary value to the nearest decimal,
// an exact tie going to the even digit.  The minus sign stands directly before
// the digits.  A value that does not fit fills its field with asterisks.  As in
// the Fortran F edit, the zero before the point of a value between -1 and 1 is
// left out only when the field would otherwise overflow.
//
// Every result is exactly w characters long (n for X), with two guards against
// malformed descriptors: a width of zero or less gives an empty string, and a
// width above kMaxWidth is cut to kMaxWidth.  A negative d fills the field
// with asterisks.
#pragma once

#include <string>
#include <string_view>

namespace fields {

// Largest field width honoured; the program's own fields are at most 15 wide.
inline constexpr int kMaxWidth = 1000;

// Fw.d: fixed-point; NaN and infinities print as gfortran does ("NaN", "Inf",
// "Infinity"), a negative value that rounds to zero keeps its sign ("-0.00").
std::string F(double v, int w, int d);
// 1PEw.d: d.ddddE+xx; an exponent beyond two digits drops the E (1.00000+100).
std::string E(double v, int w, int d);
// Iw: decimal integer.
std::string I(long long v, int w);
// Aw: text cut or padded with blanks on the right.
std::string A(std::string_view s, int w);
// nX: n blanks.
std::string X(int n);

// Float overloads: a 32-bit value is widened exactly before it is formatted.
inline std::string F(float v, int w, int d) { return F(static_cast<double>(v), w, d); }
inline std::string E(float v, int w, int d) { return E(static_cast<double>(v), w, d); }

}  // namespace fields
