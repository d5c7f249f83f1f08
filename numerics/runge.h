// RUNGE: classical fourth-order Runge-Kutta, fixed steps, in the reals of Y
// (32-bit by default, 64-bit for the double design).
#pragma once

#include <span>
#include <type_traits>

namespace numerics {

// A table of reals whose type is fixed by another argument.
template <class Real>
using Span = std::span<std::type_identity_t<Real>>;

// Advances Y by `steps` steps of size H.  Y[0] is the independent variable x,
// Y[1..N] the N dependent variables; later elements are parameters for F that
// are neither read nor written here.  F(v, i) returns dY(i+1)/dx at the vector
// v (Y itself or W) for i = 1..N; for every stage F is called for i = 1, 2, ..., N
// in that order with the same, unchanged vector.  K1..K4 hold N reals each;
// W holds at least N + 1 reals and must already carry the caller's parameters.
//
// F receives the whole vector (Y or W, parameters included) as a
// std::span<const Real>, so it is declared as, for example,
//   float DUREF(std::span<const float> v, int i);
// steps <= 0 leaves Y unchanged and never calls F.  x advances by repeated
// addition of H, one addition per step.
// The real type follows H.
template <class Real, class Deriv>
void RUNGE(Span<Real> Y, int N, Real H, int steps, Deriv&& F, Span<Real> K1, Span<Real> K2,
           Span<Real> K3, Span<Real> K4, Span<Real> W);

}  // namespace numerics

#include "numerics/runge_impl.h"
