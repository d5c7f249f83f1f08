#include "design/aperture.h"

#include <boost/math/special_functions/bessel.hpp>
#include <algorithm>
#include <cmath>
#include <vector>
#include <cstddef>
#include <numbers>
#include <type_traits>

#include "numerics/besj.h"
#include "numerics/besj_lanes.h"

namespace design {

template <>
const std::array<float, kMaxNbar>& j1_zeros<float>() {
  static constexpr std::array<float, kMaxNbar> zeros = {
      3.83171f,  7.01559f,  10.17347f, 13.32369f, 16.47063f, 19.61586f, 22.76008f,
      25.90367f, 29.04683f, 32.18968f, 35.33231f, 38.47477f, 41.61709f, 44.75932f,
      47.90146f, 51.04354f, 54.18555f, 57.32753f, 60.46946f, 63.61136f};
  return zeros;
}

template <>
const std::array<double, kMaxNbar>& j1_zeros<double>() {
  static const std::array<double, kMaxNbar> zeros = [] {
    std::array<double, kMaxNbar> z{};
    for (int m = 1; m <= kMaxNbar; ++m) z[m - 1] = boost::math::cyl_bessel_j_zero(1.0, m);
    return z;
  }();
  return zeros;
}

template <>
float bessel_j0<float>(float x) {
  return numerics::BESJ(x, 0.0f);
}

template <>
double bessel_j0<double>(double x) {
  return boost::math::cyl_bessel_j(0, x);
}

namespace {

// The Chebyshev series of the amplitude at `lanes` radii side by side, |r| <= 1.
// Clenshaw's recurrence b_k = a_k + 2x b_(k+1) - b_(k+2) is run in Reinsch's
// form about the end of [-1, 1] nearer x = 2r^2 - 1, through
// d_k = b_k - sigma b_(k+1) and e = 2 (x - sigma), sigma = +-1: e comes from
// r^2 or 1 - r^2 without the rounding of x itself (near the axis x = -1 + 2r^2
// would drop the low bits of r^2), and the recurrence does not amplify the
// rounding errors near the ends the way the plain one does.  Every lane does
// the same operations, so a radius gives the same bits whichever lane and
// however many lanes it is evaluated in.
template <std::size_t lanes>
void chebyshev_lanes(const ChebyshevAmplitude& s, const double* r, double* g) {
  double e[lanes], sigma[lanes], b[lanes], d[lanes];
  for (std::size_t l = 0; l < lanes; ++l) {
    const double ar = std::fabs(r[l]);
    const double rr = ar * ar;
    if (rr < 0.5) {
      e[l] = 4.0 * rr;  // 2 (x + 1)
      sigma[l] = -1.0;
    } else {
      e[l] = -4.0 * ((1.0 - ar) * (1.0 + ar));  // 2 (x - 1); 1 - |r| is exact here
      sigma[l] = 1.0;
    }
    b[l] = 0.0;
    d[l] = 0.0;
  }
  for (int k = s.terms - 1; k >= 1; --k) {
    const double ak = s.a[static_cast<std::size_t>(k)];
    for (std::size_t l = 0; l < lanes; ++l) {
      d[l] = ak + e[l] * b[l] + sigma[l] * d[l];
      b[l] = d[l] + sigma[l] * b[l];
    }
  }
  for (std::size_t l = 0; l < lanes; ++l) g[l] = s.a[0] + 0.5 * e[l] * b[l] + sigma[l] * d[l];
}

// The 64-bit Taylor amplitude from the Chebyshev series; 0 for |r| > 1 as
// the summed series gives.
void chebyshev_amplitude_many(const ChebyshevAmplitude& s, std::span<const double> radii,
                              std::span<double> g) {
  constexpr std::size_t kLanes = 4;
  const std::size_t count = std::min(radii.size(), g.size());
  std::size_t i = 0;
  for (; i + kLanes <= count; i += kLanes) chebyshev_lanes<kLanes>(s, &radii[i], &g[i]);
  for (; i < count; ++i) g[i] = s(radii[i]);
  for (std::size_t j = 0; j < count; ++j) {
    if (std::fabs(radii[j]) > 1.0) g[j] = 0.0;
  }
}

}  // namespace

double ChebyshevAmplitude::operator()(double r) const {
  double g = 0;
  chebyshev_lanes<1>(*this, &r, &g);
  return g;
}

namespace {

ChebyshevAmplitude build_chebyshev_amplitude(int nbar, std::span<const double> coefficients);

}  // namespace

ChebyshevAmplitude chebyshev_amplitude(int nbar, std::span<const double> coefficients) {
  return build_chebyshev_amplitude(nbar, coefficients);
}

ChebyshevAmplitude SeriesCache::series(int nbar, std::span<const double> coefficients) {
  Key key{nbar, std::vector<double>(coefficients.begin(), coefficients.end())};
  {
    const std::lock_guard<std::mutex> hold(lock_);
    if (const auto found = held_.find(key); found != held_.end()) return found->second;
  }
  // Built outside the lock: two threads may build the same series at once,
  // and both get the same bits.
  const ChebyshevAmplitude s = build_chebyshev_amplitude(nbar, coefficients);
  const std::lock_guard<std::mutex> hold(lock_);
  if (held_.size() >= kHeld) held_.clear();
  held_.emplace(std::move(key), s);
  return s;
}

namespace {

ChebyshevAmplitude build_chebyshev_amplitude(int nbar, std::span<const double> coefficients) {
  ChebyshevAmplitude s;
  int n_max = std::min(nbar, kMaxNbar);
  if (n_max > static_cast<int>(coefficients.size())) n_max = static_cast<int>(coefficients.size());
  if (n_max < 2) return s;
  // The amplitude at the nodes x_j = cos(pi (j + 1/2) / M) of a series of M
  // terms, in extended precision from the same coefficients and J1 zeros, so
  // the fit carries no rounding of the 64-bit sum.
  using Wide = long double;
  constexpr std::size_t M = 2 * kMaxChebyshevTerms;
  const auto& j1 = j1_zeros<double>();
  std::array<Wide, 4 * M> cosine{};  // cos(pi m / (2M))
  for (std::size_t m = 0; m < 4 * M; ++m) {
    cosine[m] = std::cos(std::numbers::pi_v<Wide> * static_cast<Wide>(m) / static_cast<Wide>(2 * M));
  }
  const auto terms_summed = static_cast<std::size_t>(n_max);
  std::array<Wide, M> g{};
  Wide g_max = 0;
  for (std::size_t j = 0; j < M; ++j) {
    const Wide r = std::sqrt((Wide(1) + cosine[2 * j + 1]) / Wide(2));
    Wide sum = coefficients[0];
    for (std::size_t n = 1; n < terms_summed; ++n) {
      const Wide z = j1[n - 1];
      sum += static_cast<Wide>(coefficients[n]) * boost::math::cyl_bessel_j(0, z * r);
    }
    g[j] = sum;
    g_max = std::max(g_max, std::fabs(sum));
  }
  // a_k = (2/M) sum_j g_j cos(pi k (2j + 1) / (2M)), a_0 halved.
  std::array<Wide, M> a{};
  for (std::size_t k = 0; k < M; ++k) {
    Wide sum = 0;
    for (std::size_t j = 0; j < M; ++j) sum += g[j] * cosine[(k * (2 * j + 1)) % (4 * M)];
    a[k] = sum * Wide(2) / Wide(M);
  }
  a[0] /= 2;
  // Keep the terms up to where the rest adds less than 1/16 of a unit in the
  // last place of the largest amplitude.
  const Wide tolerance = g_max * std::ldexp(Wide(1), -56);
  Wide tail = 0;
  std::size_t terms = M;
  while (terms > 1 && tail + std::fabs(a[terms - 1]) <= tolerance) {
    tail += std::fabs(a[terms - 1]);
    --terms;
  }
  if (terms > kMaxChebyshevTerms) return s;  // not expected: the Bessel sum stays in use
  s.terms = static_cast<int>(terms);
  for (std::size_t k = 0; k < terms; ++k) s.a[k] = static_cast<double>(a[k]);
  return s;
}

}  // namespace

template <RealType Real>
void Aperture<Real>::density_many(std::span<const Real> radii, std::span<Real> densities) const {
  const std::size_t count = std::min(radii.size(), densities.size());
  if (kind == Distribution::taylor) {
    if constexpr (std::is_same_v<Real, double>) {
      if (chebyshev.terms > 0) {
        chebyshev_amplitude_many(chebyshev, radii.first(count), densities.first(count));
      } else {
        taylor_amplitude_many<Real>(nbar, coefficients, radii.first(count), densities.first(count));
      }
    } else {
      taylor_amplitude_many<Real>(nbar, coefficients, radii.first(count), densities.first(count));
    }
    for (std::size_t i = 0; i < count; ++i) densities[i] = densities[i] * densities[i];
    return;
  }
  for (std::size_t i = 0; i < count; ++i) densities[i] = density(radii[i]);
}

template <RealType Real>
Real Aperture<Real>::density(Real r) const {
  switch (kind) {
    case Distribution::uniform:
      return Real(1);
    case Distribution::gaussian: {
      // a = e^(-T r / 8.686): the taper in dB grows linearly with r
      const Real a = std::exp(-edge_taper_db * r / Constants<Real>::neper_to_db);
      return a * a;
    }
    case Distribution::taylor: {
      if constexpr (std::is_same_v<Real, double>) {
        if (chebyshev.terms > 0) {
          if (std::fabs(r) > 1.0) return 0.0;
          const double g = chebyshev(r);
          return g * g;
        }
      }
      const Real g = taylor_amplitude<Real>(nbar, coefficients, r);
      return g * g;
    }
    default:
      break;
  }
  return described_density ? described_density(*this, r) : Real(0);
}

template <RealType Real>
Aperture<Real> uniform_aperture() {
  return Aperture<Real>{};
}

template <RealType Real>
Aperture<Real> gaussian_aperture(Real edge_taper_db) {
  Aperture<Real> a;
  a.kind = Distribution::gaussian;
  a.edge_taper_db = edge_taper_db;
  return a;
}

template <RealType Real>
Aperture<Real> taylor_aperture(Real sidelobe_level_db, int nbar, SeriesCache* cache,
                               bool with_series) {
  Aperture<Real> a;
  a.kind = Distribution::taylor;
  a.sidelobe_level_db = sidelobe_level_db;
  a.nbar = nbar;
  if (nbar < 1 || nbar > kMaxNbar) return a;
  taylor_zeros(sidelobe_level_db, nbar, a.zeros);
  taylor_coefficients(nbar, a.zeros, a.unnormalised);
  // Normalise to a sum of 1, the amplitude on the axis (J0(0) = 1).
  Real sum = 0;
  for (int m = 1; m <= nbar; ++m) sum = sum + a.unnormalised[m - 1];
  for (int m = 1; m <= nbar; ++m) a.coefficients[m - 1] = a.unnormalised[m - 1] / sum;
  if constexpr (std::is_same_v<Real, double>) {
    if (with_series) {
      a.chebyshev = cache ? cache->series(nbar, a.coefficients) : chebyshev_amplitude(nbar, a.coefficients);
    }
  }
  return a;
}

template <RealType Real>
void taylor_zeros(Real sidelobe_level_db, int nbar, std::array<Real, kMaxNbar>& zeros) {
  if (nbar < 1 || nbar > kMaxNbar) return;
  const auto& j1 = j1_zeros<Real>();
  const Real s = sidelobe_level_db;
  // R = 10^(S/20), main lobe to sidelobe amplitude
  const Real ratio = std::pow(Real(10), s / Real(20));
  // A = ln(R + sqrt(R^2 - 1)) / pi
  const Real a = std::log(ratio + std::sqrt(ratio * ratio - Real(1))) / Constants<Real>::pi;
  // D = A^2 + (N - 0.5)^2
  const Real half_n = static_cast<Real>(nbar) - Real(0.5);
  const Real dd = a * a + half_n * half_n;
  // zero(n) = j1(N) sqrt((A^2 + (n - 0.5)^2) / D), n < N
  for (int n = 1; n <= nbar - 1; ++n) {
    const Real half = static_cast<Real>(n) - Real(0.5);
    zeros[n - 1] = j1[nbar - 1] * std::sqrt((a * a + half * half) / dd);
  }
  zeros[nbar - 1] = j1[nbar - 1];
}

template <RealType Real>
void taylor_coefficients(int nbar, const std::array<Real, kMaxNbar>& zeros,
                         std::array<Real, kMaxNbar>& coefficients) {
  if (nbar < 1 || nbar > kMaxNbar) return;
  const auto& j1 = j1_zeros<Real>();
  coefficients[0] = Real(1);
  for (int m = 2; m <= nbar; ++m) {
    const Real z = j1[m - 2];
    const Real g = z * z;
    // P1 = prod (1 - g / zero(n)^2), P2 = prod over n != m-1 of (1 - g / j1(n)^2)
    Real p1 = Real(1);
    Real p2 = Real(1);
    for (int n = 1; n <= nbar - 1; ++n) {
      const Real zn = zeros[n - 1];
      p1 = p1 * (Real(1) - g / (zn * zn));
      if (n != m - 1) {
        const Real jn = j1[n - 1];
        p2 = p2 * (Real(1) - g / (jn * jn));
      }
    }
    // F = -P1 / P2; coefficient = F / J0(z)
    const Real f = -p1 / p2;
    coefficients[m - 1] = f / bessel_j0(z);
  }
}

namespace {

// J0 of many arguments: in SIMD lanes for 32 bits (the same bits as one by
// one), one by one for 64 bits.
void bessel_j0_many(std::span<const float> x, std::span<float> j0) { numerics::BESJ0_many(x, j0); }
void bessel_j0_many(std::span<const double> x, std::span<double> j0) {
  for (std::size_t i = 0; i < x.size(); ++i) j0[i] = bessel_j0(x[i]);
}

}  // namespace

template <RealType Real>
Real taylor_amplitude(int nbar, std::span<const Real> coefficients, Real r) {
  Real g = 0;
  taylor_amplitude_many<Real>(nbar, coefficients, std::span(&r, 1), std::span(&g, 1));
  return g;
}

template <RealType Real>
void taylor_amplitude_many(int nbar, std::span<const Real> coefficients,
                           std::span<const Real> radii, std::span<Real> g) {
  const std::size_t count = std::min(radii.size(), g.size());
  const auto& j1 = j1_zeros<Real>();
  int n_max = nbar < kMaxNbar ? nbar : kMaxNbar;
  if (n_max > static_cast<int>(coefficients.size())) n_max = static_cast<int>(coefficients.size());
  if (n_max < 1) {
    std::fill_n(g.begin(), count, Real(0));
    return;
  }
  // c(1) + sum over n = 2..N of c(n) J0(j1(n-1) r).  The Bessel values of a
  // few radii are independent, so they are evaluated together, term by term
  // (the arguments of one term are alike, and so is the work they need),
  // then each radius sums its own in order.
  constexpr std::size_t kRadiiPerPass = 12;
  std::array<Real, kRadiiPerPass*(kMaxNbar - 1)> args;
  std::array<Real, kRadiiPerPass*(kMaxNbar - 1)> j0;
  std::array<Real, kRadiiPerPass> inside;
  const auto terms = static_cast<std::size_t>(n_max - 1);
  for (std::size_t start = 0; start < count; start += kRadiiPerPass) {
    const std::size_t n_radii = std::min(kRadiiPerPass, count - start);
    // the radii with |r| <= 1, whose amplitude is summed; the rest give 0
    std::size_t n_inside = 0;
    for (std::size_t i = start; i < start + n_radii; ++i) {
      if (std::fabs(radii[i]) > Real(1)) {
        g[i] = Real(0);
      } else {
        inside[n_inside++] = radii[i];
      }
    }
    for (std::size_t n = 0; n < terms; ++n) {
      for (std::size_t i = 0; i < n_inside; ++i) args[n * n_inside + i] = j1[n] * inside[i];
    }
    const std::size_t n_args = terms * n_inside;
    bessel_j0_many(std::span(args).first(n_args), std::span(j0).first(n_args));
    std::size_t k = 0;
    for (std::size_t i = start; i < start + n_radii; ++i) {
      if (std::fabs(radii[i]) > Real(1)) continue;
      Real sum = coefficients[0];
      for (std::size_t n = 0; n < terms; ++n) sum = sum + coefficients[n + 1] * j0[n * n_inside + k];
      g[i] = sum;
      ++k;
    }
  }
}

#define RAVOST_INSTANTIATE(Real)                                                              \
  template struct Aperture<Real>;                                                             \
  template Aperture<Real> uniform_aperture<Real>();                                           \
  template Aperture<Real> gaussian_aperture<Real>(Real);                                      \
  template Aperture<Real> taylor_aperture<Real>(Real, int, SeriesCache*, bool);                                 \
  template void taylor_zeros<Real>(Real, int, std::array<Real, kMaxNbar>&);                   \
  template void taylor_coefficients<Real>(int, const std::array<Real, kMaxNbar>&,             \
                                          std::array<Real, kMaxNbar>&);                       \
  template Real taylor_amplitude<Real>(int, std::span<const Real>, Real);                     \
  template void taylor_amplitude_many<Real>(int, std::span<const Real>, std::span<const Real>, \
                                            std::span<Real>);
RAVOST_INSTANTIATE(float)
RAVOST_INSTANTIATE(double)
#undef RAVOST_INSTANTIATE

}  // namespace design
