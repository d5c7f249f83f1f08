// Geometrical-optics shaping of an axially symmetric dual reflector of any
// topology: centre-fed Cassegrain or Gregorian, or one of the displaced-axis
// configurations whose focus is a ring.
//
// The feed sits at the origin and looks along +z; the subreflector faces it
// and sends each ray back to the main reflector, which reflects it into +z.
// In the meridian half-plane of a feed ray leaving at angle theta from the
// axis, the subreflector point is S = rho(theta) (sin theta, cos theta) and
// the main-reflector point M = (s x(theta), z_m(theta)), where x is the
// aperture radius the ray lands on and s = -1 when the reflected rays cross
// the axis between the two reflectors (+1 when they do not).
//
// Two conditions make the surfaces:
// - power: the feed power within theta, as a fraction of the power within the
//   edge angle theta_e, equals the fraction of the aperture power within x
//   (from x_inner) when x grows with theta, or beyond x when it shrinks;
//   that fixes x(theta);
// - equal paths: rho + |M - S| + (0 - z_m) = L for every ray, the aperture
//   plane being z = 0.  With x(theta) and rho known this places M in closed
//   form (see ReflectedRay), and the reflection law at S gives the ordinary
//   differential equation
//       d rho / d theta = rho cot((psi - theta) / 2),
//   psi the direction of the reflected ray from +z.  The main reflector then
//   reflects every ray into +z because all paths are equal.
//
// The four choices of s and of the direction of x(theta) with the hole
// radius give the six families; a classical conic pair is the special case
// whose feed pattern and aperture distribution map angles as its conics do.
// Everything here is computation: no files, no output.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "design/real.h"

namespace design {

// Which way the rays run.
struct DualTopology {
  // The rays reflected by the subreflector cross the symmetry axis before
  // they meet the main reflector.
  bool rays_cross_axis = false;
  // The aperture radius grows with the feed angle: the ray along the axis
  // lands at x_inner and the subreflector's rim ray at x_outer.  Otherwise
  // the axial ray lands at x_outer and the rim ray at x_inner.
  bool radius_increases = true;
};

// The six classical families.  The centre-fed two take x_inner = 0; the
// displaced-axis four a hole radius x_inner > 0.  Each family's rays run one
// way only; the subreflector's conic follows from it (an ellipse exactly
// when the rays cross the axis and the radius grows, or neither):
//   cassegrain  hyperbola, rays on the feed ray's side, radius growing;
//   gregorian   ellipse, rays crossing the axis, radius growing;
//   adc         hyperbola, rays on the feed ray's side, radius growing;
//   ade         ellipse, rays on the feed ray's side, radius shrinking (the
//               axial ray lands at the main reflector's rim: the program's
//               established configuration);
//   adh         hyperbola, rays crossing the axis, radius shrinking;
//   adg         ellipse, rays crossing the axis, radius growing.
enum class DualFamily { cassegrain, gregorian, adc, ade, adh, adg };

DualTopology topology_of(DualFamily family);
// Whether the family's focus is a point on the axis (no hole needed).
bool centre_fed(DualFamily family);

// Where the subreflector is pinned: its distance from the feed on the axis
// (theta = 0, its vertex) or at its rim (theta = theta_e).
enum class SubAnchor { vertex, rim };

template <RealType Real>
struct ShapedDualSpec {
  DualTopology topology;
  Real edge_angle = 0;  // theta_e, radians, in (0, pi/2)
  // The feed's power pattern P(theta) for theta in (0, theta_e] (any
  // constant factor); finite and not negative.  Only its integral with
  // sin(theta) is used, so a pattern that grows like 1/theta at the axis is
  // still served (it is never asked for theta = 0).
  std::function<Real(Real)> feed_power;
  // The wanted aperture power density over x in (x_inner, x_outer) (any
  // constant factor); finite and not negative.
  std::function<Real(Real)> aperture_power;
  Real x_inner = 0;
  Real x_outer = 1;
  SubAnchor anchor = SubAnchor::vertex;
  Real anchor_distance = 0;  // rho at the anchor, > 0
  Real path_length = 0;      // L, feed to subreflector to main to z = 0
  // The rows of the table: feed angles in radians, each in [0, theta_e], in
  // any order (the table keeps it).
  std::vector<Real> angles;
};

// n angles evenly spaced from 0 to theta_e, both included (n >= 2).
template <RealType Real>
std::vector<Real> even_angles(Real edge_angle, int n);

// One ray of the shaped design, in the meridian half-plane of its feed ray.
template <RealType Real>
struct ShapedRay {
  Real theta = 0;         // feed angle, radians
  Real sub_distance = 0;  // rho
  Real sub_r = 0, sub_z = 0;
  // main_r is s x: negative when the rays cross the axis.
  Real main_r = 0, main_z = 0;
  Real aperture_radius = 0;  // x
  Real reflected_angle = 0;  // psi, from +z towards +r, in (pi/2, 3 pi/2)
};

template <RealType Real>
struct ShapedDual {
  std::vector<ShapedRay<Real>> rays;  // one per angle asked, in its order
  Real path_length = 0;
  long steps = 0;  // accepted integration steps
  // Empty when the design is complete; otherwise what stopped it (rays then
  // holds no rows).
  std::string problem;
};

// The ray that leaves the subreflector point at (theta, rho) for the
// aperture radius x with path length L.  With A = L - rho (1 - cos theta)
// and B = s x - rho sin theta, equal paths give cot(psi/2) = B / A, the
// distance to the main reflector (A^2 + B^2) / (2 A) and the main point's
// height rho cos theta + (B^2 - A^2) / (2 A).  It heads back towards the main
// reflector only for |B| < A.
template <RealType Real>
struct ReflectedRay {
  Real a = 0, b = 0;
  Real sin_psi = 0, cos_psi = 0;
  Real length = 0;  // |M - S|
  Real main_z = 0;
  // d rho / d theta from the reflection law.
  Real d_rho = 0;
};
template <RealType Real>
ReflectedRay<Real> reflected_ray(Real theta, Real rho, Real signed_x, Real path_length);

// The path length that puts the main reflector's point of the axial ray
// (theta = 0) at height main_z, for the subreflector's distance rho_axial on
// the axis and that ray's aperture radius x_axial (x_inner when the radius
// grows with theta, else x_outer): for a centre-fed design, the main
// reflector's vertex height.
template <RealType Real>
Real path_length_for_main_height(Real rho_axial, Real main_z, Real x_axial);

// The energy balance alone: the aperture radius of each feed angle.  The
// cumulative feed and aperture powers are tabulated once at knots (a
// Gauss-Legendre rule over each interval); a value costs one short
// quadrature from the nearest knot, and the radius a few Newton steps on
// the aperture's cumulative power.
template <RealType Real>
class EnergyMapping {
 public:
  EnergyMapping(const std::function<Real(Real)>& feed_power,
                const std::function<Real(Real)>& aperture_power, Real edge_angle, Real x_inner,
                Real x_outer, bool radius_increases);

