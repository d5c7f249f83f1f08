// Design report of a shaped dual-reflector antenna: an independent ray trace
// of the profiles as the surface files carry them, the efficiencies, the far
// field and the report files (JSON, CSV, SVG figures and one HTML page).
#pragma once

#include <filesystem>
#include <limits>
#include <functional>
#include <memory>
#include <optional>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <utility>
#include <vector>

#include "analysis/aperture.h"
#include "analysis/physical_optics.h"
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
  // The feed by any model: power pattern P(theta) per unit solid angle (1 on
  // the axis) and the enclosed power, the integral of P sin from 0 to theta.
  // When unset, the cos(theta/2)^(2n) pattern of feed_exponent is used.
  std::function<double(double theta)> feed_pattern, feed_enclosed_power;
  double feed_last_angle_rad = M_PI;  // the pattern is known up to this angle
  // The feed's phase centre on the axis, in the profiles' unit and frame:
  // the rays leave from (0, feed_z) and every feed angle is measured there.
  double feed_z = 0;
  // The feed analysed displaced this far along the axis from feed_z
  // (towards the subreflector), a defocus the design was not shaped for: the
  // ray trace, its efficiencies and far field and the physical optics see
  // the feed at feed_z + feed_axial_offset; the design's own profiles stay
  // about feed_z.  sub_rim_radius, the subreflector's rim radius as
  // designed, gives the angle the displaced feed sees that rim under (0:
  // unknown, the designed half angle is kept).
  double feed_axial_offset = 0;
  double sub_rim_radius = 0;
  std::string feed_model;             // one line naming the feed model
  // A tabulated feed's planes, for the figure (empty for analytic models).
  std::vector<double> feed_table_theta_deg, feed_table_e_db, feed_table_h_db;
  // The feed's E- and H-plane power patterns (1 on the axis) for the
  // physical optics, which radiates it as a linearly polarised source; when
  // unset, both planes are the power pattern above.
  std::function<double(double theta)> feed_e_plane, feed_h_plane;
  // A tabulated feed's phase in degrees (unwrapped along the angle) in its E
  // and H planes at the table's angles, about the file's reference point on
  // the axis; empty when the feed gives none.  The phase is that of the far
  // field E e^{j phase} e^{-jkr}/r, time dependence e^{jwt}.
  std::vector<double> feed_phase_theta_deg, feed_phase_e_deg, feed_phase_h_deg;
  // Where the feed's phase centre lies from that reference point, along the
  // axis towards the subreflector: at the reference point, a length given
  // (phase_centre_length, the unit of the diameter), or the best fit to the
  // phase over the cone (phase_centre_fit_wavelengths).  The design puts
  // the phase centre at (0, feed_z); the analyses take the phase about it.
  enum class PhaseCentre { reference, given, fit };
  PhaseCentre phase_centre = PhaseCentre::reference;
  double phase_centre_length = 0, phase_centre_fit_wavelengths = 0;
  // The design as synthesised, scaled like the profiles: both profile points
  // of the integration steps (every k-th step of long integrations), ray by
  // ray from the subreflector-rim ray to the main reflector's rim.  Empty when
  // only the written profiles are known; the report then traces those.
  std::vector<double> step_sub_r, step_sub_z, step_main_r, step_main_z;
  double step_interval = 0;       // normalised main radius between those steps
  int steps_per_row = 0;          // of those steps between written rows
  double sub_half_angle_rad = 0;  // feed to subreflector rim, as designed (without extrapolation)
  // Wanted aperture power density at normalised radius rho in [0, 1], 1 on axis.
  std::function<double(double rho)> wanted_density;
  std::string distribution;       // e.g. "Taylor, 25 dB sidelobes, nbar 4"
  std::vector<std::pair<std::string, std::string>> inputs;  // design inputs for the page: label, value
  bool double_precision = false;  // design computed in 64-bit reals
  double calc_interval = 0;       // normalised integration step of the design (0: unknown)
  // The length unit of the diameter and the profiles ("mm", "in", ...), empty
  // when the design does not say; and the frequency (Hz) the wavelength was
  // given as, 0 when it was given as a length.  The page names them.
  std::string length_unit;
  double frequency_hz = 0;
};

