// report.html: the inputs, the figures of merit, the physical optics, the
// notes and the figures on one page.
#include <algorithm>
#include <cmath>
#include <ostream>
#include <sstream>

#include "report/parts.h"

namespace report {

using namespace analysis;
using fields::fixed;

namespace {

const auto esc = figures::escape;

// A frequency in Hz with the largest SI prefix that keeps it at 1 or more.
std::string frequency(double hz) {
  const std::pair<double, const char*> prefixes[] = {{1e12, "THz"}, {1e9, "GHz"}, {1e6, "MHz"}, {1e3, "kHz"}};
  for (const auto& [scale, name] : prefixes)
    if (hz >= scale) return num(hz / scale, 6) + " " + name;
  return num(hz, 6) + " Hz";
}

// The result first: the directivity and total efficiency of the design, at
// which wavelength (or frequency), how large, and the same figures of the
// surfaces as written.
void headline(std::ostream& o, const Report& r, const DesignInput& d) {
  std::string unit;
  if (!d.length_unit.empty()) unit.append(" ").append(esc(d.length_unit));
  o << "<p class=\"headline\"><b>Directivity " << fixed(r.directivity_dbi, 2) << " dBi</b>, total efficiency <b>"
    << fixed(100 * r.efficiency.total, 1) << " %</b>";
  if (r.wavelength_assumed) {
    o << ", at <span class=\"warn\">an assumed D/&#955; = " << num(r.d_over_lambda, 6)
      << " (no wavelength was given)</span>";
  } else if (d.frequency_hz > 0) {
    o << ", at " << frequency(d.frequency_hz) << " (wavelength " << num(r.wavelength, 6) << unit << ", D/&#955; = "
      << num(r.d_over_lambda, 6) << ")";
  } else {
    o << ", at a wavelength of " << num(r.wavelength, 6) << unit << " (D/&#955; = " << num(r.d_over_lambda, 6) << ")";
  }
  o << "; main reflector " << num(d.main_diameter, 6) << unit << " across";
  if (unit.empty()) o << " (lengths in the unit of the diameter)";
  o << ", " << esc(d.distribution) << " aperture distribution.</p>\n";
  if (d.feed_axial_offset != 0.0)
    o << "<p class=\"warn\">The feed is analysed displaced by " << num(d.feed_axial_offset, 6) << unit << " ("
      << num(d.feed_axial_offset / r.wavelength, 4) << " &#955;) along the axis, towards the "
      << (d.feed_axial_offset > 0 ? "subreflector" : "main reflector")
      << ", from the phase centre the design was shaped for: every figure below is of the displaced feed.</p>\n";
  if (r.surface_rms > 0)
    o << "<p>The figures carry a random surface error of " << num(r.surface_rms, 6) << unit << " rms ("
      << num(r.surface_rms / r.wavelength, 4) << " &#955;): its Ruze factor " << fixed(r.efficiency.surface, 4) << " ("
      << fixed(-10.0 * std::log10(r.efficiency.surface), 3) << " dB) is in both directivities.</p>\n";
  if (r.as_written)
    o << "<p>These figures trace the design as synthesised; the surfaces as written give " << fixed(r.as_written->directivity_dbi, 2)
      << " dBi and " << fixed(100 * r.as_written->efficiency.total, 1) << " %.</p>\n";
}

// The head with its style sheet, the title and the line under it.
void page_head(std::ostream& o, const Report& r, const DesignInput& d) {
  o << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Design report: " << esc(d.distribution)
    << "</title>\n<style>\n"
       "body{font-family:Helvetica,Arial,sans-serif;max-width:980px;margin:24px auto;padding:0 16px;color:#111;line-height:1.4}\n"
       "h1{font-size:1.6em;margin-bottom:0.2em}h2{font-size:1.2em;margin-top:1.6em;border-bottom:1px solid #ccc}\n"
       "table{border-collapse:collapse;margin:8px 0}td,th{border:1px solid #ccc;padding:3px 10px;text-align:left}\n"
       "td.n{text-align:right;font-variant-numeric:tabular-nums}th{background:#f2f2f2}\n"
       "figure{margin:18px 0}figcaption{font-size:0.92em;color:#333;margin-top:4px}svg{max-width:100%;height:auto}\n"
       ".warn{color:#a40000}.headline{font-size:1.15em}\n"
       ".pair{display:flex;flex-wrap:wrap;gap:16px;align-items:flex-start}\n"
       ".caution{border:2px solid #a40000;background:#fff3f3;padding:4px 14px;margin:12px 0}.caution ul{margin:4px 0}\n</style>\n</head>\n<body>\n";
  o << "<h1>Dual-reflector design report</h1>\n";
  headline(o, r, d);
}

// A box of cautions under a title, where a reader cannot miss it; nothing
// when there are none.
void caution_box(std::ostream& o, const std::string& title, const std::vector<std::string>& cautions) {
  if (cautions.empty()) return;
  o << "<div class=\"caution\"><p><b>" << esc(title) << "</b></p>\n<ul>\n";
  for (const std::string& c : cautions) o << "<li>" << esc(c) << "</li>\n";
  o << "</ul></div>\n";
}

void design_inputs(std::ostream& o, const DesignInput& d) {
  o << "<h2>Design inputs</h2>\n<table>\n";
  for (const auto& [label, value] : d.inputs) o << "<tr><th>" << esc(label) << "</th><td>" << esc(value) << "</td></tr>\n";
  // The arithmetic, unless the inputs already name it.
  const bool named = std::any_of(d.inputs.begin(), d.inputs.end(), [](const auto& input) { return input.first == "Arithmetic"; });
  if (!named) o << "<tr><th>Design arithmetic</th><td>" << (d.double_precision ? "64-bit reals" : "32-bit reals") << "</td></tr>\n";
  o << "</table>\n";
}

void physical_optics_table(std::ostream& o, const PhysicalOptics& p);

// The table of the figures of merit: a row gives the design's value and,
// when the written surfaces are traced too, theirs beside it with the
// difference in dB when given.
void merit_table(std::ostream& o, const Report& r, const DesignInput& d) {
  const Efficiency& e = r.efficiency;
  const auto loss = [](double eff) { return eff > 0 ? fixed(-10.0 * std::log10(eff), 2) : "&#8734;"; };
  const Report* w = r.as_written.get();
  const auto row = [&](const std::string& label, const std::string& value, const std::string& loss_db, const std::string& written,
                       const std::string& diff) {
    o << "<tr><td>" << label << "</td><td class=\"n\">" << value << "</td><td class=\"n\">" << loss_db << "</td>";
    if (w) o << "<td class=\"n\">" << written << "</td><td class=\"n\">" << diff << "</td>";
    o << "</tr>\n";
  };
  const auto ratio_db = [](double a, double b) { return a > 0 && b > 0 ? fixed(10.0 * std::log10(a / b), 3) : std::string(); };
  o << "<h2>Figures of merit</h2>\n";
  if (w)
    o << "<p>The design's figures trace the surfaces as synthesised; beside them the surfaces as written (natural splines through the "
      << d.sub_r.size() << " subreflector and " << d.main_r.size() << " main-reflector points of the output interval).</p>\n";
  // The physical optics' table stands beside this one.
  if (r.physical_optics) o << "<div class=\"pair\">\n<div>\n";
  o << "<table>\n<tr><th>quantity</th><th>design</th><th>loss (dB)</th>";
  if (w) o << "<th>as written</th><th>difference (dB)</th>";
  o << "</tr>\n";
  row("Directivity", fixed(r.directivity_dbi, 2) + " dBi", "", w ? fixed(w->directivity_dbi, 2) + " dBi" : "",
      w ? fixed(w->directivity_dbi - r.directivity_dbi, 3) : "");
  const auto eff_row = [&](const char* label, double Efficiency::*field) {
    const double v = e.*field;
    row(label, fixed(100 * v, 2) + " %", loss(v), w ? fixed(100 * (w->efficiency.*field), 2) + " %" : "",
        w ? ratio_db(w->efficiency.*field, v) : "");
  };
  eff_row("Spillover efficiency", &Efficiency::spillover);
  eff_row("Illumination efficiency", &Efficiency::illumination);
  eff_row("Blockage efficiency", &Efficiency::blockage);
  eff_row("Phase efficiency", &Efficiency::phase);
  if (r.surface_rms > 0) eff_row("Surface efficiency (random error, Ruze)", &Efficiency::surface);
  eff_row("Total efficiency", &Efficiency::total);
  row("Half-power beamwidth", num(r.delivered.hpbw_deg, 4) + "&#176;", "", w ? num(w->delivered.hpbw_deg, 4) + "&#176;" : "", "");
  row("First null", num(r.delivered.first_null_deg, 4) + "&#176;", "", w ? num(w->delivered.first_null_deg, 4) + "&#176;" : "", "");
  const auto sidelobes = [](const Report& x) {
    return fixed(x.delivered.first_sidelobe_db, 1) + " / " + fixed(x.unblocked.first_sidelobe_db, 1) + " / " +
           fixed(x.ideal.first_sidelobe_db, 1) + " dB";
  };
  row("First sidelobe (delivered / without blockage / ideal)", sidelobes(r), "", w ? sidelobes(*w) : "", "");
  const VertexRing& ring = w ? w->vertex_ring : r.vertex_ring;
  const std::string left_out = ring.rays_traced > 0 ? " <sup>*</sup>" : "";
  const auto path = [](const Report& x) {
    return num(x.path_error_pp_wavelengths, 3) + " (" + num(x.path_error_rms_wavelengths, 3) + ") &#955;";
  };
  const std::string checked = "<sup>&#8224;</sup>";
  row("Path-length error, peak to peak (rms)" + checked + (w ? std::string() : left_out), path(r), "",
      w ? path(*w) + left_out : "", "");
  row("Largest ray direction error" + checked + (w ? std::string() : left_out), num(r.collimation_error_max_deg, 3) + "&#176;", "",
      w ? num(w->collimation_error_max_deg, 3) + "&#176;" + left_out : "", "");
  const auto power = [](const Report& x) {
    std::string text = num(x.aperture_power_error_max_db, 3) + " dB (outermost ring " + num(x.aperture_power_error_rim_db, 3) + " dB)";
    if (x.aperture_bins_without_power > 0)
      text += "<br><span class=\"warn\">" + std::to_string(x.aperture_bins_without_power) + " of " +
              std::to_string(x.density_rho.size()) + " thin rings receive no power</span>";
    return text;
  };
  row("Largest error of the power a ring receives" + checked, power(r), "", w ? power(*w) : "", "");
  const auto shares = [](const Report& x) {
    return num(100 * x.misplaced_power_share, 3) + " % / " + num(100 * x.lost_power_share, 3) + " %";
  };
  row("Power that lands in another ring / is lost" + checked, shares(r), "", w ? shares(*w) : "", "");
  row("Rays traced", std::to_string(r.rays_traced) + " of " + std::to_string(r.rays_requested), "",
      w ? std::to_string(w->rays_traced) + " of " + std::to_string(w->rays_requested) : "", "");
  o << "</table>\n";
  if (r.physical_optics) {
    o << "</div>\n<div>\n";
    physical_optics_table(o, *r.physical_optics);
    o << "</div>\n</div>\n";
  }
  const std::string k = std::to_string(r.annuli);
  o << "<p><sup>&#8224;</sup> How the rays are checked: the feed power that reaches the subreflector is cut into " << k
    << " cones about the feed's axis that carry equal power, and the aperture into " << k
    << " rings meant to receive equal power; the design sends each cone to its own ring (the innermost cone to the outermost "
       "ring). The path and direction errors are averaged over each cone, every ray weighted by the power it carries, so that "
       "one stray ray counts only as much as its power; the path error is the spread of those averages. A ring that receives "
       "less than "
    << num(100 * kAnnulusFloorShare, 3) << " % of its share counts as " << num(annulus_error_db(0.0), 3) << " dB short.</p>\n";
}

// What the written surfaces lose against the design, and the sampling
// advice.
void written_loss(std::ostream& o, const Report& r) {
  const Report::WrittenLoss& l = r.written_loss;
  o << "<p>The written surfaces lose " << fixed(l.total_db, 3) << " dB of directivity: " << fixed(l.vertex_ring_db, 3)
    << " dB next to the subreflector's vertex, " << fixed(l.spline_ends_db, 3) << " dB at the splines' ends, "
    << fixed(l.rest_db, 3) << " dB elsewhere.";
  const Report::SamplingAdvice& a = r.sampling_advice;
  o << " Sampling advice: output interval "
    << (a.output_interval > 0 ? num(a.output_interval, 6) : std::string("none found")) << ", surface and spline points "
    << (a.surface_points > 0 ? std::to_string(a.surface_points) : std::string("none found")) << ".</p>\n";
}

// The footnote on the rays next to the subreflector's vertex, left out of
// the marked figures.
void vertex_ring_note(std::ostream& o, const VertexRing& ring, bool written) {
  o << "<p><sup>*</sup> Counting also the " << ring.rays_traced << " rays that leave the feed within "
    << fixed(ring.feed_angle_max_deg, 2) << "&#176; of its axis and meet the " << (written ? "written " : "")
    << "subreflector between its vertex and its first surface point off the axis (" << num(100 * ring.power_share, 2)
    << " % of the power on the subreflector), where a spline through the surface points cannot follow the surface; each "
       "counts with the power it carries. On their own these rays leave the main reflector up to "
    << num(ring.collimation_error_max_deg, 3) << "&#176; off the axis.</p>\n";
}

// The physical optics' figures as a table, to stand beside the figures of
// merit.
void physical_optics_table(std::ostream& o, const PhysicalOptics& p) {
  const po::Result& q = p.result;
  const bool lobe = std::any_of(q.cuts.begin(), q.cuts.end(), [](const po::Cut& c) { return c.sidelobes_found > 0; });
  o << "<table>\n<tr><th>physical optics</th><th>value</th></tr>\n"
    << "<tr><td>Directivity by physical optics / geometrical optics</td><td class=\"n\">" << fixed(q.directivity_dbi, 2) << " / "
    << fixed(p.go_directivity_dbi, 2) << " dBi</td></tr>\n"
    << "<tr><td>Diffraction and scattering (past the subreflector / past the main reflector / rest)</td><td class=\"n\">"
    << fixed(p.difference_db, 3) << " dB (" << fixed(p.past_sub_db, 3) << " / " << fixed(p.past_main_db, 3) << " / "
    << fixed(p.rest_db, 3) << ")</td></tr>\n";
  // A negative term is a gain: why, next to it.
  for (const auto& [term, why] : p.gains)
    o << "<tr><td colspan=\"2\" class=\"warn\">" << (term == "total" ? std::string("Diffraction and scattering")
                                                                     : term == "rest" ? std::string("The rest")
                                                                     : term == "spillover_past_sub" ? std::string("Past the subreflector")
                                                                                                    : std::string("Past the main reflector"))
      << " is negative. " << esc(why) << "</td></tr>\n";
  o
    << "<tr><td>Feed power past the subreflector / past the main reflector</td><td class=\"n\">"
    << fixed(100 * q.spillover_past_sub, 2) << " % / " << fixed(100 * q.spillover_past_main, 2) << " %</td></tr>\n"
    << "<tr><td>Half-power beamwidth</td><td class=\"n\">" << num(q.hpbw_deg, 4) << "&#176;</td></tr>\n"
    << "<tr><td>First sidelobe (highest of the 0, 45 and 90&#176; planes)</td><td class=\"n\">"
    << (lobe ? fixed(q.first_sidelobe_db, 2) + " dB" : std::string("none found")) << "</td></tr>\n"
    << "<tr><td>Peak cross-polarisation (third definition)</td><td class=\"n\">"
    << (q.cross_polar_peak_db > kFloorDb + 1.0 ? fixed(q.cross_polar_peak_db, 1) + " dB" : std::string("none")) << "</td></tr>\n";
  if (q.sphere_power_share)
    o << "<tr><td>Far-field power over the sphere / feed power</td><td class=\"n\">" << fixed(100 * *q.sphere_power_share, 2)
      << " %</td></tr>\n";
  if (p.power_balance)
    o << "<tr><td>The same with the power the shadow takes out added back (the balance)</td><td class=\"n\">"
      << fixed(100 * *p.power_balance, 2) << " %</td></tr>\n";
  o << "<tr><td>Subreflector diameter (as written)</td><td class=\"n\">" << num(p.sub_diameter_wavelengths, 4)
    << " &#955;</td></tr>\n";
  o << "<tr><td>Samples (subreflector / main reflector / most azimuthal / angles)</td><td class=\"n\">" << q.sub_nodes << " / "
    << q.main_nodes << " / " << q.azimuth_nodes_max << " / " << q.angles << "</td></tr>\n</table>\n";
}

// What the physical optics computes, under the tables.
void physical_optics_section(std::ostream& o, const PhysicalOptics& p) {
  const po::Result& q = p.result;
  const double fine_deg = q.fine_angles > 0 ? q.theta_deg[q.fine_angles - 1] : 0.0;
  o << "<h2>Physical optics</h2>\n";
  if (!p.cautions.empty())
    o << "<p class=\"warn\">These figures are outside what physical optics supports: see the cautions at the top of the page.</p>\n";
  o << "<p>The currents the feed induces on the subreflector ("
    << (p.traces_design ? "as designed, and as written beyond the designed rim" : "as written")
    << ", out to the written rim) radiate onto the main reflector (near field kept); the feed's own field lights the main reflector past "
       "the subreflector's rim. The main reflector's currents, the feed and the subreflector radiate to the far field. The "
       "subreflector's shadow removes the aperture field inside its radius.</p>\n"
    << "<p>Cuts from the beam axis to 180&#176; in po_pattern.csv and po_pattern.cut (co- and cross-polar, 0, 45 and "
       "90&#176; planes), and in po_pattern.svg: sampled in " << q.stretches.size() << " uniform stretches, the first finely ("
    << num(q.stretches.empty() ? 0.0 : q.stretches[0].step_deg, 4) << "&#176; steps) out to " << num(fine_deg, 4)
    << "&#176;, where the beam-width, sidelobe and cross-polar figures are taken; the first sidelobe and the half-power "
       "points are found between the samples.</p>\n";
}

// Where the feed's phase centre lies and where to mount the horn.
void phase_centre_section(std::ostream& o, const Report& r, const DesignInput& d) {
  const PhaseCentreReport& p = r.phase_centre;
  std::string unit;
  if (!d.length_unit.empty()) unit.append(" ").append(esc(d.length_unit));
  const auto along = [&unit](double v, const char* ahead, const char* behind) {
    return fixed(std::fabs(v), 4) + unit + " " + (v >= 0 ? ahead : behind);
  };
  const char* how = p.source == DesignInput::PhaseCentre::given ? "as the design file gives it"
                    : p.source == DesignInput::PhaseCentre::fit ? "the best fit to the feed's phase over the subreflector's cone"
                                                                : "taken at the feed file's reference point (no phase_centre given)";
  o << "<h2>Feed phase centre</h2>\n<p>The design puts the feed's phase centre at the feed point; the analyses take the "
       "feed's phase about it.</p>\n<table>\n<tr><th>quantity</th><th>value</th></tr>\n"
    << "<tr><td>Phase centre from the feed file's reference point (" << how << ")</td><td class=\"n\">"
    << along(p.offset, "ahead", "behind") << " (" << fixed(p.offset_wavelengths, 3) << " &#955;)</td></tr>\n"
    << "<tr><td>Mount the horn's reference point, from the feed point</td><td class=\"n\">"
    << along(p.reference_z - p.phase_centre_z, "towards the subreflector", "towards the main reflector") << "</td></tr>\n"
    << "<tr><td>The horn's reference point from the main reflector's vertex (its innermost point)</td><td class=\"n\">"
    << along(p.reference_from_vertex, "ahead", "behind") << "</td></tr>\n"
    << "<tr><td>The feed's phase over the subreflector's cone, about the phase centre</td><td class=\"n\">"
    << fixed(p.variation_deg, 1) << "&#176;</td></tr>\n</table>\n";
}

void notes_section(std::ostream& o, const Report& r) {
  o << "<h2>What limits the design</h2>\n<ul>\n";
  for (const auto& note : r.notes) o << "<li>" << esc(note) << "</li>\n";
  o << "</ul>\n";
}

std::string figure_caption(const std::string& file, const Report& r, const DesignInput& d) {
  std::string caption = file;
  if (file == "geometry.svg") {
    caption = "Cross-section to scale, both reflectors mirrored about the axis, with a fan of rays traced through the profiles.";
    if (r.phase_centre.known) caption += " The feed's phase centre is at the feed point; the blue dot is where the horn's reference point goes.";
  }
  if (file == "aperture.svg")
    caption = !r.design_density.empty()
                  ? "Aperture power density: wanted, and what the design delivers by its own mapping of feed angle to radius "
                    "(the feed power between neighbouring integration steps over the area between their radii)" +
                        std::string(r.as_written ? ", beside the written surfaces' by ray trace." : ".")
                  : "Aperture power density: wanted, and delivered by the ray trace (each tube between neighbouring rays).";
  if (file == "feed.svg")
    caption = "The feed's power pattern the design was shaped for (" + d.feed_model +
              ", averaged over phi), the planes of a tabulated feed, and the subreflector rim; up to " +
              num(feed_figure_limit_deg(d), 4) + "\u00b0, the angles that matter (feed.csv holds the whole pattern).";
  if (file == "pattern.svg") caption = "Far field by aperture integration: delivered, without the subreflector's blockage, and the ideal pattern of the wanted distribution.";
  if (file == "po_pattern.svg")
    caption = "Far field by physical optics in the 0, 45 and 90\u00b0 planes (co-polar solid, cross-polar dashed; the "
              "principal planes have no cross-polar field), near the beam and to 180\u00b0, with the geometrical optics' far "
              "field (aperture integration, delivered) at its own directivity for comparison. The whole pattern is drawn as "
              "the band between the lowest and highest level of neighbouring samples.";
  if (file == "path_error.svg")
    caption = r.vertex_ring.rays_traced > 0
                  ? "Path-length error of the traced rays against their landing radius; grey dots: the rays next to the subreflector vertex, on the scale of the others (hollow on the edge: beyond it)."
                  : "Path-length error of the traced rays against their landing radius.";
  return caption;
}

void figures_section(std::ostream& o, const Report& r, const DesignInput& d,
                     const std::vector<std::pair<std::string, std::string>>& charts, const std::string& whole_feed) {
  o << "<h2>Figures</h2>\n";
  for (const auto& [file, svg_text] : charts) {
    const std::size_t body = svg_text.find("<svg");
    const std::string caption = figure_caption(file, r, d);
    o << "<figure id=\"" << esc(file) << "\">\n" << svg_text.substr(body == std::string::npos ? 0 : body) << "<figcaption><b>"
      << esc(file) << "</b> (data in " << esc(file.substr(0, file.size() - 4)) << ".csv): " << esc(caption)
      << "</figcaption>\n</figure>\n";
    if (file == "feed.svg" && !whole_feed.empty()) {
      // The rest of the pattern, on request: folded away until opened.
      const std::size_t start = whole_feed.find("<svg");
      o << "<details>\n<summary>The whole feed pattern, 0 to " << num(d.feed_last_angle_rad * 180.0 / M_PI, 4)
        << "&#176;</summary>\n" << whole_feed.substr(start == std::string::npos ? 0 : start) << "</details>\n";
    }
  }
}

}  // namespace

std::string report_html(const Report& r, const DesignInput& d, const std::vector<std::pair<std::string, std::string>>& charts,
                        const std::string& whole_feed) {
  std::ostringstream o;
  page_head(o, r, d);
  std::vector<std::string> cautions = r.cautions;
  if (r.physical_optics)
    for (const std::string& c : r.physical_optics->cautions) cautions.push_back("Physical optics: " + c);
  caution_box(o, "Cautions: some figures below are outside what their methods support", cautions);
  design_inputs(o, d);
  merit_table(o, r, d);
  if (r.as_written) written_loss(o, r);
  const VertexRing& ring = r.as_written ? r.as_written->vertex_ring : r.vertex_ring;
  if (ring.rays_traced > 0) vertex_ring_note(o, ring, r.as_written != nullptr);
  if (r.phase_centre.known) phase_centre_section(o, r, d);
  if (r.physical_optics) physical_optics_section(o, *r.physical_optics);
  notes_section(o, r);
  figures_section(o, r, d, charts, whole_feed);
  o << "</body>\n</html>\n";
  return o.str();
}

}  // namespace report