  // Empty when both powers are usable.
  const std::string& problem() const { return problem_; }
  // The fraction of the feed power within theta (0 to theta_e).
  Real feed_fraction(Real theta) const;
  // The fraction of the aperture power from x_inner to x.
  Real aperture_fraction(Real x) const;
  // x(theta).
  Real radius(Real theta) const;

 private:
  // The power from knot k to theta (to x); `bad` is set by a value that is
  // negative or not finite.
  Real feed_from_knot(std::size_t k, Real theta, bool& bad) const;
  Real aperture_from_knot(std::size_t k, Real x, bool& bad) const;

  std::function<Real(Real)> feed_;
  std::function<Real(Real)> aperture_;
  Real edge_ = 0, x_inner_ = 0, x_outer_ = 0;
  bool increases_ = true;
  Real feed_step_ = 0, x_step_ = 0;
  std::vector<Real> feed_cumulative_;      // at knots k * feed_step_
  std::vector<Real> aperture_cumulative_;  // at knots x_inner + k * x_step_
  std::string problem_;
};

// Shapes both reflectors and tabulates them at the angles asked.  A spec
// that cannot give a design (an edge angle outside (0, 90) degrees, an
// aperture interval that is empty, powers that are negative, not finite or
// nowhere positive, rows beyond the subreflector, a geometry whose rays run
// parallel to the axis or turn away from the main reflector, a main
// reflector that reaches up to the subreflector where both cover the same
// radius) comes back with its problem and no rows; nothing in a returned
// table is NaN.  The whole subreflector is integrated and checked, whatever
// the rows asked.
template <RealType Real>
ShapedDual<Real> shape_dual(const ShapedDualSpec<Real>& spec);

}  // namespace design
