// Ray trace from the feed through the subreflector and main-reflector
// profiles to a plane across the aperture.  A profile is either the written
// one (a natural cubic spline through the profile points) or the design's
// own (a cubic Hermite through the integration steps with the slopes the
// reflection law gives there).
#pragma once

#include <boost/math/interpolators/cubic_hermite.hpp>
#include <memory>
#include <vector>

#include "analysis/spline.h"

namespace analysis {

// A reflector's profile z(r): its height and slope at a radius, and the
// radii it spans.  Beyond its ends a profile continues along its end tangents.
class Surface {
 public:
  virtual ~Surface() = default;
  virtual double value(double r) const = 0;
  virtual double slope(double r) const = 0;
  virtual double front() const = 0;
  virtual double back() const = 0;
};

class SplineSurface final : public Surface {
 public:
  explicit SplineSurface(NaturalSpline spline) : spline_(std::move(spline)) {}
  double value(double r) const override { return spline_.value(r); }
  double slope(double r) const override { return spline_.slope(r); }
  double front() const override { return spline_.front(); }
  double back() const override { return spline_.back(); }

 private:
  NaturalSpline spline_;
};

// Cubic Hermite through points of strictly increasing radius with their
// slopes.  Throws std::invalid_argument for points it cannot pass through.
class HermiteSurface final : public Surface {
 public:
  HermiteSurface(std::vector<double> r, std::vector<double> z, std::vector<double> slope);
  double value(double r) const override;
  double slope(double r) const override;
  double front() const override { return front_; }
  double back() const override { return back_; }

 private:
  using Curve = boost::math::interpolators::cubic_hermite<std::vector<double>>;
  std::shared_ptr<const Curve> curve_;
  double front_ = 0, back_ = 0, front_z_ = 0, back_z_ = 0, front_slope_ = 0, back_slope_ = 0;
};

// One profile inside radius `split`, another beyond it.
class JoinedSurface final : public Surface {
 public:
  JoinedSurface(const Surface& inner, const Surface& outer, double split) : inner_(inner), outer_(outer), split_(split) {}
  double value(double r) const override { return r < split_ ? inner_.value(r) : outer_.value(r); }
  double slope(double r) const override { return r < split_ ? inner_.slope(r) : outer_.slope(r); }
  double front() const override { return inner_.front(); }
  double back() const override { return outer_.back(); }

 private:
  const Surface& inner_;
  const Surface& outer_;
  double split_;
};

struct TracedRay {
  int index = 0;                     // place in the fan of rays leaving the feed
  double theta = 0;                  // feed angle from the axis, rad
  double sub_x = 0, sub_z = 0;       // hit point on the subreflector
  double main_x = 0, main_z = 0;     // hit point on the main reflector
  double aperture_x = 0;             // radius where the ray crosses the aperture plane
  double direction_error_deg = 0;    // angle of the outgoing ray from the axis
  double path = 0;                   // feed -> sub -> main -> aperture plane
  // It crossed the axis between the reflectors: its main-reflector point and
  // aperture crossing lie at -main_x and -aperture_x in the feed ray's
  // meridian half-plane (main_x and aperture_x are radii either way).
  bool crossed = false;
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
// leave the feed (on the axis at height feed_z, pointing along +z) at angles
// evenly spread from 0 to theta_max; their paths start there.  Throws
// std::invalid_argument for profiles a spline cannot pass through.
TraceResult trace_rays(const std::vector<double>& sub_r, const std::vector<double>& sub_z,
                       const std::vector<double>& main_r, const std::vector<double>& main_z,
                       double theta_max, int n_rays, double feed_z = 0.0);
// The same through any two profiles; the aperture plane passes through the
// main reflector's outermost point.
TraceResult trace_rays(const Surface& sub, const Surface& main, double theta_max, int n_rays, double feed_z = 0.0);

}  // namespace analysis
