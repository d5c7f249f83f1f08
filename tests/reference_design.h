// Independent double-precision synthesis of the displaced-axis dual-reflector
// design, for checking what the program designs and what the report finds.
//
// The feed sits at the origin looking along +z with power cos(theta/2)^(2n)
// per unit solid angle.  The ray leaving the feed at theta meets the
// subreflector at distance R and is sent to the main reflector at normalised
// radius r (rim = 1), which sends it along +z.  Energy conservation gives
//   dtheta/dr = -a(r) r K / (sin(theta) c),  c = cos(theta/2)^(2n),
// K = feed power in the cone / aperture power, and the reflection laws
//   dR/dr = tan((phi + theta)/2) R dtheta/dr,  dz_m/dr = tan(phi/2),
//   phi = atan((r - R sin theta) / (R cos theta - z_m)).
// dtheta/dr diverges at the rim, where theta reaches 0, so the equations are
// integrated with theta as the independent variable (all three right-hand
// sides are smooth there) by fourth-order Runge-Kutta from theta_s down to 0.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace test {

// Normalised geometry (main-reflector radius 1); the defaults are the
// example design.
struct Geometry {
  double main_hole_to_feed = 0.2;  // feed to the main reflector at the hole rim, along -z
  double feed_to_sub_rim = 0.5;    // axial distance from the feed to the subreflector rim
  double sub_radius = 0.25;
  double hole_radius = 0.12;
};

// Feed exponent n for a power beamwidth of beamwidth_deg at level_db (e.g. -10).
double feed_exponent(double beamwidth_deg, double level_db);

// Wanted aperture power density a(r), 1 on the axis.
struct Distribution {
  std::string name;
  std::function<double(double r)> density;
};
Distribution uniform();
// a = exp(-T r / 8.686)^2: the power falls by edge_taper_db at the rim, linearly in dB.
Distribution gaussian(double edge_taper_db);
// Taylor circular distribution: amplitude g(r) = sum of c_m J0(j1_{m-1} r)
// (j1_0 = 0, then the zeros of J1), power g^2 normalised to 1 on the axis.
Distribution taylor(double sidelobe_db, int nbar);

struct Ray {
  double theta = 0;   // feed angle, rad
  double R = 0;       // feed to subreflector
  double sub_r = 0, sub_z = 0;
  double main_r = 0, main_z = 0;
  double path = 0;    // feed -> sub -> main -> plane z = 0
};

// Rays at the given main-reflector radii (each within [hole_radius, 1]),
// integrated with `steps` Runge-Kutta steps in theta.
std::vector<Ray> reference_rays(const Geometry& g, double feed_exponent,
                                const std::function<double(double)>& density,
                                const std::vector<double>& radii, int steps = 4000);

// count radii evenly from the hole to the rim, both included.
std::vector<double> even_radii(double hole_radius, int count);

// Profiles scaled by D/2 in increasing radius, as the surface files carry
// them: the subreflector from the axis (its first radius set to 0), the main
// reflector from the hole.
struct Profiles {
  std::vector<double> sub_r, sub_z, main_r, main_z;
};
Profiles scaled_profiles(const std::vector<Ray>& rays, double diameter);

// Adds a subreflector rim point at radius `radius` (scaled), continuing the
// last segment in a straight line.
void extend_subreflector(Profiles& p, double radius);

}  // namespace test
