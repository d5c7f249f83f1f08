// One reflector's profile as the scaling left it: its radii and heights in
// increasing radius, the second derivatives of their spline, and the height
// at any radius read from that spline.
#pragma once

#include <algorithm>
#include <cstddef>
#include <span>

#include "numerics/interp.h"
#include "ravost/ravost.h"
#include "ravost/stages.h"

namespace ravost {

// The n points (r, z) of one reflector and the spline through them.
struct Profile {
  std::span<const float> r;
  std::span<const float> z;
  std::span<const float> y2;
  int n;

  float first_radius() const { return r[0]; }
  float last_radius() const { return r[static_cast<std::size_t>(n - 1)]; }
  // Height at `radius`; outside the table the spline continues its end cubics.
  float height(float radius) const {
    float h = 0.0f;
    numerics::SPLINT(r, z, y2, n, radius, h);
    return h;
  }
};

// The profile of the main reflector or the subreflector.  The point counts
// are held to the tables' sizes.
inline Profile reflector_profile(const Design& d, Reflector which) {
  const RayTable& t = d.rays;
  if (which == Reflector::main) {
    return {t.main_r, t.main_z, d.main_y2, std::clamp(d.ray_count(), 1, kMaxRays)};
  }
  return {t.sub_r, t.sub_z, d.sub_y2, std::clamp(d.sub_points, 1, kMaxRays + 1)};
}

}  // namespace ravost
