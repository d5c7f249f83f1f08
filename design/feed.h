// The feed power pattern and the balance of feed power against aperture power.
//
// The feed radiates P(theta) = (cos(theta/2))^(2n) per unit solid angle,
// normalised to 1 on the axis; the power between theta and theta + dtheta is
// P(theta) sin(theta) dtheta (the common factor 2 pi is left out on both
// sides, as is the 2 pi of the aperture's ring element r dr).  Both power
// integrals use the 32-point Gauss-Legendre rule: the program's 7-digit table
// (GLINT) in 32 bits, full-precision nodes (Boost.Math) in 64 bits.
#pragma once

#include <cmath>

#include "design/aperture.h"

namespace design {

// The feed pattern P(theta) = (cos(theta/2))^(2n), fitted through one
// beamwidth at one level.  This type alone writes the pattern out: the
// synthesis, the power balance and the report all ask it.
template <RealType Real>
struct BeamwidthFeed {
  Real beamwidth_deg = 0;  // full angle
  Real level_db = 0;       // level at half the beamwidth (its size is used)
  Real exponent = 0;       // n

  static BeamwidthFeed make(Real beamwidth_deg, Real level_db);

  // (cos(theta/2))^(2n) for exponent n.
  static Real pattern_of(Real theta, Real n) {
    return std::pow(std::cos(theta / Real(2)), Real(2) * n);
  }
  Real pattern(Real theta) const { return pattern_of(theta, exponent); }
  // Power between theta and theta + dtheta: P(theta) sin(theta).
  Real power_integrand(Real theta) const { return pattern(theta) * std::sin(theta); }
  // Power from the axis to half_angle_rad, by the 32-point rule of the
  // design's precision (as the power balance has always been computed).
  Real enclosed_power(Real half_angle_rad) const;
  // The same in closed form, to full double precision:
  // 4 (1 - cos(theta/2)^(2n+2)) / (2n+2).
  static double enclosed_power_exact(double theta, double n);
};

// Feed-power integrand (cos(theta/2))^(2n) sin(theta).
template <RealType Real>
Real feed_power_integrand(Real theta, Real feed_exponent) {
  return BeamwidthFeed<Real>::pattern_of(theta, feed_exponent) * std::sin(theta);
}

// The exponent n that puts the pattern |level_db| below the axis value at
// theta = beamwidth/2 (beamwidth in degrees).  Not finite for a beamwidth of
// 0 or of 360 degrees or more.
template <RealType Real>
Real feed_exponent_for(Real beamwidth_deg, Real level_db);

// Feed power from the axis to half_angle_rad.
template <RealType Real>
Real feed_power(Real feed_exponent, Real half_angle_rad);

// Aperture power: the density times r, from inner_radius to 1.
template <RealType Real>
Real aperture_power(const Aperture<Real>& aperture, Real inner_radius);

}  // namespace design
