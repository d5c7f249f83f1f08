// The design scaled to a real main-reflector diameter: both profiles sorted by
// radius and scaled, the optional extrapolation of the subreflector by one
// point, and one natural cubic spline per reflector, from which the listings
// and files read each reflector's height at any radius.
#pragma once

#include <string>
#include <vector>

#include "design/synthesis.h"
#include "numerics/pause.h"

namespace design {

enum class Reflector { main, sub };

// One reflector's profile: its points in increasing radius, the second
// derivatives of the natural spline through them, and the pause the spline
// takes on equal radii.
template <RealType Real>
struct Profile {
  std::vector<Real> r;
  std::vector<Real> z;
  std::vector<Real> y2;
  numerics::PauseHandler pause;

  int size() const { return static_cast<int>(r.size()); }
  Real first_radius() const { return r.front(); }
  Real last_radius() const { return r.back(); }
  // Height at `radius`; outside the table the spline continues its end cubics.
  Real height(Real radius) const;
};

template <RealType Real>
struct ScaledDesign {
  Real main_diameter = 0;
  Real design_scale = 0;  // main_diameter / 2
  // Both profiles in increasing radius, scaled; the subreflector starts on
  // the axis and may end in one extrapolated point.
  std::vector<Real> sub_r, sub_z, main_r, main_z;
  Real sub_rim_diameter = 0;  // as extrapolated, or twice the last radius

  // The profile with its spline.
  Profile<Real> profile(Reflector which, numerics::PauseHandler pause = {}) const;
};

// Why the rays cannot be scaled to `main_diameter`, or empty when they can.
template <RealType Real>
std::string scaling_problem(const RayTable<Real>& table, Real main_diameter,
                            Real main_inner_radius);

// The rays sorted by radius per reflector and scaled to `main_diameter`.  The
// subreflector's innermost point lies on the axis; the main reflector's starts
// at the rim of its hole.
template <RealType Real>
ScaledDesign<Real> scale(const RayTable<Real>& table, Real main_diameter, Real main_inner_radius);

// Where the subreflector would end if extrapolated to `new_diameter` on the
// cubic through its four outermost points.
template <RealType Real>
struct Extrapolation {
  enum class Problem { none, not_beyond_rim, too_far } problem = Problem::none;
  Real rim_radius = 0;
  Real rim_z = 0;
};
template <RealType Real>
Extrapolation<Real> extrapolation(const ScaledDesign<Real>& scaled, Real new_diameter,
                                  const numerics::PauseHandler& pause);
// Adds the extrapolated point to the subreflector.
template <RealType Real>
void extend_sub(ScaledDesign<Real>& scaled, Real new_diameter, const Extrapolation<Real>& e);

// A listing from `start` in equal steps: the number of rows
// trunc((stop - start)/step + 1.2), computed in double from the answers; 0 for
// a step of zero; -1 for more than a million rows.
template <RealType Real>
int list_row_count(Real start, Real stop, Real step);
// Radius of listing row i (1-based).
template <RealType Real>
Real list_row_radius(Real start, Real step, int i) {
  return start + static_cast<Real>(i - 1) * step;
}

// Spacing of `points` equally spaced radii from the first to the last radius
// of a profile; a single point stands at the first radius.
template <RealType Real>
Real sample_step(const Profile<Real>& p, int points) {
  if (points == 1) return Real(0);
  return (p.last_radius() - p.first_radius()) / static_cast<Real>(points - 1);
}
// Radius of sample i (1-based).
template <RealType Real>
Real sample_radius(const Profile<Real>& p, Real step, int i) {
  return p.first_radius() + static_cast<Real>(i - 1) * step;
}

}  // namespace design
