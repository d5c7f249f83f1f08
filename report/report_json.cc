// report.json: the design inputs, the figures of the design (and of the
// written surfaces), the geometry and the physical optics.
#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

#include "report/parts.h"
#include "report/report.h"

namespace report {

using namespace analysis;
using fields::fixed;

namespace {

nlohmann::json po_json(const PhysicalOptics& p) {
  using nlohmann::json;
  const po::Result& r = p.result;
  // A level that does not exist (no cross-polar field, no sidelobe found)
  // is null.
  const auto cross_level = [](double db) { return db > kFloorDb ? json(db) : json(nullptr); };
  json cuts = json::array();
  for (const po::Cut& c : r.cuts) {
    const bool lobe = c.sidelobes_found > 0;
    cuts.push_back({{"phi_deg", c.phi_deg},
                    {"hpbw_deg", c.hpbw_deg},
                    {"first_sidelobe_db", lobe ? json(c.first_sidelobe_db) : json(nullptr)},
                    {"first_sidelobe_deg", lobe ? json(c.first_sidelobe_deg) : json(nullptr)},
                    {"sidelobes", c.sidelobes_found},
                    {"cross_polar_peak_db", cross_level(c.cross_peak_db)}});
  }
  // The headline figures as sweeps tabulate them.
  const PhysicalOpticsFigures f = figures_of(p);
  const auto level = [](const std::optional<double>& db) { return db ? json(*db) : json(nullptr); };
  json j = {{"directivity_dbi", f.directivity_dbi},
            {"geometrical_optics_directivity_dbi", p.go_directivity_dbi},
            {"diffraction_and_scattering_db",
             {{"total", p.difference_db}, {"spillover_past_sub", p.past_sub_db}, {"spillover_past_main", p.past_main_db}, {"rest", p.rest_db}}},
            {"spillover_past_sub", f.spillover_past_sub},
            {"spillover_past_main", f.spillover_past_main},
            {"cross_polar_peak_db", level(f.cross_polar_peak_db)},
            {"hpbw_deg", f.hpbw_deg},
            {"first_sidelobe_db", level(f.first_sidelobe_db)},
            {"cuts", cuts},
            {"profiles", p.traces_design ? "design" : "written profiles"},
            {"subreflector_shadow", "aperture field removed inside the subreflector's radius"},
            {"samples",
             {{"subreflector_nodes", r.sub_nodes},
              {"main_reflector_nodes", r.main_nodes},
              {"azimuth_nodes_max", r.azimuth_nodes_max},
              {"angles", r.angles},
              {"finely_sampled_angles", r.fine_angles},
              {"finely_sampled_to_deg", r.fine_angles > 0 ? r.theta_deg[r.fine_angles - 1] : 0.0},
              {"nodes_per_wavelength", p.per_wavelength}}}};
  if (r.sphere_power_share) {
    j["sphere_power_share"] = *r.sphere_power_share;
    j["sphere_directivity_dbi"] = *r.sphere_directivity_dbi;
  }
  j["shadowed_power_share"] = r.shadowed_share;
  if (p.power_balance) j["power_balance"] = *p.power_balance;
  j["subreflector_wavelengths"] = p.sub_diameter_wavelengths;
  // Why a loss term above is negative, by its name there.
  json gains = json::object();
  for (const auto& [term, why] : p.gains) gains[term] = why;
  j["negative_loss_terms"] = gains;
  j["cautions"] = p.cautions;
  return j;
}

nlohmann::json pattern_json(const Pattern& p) {
  return {{"hpbw_deg", p.hpbw_deg},
          {"first_null_deg", p.first_null_deg},
          {"first_sidelobe_db", p.first_sidelobe_db},
          {"first_sidelobe_deg", p.first_sidelobe_deg},
          {"sidelobes_computed", p.sidelobes_found}};
}

// NaN (no ray to take a figure from) as null.
nlohmann::json value_or_null(double v) { return std::isfinite(v) ? nlohmann::json(v) : nlohmann::json(nullptr); }

nlohmann::json vertex_ring_json(const VertexRing& v) {
  return {{"subreflector_radius", v.sub_radius},
          {"feed_angle_max_deg", v.feed_angle_max_deg},
          {"power_share", v.power_share},
          {"rays", v.rays},
          {"rays_traced", v.rays_traced},
          {"rays_lost", v.rays_lost},
          {"path_length_error_peak_to_peak_wavelengths", value_or_null(v.path_error_pp_wavelengths)},
          {"path_length_error_max_abs_wavelengths", value_or_null(v.path_error_max_abs_wavelengths)},
          {"collimation_error_max_deg", value_or_null(v.collimation_error_max_deg)},
          {"landing_radius_min_normalised", value_or_null(v.landing_rho_min)},
          {"landing_radius_max_normalised", value_or_null(v.landing_rho_max)},
          {"matters", v.matters}};
}

// The figures of one trace: directivity, efficiencies, pattern, verification.
nlohmann::json figures_json(const Report& r) {
  using nlohmann::json;
  const Efficiency& e = r.efficiency;
  return {
      {"directivity_dbi", r.directivity_dbi},
      {"efficiency",
       {{"spillover", e.spillover}, {"illumination", e.illumination}, {"blockage", e.blockage}, {"phase", e.phase}, {"path_phase", e.path_phase}, {"surface", e.surface}, {"total", e.total}}},
      {"pattern",
       {{"hpbw_deg", r.delivered.hpbw_deg},
        {"first_null_deg", r.delivered.first_null_deg},
        {"first_sidelobe_db", r.delivered.first_sidelobe_db},
        {"unblocked_first_sidelobe_db", r.unblocked.first_sidelobe_db},
        {"ideal_first_sidelobe_db", r.ideal.first_sidelobe_db},
        {"ideal_full_disc_first_sidelobe_db", r.ideal_disc_first_sidelobe_db},
        {"delivered", pattern_json(r.delivered)},
        {"unblocked", pattern_json(r.unblocked)},
        {"ideal", pattern_json(r.ideal)}}},
      {"verification",
       {{"rays_traced", r.rays_traced},
        {"rays_requested", r.rays_requested},
        {"rays_lost", r.rays_lost},
        {"path_length_error_peak_to_peak_wavelengths", r.path_error_pp_wavelengths},
        {"path_length_error_rms_wavelengths", r.path_error_rms_wavelengths},
        {"phase_error_peak_to_peak_deg", r.phase_error_pp_deg},
        {"mean_path_length", r.mean_path},
        {"collimation_error_max_deg", r.collimation_error_max_deg},
        {"aperture_power_error_max_db", r.aperture_power_error_max_db},
        {"aperture_power_error_rim_db", r.aperture_power_error_rim_db},
        {"misplaced_power_share", r.misplaced_power_share},
        {"lost_power_share", r.lost_power_share},
        {"aperture_power_error_range_normalised", {r.aperture_error_rho_min, r.aperture_error_rho_max}},
        {"aperture_bins_without_power", r.aperture_bins_without_power},
        {"path_length_error_peak_to_peak_all_rays_wavelengths", r.path_error_pp_all_rays_wavelengths},
        {"vertex_ring", vertex_ring_json(r.vertex_ring)}}}};
}

// Where the feed's phase centre lies and where the horn goes: heights on
// the axis in the unit of the diameter from the geometry's feed point,
// positive towards the subreflector.
nlohmann::json phase_centre_json(const PhaseCentreReport& p) {
  const char* source = p.source == DesignInput::PhaseCentre::given ? "given"
                       : p.source == DesignInput::PhaseCentre::fit ? "fit"
                                                                   : "reference point";
  return {{"source", source},
          {"offset", p.offset},
          {"offset_wavelengths", p.offset_wavelengths},
          {"phase_centre_z", p.phase_centre_z},
          {"horn_reference_z", p.reference_z},
          {"main_vertex_z", p.main_vertex_z},
          {"horn_reference_ahead_of_main_vertex", p.reference_from_vertex},
          {"phase_variation_over_cone_deg", p.variation_deg}};
}

}  // namespace

nlohmann::json report_json(const Report& r, const DesignInput& d) {
  using nlohmann::json;
  json inputs = json::array();
  for (const auto& [label, value] : d.inputs) inputs.push_back({{"label", label}, {"value", value}});
  json j = {
      {"distribution", d.distribution},
      {"design_inputs", inputs},
      {"main_diameter", d.main_diameter},
      {"wavelength", r.wavelength},
      {"wavelength_assumed", r.wavelength_assumed},
      {"d_over_lambda", r.d_over_lambda},
      {"figures_trace", r.traces_design ? "design" : "written profiles"}};
  j.update(figures_json(r));
  if (r.as_written) {
    json written = figures_json(*r.as_written);
    const Report::WrittenLoss& l = r.written_loss;
    written["directivity_loss_db"] = {
        {"total", l.total_db}, {"vertex_ring", l.vertex_ring_db}, {"spline_ends", l.spline_ends_db}, {"rest", l.rest_db}};
    j["as_written"] = written;
    const Report::SamplingAdvice& a = r.sampling_advice;
    const auto positive = [](auto v) { return v > 0 ? json(v) : json(nullptr); };
    j["sampling_advice"] = {{"output_interval", positive(a.output_interval)},
                            {"surface_points", positive(a.surface_points)},
                            {"spline_points", positive(a.spline_points)}};
  }
  j["geometry"] = {{"hole_radius", d.hole_radius},
                   {"subreflector_radius", r.shadow_rho * r.aperture_radius},
                   {"feed_exponent", d.feed_exponent},
                   {"feed_model", d.feed_model},
                   {"feed_pattern_last_angle_deg", d.feed_last_angle_rad * 180.0 / M_PI},
                   {"feed_edge_taper_db", r.feed_edge_taper_db},
                   {"subreflector_half_angle_deg", d.sub_half_angle_rad * 180.0 / M_PI},
                   {"subreflector_written_rim_angle_deg", r.rim_extension.written_angle_deg},
                   {"subreflector_wavelengths", r.sub_diameter_wavelengths}};
  const Report::RimExtension& x = r.rim_extension;
  j["rim_extension"] = {{"design_angle_deg", x.design_angle_deg},
                        {"written_angle_deg", x.written_angle_deg},
                        {"power_share", x.power_share},
                        {"rays", x.rays},
                        {"rays_lost", x.rays_lost},
                        {"landing_radius_min_normalised", value_or_null(x.landing_rho_min)},
                        {"landing_radius_max_normalised", value_or_null(x.landing_rho_max)}};
  if (r.phase_centre.known) j["phase_centre"] = phase_centre_json(r.phase_centre);
  // The analysed feed: displaced along the axis from the design's phase
  // centre (towards the subreflector when positive).
  j["feed_displacement"] = {{"axial_offset", d.feed_axial_offset},
                            {"axial_offset_wavelengths", d.feed_axial_offset / r.wavelength},
                            {"subreflector_half_angle_deg", analysed_feed(d).sub_half_angle_rad * 180.0 / M_PI}};
  j["surface_error"] = {{"rms", r.surface_rms},
                        {"rms_wavelengths", r.surface_rms / r.wavelength},
                        {"ruze_factor", r.efficiency.surface},
                        {"loss_db", -10.0 * std::log10(r.efficiency.surface)}};
  if (r.physical_optics) j["physical_optics"] = po_json(*r.physical_optics);
  j["design_precision"] = d.double_precision ? "64-bit" : "32-bit";
  j["notes"] = r.notes;
  j["cautions"] = r.cautions;
  return j;
}

}  // namespace report
