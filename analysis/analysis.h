// Design report of a shaped dual-reflector antenna: an independent ray trace
// of the profiles as the surface files carry them, the efficiencies, the far
// field and the report files (JSON, CSV, SVG figures and one HTML page).
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/aperture.h"
#include "analysis/raytrace.h"

namespace analysis {

struct DesignInput {
  // Scaled profiles in increasing radius, in the unit of the diameter; the
  // subreflector's from the axis (sub_r[0] = 0), the main reflector's from the
  // hole.  The subreflector may carry an extrapolated rim point.
  std::vector<double> sub_r, sub_z, main_r, main_z;
  double main_diameter = 0;       // D
  double hole_radius = 0;         // scaled hole radius (main_r[0])
  double feed_exponent = 0;       // n: feed power cos(theta/2)^(2n) per unit solid angle
  double sub_half_angle_rad = 0;  // feed to subreflector rim, as designed (without extrapolation)
  // Wanted aperture power density at normalised radius rho in [0, 1], 1 on axis.
  std::function<double(double rho)> wanted_density;
  std::string distribution;       // e.g. "Taylor, 25 dB sidelobes, nbar 4"
  std::vector<std::pair<std::string, std::string>> inputs;  // design inputs for the page: label, value
  bool double_precision = false;  // design computed in 64-bit reals
  double calc_interval = 0;       // normalised integration step of the design (0: unknown)
};

struct Options {
  double wavelength = 0;  // in the unit of the diameter; 0: D/lambda = 100 is assumed
  int rays = 3001;        // rays traced from the feed
};

struct Efficiency {
  double spillover = 0, illumination = 0, blockage = 0, phase = 0, total = 0;
};

struct Report {
  double wavelength = 0;
  double d_over_lambda = 0;
  bool wavelength_assumed = false;
  double aperture_radius = 0;        // D/2
  double hole_rho = 0;               // hole radius / (D/2)
  double shadow_rho = 0;             // subreflector radius (largest point) / (D/2)
  double feed_edge_taper_db = 0;     // feed power at the subreflector rim, negative

  Efficiency efficiency;
  double directivity_dbi = 0;

  // Verification by ray trace.
  int rays_requested = 0, rays_traced = 0, rays_lost = 0;
  double lost_theta_min_deg = 0, lost_theta_max_deg = 0;  // feed angles of the lost rays
  double path_error_pp_wavelengths = 0, path_error_rms_wavelengths = 0, phase_error_pp_deg = 0;
  double collimation_error_max_deg = 0;
  double aperture_power_error_max_db = 0;
  double mean_path = 0;              // power-weighted mean path length, diameter's unit
  double path_error_trend_share = 0; // share of the path-error variance a straight line in radius explains

  // Per traced ray, in increasing feed angle.
  std::vector<double> ray_theta_deg, ray_rho, ray_path_error_wavelengths, ray_direction_error_deg;
  double worst_ray_theta_deg = 0, worst_ray_rho = 0;  // the ray with the largest direction error

  // Aperture power density in radial bins from the hole to the rim (bin
  // centres, normalised radius): delivered by the ray tubes and wanted.
  std::vector<double> density_rho, density_delivered, density_wanted;

  // A fan of rays for the cross-section.
  std::vector<TracedRay> fan;
  double aperture_plane_z = 0;

  // Far field: with blockage, without it, and the wanted distribution on the
  // annulus without phase error, all on the same angles.
  Pattern delivered, unblocked, ideal;
  double ideal_disc_first_sidelobe_db = 0;  // wanted distribution over the whole disc

  std::vector<std::string> notes;  // what limits the design, in plain words
};

// Pure computation.  Throws std::invalid_argument for inputs it cannot use.
Report analyse(const DesignInput& design, const Options& options);

// Writes report.json, report.html, geometry.svg, aperture.svg, pattern.svg,
// path_error.svg and the CSV files beside them into dir (created if missing).
// Throws std::runtime_error with a one-line message when a file cannot be written.
void write_report(const Report& report, const DesignInput& design, const std::filesystem::path& dir);

}  // namespace analysis
