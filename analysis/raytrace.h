// Ray trace from the feed through the subreflector and main-reflector
// profiles (natural cubic splines through the profile points) to a plane
// across the aperture.
#pragma once

#include <vector>

namespace analysis {

struct TracedRay {
  int index = 0;                     // place in the fan of rays leaving the feed
  double theta = 0;                  // feed angle from the axis, rad
  double sub_x = 0, sub_z = 0;       // hit point on the subreflector
  double main_x = 0, main_z = 0;     // hit point on the main reflector
  double aperture_x = 0;             // radius where the ray crosses the aperture plane
  double direction_error_deg = 0;    // angle of the outgoing ray from the axis
  double path = 0;                   // feed -> sub -> main -> aperture plane
};

// A ray that missed a reflector or turned back.
struct LostRay {
  int index = 0;
  double theta = 0;                  // feed angle, rad
  double sub_x = 0;                  // radius of its subreflector hit; NaN if it missed the subreflector
};

struct TraceResult {
  std::vector<TracedRay> rays;       // in increasing feed angle, only rays that reached the plane
  std::vector<LostRay> lost;         // in increasing feed angle
  int rays_requested = 0;
  int rays_lost = 0;                 // missed a reflector (lost.size())
  double aperture_plane_z = 0;
};

// Profiles in increasing radius, the subreflector's from the axis.  Rays
// leave the feed (at the origin, pointing along +z) at angles evenly spread
// from 0 to theta_max.  Throws std::invalid_argument for profiles a spline
// cannot pass through.
TraceResult trace_rays(const std::vector<double>& sub_r, const std::vector<double>& sub_z,
                       const std::vector<double>& main_r, const std::vector<double>& main_z,
                       double theta_max, int n_rays);

}  // namespace analysis
