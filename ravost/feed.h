// The feed power pattern and the balance of feed power against aperture power.
//
// The feed radiates P(theta) = (cos(theta/2))^(2n) per unit solid angle,
// normalised to 1 on the axis; the power between theta and theta + dtheta is
// P(theta) sin(theta) dtheta (the common factor 2 pi is left out on both
// sides, as is the 2 pi of the aperture's ring element r dr).
#pragma once

#include <span>

#include "ravost/ravost.h"

namespace ravost {

// Feed-power integrand: (cos(theta/2))^(2n) sin(theta), theta = v[0],
// n = v[ray::feed_exponent].
float FPOWR(std::span<const float> v);

// Aperture-power integrand: APPL(r) r with r = v[0].
float APRPI(const APERT& apert, std::span<const float> v);

// The exponent n that puts the pattern |level_db| below the axis value at
// theta = beamwidth/2 (beamwidth in degrees, `deg` = pi/180).  Not finite for
// a beamwidth of 0 or of 360 degrees or more.
float exponent_for_beamwidth(float beamwidth_deg, float level_db, float deg);

// Sets feed_exponent (also element 10 of ray_state) from the beamwidth and
// level, and integrates feed_power from 0 to feed_half_angle (radians).
void set_feed_power(Design& d);

// Integrates aperture_power from main_inner_radius to 1 for the distribution
// in d.apert (0 for a kind other than 1, 2 or 3).
void set_aperture_power(Design& d);

// power_ratio = feed_power / aperture_power, also element 9 of ray_state;
// element 1 of ray_state goes back to main_inner_radius, the starting radius
// of the synthesis, after the quadratures have used it as their abscissa.
void set_power_ratio(Design& d);

}  // namespace ravost
