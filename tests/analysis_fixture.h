// Reference designs in the form the design report takes them.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "analysis/analysis.h"
#include "reference_design.h"

namespace test {

// The example geometry designed for `dist` with rays at the given main
// radii (normalised, from the hole to the rim), scaled to a main diameter
// `diameter`; the subreflector carries an extrapolated rim point 4 % beyond
// its designed radius.
inline analysis::DesignInput design_input_at(const Distribution& dist, const std::vector<double>& radii,
                                             double diameter = 100.0) {
  const Geometry g;
  const double n = feed_exponent(40.0, -10.0);
  const int rays = static_cast<int>(radii.size());
  Profiles p = scaled_profiles(reference_rays(g, n, dist.density, radii), diameter);
  extend_subreflector(p, 1.04 * g.sub_radius * 0.5 * diameter);
  analysis::DesignInput in;
  in.sub_r = p.sub_r;
  in.sub_z = p.sub_z;
  in.main_r = p.main_r;
  in.main_z = p.main_z;
  in.main_diameter = diameter;
  in.hole_radius = g.hole_radius * 0.5 * diameter;
  in.feed_exponent = n;
  in.sub_half_angle_rad = std::atan(g.sub_radius / g.feed_to_sub_rim);
  in.wanted_density = dist.density;
  in.distribution = dist.name;
  in.inputs = {{"Main reflector diameter", std::to_string(diameter)}, {"Feed beamwidth", "40 deg at -10 dB"}};
  in.double_precision = true;
  in.calc_interval = (1.0 - g.hole_radius) / (rays - 1);
  return in;
}

// The same with `rays` rays evenly spread from the hole to the rim.
inline analysis::DesignInput design_input(const Distribution& dist, int rays = 201, double diameter = 100.0) {
  return design_input_at(dist, even_radii(Geometry{}.hole_radius, rays), diameter);
}

}  // namespace test
