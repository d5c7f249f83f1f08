// Physical optics of an axially symmetric reflector system: a linearly
// (x-)polarised feed on the axis looking along +z, an optional
// subreflector and a main reflector, both surfaces of revolution.
//
// The feed radiates E_theta = E(theta) cos(phi), E_phi = -H(theta) sin(phi)
// (amplitudes the square roots of its E- and H-plane power patterns).  Every
// field of the chain keeps that azimuthal form, so every surface current is
//   J = rho^ a(t) cos(phi) + phi^ b(t) sin(phi) + z^ c(t) cos(phi)
// and the surface integrals reduce to integrals along the profiles:
//   - the subreflector's currents 2 n x H of the feed's far field;
//   - their field on the main reflector by the whole free-space radiation
//     integral (near-field terms kept), the azimuthal integral by steepest
//     descent from its two stationary ends (a few nodes for any size), or
//     close to the source ring by the trapezoidal rule, which converges
//     exponentially for periodic integrands once it has more nodes than the
//     integrand's azimuthal bandwidth k rho rho' / R;
//   - the main reflector's currents 2 n x H of that field;
//   - far fields of the feed, the subreflector's and the main reflector's
//     currents, the azimuthal integrals in closed form with J0, J1 and J2.
// The subreflector's shadow: the main reflector's currents inside the
// subreflector's radius do not radiate into the forward hemisphere (their
// aperture field is removed), but still radiate backwards, where they form
// the main reflector's own shadow.  That costs nothing beyond the main
// reflector's far field; it leaves out the field the subreflector's back
// scatters, so the power blocked is lost to the balance over the sphere.
//
// The feed's own field on the main reflector: a main-reflector ring the
// feed sees on its lit side, at a feed angle past the subreflector's rim
// (outside the cone the subreflector shadows, seen from the phase centre),
// carries the current of the feed's far field added to that of the
// subreflector's field.  The feed's far field itself is added in every
// direction, past both reflectors included; behind a lit reflector the
// currents the feed induces radiate, in PO, nearly the opposite of the feed's
// field, so the reflector's shadow forms from the currents rather than from
// cutting the feed's field (the subreflector's shadow on the feed's field
// forms the same way).  The spillover past the main reflector stays that of
// the subreflector's field alone.
//
// The cuts run from the beam axis to 180 degrees off it in uniform
// stretches: per_lobe samples per lobe (pi in k a sin) out past the wanted
// sidelobes, then kFarPerLobe per lobe out to kMidLobes lobes, then a step
// of that size but no finer than kFarStepDeg / factor; the first sidelobe and the
// half-power points are refined between samples.
//
// Units: free-space impedance 1, the feed's far field E(theta) e^{-jkr}/r;
// the far fields below are given as r e^{jkr} E, so that a directivity is
// 2 pi |E|^2 / P.
#pragma once

#include <complex>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "analysis/levels.h"
#include "analysis/raytrace.h"