// How the analysis is done and the levels at which its notes speak.  The
// defaults are the program's; analyse() rejects values it cannot work with.
struct Options {
  // Called after each step of the analysis with the steps done and the
  // steps in all (for a progress line); may be empty.
  std::function<void(int done, int total)> progress;
  // Asked often during long work (between the report's parts and the
  // trials of its advice, between blocks of the physical optics); may throw
  // to stop the analysis (an interrupted run).  May be empty.
  std::function<void()> check;
  double wavelength = 0;  // in the unit of the diameter; 0: assumed_d_over_lambda is assumed
  int rays = 3001;        // rays traced from the feed (at least 9)
  double assumed_d_over_lambda = 100;  // D/lambda when no wavelength is given
  int fan_rays = 9;       // rays drawn in the cross-section
  // RMS of a random surface error (in the unit of the diameter), taken as
  // the antenna's combined effective error: its Ruze factor
  // exp(-(4 pi rms / lambda)^2) is the surface efficiency, and it scales the
  // directivities of both the geometrical and the physical optics.
  double surface_rms = 0;

  // The vertex ring (see VertexRing).
  // The subreflector profile starts at the axis when its first radius is at
  // most this share of its largest.
  double vertex_on_axis = 1e-9;
  // The ring matters when its rays lose power, leave the main reflector
  // further off the axis than any other ray, or widen the peak-to-peak path
  // error by more than this factor.
  double ring_path_error_growth = 1.1;

  // Aperture power density.
  int rays_per_bin = 6;   // radial bins: one for this many traced rays,
  int bins_min = 20;      // but no fewer than this
  int bins_max = 400;     // and no more than this
  // Bins whose wanted density (1 on the axis) is this low or lower are not
  // checked: no power is meant to reach them.
  double wanted_density_floor = 1e-6;
  // Share of a bin by which the rays' landing radii may fall short of its
  // edge and still count it wholly covered.
  double bin_edge_slack = 0.1;

  // Far field.
  int sidelobes = 10;            // the delivered pattern reaches past this many sidelobes
  double full_disc_u_max = 20;   // furthest k a sin(theta) of the whole-disc pattern of the wanted distribution

  // Notes.
  double sidelobe_rise_db = 0.5;      // a first sidelobe this much above the ideal is explained
  double focus_path_error = 0.02;     // wavelengths peak to peak below which the profiles "focus well"
  // Rounding drift of a 32-bit design is named when the path error exceeds
  // this many wavelengths peak to peak and a straight line in radius
  // explains more than drift_trend_share of it.
  double drift_path_error = 0.01;
  double drift_trend_share = 0.5;
  // The range of the aperture power error is stated when the rays leave more
  // than this share of the radius uncovered at the hole or at the rim.
  double coverage_margin = 0.01;

  // Verification over annuli: the cone of feed angles is cut into this many
  // cones of equal power, which the design sends to annuli of equal wanted
  // power; errors are power-weighted means per cone, so that one ray's
  // error weighs as much as the power it carries.
  int annuli = 50;

  // Trace the written profiles beside the design's own and advise on the
  // sampling (when the design's steps are given).  Sweeps leave it off.
  bool compare_written = true;

  // Physical optics of the design (see physical_optics.h) beside the
  // geometrical optics, with this sampling.
  bool physical_optics = false;
  po::Sampling po_sampling;
  // The physical optics' figures alone (sweeps and the optimiser): the same
  // figures without the power over the sphere or the cuts' coarse stretches
  // (po::Options::figures_only), so without the power balance's caution.
  bool po_figures_only = false;
  // The power over the sphere is integrated up to this D/lambda (its cost
  // grows with the square of D/lambda).
  double po_sphere_up_to_d_over_lambda = 300;

  // Sampling advice: the written surfaces may lose at most this much
  // directivity against the design and keep the path error below this many
  // wavelengths peak to peak.
  double advice_directivity_loss_db = 0.01;
  double advice_path_error = 0.02;
  int advice_max_points = 999;  // most surface and spline points advised
};

// Aperture power density (1 on the axis is the wanted density's scale)
// against normalised radius; a NaN density breaks the curve.
struct DensityCurve {
  std::vector<double> rho, density;
  bool empty() const { return rho.empty(); }
  // The density at `rho` by linear interpolation between the neighbouring
  // points of a stretch without breaks that spans it; NaN where none does.
  double at(double rho) const;
};

// The sizes the report works in: D/lambda from a thousandth to ten million.
// Outside them the wavelength was given in another unit than the diameter,
// and the figures overflow or lose every digit (the directivity of a
// vanishing aperture is minus infinity in dB).
inline constexpr double kMinDOverLambda = 1e-3;
inline constexpr double kMaxDOverLambda = 1e7;

