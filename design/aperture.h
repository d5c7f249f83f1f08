// The aperture power distributions: uniform, Gaussian and Taylor circular.
//
// Every distribution is a power density over the normalised main-aperture
// radius r with the value 1 on the axis.  The Taylor kind holds its pattern
// zeros and series coefficients, computed once when it is set up; its
// amplitude at each radius is the series summed from them.  In 64 bits the
// amplitude is also fitted, once, by a Chebyshev series that matches the sum
// to a few units in the last place and costs a small part of its 19 Bessel
// calls; the density is evaluated from that.
#pragma once

#include <array>
#include <cstddef>
#include <map>
#include <mutex>
#include <span>
#include <utility>
#include <vector>

#include "design/real.h"

namespace design {

// The kinds of distribution; design/distributions.h describes each.
enum class Distribution { uniform = 1, gaussian = 2, taylor = 3, parabolic_pedestal = 4 };

// The Taylor tables hold this many entries; nbar runs from 1 to it.
inline constexpr int kMaxNbar = 20;

// The first 20 positive zeros of J1: the stored 7-digit values in 32 bits,
// full-precision values (Boost.Math) in 64 bits.
template <RealType Real>
const std::array<Real, kMaxNbar>& j1_zeros();

// J0(x): the program's own Bessel routine in 32 bits, Boost.Math in 64 bits.
template <RealType Real>
Real bessel_j0(Real x);

// The most terms a Chebyshev series of the amplitude holds.
inline constexpr std::size_t kMaxChebyshevTerms = 64;

// The 64-bit Taylor amplitude on |r| <= 1 as sum over k of a[k] T_k(2 r^2 - 1)
// (the amplitude is even in r, and smooth in r^2).
struct ChebyshevAmplitude {
  int terms = 0;  // 0: none; the amplitude is summed from the Bessel terms
  std::array<double, kMaxChebyshevTerms> a{};

  // The series at r, for |r| <= 1 (no check).
  double operator()(double r) const;
};

template <RealType Real>
struct Aperture {
  Distribution kind = Distribution::uniform;
  Real edge_taper_db = 0;       // Gaussian edge taper, sign kept
  Real sidelobe_level_db = 0;   // Taylor sidelobe level, >= 0
  int nbar = 0;                 // Taylor: first unchanged zero, 1..20
  std::array<Real, kMaxNbar> zeros{};         // Taylor pattern zeros, 1..nbar valid
  std::array<Real, kMaxNbar> unnormalised{};  // Taylor coefficients as computed
  std::array<Real, kMaxNbar> coefficients{};  // normalised to a sum of 1
  // The Taylor amplitude fitted from the coefficients; only ever built for a
  // 64-bit Taylor aperture with nbar >= 2 (the 32-bit one sums its terms).
  ChebyshevAmplitude chebyshev{};
  // A distribution described outside this file (design/distributions.cc):
  // its parameters and its power density.
  std::array<Real, 2> shape{};
  Real (*described_density)(const Aperture& a, Real r) = nullptr;

  // Aperture power density at radius r.
  Real density(Real r) const;
  // densities[i] = density(radii[i]) bit for bit, for every i below both
  // sizes; the Taylor kind evaluates the Bessel values of several radii at
  // once.
  void density_many(std::span<const Real> radii, std::span<Real> densities) const;
};

// The Chebyshev series already built, by their inputs.  Building one takes a
// millisecond or more (extended-precision Bessel values); a caller that makes
// many designs of the same distribution (a sweep, an optimisation) owns one
// cache and hands it to each design.  Safe to share between threads.
class SeriesCache {
 public:
  // The series of chebyshev_amplitude(nbar, coefficients), built on the first
  // request.
  ChebyshevAmplitude series(int nbar, std::span<const double> coefficients);

 private:
  using Key = std::pair<int, std::vector<double>>;
  // Only the last few distributions are kept.
  static constexpr std::size_t kHeld = 64;
  std::mutex lock_;
  std::map<Key, ChebyshevAmplitude> held_;
};

template <RealType Real>
Aperture<Real> uniform_aperture();
template <RealType Real>
Aperture<Real> gaussian_aperture(Real edge_taper_db);
// The Taylor circular distribution; sidelobe_level_db >= 0, nbar in 1..20.
// A 64-bit one gets its Chebyshev series from `cache` when one is given,
// else builds it; with_series false leaves it out (the amplitude is then
// summed from the Bessel terms, as in 32 bits).
template <RealType Real>
Aperture<Real> taylor_aperture(Real sidelobe_level_db, int nbar, SeriesCache* cache = nullptr,
                               bool with_series = true);

// Pattern zeros of the Taylor circular distribution into zeros[0 .. nbar-1].
// An nbar outside 1..20 leaves the table unchanged.
template <RealType Real>
void taylor_zeros(Real sidelobe_level_db, int nbar, std::array<Real, kMaxNbar>& zeros);

// Unnormalised series coefficients of the Taylor distribution into
// coefficients[0 .. nbar-1].
template <RealType Real>
void taylor_coefficients(int nbar, const std::array<Real, kMaxNbar>& zeros,
                         std::array<Real, kMaxNbar>& coefficients);

// The Chebyshev series of the 64-bit Taylor amplitude from the first nbar
// normalised coefficients: sampled in extended precision at Chebyshev nodes
// and cut where the rest of the series is far below a unit in the last place
// of the amplitude's largest value.  nbar < 2 (a constant) gives no series.
ChebyshevAmplitude chebyshev_amplitude(int nbar, std::span<const double> coefficients);

// Taylor amplitude at radius r from the first nbar normalised coefficients,
// the Bessel terms summed; 0 for |r| > 1.
template <RealType Real>
Real taylor_amplitude(int nbar, std::span<const Real> coefficients, Real r);
// g[i] = taylor_amplitude(nbar, coefficients, radii[i]) bit for bit, for
// every i below both sizes.
template <RealType Real>
void taylor_amplitude_many(int nbar, std::span<const Real> coefficients,
                           std::span<const Real> radii, std::span<Real> g);

}  // namespace design
