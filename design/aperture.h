// The aperture power distributions: uniform, Gaussian and Taylor circular.
//
// Every distribution is a power density over the normalised main-aperture
// radius r with the value 1 on the axis.  The Taylor kind holds its pattern
// zeros and series coefficients, computed once when it is set up; its
// amplitude at each radius is the series summed from them.
#pragma once

#include <array>
#include <span>

#include "design/real.h"

namespace design {

enum class Distribution { uniform = 1, gaussian = 2, taylor = 3 };

// The Taylor tables hold this many entries; nbar runs from 1 to it.
inline constexpr int kMaxNbar = 20;

// The first 20 positive zeros of J1: the stored 7-digit values in 32 bits,
// full-precision values (Boost.Math) in 64 bits.
template <RealType Real>
const std::array<Real, kMaxNbar>& j1_zeros();

// J0(x): the program's own Bessel routine in 32 bits, Boost.Math in 64 bits.
template <RealType Real>
Real bessel_j0(Real x);

template <RealType Real>
struct Aperture {
  Distribution kind = Distribution::uniform;
  Real edge_taper_db = 0;       // Gaussian edge taper, sign kept
  Real sidelobe_level_db = 0;   // Taylor sidelobe level, >= 0
  int nbar = 0;                 // Taylor: first unchanged zero, 1..20
  std::array<Real, kMaxNbar> zeros{};         // Taylor pattern zeros, 1..nbar valid
  std::array<Real, kMaxNbar> unnormalised{};  // Taylor coefficients as computed
  std::array<Real, kMaxNbar> coefficients{};  // normalised to a sum of 1

  // Aperture power density at radius r.
  Real density(Real r) const;
  // densities[i] = density(radii[i]) bit for bit, for every i below both
  // sizes; the Taylor kind evaluates the Bessel values of several radii at
  // once.
  void density_many(std::span<const Real> radii, std::span<Real> densities) const;
};

template <RealType Real>
Aperture<Real> uniform_aperture();
template <RealType Real>
Aperture<Real> gaussian_aperture(Real edge_taper_db);
// The Taylor circular distribution; sidelobe_level_db >= 0, nbar in 1..20.
template <RealType Real>
Aperture<Real> taylor_aperture(Real sidelobe_level_db, int nbar);

// Pattern zeros of the Taylor circular distribution into zeros[0 .. nbar-1].
// An nbar outside 1..20 leaves the table unchanged.
template <RealType Real>
void taylor_zeros(Real sidelobe_level_db, int nbar, std::array<Real, kMaxNbar>& zeros);

// Unnormalised series coefficients of the Taylor distribution into
// coefficients[0 .. nbar-1].
template <RealType Real>
void taylor_coefficients(int nbar, const std::array<Real, kMaxNbar>& zeros,
                         std::array<Real, kMaxNbar>& coefficients);

// Taylor amplitude at radius r from the first nbar normalised coefficients;
// 0 for |r| > 1.
template <RealType Real>
Real taylor_amplitude(int nbar, std::span<const Real> coefficients, Real r);
// g[i] = taylor_amplitude(nbar, coefficients, radii[i]) bit for bit, for
// every i below both sizes.
template <RealType Real>
void taylor_amplitude_many(int nbar, std::span<const Real> coefficients,
                           std::span<const Real> radii, std::span<Real> g);

}  // namespace design
