// RUNGE: classical fourth-order Runge-Kutta, fixed steps, 32-bit reals.
#pragma once

#include <span>

namespace numerics {

// Advances Y by `steps` steps of size H.  Y[0] is the independent variable x,
// Y[1..N] the N dependent variables; later elements are parameters for F that
// are neither read nor written here.  F(v, i) returns dY(i+1)/dx at the vector
// v (Y itself or W) for i = 1..N; for every stage F is called for i = 1, 2, ..., N
// in that order with the same, unchanged vector.  K1..K4 hold N reals each;
// W holds at least N + 1 reals and must already carry the caller's parameters.
//
// F receives the whole vector (Y or W, parameters included) as a
// std::span<const float>, so it is declared as, for example,
//   float DUREF(std::span<const float> v, int i);
// steps <= 0 leaves Y unchanged and never calls F.  x advances by repeated
// addition of H, one addition per step.
template <class Deriv>
void RUNGE(std::span<float> Y, int N, float H, int steps, Deriv&& F,
           std::span<float> K1, std::span<float> K2, std::span<float> K3,
           std::span<float> K4, std::span<float> W);

}  // namespace numerics

#include "numerics/runge_impl.h"