// An annulus that receives less than this share of its wanted power counts
// as receiving this share, 30 dB short: its error stays a number, and one
// that shrinks as power arrives.
inline constexpr double kAnnulusFloorShare = 1e-3;
// The error in dB of an annulus that receives `share` of its wanted power.
double annulus_error_db(double share);

// The feed's phase about its phase centre and where to mount the horn,
// when the feed gives a phase.  Heights on the axis are in the unit of the
// diameter, from the geometry's feed point, positive towards the
// subreflector.
struct PhaseCentreReport {
  bool known = false;        // the feed gives a phase
  DesignInput::PhaseCentre source = DesignInput::PhaseCentre::reference;
  // The phase centre ahead of the file's reference point.
  double offset = 0, offset_wavelengths = 0;
  double phase_centre_z = 0;          // where the design puts it
  double reference_z = 0;             // the horn's reference point: phase_centre_z - offset
  // The main reflector's vertex: its innermost point (the hole's rim when
  // it has a hole), which the horn must not lie behind.
  double main_vertex_z = 0;
  double reference_from_vertex = 0;   // reference_z - main_vertex_z (negative: behind the vertex)
  // The phase across the subreflector's cone about the phase centre:
  // largest minus smallest, degrees, over both planes.
  double variation_deg = 0;
};

// The feed's phase about its phase centre `offset_wavelengths` ahead of the
// table's reference point, per plane, in radians as functions of the feed
// angle: the table's phase (linear in angle between its angles, the last
// beyond them) minus k d cos(theta).  Empty functions when the feed gives
// no phase.
struct FeedPhase {
  std::function<double(double theta)> e, h;
};
FeedPhase feed_phase(const DesignInput& d, double offset_wavelengths);

struct Efficiency {
  double spillover = 0, illumination = 0, blockage = 0, phase = 0, surface = 1, total = 0;
  // Of the phase efficiency, the part of the profiles' path error alone
  // (the whole of it when the feed gives no phase); the feed's phase about
  // its phase centre costs the rest.
  double path_phase = 0;
};

// The share of the directivity a random surface error of `rms` keeps at
// `wavelength` (the same unit): exp(-(4 pi rms / wavelength)^2).
double ruze_factor(double rms, double wavelength);

// Where the report analyses the feed: its phase centre's height and the
// half angle the subreflector's designed rim subtends there.
struct AnalysedFeed {
  double z = 0, sub_half_angle_rad = 0;
};
AnalysedFeed analysed_feed(const DesignInput& d);

// Rays that meet the subreflector between its vertex and the first profile
// point off the axis.  A spline through the profile points cannot follow the
// surface's curvature there (its free end is straight), so these rays say
// more about the sampling of the profile than about the design; they are
// reported apart and left out of the verification figures.
struct VertexRing {
  double sub_radius = 0;           // first profile point off the axis; 0: the profile does not start at the axis
  double feed_angle_max_deg = 0;   // feed angle of that point
  double power_share = 0;          // share of the feed power in the subreflector cone
  int rays = 0, rays_traced = 0, rays_lost = 0;
  // Over the ring's rays that reached the aperture (NaN when none did); path
  // errors against the mean path of the other rays.
  static constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
  double path_error_pp_wavelengths = kNone, path_error_max_abs_wavelengths = kNone;
  double collimation_error_max_deg = kNone;
  double landing_rho_min = kNone, landing_rho_max = kNone;
  bool matters = false;            // counting its rays would change the verification figures
};

// Where the methods stop holding, by the size of the subreflector in
// wavelengths (its written diameter, an extrapolated rim included) and the
// power balance of the physical optics.  Each limit is a named constant and a
// test of it, so that the report and its tests speak of the same thing.
//
// Under about 10 wavelengths across the subreflector is no longer large
// against the wavelength: ray optics (the geometrical optics' efficiencies)
// and the physical-optics currents (those of an infinite plane at each
// point) both stop describing it.
inline constexpr double kSmallSubreflectorWavelengths = 10;
// The shadow of the subreflector on the main reflector is taken as sharp
// (the aperture field inside its radius removed, its back's scattering left
// out).  The edge of the real shadow blurs over a Fresnel zone, which is a
// large share of the subreflector's radius under about 20 wavelengths across.
inline constexpr double kSharpShadowWavelengths = 20;
// Power over the sphere, with the power the sharp shadow takes out added
// back, against the feed's power: physical optics conserves power only
// approximately (designs with subreflectors 25 wavelengths across balance
// within about 2 %, 75 wavelengths within 0.3 %, 5 wavelengths are 15 % or
// more off), and a balance off by more than 3 % says its currents are not
// those of the surfaces; the directivities it gives are then uncertain by
// about as much.
inline constexpr double kPowerBalanceTolerance = 0.03;

