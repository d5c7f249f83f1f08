// SORT2 (heapsort with a companion table), SPLINE / SPLINT (cubic splines)
// and POLINT (Neville's polynomial interpolation), in 32-bit reals.
// Tables are passed from their first entry; n entries are used.
#pragma once

#include <span>

namespace numerics {

// Sorts ra[0..n) into increasing order, moving each rb entry with its key.
// Equal keys need not keep their order; n < 2 leaves both tables unchanged.
void SORT2(int n, std::span<float> ra, std::span<float> rb);

// Second derivatives y2[0..n) of the cubic spline through (x, y).  A slope
// greater than 0.99e30 selects the natural condition at that end.  Any n is
// served (the work table is sized to n); n < 2 sets y2 to 0.
void SPLINE(std::span<const float> x, std::span<const float> y, int n, float yp1, float ypn,
            std::span<float> y2);

// Value y at x of the spline set up by SPLINE; x outside the table continues
// the end interval's cubic.  Equal abscissae around x call
// pause("bad xa input in splint") and then go on (the value is then inf/NaN).
void SPLINT(std::span<const float> xa, std::span<const float> ya, std::span<const float> y2a,
            int n, float x, float& y);

// The most points POLINT serves.
inline constexpr int kPolintMaxPoints = 10;

// Value y at x of the polynomial through the n points, and dy, the last
// correction added (an error estimate).  n is at most 10: larger n uses the
// first 10 points, n < 1 gives y = dy = 0.  Equal abscissae call
// pause("failure in polint") and then go on (the value is then inf/NaN).
void POLINT(std::span<const float> xa, std::span<const float> ya, int n, float x, float& y,
            float& dy);

}  // namespace numerics
