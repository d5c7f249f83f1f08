// SORT2 (heapsort with a companion table), SPLINE / SPLINT (cubic splines)
// and POLINT (Neville's polynomial interpolation), in 32-bit reals or, for the
// 64-bit design, in doubles.  Tables are passed from their first entry; n
// entries are used.
#pragma once

#include <span>

#include "numerics/pause.h"

namespace numerics {

// Sorts ra[0..n) into increasing order, moving each rb entry with its key.
// Equal keys need not keep their order; n < 2 leaves both tables unchanged.
template <class Real>
void SORT2(int n, std::span<Real> ra, std::span<Real> rb);

// Second derivatives y2[0..n) of the cubic spline through (x, y).  A slope
// greater than 0.99e30 selects the natural condition at that end.  Any n is
// served (the work table is sized to n); n < 2 sets y2 to 0.
template <class Real>
void SPLINE(std::span<const Real> x, std::span<const Real> y, int n, Real yp1, Real ypn,
            std::span<Real> y2);

// Value y at x of the spline set up by SPLINE; x outside the table continues
// the end interval's cubic.  Equal abscissae around x call
// pause("bad xa input in splint") and then take the value of the point, so
// the result stays finite.
template <class Real>
void SPLINT(std::span<const Real> xa, std::span<const Real> ya, std::span<const Real> y2a, int n,
            Real x, Real& y, const PauseHandler& pause);

// The most points POLINT serves.
inline constexpr int kPolintMaxPoints = 10;

// Value y at x of the polynomial through the n points, and dy, the last
// correction added (an error estimate).  n is at most 10: larger n uses the
// first 10 points, n < 1 gives y = dy = 0.  Equal abscissae call
// pause("failure in polint") and then drop that correction, so the result
// stays finite.
template <class Real>
void POLINT(std::span<const Real> xa, std::span<const Real> ya, int n, Real x, Real& y, Real& dy,
            const PauseHandler& pause);

}  // namespace numerics
