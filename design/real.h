// The real type of a design and the constants and functions that depend on
// it.  The program designs in 32-bit reals (float) by default, exactly as its
// listings have always been computed; a design in 64-bit reals (double) takes
// the accurate constants and library functions instead.
//
// The established short names of the design's routines, for readers who know
// them: APPL = Aperture::density, TCYZO = taylor_zeros, TCYAC =
// taylor_coefficients, TCYDS = taylor_amplitude, FPOWR = feed_power_integrand,
// APRPI = aperture_power_integrand, DUREF = SurfaceDerivatives.
#pragma once

#include <bit>
#include <cstdint>
#include <numbers>
#include <type_traits>

namespace design {

template <class Real>
concept RealType = std::is_same_v<Real, float> || std::is_same_v<Real, double>;

template <RealType Real>
struct Constants;

template <>
struct Constants<float> {
  // pi and the degree factor as the 32-bit design has always held them.
  static constexpr float pi = 3.1415927f;
  static constexpr float deg = pi / 180.0f;
  // 20/ln(10) as stored: converts a natural-log amplitude ratio to dB.
  static constexpr float neper_to_db = 8.686f;
  // Added before a count is truncated, so a quotient a little below a whole
  // number still counts it.
  static constexpr float tenth = 0.1f;
};

template <>
struct Constants<double> {
  static constexpr double pi = std::numbers::pi;
  static constexpr double deg = pi / 180.0;
  // The Gaussian distribution is defined with this factor; it stays as it is.
  static constexpr double neper_to_db = 8.686;
  static constexpr double tenth = 0.1;
};

// The bits of a real, for comparing two values exactly (0 and -0 differ).
template <RealType Real>
auto bits_of(Real v) {
  if constexpr (std::is_same_v<Real, float>) {
    return std::bit_cast<std::uint32_t>(v);
  } else {
    return std::bit_cast<std::uint64_t>(v);
  }
}

}  // namespace design