namespace analysis::po {

using Complex = std::complex<double>;

struct Feed {
  // Amplitude patterns (square roots of the power patterns, 1 on the axis)
  // of the E and H planes, and their phases in radians about the phase
  // centre (each may be empty: 0): E_theta = E e^{j e_phase} cos(phi),
  // E_phi = -H e^{j h_phase} sin(phi).  The feed radiates nothing beyond
  // last_angle.
  std::function<double(double theta)> e_plane, h_plane, e_phase, h_phase;
  double last_angle = M_PI;
  // The phase centre's height on the axis, in the unit of the profiles:
  // angles and distances to the reflectors are measured from it.
  double z = 0;
};

// A reflector: its profile z(r) between two radii, and the side its
// illumination comes from (the side its normal points to).
struct Reflector {
  const Surface* profile = nullptr;
  double r_begin = 0, r_end = 0;
  bool lit_from_below = true;  // the lit side faces -z
};

struct System {
  Feed feed;
  std::optional<Reflector> sub;  // without one, the feed lights the main reflector
  Reflector main;
  double wavelength = 0;          // in the unit of the profiles
  double shadow_radius = 0;       // main-reflector currents inside it do not radiate forwards
  bool beam_along_minus_z = false;  // the main beam's axis (a front-fed reflector sends it back)
};

struct Sampling {
  // Gauss-Legendre nodes per wavelength of arc along each profile (in
  // panels of `order` nodes).
  double per_wavelength = 6.0;
  int order = 6;
  // Azimuthal nodes beyond the integrand's bandwidth u = k rho rho' / R:
  // u + extra_cbrt u^(1/3) + extra.
  double extra_cbrt = 6.0, extra = 12.0;
  // Steepest descent instead where the nearest singularity of its paths
  // lies at least descent_from radians of kR away, with descent_nodes
  // Gauss-Laguerre nodes from each end, two fewer from 4 descent_from on
  // (0: the trapezoid everywhere).
  double descent_from = 12.0;
  int descent_nodes = 6;
  // Far-field samples per lobe (pi in k a sin theta) of the cuts.
  int per_lobe = 16;
  // Every sampling above multiplied by this (convergence checks double it).
  double factor = 1.0;
  int threads = 0;  // 0: as many as the machine has
};

// The cuts' coarser stretches beyond the finely sampled one (see above).
inline constexpr int kFarPerLobe = 4;
inline constexpr double kMidLobes = 40.0;
inline constexpr double kFarStepDeg = 0.25;

struct Options {
  Sampling sampling;
  int sidelobes = 10;           // the cuts reach past this many sidelobes
  bool sphere_power = false;    // integrate the far-field power over the sphere
  // The feed's own field on the main reflector past the subreflector's cone
  // (off only to compare with and without it).
  bool direct_feed_on_main = true;
  // The cuts only as far as their finely sampled stretch: every figure of
  // the result (directivity, beam width, sidelobes, cross-polar peak,
  // spillover) comes out the same, at a fraction of the cost; the cuts'
  // coarser stretches out to 180 degrees are left out (sweeps and the
  // optimiser judge designs by the figures alone).
  bool figures_only = false;
  // Called on the calling thread between blocks of the work with the blocks
  // done and in all; may throw to stop the work.  May be empty.
  std::function<void(int done, int total)> progress;
  // Asked on the calling thread between blocks of the work, each well under
  // a second; may throw to stop the work (an interrupted run).  May be empty.
  std::function<void()> check;
};

// One pattern cut: co- and cross-polar fields (third definition) at the
// angles from the beam axis, scaled so that |field|^2 is the directivity.
// The beam-width, sidelobe and cross-polar figures are taken over the
// finely sampled angles (Result::fine_angles), the first sidelobe's level
// and angle and the half-power points refined between samples.
struct Cut {
  double phi_deg = 0;
  std::vector<Complex> co, cross;
  double hpbw_deg = 0;
  double first_sidelobe_db = 0;   // relative to the peak; 0 when none is found
  double first_sidelobe_deg = 0;
  double cross_peak_db = kFloorDb;    // highest cross-polar level relative to the co-polar peak
  int sidelobes_found = 0;
};

// A run of the cuts' angles at one step: theta_deg[first + j] = first_deg +
// j * step_deg for j < count.
struct Stretch {
  std::size_t first = 0, count = 0;
  double first_deg = 0, step_deg = 0;
};

struct Result {
  double feed_power = 0;          // radiated by the feed
  double directivity_dbi = 0;     // on the beam axis, from the feed's power
  // Shares of the feed's power: past the subreflector (the feed's power
  // outside its cone), and past the main reflector (what the subreflector's
  // field, or the feed's without a subreflector, does not bring onto it).
  double spillover_past_sub = 0, spillover_past_main = 0;
  // Share of the feed's power that the main reflector intercepts inside the
  // shadow radius: its currents there radiate nothing forwards, so this
  // power is missing from the balance over the sphere.
  double shadowed_share = 0;
  // Far-field power over the sphere as a share of the feed's power, and the
  // directivity from that power (when Options::sphere_power is set).
  std::optional<double> sphere_power_share, sphere_directivity_dbi;
  std::vector<double> theta_deg;  // angles of the cuts, from the beam axis, 0 to 180
  std::vector<Stretch> stretches; // theta_deg in uniform stretches, in order
  std::size_t fine_angles = 0;    // the first stretch's angles, sampled per_lobe per lobe
  std::vector<Cut> cuts;          // at 0, 45 and 90 degrees
  double cross_polar_peak_db = kFloorDb;
  double hpbw_deg = 0;            // mean of the 0 and 90 degree planes
  double first_sidelobe_db = 0;   // the highest of the planes' first sidelobes
  // Samples used: nodes along the subreflector and the main reflector, the
  // most azimuthal nodes of a source ring, angles of the cuts.
  int sub_nodes = 0, main_nodes = 0, azimuth_nodes_max = 0, angles = 0;
};

// Throws std::invalid_argument for a system it cannot work with.
Result analyse(const System& system, const Options& options);

// Far field of the whole system at angles theta (radians from +z), as the
// E-plane (phi = 0) E_theta and the H-plane (phi = 90 deg) -E_phi; the
// pattern at any phi follows: E_theta = A cos(phi), E_phi = -B sin(phi).
struct FarField {
  std::vector<Complex> a, b;
};

// The currents the feed induces on one reflector, and their field: at points
// (r, 0, z) by the radiation integral, as E = (e_rho, e_phi, e_z) and H =
// (h_rho, h_phi, h_z) with the azimuthal factors (cos, sin, cos) and (sin,
// cos, sin) taken out; and far away at angles theta.  For checking one
// against the other.
struct NearField {
  Complex e_rho, e_phi, e_z, h_rho, h_phi, h_z;
};
std::vector<NearField> reflector_near_field(const Feed& feed, const Reflector& reflector, double wavelength,
                                            const Sampling& sampling,
                                            const std::vector<std::pair<double, double>>& points);
// The azimuthal integrals over one ring of radius rs of the radiation
// integral's kernels, seen from (r, 0, z) a height dz above the ring: with
// R^2 = r^2 + rs^2 + dz^2 - 2 r rs cos(phi), G = e^{-jkR} / (4 pi R) and
// x = 1 / (kR), the moments over phi in [0, 2 pi] of cos(phi)^p against
// K1 = G (1 - x^2 - j x), K2 = G (1 - 3x^2 - 3j x) / R^2 and
// K3 = G (1 + j kR) / R^2.  For checking the quadrature.
struct RingMoments {
  Complex k1[3], k2[4], k3[4];
  int nodes = 0;  // azimuthal nodes used
};
RingMoments ring_moments(double r, double rs, double dz, double wavelength, const Sampling& sampling);

// J0(u) and J1(u) for u >= 0, as the far fields take them: within 1e-13 of
// the envelope min(1, sqrt(2 / (pi u))).
void bessel_j0_j1(double u, double& j0, double& j1);

FarField reflector_far_field(const Feed& feed, const Reflector& reflector, double wavelength, const Sampling& sampling,
                             const std::vector<double>& theta);

}  // namespace analysis::po
