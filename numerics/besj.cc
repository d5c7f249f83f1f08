// Bessel function J_v(x) and reciprocal gamma 1/G(x) in 32-bit reals.
//
// For x <= 6, J_v(x) = sum_k (-1)^k (x/2)^(2k+v) / (k! G(k+v+1)), each term
// obtained from the last.  Above 6 the asymptotic form
//   J_v(x) = sqrt(2/(pi x)) (P cos chi - Q sin chi),  chi = x - (v/2 + 1/4) pi,
// with P and Q nested from the innermost bracket outwards.  This expansion
// takes pi as 3.141593 (one unit in the last place above the float nearest pi).
#include "numerics/besj.h"
#include "numerics/besj_constants.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdlib>

namespace numerics {
namespace {

using namespace besj_constants;

// Coefficients c1..c20 of 1/G(z) = sum c_k z^k (Abramowitz and Stegun 6.1.34,
// as stored by the program: c2 is 0.5772126).
constexpr std::array<float, 20> kGamiCoeffs = {
    1.0f,               0.5772126f,          -0.655878f,          -0.04200264f,
    0.1665386f,         -0.04219773f,        -0.00962197f,        0.007218943f,
    -0.001165167f,      -0.0002152417f,      0.0001280528f,       -0.00002013485f,
    -0.000001250493f,   0.000001133027f,     -0.0000002056338f,   0.000000006116095f,
    0.000000005002007f, -0.000000001181275f, 0.0000000001043427f, 0.0000000000077873f,
};

constexpr float kGamiCutOff = 33.0f;

float series(float x, float v) {
  // h = x/2, h2 = h^2
  const float h = x / 2.0f;
  const float h2 = h * h;
  // first term: 1 for order 0, h^v / G(v + 1) otherwise
  float t = v == 0.0f ? 1.0f : std::pow(h, v) * GAMI(v + 1.0f);
  float s = t;
  float s_prev = t;
  float k = 1.0f;
  for (int group = 0; group < kMaxGroups; ++group) {
    float g = 0.0f;
    for (int term = 0; term < kTermsPerGroup; ++term) {
      // t = -t * h2 / ((k + v) * k)
      t = -t * h2 / ((k + v) * k);
      k = k + 1.0f;
      g = g + t;
    }
    s = s + g;
    if (s_prev - s == 0.0f) break;
    s_prev = s;
  }
  return s;
}

float asymptotic(float x, float v) {
  const float pi = kPiExpansion;
  // mu = 4 v^2, E = (8x)^2
  const float mu = 4.0f * v * v;
  const float e = (8.0f * x) * (8.0f * x);

  // P = 1 - (mu-1)(mu-9)/(2E) [1 - (mu-25)(mu-49)/(12E) [1 - (mu-81)(mu-121)/(30E)
  //       [1 - (mu-169)(mu-225)/(56E) [1 - (mu-289)(mu-361)/(90E)]]]]
  float p = 1.0f - (mu - 289.0f) * (mu - 361.0f) / (90.0f * e);
  p = 1.0f - (mu - 169.0f) * (mu - 225.0f) / (56.0f * e) * p;
  p = 1.0f - (mu - 81.0f) * (mu - 121.0f) / (30.0f * e) * p;
  p = 1.0f - (mu - 25.0f) * (mu - 49.0f) / (12.0f * e) * p;
  p = 1.0f - (mu - 1.0f) * (mu - 9.0f) / (2.0f * e) * p;

  // Q = (mu-1)/(8x) [1 - (mu-9)(mu-25)/(6E) [1 - (mu-49)(mu-81)/(20E)
  //       [1 - (mu-121)(mu-169)/(42E) [1 - (mu-225)(mu-289)/(72E)]]]]
  float q = 1.0f - (mu - 225.0f) * (mu - 289.0f) / (72.0f * e);
  q = 1.0f - (mu - 121.0f) * (mu - 169.0f) / (42.0f * e) * q;
  q = 1.0f - (mu - 49.0f) * (mu - 81.0f) / (20.0f * e) * q;
  q = 1.0f - (mu - 9.0f) * (mu - 25.0f) / (6.0f * e) * q;
  q = (mu - 1.0f) / (8.0f * x) * q;

  // chi = x - (v/2 + 0.25) pi
  const float chi = x - (v / 2.0f + 0.25f) * pi;
  // sqrt(2/(pi x)) (P cos chi - Q sin chi)
  return std::sqrt(2.0f / (pi * x)) * (p * std::cos(chi) - q * std::sin(chi));
}

}  // namespace

float BESJ(float x, float v) {
  if (x - kSwitchPoint <= 0.0f) return series(x, v);
  return asymptotic(x, v);
}

float GAMI(float x) {
  // |x| >= 33, and a NaN, give 0 (a NaN must not reach the integer conversion)
  if (!(std::fabs(x) < kGamiCutOff)) return 0.0f;
  // x = n + f with n truncated towards zero, so f has the sign of x
  const int n = static_cast<int>(x);
  float f = x - static_cast<float>(n);
  const int m = std::abs(n);

  // g = f (c1 + f (c2 + ... + f c20)) = 1/G(f), nested from c20 inwards
  float g = kGamiCoeffs[19];
  for (int k = 18; k >= 0; --k) g = kGamiCoeffs[static_cast<std::size_t>(k)] + f * g;
  g = f * g;

  if (f == 0.0f && n > 0) {
    // x a positive integer: 1/(n-1)!, by dividing 1 by 1, 2, ..., n-1 in turn
    float r = 1.0f;
    for (int k = 1; k <= n - 1; ++k) r = r / static_cast<float>(k);
    return r;
  }
  if (m == 0) return g;  // |x| < 1, 0 at x = 0
  if (n > 0) {
    // upward: 1/G(f + 1) = (1/G(f)) / f
    for (int k = 0; k < m; ++k) {
      g = g / f;
      f = f + 1.0f;
    }
    return g;
  }
  // x <= -1 (not used by the program): downward, 1/G(f - 1) = (f - 1)/G(f);
  // 0 at the poles, where f = 0 already made g = 0.
  for (int k = 0; k < m; ++k) {
    f = f - 1.0f;
    g = g * f;
  }
  return g;
}

}  // namespace numerics
