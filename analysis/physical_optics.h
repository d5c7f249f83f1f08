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
//     integral (near-field terms kept), the azimuthal integral by the
//     trapezoidal rule, which converges exponentially for periodic
//     integrands once it has more nodes than the integrand's azimuthal
//     bandwidth k rho rho' / R;
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
  // Far-field samples per lobe (pi in k a sin theta) of the cuts.
  int per_lobe = 16;
  // Every sampling above multiplied by this (convergence checks double it).
  double factor = 1.0;
  int threads = 0;  // 0: as many as the machine has
};

struct Options {
  Sampling sampling;
  int sidelobes = 10;           // the cuts reach past this many sidelobes
  bool sphere_power = false;    // integrate the far-field power over the sphere
  // Called on the calling thread between blocks of the work with the blocks
  // done and in all; may throw to stop the work.  May be empty.
  std::function<void(int done, int total)> progress;
  // Asked on the calling thread between blocks of the work, each well under
  // a second; may throw to stop the work (an interrupted run).  May be empty.
  std::function<void()> check;
};

// One pattern cut: co- and cross-polar fields (third definition) at the
// angles from the beam axis, scaled so that |field|^2 is the directivity.
struct Cut {
  double phi_deg = 0;
  std::vector<Complex> co, cross;
  double hpbw_deg = 0;
  double first_sidelobe_db = 0;   // relative to the peak; 0 when none is found
  double first_sidelobe_deg = 0;
  double cross_peak_db = kFloorDb;    // highest cross-polar level relative to the co-polar peak
  int sidelobes_found = 0;
};

struct Result {
  double feed_power = 0;          // radiated by the feed
  double directivity_dbi = 0;     // on the beam axis, from the feed's power
  // Shares of the feed's power: past the subreflector (the feed's power
  // outside its cone), and past the main reflector (what the subreflector's
  // field, or the feed's without a subreflector, does not bring onto it).
  double spillover_past_sub = 0, spillover_past_main = 0;
  // Far-field power over the sphere as a share of the feed's power, and the
  // directivity from that power (when Options::sphere_power is set).
  std::optional<double> sphere_power_share, sphere_directivity_dbi;
  std::vector<double> theta_deg;  // angles of the cuts, from the beam axis
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
FarField reflector_far_field(const Feed& feed, const Reflector& reflector, double wavelength, const Sampling& sampling,
                             const std::vector<double>& theta);

}  // namespace analysis::po
