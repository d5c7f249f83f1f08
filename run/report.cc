#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>
#include <stdexcept>
#include <string>
#include <type_traits>

#include "analysis/analysis.h"
#include "design/distributions.h"
#include "feedfile/feed_file.h"
#include "report/report.h"
#include "fields/prose.h"
#include "io/interrupt.h"
#include "run/progress.h"
#include "run/report.h"

#include "design/classical_families.h"

#include "run/stages.h"

namespace run {
namespace {

std::string number(double v) { return fields::number(v); }

template <design::RealType Real>
std::vector<double> widen(const std::vector<Real>& v) {
  return std::vector<double>(v.begin(), v.end());
}

std::string distribution_name(const design::ApertureSpec& a) {
  switch (a.kind) {
    case design::Distribution::gaussian:
      return "Gaussian, " + number(a.taper_db) + " dB edge taper";
    case design::Distribution::taylor:
      return "Taylor circular, " + number(std::fabs(a.sidelobe_db)) + " dB sidelobes, nbar " +
             std::to_string(a.nbar);
    case design::Distribution::uniform:
      break;
    default:
      // A distribution the dialog does not offer: its title and figures.
      if (const design::DistributionKind* kind = design::find_distribution(a.kind)) {
        std::string name(kind->title());
        for (const auto& [key, value] : kind->figures(a)) name += ", " + std::string(key) + " " + number(value);
        return name;
      }
      break;
  }
  return "uniform";
}

// The feed the design was shaped for, as the analysis sees it.  The
// beamwidth model keeps its closed form through the exponent; the other
// models give their pattern and enclosed power (a table's by quadrature) up
// to the last angle they know, and a table its planes for the figure.
template <design::RealType Real>
void set_feed(analysis::DesignInput& d, const design::FeedModel<Real>& m) {
  d.feed_model = m.description();
  if (m.kind == design::FeedModelKind::beamwidth) return;
  const auto model = std::make_shared<const design::FeedModel<Real>>(m);
  d.feed_pattern = [model](double theta) { return model->pattern_double(theta); };
  d.feed_enclosed_power = [model](double theta) { return model->enclosed_power_double(theta); };
  d.feed_last_angle_rad = model->last_angle_double();
  const design::FeedTable* t = m.source.get();
  if (t != nullptr && t->e_db.size() == t->theta_deg.size() &&
      t->h_db.size() == t->theta_deg.size()) {
    d.feed_table_theta_deg = t->theta_deg;
    d.feed_table_e_db = t->e_db;
    d.feed_table_h_db = t->h_db;
  }
}

// A power pattern in dB at increasing angles (degrees) as a linear power
// function of the angle in radians, interpolated in dB, 0 beyond the table.
std::function<double(double)> plane_of(const std::vector<double>& theta_deg, const std::vector<double>& level_db) {
  return [theta_deg, level_db](double theta) {
    const double t = theta * 180.0 / M_PI;
    if (theta_deg.empty() || t > theta_deg.back()) return 0.0;
    if (t <= theta_deg.front()) return std::pow(10.0, level_db.front() / 10.0);
    const std::size_t i = static_cast<std::size_t>(std::upper_bound(theta_deg.begin(), theta_deg.end(), t) - theta_deg.begin());
    const std::size_t j = std::min(i, theta_deg.size() - 1);
    const double f = (t - theta_deg[j - 1]) / (theta_deg[j] - theta_deg[j - 1]);
    return std::pow(10.0, (level_db[j - 1] + f * (level_db[j] - level_db[j - 1])) / 10.0);
  };
}

// The feed's E- and H-plane patterns for the physical optics: a tabulated
// feed's own planes where its file gives them, else its power pattern in
// both (the beamwidth model is left to the report's own pattern).
template <design::RealType Real>
void set_feed_planes(analysis::DesignInput& d, const design::FeedModel<Real>& feed) {
  if (feed.kind == design::FeedModelKind::beamwidth) return;
  const design::FeedTable* table = feed.source.get();
  if (table && table->e_db.size() == table->theta_deg.size() && table->h_db.size() == table->theta_deg.size() &&
      table->theta_deg.size() >= 2) {
    d.feed_e_plane = plane_of(table->theta_deg, table->e_db);
    d.feed_h_plane = plane_of(table->theta_deg, table->h_db);
    return;
  }
  d.feed_e_plane = d.feed_h_plane = [feed](double theta) {
    return theta <= feed.last_angle_double() ? feed.pattern_double(theta) : 0.0;
  };
}

// A tabulated feed's phase per plane, and where its phase centre lies from
// the table's reference point (the best fit over the subreflector's cone
// found here, where the table is known).
template <design::RealType Real>
void set_feed_phase(analysis::DesignInput& d, const design::Design<Real>& in) {
  const design::FeedTable* table = in.feed_model.source.get();
  if (in.feed_model.kind == design::FeedModelKind::beamwidth || table == nullptr) return;
  const std::size_t n = table->theta_deg.size();
  if (table->phase_e_deg.size() != n || table->phase_h_deg.size() != n || n < 2) return;
  d.feed_phase_theta_deg = table->theta_deg;
  d.feed_phase_e_deg = table->phase_e_deg;
  d.feed_phase_h_deg = table->phase_h_deg;
  using Choice = design::FeedSpec::PhaseCentre;
  switch (in.choices.feed.phase_centre) {
    case Choice::reference:
      break;
    case Choice::given:
      d.phase_centre = analysis::DesignInput::PhaseCentre::given;
      d.phase_centre_length = in.choices.feed.phase_centre_offset;
      break;
    case Choice::fit:
      d.phase_centre = analysis::DesignInput::PhaseCentre::fit;
      if (const auto fit = feedfile::phase_fit(*table, static_cast<double>(in.feed_half_angle_rad))) {
        d.phase_centre_fit_wavelengths = fit->offset_wavelengths;
      }
      break;
  }
}

}  // namespace

template <design::RealType Real>
std::optional<diag::Diagnostic> phase_centre_problem(const design::Design<Real>& in,
                                                     const design::RayTable<Real>& table, double diameter,
                                                     double wavelength) {
  using Choice = design::FeedSpec::PhaseCentre;
  const design::FeedSpec& feed = in.choices.feed;
  if (feed.phase_centre == Choice::reference || !in.feed_model.source || table.step_points.empty()) {
    return std::nullopt;
  }
  if (!(wavelength > 0)) wavelength = diameter / analysis::Options{}.assumed_d_over_lambda;
  double offset = feed.phase_centre_offset;
  if (feed.phase_centre == Choice::fit) {
    const auto fit = feedfile::phase_fit(*in.feed_model.source, static_cast<double>(in.feed_half_angle_rad));
    offset = fit ? fit->offset_wavelengths * wavelength : 0.0;
  }
  // In the design's normalised frame about the phase centre (the
  // aperture's radius 1): the horn's reference point lies `offset` behind
  // it; the main reflector's innermost point is its first step's.
  const double to_normal = 2.0 / diameter;
  const double vertex = static_cast<double>(table.step_points.front().main_z);
  const double reference = -offset * to_normal;
  // At the vertex itself is allowed; a rounding's worth beyond it too.
  if (!(reference < vertex - 1e-9 * std::max(1.0, std::fabs(vertex)))) return std::nullopt;
  const double behind = (vertex - reference) / to_normal;
  std::string what = feed.phase_centre == Choice::fit
                         ? "the best-fit phase centre (" + number(offset) + " ahead of the feed file's reference point)"
                         : "a phase centre " + number(offset) + " ahead of the feed file's reference point";
  const std::string limit = number(-vertex / to_normal);
  return diag::error(what + " puts the horn's reference point " + number(behind) +
                         " behind the main reflector's vertex (its innermost point); the vertex lies " + limit +
                         " behind the feed point, so the phase centre may lie at most " + limit +
                         " ahead of the reference point.",
                     "feed.phase_centre");
}

template <design::RealType Real>
analysis::DesignInput report_input(const design::Design<Real>& in, const design::RayTable<Real>& table,
                                   const design::ScaledDesign<Real>& scaled) {
  analysis::DesignInput d;
  d.sub_r = widen(scaled.sub_r);
  d.sub_z = widen(scaled.sub_z);
  d.main_r = widen(scaled.main_r);
  d.main_z = widen(scaled.main_z);
  d.main_diameter = static_cast<double>(scaled.main_diameter);
  d.hole_radius = d.main_r.empty() ? 0.0 : d.main_r.front();
  d.feed_exponent = static_cast<double>(in.feed.exponent);
  d.sub_half_angle_rad = static_cast<double>(in.feed_half_angle_rad);
  set_feed(d, in.feed_model);
  const design::Aperture<double> aperture = design::make_aperture<double>(in.choices.aperture);
  d.wanted_density = [aperture](double rho) { return aperture.density(rho); };
  d.distribution = distribution_name(in.choices.aperture);
  d.double_precision = std::is_same_v<Real, double>;
  d.calc_interval = static_cast<double>(in.calc_interval());
  set_feed_planes(d, in.feed_model);
  set_feed_phase(d, in);
  // The design as integrated, scaled like the written profiles (in double:
  // the points themselves keep the design's precision).  The steps are kept
  // about the feed's phase centre, the profiles about the geometry's feed
  // point: the phase centre's height puts the steps in the profiles' frame.
  const double to_d = 0.5 * d.main_diameter;
  d.feed_z = static_cast<double>(in.feed_model.phase_centre_z) * to_d;
  const auto placed = [&d](double z) { return d.feed_z != 0.0 ? z + d.feed_z : z; };
  for (const design::StepPoint<Real>& p : table.step_points) {
    const double theta = static_cast<double>(p.feed_angle), distance = static_cast<double>(p.sub_distance);
    d.step_sub_r.push_back(distance * std::sin(theta) * to_d);
    d.step_sub_z.push_back(placed(distance * std::cos(theta) * to_d));
    d.step_main_r.push_back(static_cast<double>(p.radius) * to_d);
    d.step_main_z.push_back(placed(static_cast<double>(p.main_z) * to_d));
  }
  // A defocus the report analyses: the feed displaced from the design's
  // phase centre, seeing the designed rim under its own angle.
  d.feed_axial_offset = in.choices.feed.axial_offset;
  d.sub_rim_radius = static_cast<double>(in.sub_radius) * to_d;
  d.rays_cross_axis = design::rays_cross_axis(design::classical_family_from_name(in.choices.geometry.family)
                                                  .value_or(design::ClassicalFamily::ade));
  d.step_interval = d.calc_interval * table.step_stride;
  d.steps_per_row = table.counts.steps_per_output / std::max(1, table.step_stride);
  d.inputs = {
      {"Main hole rim to feed, along the axis", number(static_cast<double>(in.main_hole_to_feed))},
      {"Feed to subreflector rim, along the axis", number(static_cast<double>(in.feed_to_sub_rim))},
      {"Subreflector radius", number(static_cast<double>(in.sub_radius))},
      {"Main reflector inner radius", number(static_cast<double>(in.main_inner_radius))},
      {"Feed half angle to the subreflector rim",
       number(static_cast<double>(in.feed_half_angle_deg)) + " deg"},
      in.feed_model.kind == design::FeedModelKind::beamwidth
          ? std::pair<std::string, std::string>{"Feed beamwidth",
                                                number(static_cast<double>(in.feed.beamwidth_deg)) +
                                                    " deg at " +
                                                    number(static_cast<double>(in.feed.level_db)) + " dB"}
          : std::pair<std::string, std::string>{"Feed", in.feed_model.description()},
      {"Aperture distribution", d.distribution},
      {"Calculation interval", number(static_cast<double>(in.calc_interval()))},
      {"Output interval", number(static_cast<double>(in.output_interval()))},
      {"Main reflector diameter", number(d.main_diameter)},
      {"Subreflector diameter", number(static_cast<double>(scaled.sub_rim_diameter))},
      {"Arithmetic", d.double_precision ? "64-bit reals (--double)" : "32-bit reals"}};
  return d;
}

analysis::Report write_report(Context& c, const analysis::DesignInput& d, analysis::Options options,
                              const writers::ReportRequest& request) {
  options.wavelength = request.wavelength;
  options.physical_optics = request.physical_optics;
  options.surface_rms = request.surface_rms;
  ProgressLine progress(c.console.progress, "Report", "steps");
  options.check = [&c] {
    if (c.interruptible) io::check_interrupt();
    if (c.stop && c.stop()) throw Stopped();
  };
  options.progress = [&progress, check = options.check](int done, int total) {
    progress.update(done, total);
    check();
  };
  const std::string cannot = "the design report cannot be made: ";
  try {
    analysis::Report report = analysis::analyse(d, options);
    progress.clear();
    try {
      report::write_report(report, d, request.dir);
    } catch (const io::RunError& e) {
      // A file of the report that cannot be written: the report's failure,
      // in the words of the file's.
      diag::Diagnostic failure = e.diagnostics().front();
      failure.message = cannot + diag::sentence_case(failure.message);
      throw RunError(std::move(failure));
    }
    return report;
  } catch (const io::RunError&) {
    throw;
  } catch (const std::exception& e) {
    throw RunError(diag::error(cannot + e.what()));
  }
}

template std::optional<diag::Diagnostic> phase_centre_problem<float>(const design::Design<float>&,
                                                                     const design::RayTable<float>&, double, double);
template std::optional<diag::Diagnostic> phase_centre_problem<double>(const design::Design<double>&,
                                                                      const design::RayTable<double>&, double, double);
template analysis::DesignInput report_input<float>(const design::Design<float>&, const design::RayTable<float>&,
                                                   const design::ScaledDesign<float>&);
template analysis::DesignInput report_input<double>(const design::Design<double>&, const design::RayTable<double>&,
                                                    const design::ScaledDesign<double>&);
}  // namespace run
