// BESJ: Bessel function of the first kind J_v(x); GAMI: reciprocal gamma 1/G(x).
// Both in 32-bit reals, without state.
#pragma once

namespace numerics {

// J_v(x): power series for x <= 6 (groups of five terms, at most 20 groups,
// stopping when a group leaves the sum unchanged), Hankel's asymptotic
// expansion with five terms in P and Q above 6.
float BESJ(float x, float v);

// 1/G(x) from the power series of 1/G(z) about 0 and the upward recurrence;
// 0 for |x| >= 33.
float GAMI(float x);

}  // namespace numerics
