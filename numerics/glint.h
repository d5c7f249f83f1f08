// GLINT: Gauss-Legendre quadrature of orders 3-10, 12, 16 and 32.
#pragma once

#include <span>

namespace numerics {

// Integrates F over [a, b] with the rule of order n.  Each abscissa is written
// into vector[0] before F(vector) is called; the other elements pass
// parameters to F untouched.  An unsupported order gives result = 0 without
// calling F.
//
// F receives the vector as a std::span<const float>, for example
//   float FPOWR(std::span<const float> v);
// After the call vector[0] holds the last abscissa evaluated: the centre for
// an odd order, the node nearest b for an even one.  b < a gives the negated
// integral.
template <class Integrand>
void GLINT(float a, float b, std::span<float> vector, Integrand&& F, int n, float& result);

}  // namespace numerics

#include "numerics/glint_impl.h"
