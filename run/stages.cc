#include "run/stages.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <type_traits>

#include "design/check.h"
#include "design/distributions.h"
#include "feedfile/feed_file.h"
#include "fields/fields.h"
#include "fields/prose.h"
#include "io/interrupt.h"
#include "run/messages.h"
#include "run/progress.h"
#include "writers/figure.h"
#include "writers/files.h"

namespace run {
namespace {

using design::Reflector;

// Above this many integration steps 32-bit rounding of the radius and the
// surfaces builds up past the printed digits.
constexpr double kFineSteps = 2.0e3;

// The plot device handed to the plot writer: a plot file.
constexpr int kPlotDevice = 2;

std::string short_number(double v) { return fields::number(v, 4); }

// What is likely to mend a ray table that strays.
template <design::RealType Real>
std::string remedy(bool main_meets_sub, const Design<Real>& d) {
  if (main_meets_sub) {
    return "a geometry that can be shaped: the main reflector reaches the subreflector's height"
           " (a longer distance from the feed to the subreflector, a deeper main reflector or a"
           " milder distribution)";
  }
  const double steps = (1.0 - static_cast<double>(d.main_inner_radius)) /
                       static_cast<double>(d.calc_interval());
  if (std::is_same_v<Real, float> && steps > kFineSteps) {
    return "--double: at " + short_number(steps) + " steps the rounding of 32-bit reals builds up";
  }
  return "a finer calculation interval, for instance " +
         short_number(static_cast<double>(d.calc_interval()) / 10.0);
}

// Below this feed level at the subreflector rim (dB), a breakdown is put
// down to the feed: the first steps of the feed angle overshoot.
constexpr double kWeakRimDb = -40.0;

// What the numbers of a breakdown show, and what fits that cause.
template <design::RealType Real>
std::string breakdown_advice(const design::SynthesisSummary& s, const Design<Real>& d) {
  if (s.main_meets_sub_at_break) {
    return "The main reflector reaches the subreflector's height there; try " + remedy(true, d) +
           ".";
  }
  if (s.rim_level_db < kWeakRimDb) {
    return "The feed illuminates the subreflector rim " + fields::number(-s.rim_level_db, 3) +
           " dB below its peak, too weakly to shape: try a wider feed beamwidth or a subreflector"
           " that subtends a smaller angle (a longer distance from the feed to its rim or a"
           " smaller radius).";
  }
  if (d.feed_model.source && d.choices.feed.phase_centre == design::FeedSpec::PhaseCentre::reference) {
    // A tabulated pattern can itself be what the integration cannot follow.
    return "Try a smaller calculation interval or a milder aperture distribution, and check the "
           "feed pattern in " + d.feed_model.source->source + ".";
  }
  return "Try a smaller calculation interval or a milder aperture distribution.";
}

// The report on a ray table that failed its check, and what to try.
template <design::RealType Real>
diag::Diagnostic check_report(const design::RayTableCheck& c, const Design<Real>& d) {
  using Fault = design::RayTableCheck::Fault;
  std::string text;
  const std::string where = "at ray " + std::to_string(c.bad_ray) + " (main reflector radius " +
                            short_number(c.bad_radius) + ")";
  if (c.fault == Fault::path_strays) {
    text += "the path length strays " + where + " by " + short_number(100.0 * c.stray_at_bad) +
            " % from the first ray's (up to " + short_number(100.0 * c.largest_stray) +
            " % at ray " + std::to_string(c.largest_stray_ray) + "): not a design.";
  } else {
    text += "the feed angle reaches zero " + where + ", before the rim: not a design.";
  }
  diag::Diagnostic report = diag::error(text);
  report.suggestion = "Try " + remedy(c.main_meets_sub, d) + ".";
  return report;
}

}  // namespace

bool Context::in_use(std::string_view name) const {
  std::error_code ec;
  for (const auto& f : run_files) {
    if (std::filesystem::equivalent(path(name), f, ec)) return true;
  }
  return false;
}

std::string Context::open(io::OutFile& file, std::string_view name) const {
  if (dry) {
    if (name.empty()) return "A file needs a name.";
    return file.open("/dev/null", std::string(name), io::OutFile::Mode::in_place);
  }
  return file.open(path(name), std::string(name), io::OutFile::Mode::replace_when_complete);
}

void Context::to_console(const writers::Lines& lines) const {
  for (const std::string& text : lines) console.line(text);
}

void Context::to_listing(const writers::Lines& lines) {
  for (const std::string& text : lines) listing.line(text);
}

void Context::both(const writers::Lines& lines) {
  to_console(lines);
  to_listing(lines);
}

template <design::RealType Real>
void list_geometry(Context& c, const Design<Real>& d) {
  c.to_listing(writers::geometry_lines(d));
}

template <design::RealType Real>
void show_subtended_angle(Context& c, const Design<Real>& d) {
  c.line(writers::subtended_angle_line(d));
}

template <design::RealType Real>
void list_feed(Context& c, const Design<Real>& d) {
  c.listing.line(writers::feed_line(d));
  // A tabulated phase that is not flat over the cone: the pattern was taken
  // about another point than the one the design puts at the feed (unless
  // the design says where its phase centre lies).
  if (d.feed_model.source && d.choices.feed.phase_centre == design::FeedSpec::PhaseCentre::reference) {
    if (const auto warning = feedfile::phase_warning(*d.feed_model.source,
                                                      static_cast<double>(d.feed_half_angle_rad))) {
      diag::Diagnostic w = *warning;
      w.changes_figures = true;  // the phase error is the feed's, not the design's
      c.warn(std::move(w));
    }
  }
}

template <design::RealType Real>
void show_taylor_heading(Context& c, const Design<Real>& d) {
  if (d.aperture.kind == design::Distribution::taylor) {
    c.line(" Taylor Circular Distribution");
  }
}

template <design::RealType Real>
void list_distribution(Context& c, const Design<Real>& d) {
  // Judged on the aperture as made, so the taper is the one in the design's
  // precision.
  const design::DistributionKind* kind = design::find_distribution(d.aperture.kind);
  if (kind != nullptr && kind->brighter_edge(kind->spec_of(d.aperture))) {
    c.warn(diag::warning(
        "an edge taper of " + fields::number(static_cast<double>(d.aperture.edge_taper_db)) +
        " dB makes the aperture's edge brighter than its centre; the taper is the drop in dB"
        " from the centre to the edge."));
  }
  if (d.aperture.kind == design::Distribution::taylor) {
    c.to_console(writers::taylor_table(d.aperture));
  }
  c.to_listing(writers::distribution_lines(d.aperture));
}

template <design::RealType Real>
void list_intervals(Context& c, const Design<Real>& d) {
  if (const auto warning = interval_warning(design::row_plan(d))) c.warn(*warning);
  c.to_listing(writers::interval_lines(d));
}

template <design::RealType Real>
void list_design(Context& c, const Design<Real>& d) {
  list_geometry(c, d);
  show_subtended_angle(c, d);
  list_feed(c, d);
  show_taylor_heading(c, d);
  list_distribution(c, d);
  list_intervals(c, d);
}

template <design::RealType Real>
design::RayTable<Real> synthesise(Context& c, const Design<Real>& d) {
  design::Synthesis<Real> result;
  synthesise(c, d, result);
  return std::move(result.table);
}

template <design::RealType Real>
void synthesise(Context& c, const Design<Real>& d, design::Synthesis<Real>& result) {
  const design::StepCounts counts = design::step_counts(d);
  if (!counts.problem.empty()) throw RunError(diag::error(counts.problem));

  design::SynthesisOptions options;
  ProgressLine progress(c.console.progress, "Synthesis", "rows");
  const auto keep_going = [&c] {
    if (c.stop && c.stop()) return false;
    return !c.interruptible || io::interrupted() == 0;
  };
  options.on_row = [&progress, keep_going](int done, int total) {
    progress.update(done, total);
    return keep_going();
  };
  options.keep_going = keep_going;
  result = design::synthesise_and_check(d, options);
  progress.clear();
  if (result.summary.stopped) {
    // Stopped by a signal or the caller: the run ends here, without the
    // rows done so far.
    if (c.interruptible) io::check_interrupt();
    if (c.stop && c.stop()) throw Stopped();
  }
  const design::RayTable<Real>& table = result.table;
  c.both(writers::ray_table_header());
  for (const design::Ray<Real>& ray : table.rays) {
    const std::string row = writers::ray_row(ray);
    c.listing.line(row);
    c.line(row);
  }
  if (table.broken_ray) {
    // The integration has left the range of real surfaces: the run ends
    // rather than print a table of NaN, with what the numbers show.
    diag::Diagnostic report = diag::error("the integration breaks down at ray " +
                                          std::to_string(*table.broken_ray) + " (main reflector radius " +
                                          writers::trimmed(fields::F(table.broken_radius, 12, 5)) +
                                          "): the surfaces are no longer finite.");
    report.suggestion = breakdown_advice(result.summary, d);
    throw RunError(std::move(report));
  }
  if (c.interruptible) io::check_interrupt();
  const design::RayTableCheck& check = result.summary.check;
  if (check.fault != design::RayTableCheck::Fault::none) throw RunError(check_report(check, d));
  if (check.visible_stray()) {
    diag::Diagnostic stray = diag::warning("the path length strays by up to " +
                                           short_number(100.0 * check.largest_stray) + " % (ray " +
                                           std::to_string(check.largest_stray_ray) +
                                           "), more than the table's digits show.");
    stray.suggestion = "Try " + remedy(false, d) + ".";
    stray.changes_figures = true;
    c.warn(std::move(stray));
  }
}

template <design::RealType Real>
void write_figure(Context& c, const design::RayTable<Real>& table, io::OutFile& file) {
  plothpfa::Plotter plot(c.plotif);
  plot.PINITF(kPlotDevice, file.stream());
  writers::draw_figure(plot, table);
  plot.close();
  file.close();
}

template <design::RealType Real>
design::ScaledDesign<Real> scale(Context& c, const design::RayTable<Real>& table,
                                 const Design<Real>& d, Real diameter) {
  design::ScaledDesign<Real> scaled = design::scale(table, diameter, d.main_inner_radius);
  c.both(writers::scaled_table_header(diameter));
  for (std::size_t i = 0; i < scaled.sub_r.size(); ++i) {
    const std::string row = writers::scaled_row(scaled, i);
    c.listing.line(row);
    c.line(row);
  }
  c.line(writers::sub_diameter_line(scaled.sub_rim_diameter));
  return scaled;
}

template <design::RealType Real>
std::optional<design::Problem> extrapolation_problem(Context& c,
                                                     const design::ScaledDesign<Real>& scaled,
                                                     Real new_diameter,
                                                     design::Extrapolation<Real>& e) {
  using Fault = design::Problem::Fault;
  e = design::extrapolation(scaled, new_diameter, c.console.pause);
  switch (e.problem) {
    case design::Extrapolation<Real>::Problem::none:
      return std::nullopt;
    case design::Extrapolation<Real>::Problem::not_beyond_rim: {
      design::Problem p{design::Input::extrapolation, Fault::not_beyond_rim};
      p.value = static_cast<double>(new_diameter);
      p.reference = static_cast<double>(scaled.sub_rim_diameter);
      return p;
    }
    case design::Extrapolation<Real>::Problem::too_far:
      break;
  }
  design::Problem p{design::Input::extrapolation, Fault::too_far};
  p.value = static_cast<double>(new_diameter);
  return p;
}

template <design::RealType Real>
void extrapolate(Context& c, design::ScaledDesign<Real>& scaled, Real new_diameter,
                 const design::Extrapolation<Real>& e) {
  design::extend_sub(scaled, new_diameter, e);
  c.both(writers::extrapolation_lines(scaled.sub_rim_diameter, e.rim_z));
}

template <design::RealType Real>
void show_radius_range(Context& c, const design::Profile<Real>& p) {
  c.line(writers::radius_range_line(p));
}

template <design::RealType Real>
std::string listing_problem(const design::Profile<Real>& p, Real start, Real stop, Real step) {
  if (step == Real(0)) return "The step of a listing must not be 0.";
  if ((stop - start) * step < Real(0)) {
    return "A step of " + fields::number(static_cast<double>(step)) + " cannot reach the stop " +
           fields::number(static_cast<double>(stop)) + " from the start " +
           fields::number(static_cast<double>(start)) + ".";
  }
  const int count = design::list_row_count(start, stop, step);
  if (count < 0) return "A listing holds at most 1000000 rows; choose a larger step.";
  // Outside its table the spline continues its end cubics; far enough out
  // their cubes overflow.  The rows run monotonically, so the two end rows
  // are the farthest out.
  if (count > 0) {
    const Real first = design::list_row_radius(start, step, 1);
    const Real last = design::list_row_radius(start, step, count);
    if (!std::isfinite(last) || !std::isfinite(p.height(first)) || !std::isfinite(p.height(last))) {
      return "These radii lie too far outside the reflector to list.";
    }
  }
  return {};
}

template <design::RealType Real>
void write_listing(Context& c, const design::ScaledDesign<Real>& scaled,
                   const design::Profile<Real>& p, Reflector which, Real start, Real stop,
                   Real step) {
  const int count = design::list_row_count(start, stop, step);
  const Real diameter = which == Reflector::main ? scaled.main_diameter : scaled.sub_rim_diameter;
  if (count > 0) {
    // Beyond its points the spline continues its end cubics: say so.
    const Real first = design::list_row_radius(start, step, 1);
    const Real last = design::list_row_radius(start, step, count);
    const Real lo = std::min(first, last), hi = std::max(first, last);
    const Real slack = (p.last_radius() - p.first_radius()) * Real(1.0e-4);
    if (lo < p.first_radius() - slack || hi > p.last_radius() + slack) {
      c.warn(diag::warning(
          "the listing reaches r = " +
          fields::number(static_cast<double>(lo < p.first_radius() - slack ? lo : hi), 5) +
          ", outside the " + (which == Reflector::main ? "main reflector" : "subreflector") +
          "'s radii " + fields::number(static_cast<double>(p.first_radius()), 5) + " to " +
          fields::number(static_cast<double>(p.last_radius()), 5) +
          "; the heights there are extrapolated."));
    }
  }
  c.both(writers::listing_header(which, diameter));
  for (int i = 1; i <= count; ++i) {
    const Real r = design::list_row_radius(start, step, i);
    const std::string row = writers::listing_row(r, p.height(r));
    c.listing.line(row);
    c.line(row);
  }
}

template <design::RealType Real>
void write_surface_file(const design::Profile<Real>& p,
                        const writers::SurfaceFileRequest& request, io::OutFile& file) {
  writers::write_surface_file([&file](std::string_view text) { file.line(text); }, p,
                              request.points, request.label);
  file.close();
}

template <design::RealType Real>
void write_object_file(const design::Profile<Real>& p, Reflector which,
                       const writers::ObjectFileRequest& request, io::OutFile& file) {
  const writers::LineSink out = [&file](std::string_view text) { file.line(text); };
  writers::write_object_head(out);
  writers::write_object_body(out, p, request.points, which, request.unit);
  file.close();
}

#define RAVOST_INSTANTIATE(Real)                                                                \
  template void list_geometry<Real>(Context&, const Design<Real>&);                             \
  template void show_subtended_angle<Real>(Context&, const Design<Real>&);                      \
  template void list_feed<Real>(Context&, const Design<Real>&);                                 \
  template void show_taylor_heading<Real>(Context&, const Design<Real>&);                         \
  template void list_distribution<Real>(Context&, const Design<Real>&);                         \
  template void list_intervals<Real>(Context&, const Design<Real>&);                            \
  template void list_design<Real>(Context&, const Design<Real>&);                               \
  template design::RayTable<Real> synthesise<Real>(Context&, const Design<Real>&);              \
  template void write_figure<Real>(Context&, const design::RayTable<Real>&, io::OutFile&);      \
  template design::ScaledDesign<Real> scale<Real>(Context&, const design::RayTable<Real>&,      \
                                                  const Design<Real>&, Real);                   \
  template std::optional<design::Problem> extrapolation_problem<Real>(                          \
      Context&, const design::ScaledDesign<Real>&, Real, design::Extrapolation<Real>&);         \
  template void extrapolate<Real>(Context&, design::ScaledDesign<Real>&, Real,                  \
                                  const design::Extrapolation<Real>&);                          \
  template void show_radius_range<Real>(Context&, const design::Profile<Real>&);               \
  template std::string listing_problem<Real>(const design::Profile<Real>&, Real, Real, Real);   \
  template void write_listing<Real>(Context&, const design::ScaledDesign<Real>&,                \
                                    const design::Profile<Real>&, Reflector, Real, Real, Real); \
  template void write_surface_file<Real>(const design::Profile<Real>&,                          \
                                         const writers::SurfaceFileRequest&, io::OutFile&);     \
  template void write_object_file<Real>(const design::Profile<Real>&, Reflector,                \
                                        const writers::ObjectFileRequest&, io::OutFile&);       \
  template void synthesise<Real>(Context&, const Design<Real>&, design::Synthesis<Real>&);
RAVOST_INSTANTIATE(float)
RAVOST_INSTANTIATE(double)
#undef RAVOST_INSTANTIATE

}  // namespace run