bool subreflector_too_small(double sub_diameter_wavelengths);
bool shadow_not_sharp(double sub_diameter_wavelengths);
// `balance`: the power over the sphere plus the shadowed power, as a share
// of the feed's power.
bool power_balance_off(double balance);

// Physical optics of the design beside its geometrical optics.  The
// directivity the geometrical optics promises and physical optics does not
// find is lost to diffraction and scattering; of it, the power that passes
// the subreflector (beyond what the geometrical optics counts already) and
// the power the subreflector sends past the main reflector, the rest
// (diffraction of the aperture field, the subreflector's near field, the
// feed's and the subreflector's far fields on the beam) apart.
struct PhysicalOptics {
  po::Result result;
  double d_over_lambda = 0;
  double go_directivity_dbi = 0;
  double difference_db = 0;       // geometrical optics minus physical optics
  double past_sub_db = 0, past_main_db = 0, rest_db = 0;
  bool traces_design = false;     // the design's own profiles (else the written ones)
  double per_wavelength = 0;      // quadrature nodes per wavelength along the profiles
  double sub_diameter_wavelengths = 0;  // the written subreflector's diameter
  // The power over the sphere with the shadowed power added back, as a
  // share of the feed's power (when the power over the sphere is computed).
  std::optional<double> power_balance;
  // Where the figures above are outside what the method supports, in
  // sentences; empty when they are within it.
  std::vector<std::string> cautions;
  // A loss term above that came out negative (a gain), by its name in the
  // report ("total", "spillover_past_sub", "rest"), with why.
  std::vector<std::pair<std::string, std::string>> gains;
};

// The headline figures of the physical optics, as the report gives them
// and sweeps tabulate them: a level that does not exist (no sidelobe found
// in any cut, no cross-polar field above the floor) is empty.
struct PhysicalOpticsFigures {
  double directivity_dbi = 0;
  std::optional<double> first_sidelobe_db, cross_polar_peak_db;
  double hpbw_deg = 0;
  double spillover_past_sub = 0, spillover_past_main = 0;
};
PhysicalOpticsFigures figures_of(const PhysicalOptics& p);

struct Report {
  double wavelength = 0;
  double d_over_lambda = 0;
  bool wavelength_assumed = false;
  double aperture_radius = 0;        // D/2
  double hole_rho = 0;               // hole radius / (D/2)
  double shadow_rho = 0;             // subreflector radius (largest point) / (D/2)
  double feed_edge_taper_db = 0;     // feed power at the subreflector rim, negative
  PhaseCentreReport phase_centre;
  double surface_rms = 0;            // the random surface error the figures carry (Options::surface_rms)

  Efficiency efficiency;
  double directivity_dbi = 0;

  // Verification by ray trace.  The figures below leave the vertex ring's
  // rays out (see VertexRing); the rays counts and the lost rays count all.
  int rays_requested = 0, rays_traced = 0, rays_lost = 0;
  double lost_theta_min_deg = 0, lost_theta_max_deg = 0;  // feed angles of the lost rays
  double path_error_pp_wavelengths = 0, path_error_rms_wavelengths = 0, phase_error_pp_deg = 0;
  double path_error_pp_all_rays_wavelengths = 0;  // with the vertex ring's rays
  double collimation_error_max_deg = 0;
  // Largest error of the power density the rays outside the vertex ring
  // deliver, over the bins wholly inside the radii they cover; bins that
  // receive no power at all are counted, not given a level.
  double aperture_power_error_max_db = 0;
  double aperture_error_rho_min = 0, aperture_error_rho_max = 0;
  int aperture_bins_without_power = 0;  // bins of the annulus no traced ray delivers power to
  // Over annuli of equal wanted power (see Options::annuli): the error of the
  // outermost annulus, where the rays from next to the axis land, apart from
  // aperture_power_error_max_db; the share of the power in the subreflector
  // cone that lands in another annulus than wanted, and the share lost.
  double aperture_power_error_rim_db = 0;
  double misplaced_power_share = 0, lost_power_share = 0;
  int annuli = 0;                    // the number of cones and annuli (Options::annuli)
  double mean_path = 0;              // power-weighted mean path length, diameter's unit
  double path_error_trend_share = 0; // share of the path-error variance a straight line in radius explains
  VertexRing vertex_ring;

