#include "ravost/aperture.h"

#include <cmath>
#include <string>

#include "fields/fields.h"
#include "numerics/besj.h"

namespace ravost {
namespace {

// pi as the 32-bit real used throughout the design.
constexpr float kPi = 3.1415927f;
// 20/ln(10) as stored: converts a natural-log amplitude ratio to dB.
constexpr float kNeperToDb = 8.686f;

float J0(float x) { return numerics::BESJ(x, 0.0f); }

}  // namespace

float APPL(const APERT& apert, std::span<const float> v) {
  const float r = v[ray::radius];
  switch (apert.distribution_kind) {
    case 1:
      return 1.0f;
    case 2: {
      // a = e^(-T r / 8.686): the taper in dB grows linearly with r
      const float a = std::exp(-apert.edge_taper_db * r / kNeperToDb);
      return a * a;
    }
    case 3: {
      const float g = TCYDS(apert.nbar, apert.taylor_coefficients, r);
      return g * g;
    }
    default:
      return 0.0f;
  }
}

void TCYZO(float sidelobe_level_db, int nbar, std::array<float, 20>& taylor_zeros) {
  if (nbar < 1 || nbar > kMaxNbar) return;
  const auto& j1 = APERT::j1_zeros;
  const float s = sidelobe_level_db;
  // R = 10^(S/20), main lobe to sidelobe amplitude
  const float ratio = std::pow(10.0f, s / 20.0f);
  // A = ln(R + sqrt(R^2 - 1)) / pi
  const float a = std::log(ratio + std::sqrt(ratio * ratio - 1.0f)) / kPi;
  // D = A^2 + (N - 0.5)^2
  const float half_n = static_cast<float>(nbar) - 0.5f;
  const float dd = a * a + half_n * half_n;
  // zero(n) = j1(N) sqrt((A^2 + (n - 0.5)^2) / D), n < N
  for (int n = 1; n <= nbar - 1; ++n) {
    const float half = static_cast<float>(n) - 0.5f;
    taylor_zeros[n - 1] = j1[nbar - 1] * std::sqrt((a * a + half * half) / dd);
  }
  taylor_zeros[nbar - 1] = j1[nbar - 1];
}

void TCYAC(int nbar, const std::array<float, 20>& taylor_zeros,
           std::array<float, 20>& coefficients, Dialog& dialog) {
  if (nbar < 1 || nbar > kMaxNbar) return;
  const auto& j1 = APERT::j1_zeros;
  coefficients[0] = 1.0f;
  for (int m = 2; m <= nbar; ++m) {
    const float z = j1[m - 2];
    const float g = z * z;
    // P1 = prod (1 - g / zero(n)^2), P2 = prod over n != m-1 of (1 - g / j1(n)^2)
    float p1 = 1.0f;
    float p2 = 1.0f;
    for (int n = 1; n <= nbar - 1; ++n) {
      const float zn = taylor_zeros[n - 1];
      p1 = p1 * (1.0f - g / (zn * zn));
      if (n != m - 1) {
        const float jn = j1[n - 1];
        p2 = p2 * (1.0f - g / (jn * jn));
      }
    }
    // F = -P1 / P2; coefficient = F / J0(z)
    const float f = -p1 / p2;
    coefficients[m - 1] = f / J0(z);
  }

  dialog.line("");
  dialog.line(" UNNORMALIZED COEFFICIENTS");
  dialog.line(" NO." + fields::X(2) + " COEFFICIENT");
  for (int m = 1; m <= nbar; ++m) {
    dialog.line(fields::I(m, 3) + fields::X(2) + fields::E(coefficients[m - 1], 15, 6));
  }

  // Normalise to a sum of 1, the amplitude on the axis (J0(0) = 1).
  float sum = 0.0f;
  for (int m = 1; m <= nbar; ++m) sum = sum + coefficients[m - 1];
  for (int m = 1; m <= nbar; ++m) coefficients[m - 1] = coefficients[m - 1] / sum;
}

float TCYDS(int nbar, std::span<const float> coefficients, float r) {
  if (std::fabs(r) > 1.0f) return 0.0f;
  const auto& j1 = APERT::j1_zeros;
  int n_max = nbar < kMaxNbar ? nbar : kMaxNbar;
  if (n_max > static_cast<int>(coefficients.size())) n_max = static_cast<int>(coefficients.size());
  if (n_max < 1) return 0.0f;
  // c(1) + sum over n = 2..N of c(n) J0(j1(n-1) r)
  float g = coefficients[0];
  for (int n = 2; n <= n_max; ++n) {
    g = g + coefficients[n - 1] * J0(j1[n - 2] * r);
  }
  return g;
}

}  // namespace ravost
