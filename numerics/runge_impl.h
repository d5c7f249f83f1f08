// Body of RUNGE (included by runge.h).  Each stage is written term by term in
// the order the sums are formed: the last bits of the results depend on it.
#pragma once

#include <cassert>
#include <cstddef>
#include <span>

namespace numerics {

template <class Real, class Deriv>
void RUNGE(Span<Real> Y, int N, Real H, int steps, Deriv&& F, Span<Real> K1, Span<Real> K2,
           Span<Real> K3, Span<Real> K4, Span<Real> W) {
  if (steps <= 0) return;
  if (N < 0) N = 0;
  const auto n = static_cast<std::size_t>(N);
  assert(Y.size() >= n + 1 && W.size() >= n + 1);
  assert(K1.size() >= n && K2.size() >= n && K3.size() >= n && K4.size() >= n);

  const std::span<const Real> y_vec(Y);
  const std::span<const Real> w_vec(W);
  const Real h = H;

  for (int step = 0; step < steps; ++step) {
    // k1 step: K1(i) = F(Y, i)
    for (std::size_t i = 1; i <= n; ++i) K1[i - 1] = F(y_vec, static_cast<int>(i));

    // k2 step: W(1) = h/2 + Y(1); W(i+1) = K1(i)*h/2 + Y(i+1)
    W[0] = h / Real(2) + Y[0];
    for (std::size_t i = 1; i <= n; ++i) W[i] = K1[i - 1] * h / Real(2) + Y[i];
    for (std::size_t i = 1; i <= n; ++i) K2[i - 1] = F(w_vec, static_cast<int>(i));

    // k3 step: W(i+1) = K2(i)*h/2 + Y(i+1); W(1) stays at the midpoint
    for (std::size_t i = 1; i <= n; ++i) W[i] = K2[i - 1] * h / Real(2) + Y[i];
    for (std::size_t i = 1; i <= n; ++i) K3[i - 1] = F(w_vec, static_cast<int>(i));

    // k4 step: W(1) = Y(1) + h; W(i+1) = K3(i)*h + Y(i+1)
    W[0] = Y[0] + h;
    for (std::size_t i = 1; i <= n; ++i) W[i] = K3[i - 1] * h + Y[i];
    for (std::size_t i = 1; i <= n; ++i) K4[i - 1] = F(w_vec, static_cast<int>(i));

    // Y(i+1) = ((K2(i) + K3(i))*2 + K1(i) + K4(i))*h/6 + Y(i+1)
    for (std::size_t i = 1; i <= n; ++i) {
      Y[i] = ((K2[i - 1] + K3[i - 1]) * Real(2) + K1[i - 1] + K4[i - 1]) * h / Real(6) + Y[i];
    }
    // x by repeated addition, never x0 + k*h
    Y[0] = Y[0] + h;
  }
}

}  // namespace numerics