  // Per traced ray, in increasing feed angle.
  std::vector<double> ray_theta_deg, ray_rho, ray_path_error_wavelengths, ray_direction_error_deg;
  std::vector<bool> ray_in_vertex_ring;
  double worst_ray_theta_deg = 0, worst_ray_rho = 0;  // the ray with the largest direction error

  // Aperture power density in radial bins from the hole to the rim (bin
  // centres, normalised radius): delivered by the tubes between all traced
  // rays (0 in a bin no power reaches) and wanted.
  std::vector<double> density_rho, density_delivered, density_wanted;
  // The same density as a curve, without bins: the power of each tube
  // between neighbouring traced rays outside the vertex ring over the
  // aperture area it lands on, at the tube's middle radius, in the order
  // of the feed angle; NaN where neighbouring rays did not both arrive.
  DensityCurve traced_density;
  // The density the design's own mapping of feed angle to aperture radius
  // gives (the feed power between neighbouring integration steps over the
  // area between their radii): a smooth curve, in increasing radius.  Empty
  // when the design's steps are not given.
  DensityCurve design_density;

  // A fan of rays for the cross-section.
  std::vector<TracedRay> fan;
  double aperture_plane_z = 0;

  // Far field: with blockage, without it, and the wanted distribution on the
  // annulus without phase error, all on the same angles.
  Pattern delivered, unblocked, ideal;
  double ideal_disc_first_sidelobe_db = 0;  // wanted distribution over the whole disc

  std::vector<std::string> notes;  // what limits the design, in plain words
  // Where the figures above are outside what ray optics supports, in
  // sentences; empty when they are within it.
  std::vector<std::string> cautions;
  double sub_diameter_wavelengths = 0;  // the written subreflector's diameter

  // The subreflector as written may reach beyond the design's rim (an
  // extrapolated point): the feed's power between the design's rim angle and
  // the written rim's falls on it.  The design did not shape that part; its
  // rays land where the ray trace finds them, and its power is counted lost
  // with the blockage, so that the spillover is the feed's power outside the
  // written rim.
  struct RimExtension {
    double design_angle_deg = 0, written_angle_deg = 0;  // feed angles of the two rims
    double power_share = 0;          // of the power on the written subreflector
    int rays = 0, rays_lost = 0;     // traced over it, and of them missing a reflector
    double landing_rho_min = VertexRing::kNone, landing_rho_max = VertexRing::kNone;
  } rim_extension;

  // What the figures above trace: the design as synthesised (cubic Hermite
  // through its integration steps) or the profiles as written.
  bool traces_design = false;
  // The same figures traced through the profiles as written (natural
  // splines through the rows); set when the figures above trace the design.
  std::shared_ptr<const Report> as_written;
  // Directivity the written surfaces lose against the design, and its parts:
  // the subreflector between its vertex and the first written point off the
  // axis, the natural splines' ends, the rest of the sampling.
  struct WrittenLoss {
    double total_db = 0, vertex_ring_db = 0, spline_ends_db = 0, rest_db = 0;
  } written_loss;
  // Coarsest sampling at which the written surfaces lose less than the
  // advice's directivity and keep its path error; 0 where none was found.
  struct SamplingAdvice {
    double output_interval = 0;  // normalised, a whole number of calculation steps
    int surface_points = 0, spline_points = 0;
  } sampling_advice;

  // Set when Options::physical_optics asks for it.
  std::shared_ptr<const PhysicalOptics> physical_optics;
};

// The design's own profiles: a cubic Hermite through its integration steps
// with the slopes the reflection law gives there, the subreflector's vertex
// put on the axis.  Throws std::invalid_argument for steps that do not form
// profiles.
struct DesignSurfaces {
  HermiteSurface sub, main;
};
DesignSurfaces design_surfaces(const DesignInput& d);

// Physical optics of the design's own profiles (the written ones when the
// design's steps are not given), beside the report's geometrical optics.
// `progress` (may be empty) hears of the work done as in po::Options.
PhysicalOptics physical_optics(const DesignInput& d, const Options& o, const Report& geometrical,
                               const std::function<void(int done, int total)>& progress = {});

// Pure computation.  Throws std::invalid_argument for inputs it cannot use.
Report analyse(const DesignInput& design, const Options& options);

}  // namespace analysis
