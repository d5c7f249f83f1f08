// Body of GLINT (included by glint.h).  The sum runs from the innermost pair
// of nodes outwards, left node before right, the centre node last; the order
// of the additions decides the last bits of the result.
#pragma once

#include <cassert>
#include <cstddef>
#include <span>

#include "numerics/gauss_legendre_table.h"

namespace numerics {

template <class Integrand>
void GLINT(float a, float b, std::span<float> vector, Integrand&& F, int n, float& result) {
  namespace gl = gauss_legendre;
  std::size_t order = gl::kOrders.size();
  for (std::size_t k = 0; k < gl::kOrders.size(); ++k) {
    if (gl::kOrders[k] == n) order = k;
  }
  if (order == gl::kOrders.size()) {
    result = 0.0f;
    return;
  }
  assert(!vector.empty());

  const int half = n / 2;
  const bool odd = n > 2 * half;
  const float* x = gl::kNodes.data() + gl::kNodeStart[order];
  const float* w = gl::kWeights.data() + gl::kWeightStart[order];
  const float w_centre = odd ? w[0] : 0.0f;
  if (odd) ++w;  // the centre weight comes ahead of the positive nodes' ones

  const std::span<const float> v(vector);
  // m = (b - a)/2, c = (b + a)/2
  const float m = (b - a) / 2.0f;
  const float c = (b + a) / 2.0f;

  float sum = 0.0f;
  for (int j = 0; j < half; ++j) {
    vector[0] = c - m * x[j];
    sum = F(v) * w[j] + sum;
    vector[0] = m * x[j] + c;
    sum = F(v) * w[j] + sum;
  }
  if (odd) {
    vector[0] = c;
    result = (F(v) * w_centre + sum) * m;
  } else {
    result = m * sum;
  }
}

}  // namespace numerics
