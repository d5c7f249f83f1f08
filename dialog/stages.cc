#include "dialog/stages.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <type_traits>

#include "design/check.h"
#include "design/feed.h"
#include "fields/fields.h"
#include "writers/figure.h"
#include "writers/files.h"
#include "writers/tables.h"

namespace dialog {
namespace {

using design::DesignInputs;
using design::Reflector;

// The point count of a surface file stands in a field of four digits.
constexpr int kMaxSurfacePoints = 9999;

// Above this many integration steps 32-bit rounding of the radius and the
// surfaces builds up past the printed digits.
constexpr double kFineSteps = 2.0e3;

// The plot device handed to the plot writer: a plot file.
constexpr int kPlotDevice = 2;

void to_listing(OutFile& listing, const writers::Lines& lines) {
  for (const std::string& text : lines) listing.line(text);
}

void to_console(Dialog& dialog, const writers::Lines& lines) {
  for (const std::string& text : lines) dialog.line(text);
}

// Asks for the name of a file until a file of that name can be created, and
// creates it.  `answer` receives the answer as read.
template <design::RealType Real>
OutFile ask_output_file(Session<Real>& s, std::string_view question, std::string_view what,
                        int width, std::string& answer) {
  OutFile file;
  std::string name;
  s.dialog.ask(
      question,
      [&] {
        answer = s.dialog.read_text(what, width, true);
        name = file_name(answer);
      },
      [&]() -> std::string {
        if (s.in_use(name)) return in_use_problem(name);
        std::string problem = file.open(s.path(name), name, OutFile::Mode::replace_when_complete);
        // Only a person at a terminal can give another name; a pipe ends the
        // run here, as an answer file does with its line.
        if (!problem.empty() && !s.dialog.from_file() && !s.dialog.interactive()) {
          throw RunError("Error: " + problem);
        }
        return problem;
      });
  return file;
}

template <design::RealType Real>
OutFile create_answered_file(Session<Real>& s, std::string_view what) {
  return ask_output_file(s, " Enter file ", what, 70, s.answers.output_file_name);
}

// A number for a report, as short as its digits allow.
std::string short_number(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.4g", v);
  return buffer;
}

// What is likely to mend a ray table that strays.
template <design::RealType Real>
std::string remedy(bool main_meets_sub, const DesignInputs<Real>& in) {
  if (main_meets_sub) {
    return "a geometry that can be shaped: the main reflector reaches the subreflector's height"
           " (a longer distance from the feed to the subreflector, a deeper main reflector or a"
           " milder distribution)";
  }
  const double steps = (1.0 - static_cast<double>(in.main_inner_radius)) /
                       static_cast<double>(in.calc_interval());
  if (std::is_same_v<Real, float> && steps > kFineSteps) {
    return "--double: at " + short_number(steps) +
           " steps the rounding of 32-bit reals builds up";
  }
  return "a finer calculation interval, for instance " +
         short_number(static_cast<double>(in.calc_interval()) / 10.0);
}

// The report on a ray table that failed its check, and what to try.
template <design::RealType Real>
std::string check_report(const design::RayTableCheck& c, const DesignInputs<Real>& in) {
  using Fault = design::RayTableCheck::Fault;
  std::string text = "Error: ";
  const std::string where = "at ray " + std::to_string(c.bad_ray) + " (main reflector radius " +
                            short_number(c.bad_radius) + ")";
  if (c.fault == Fault::path_strays) {
    text += "the path length strays " + where + " by " + short_number(100.0 * c.stray_at_bad) +
            " % from the first ray's (up to " + short_number(100.0 * c.largest_stray) +
            " % at ray " + std::to_string(c.largest_stray_ray) + "): not a design.\n";
  } else {
    text += "the feed angle reaches zero " + where + ", before the rim: not a design.\n";
  }
  text += "Try " + remedy(c.main_meets_sub, in) + ".";
  return text;
}

}  // namespace

template <design::RealType Real>
DesignInputs<Real> ask_design_inputs(Session<Real>& s) {
  Dialog& dialog = s.dialog;
  DesignInputs<Real> in;

  // Banner, then the geometry.
  dialog.line(" Dual Shaped Axisymmetric Displaced Axis Reflector");
  dialog.line("");
  dialog.line(" Supplement to Tarnwick by Quessary");
  dialog.line("");
  dialog.line(" Initial design normalized to radius of one");
  dialog.ask(" Enter Axis Distance from Main Hole Rim to Feed ", [&] {
    dialog.read("the axis distance from the main hole rim to the feed", in.main_hole_to_feed);
  });
  dialog.ask(" Enter Axis Distance from Feed to Subreflector Rim ", [&] {
    dialog.read("the axis distance from the feed to the subreflector rim", in.feed_to_sub_rim);
  });
  dialog.ask(
      " Radius of subreflector ",
      [&] {
        dialog.read("the radius of the subreflector", in.sub_radius);
        design::set_half_angle(in);
      },
      [&] { return design::sub_radius_problem(in); });
  dialog.ask(
      " Enter Inner Radius of Main Reflector ",
      [&] { dialog.read("the inner radius of the main reflector", in.main_inner_radius); },
      [&] { return design::inner_radius_problem(in); });
  to_listing(s.listing, writers::geometry_lines(in));

  // The feed.
  dialog.line(writers::subtended_angle_line(in));
  dialog.ask(
      " Enter Feed Beamwidth, Beamwidth level dB ",
      [&] {
        dialog.read("the feed beamwidth and its level", in.feed_beamwidth_deg,
                    in.beamwidth_level_db);
      },
      [&] { return design::feed_problem(in); });
  s.listing.line(writers::feed_line(in));
  design::set_feed(in);

  // The aperture distribution.
  int kind = 0;
  dialog.ask(
      " Enter aperture distr: 1 Uniform, 2 Gaussian, 3 Taylor ",
      [&] { dialog.read("the aperture distribution", kind); },
      [&] { return design::distribution_kind_problem(kind); });
  switch (static_cast<design::Distribution>(kind)) {
    case design::Distribution::uniform:
      in.aperture = design::uniform_aperture<Real>();
      break;

    case design::Distribution::gaussian: {
      // The aperture power is computed with the answer so that a taper whose
      // power is out of range can be refused before its line is written.
      Real taper = 0;
      dialog.ask(
          " Enter edge taper (dB) ",
          [&] {
            dialog.read("the edge taper", taper);
            if (taper == Real(0)) throw DialogStop{};
            in.aperture = design::gaussian_aperture(taper);
            design::set_aperture(in);
          },
          [&] { return design::taper_problem(in); });
      break;
    }

    case design::Distribution::taylor: {
      dialog.line(" Taylor Circular Distribution");
      Real sidelobe = 0;
      int nbar = 0;
      dialog.ask(
          " Enter Sidelobe Level ",
          [&] {
            dialog.read("the sidelobe level", sidelobe);
            sidelobe = std::fabs(sidelobe);
          },
          [&] { return design::sidelobe_problem(sidelobe); });
      dialog.ask(
          " Enter Number of First Unchanged Zero of Uniform Distribution ",
          [&] {
            dialog.read("the number of the first unchanged zero", nbar);
            if (nbar > design::kMaxNbar) throw DialogStop{};
          },
          [&] { return design::nbar_problem(nbar); });
      in.aperture = design::taylor_aperture(sidelobe, nbar);
      to_console(dialog, writers::taylor_table(in.aperture));
      break;
    }
  }
  to_listing(s.listing, writers::distribution_lines(in.aperture));
  design::set_aperture(in);

  // The synthesis intervals, listed as entered and used by their size.
  dialog.ask(
      " Enter Calculation Main Aperture Interval ",
      [&] { dialog.read("the calculation interval", in.calc_interval_answer); },
      [&] { return design::calc_interval_problem(in); });
  dialog.ask(
      " Enter Output Aperture Interval ",
      [&] { dialog.read("the output interval", in.output_interval_answer); },
      [&] { return design::output_interval_problem(in); });
  if (const std::string warning = design::interval_warning(in); !warning.empty()) {
    dialog.warn(warning);
  }
  to_listing(s.listing, writers::interval_lines(in));
  return in;
}

template <design::RealType Real>
design::RayTable<Real> run_synthesis(const DesignInputs<Real>& in, Session<Real>& s) {
  const design::StepCounts counts = design::step_counts(in);
  if (!counts.problem.empty()) throw RunError("Error: " + counts.problem);

  design::RayTable<Real> table = design::synthesize(in);
  const writers::Lines header = writers::ray_table_header();
  to_console(s.dialog, header);
  to_listing(s.listing, header);
  for (const design::Ray<Real>& ray : table.rays) {
    const std::string row = writers::ray_row(ray);
    s.listing.line(row);
    s.dialog.line(row);
  }
  if (table.broken_ray) {
    // The integration has left the range of real surfaces (typically a
    // calculation interval too coarse for a steep distribution near the
    // axis): the run ends rather than print a table of NaN.
    throw RunError("Error: the integration breaks down at ray " +
                   std::to_string(*table.broken_ray) + " (main reflector radius " +
                   writers::trimmed(fields::F(table.broken_radius, 12, 5)) +
                   "): the surfaces are no longer finite.\n"
                   "Try a smaller calculation interval or a milder aperture distribution.");
  }
  const design::RayTableCheck check = design::check_ray_table(table);
  if (check.fault != design::RayTableCheck::Fault::none) throw RunError(check_report(check, in));
  if (check.visible_stray()) {
    s.dialog.warn("Warning: the path length strays by up to " +
                  short_number(100.0 * check.largest_stray) + " % (ray " +
                  std::to_string(check.largest_stray_ray) + "), more than the table's digits show.\n"
                  "Try " + remedy(false, in) + ".");
  }
  return table;
}

template <design::RealType Real>
void figure_stage(const design::RayTable<Real>& table, Session<Real>& s) {
  std::string answer;
  OutFile file = ask_output_file(s, " Enter plot file ", "the name of the plot file", 40, answer);
  plothpfa::Plotter plot(s.plotif);
  plot.PINITF(kPlotDevice, file.stream());
  writers::draw_figure(plot, table);
  plot.close();
  file.close();
}

template <design::RealType Real>
design::ScaledDesign<Real> scaling_stage(const design::RayTable<Real>& table,
                                         const DesignInputs<Real>& in, Session<Real>& s) {
  Dialog& dialog = s.dialog;
  Real diameter = 0;
  dialog.ask(
      " Enter main reflector diameter ",
      [&] { dialog.read("the main reflector diameter", diameter); },
      [&] { return design::scaling_problem(table, diameter, in.main_inner_radius); });
  design::ScaledDesign<Real> scaled = design::scale(table, diameter, in.main_inner_radius);

  to_console(dialog, writers::scaled_table_header(diameter));
  to_listing(s.listing, writers::scaled_table_header(diameter));
  for (std::size_t i = 0; i < scaled.sub_r.size(); ++i) {
    const std::string row = writers::scaled_row(scaled, i);
    s.listing.line(row);
    dialog.line(row);
  }

  // The subreflector may be extended to a larger diameter by one point.
  dialog.line(writers::sub_diameter_line(scaled.sub_rim_diameter));
  if (!dialog.ask_yes(" Extrapolate larger diameter? ")) return scaled;
  Real new_diameter = scaled.sub_rim_diameter;
  design::Extrapolation<Real> e;
  using Problem = typename design::Extrapolation<Real>::Problem;
  dialog.ask(
      " Enter new outer diameter ",
      [&] { dialog.read("the new subreflector diameter", new_diameter); },
      [&]() -> std::string {
        e = design::extrapolation(scaled, new_diameter, s.pause());
        switch (e.problem) {
          case Problem::none:
            return {};
          case Problem::not_beyond_rim:
            return "The new subreflector diameter must be larger than the present " +
                   writers::trimmed(fields::F(scaled.sub_rim_diameter, 9, 3)) + ".";
          case Problem::too_far:
            break;
        }
        return "The new subreflector diameter is too large to extrapolate to.";
      });
  design::extend_sub(scaled, new_diameter, e);
  const writers::Lines lines = writers::extrapolation_lines(scaled.sub_rim_diameter, e.rim_z);
  to_console(dialog, lines);
  to_listing(s.listing, lines);
  return scaled;
}

template <design::RealType Real>
void listing_stage(const design::ScaledDesign<Real>& scaled, Session<Real>& s,
                   Reflector which) {
  const design::Profile<Real> p = scaled.profile(which, s.pause());
  Dialog& dialog = s.dialog;
  Real& start = s.answers.list_start;
  Real& stop = s.answers.list_stop;
  Real& step = s.answers.list_step;
  int count = 0;
  dialog.end_open_line();
  dialog.line(writers::radius_range_line(p));
  dialog.ask(
      " Enter start, stop, step ",
      [&] {
        dialog.read_range("the start, stop and step of the listing", start, stop, step);
        count = design::list_row_count(start, stop, step);
      },
      [&]() -> std::string {
        if (count < 0) return "A listing holds at most 1000000 rows; choose a larger step.";
        // Outside its table the spline continues its end cubics; far enough
        // out their cubes overflow.  The rows run monotonically, so the two
        // end rows are the farthest out.
        if (count > 0) {
          const Real first = design::list_row_radius(start, step, 1);
          const Real last = design::list_row_radius(start, step, count);
          if (!std::isfinite(last) || !std::isfinite(p.height(first)) ||
              !std::isfinite(p.height(last))) {
            return "These radii lie too far outside the reflector to list.";
          }
        }
        return {};
      });

  const Real diameter = which == Reflector::main ? scaled.main_diameter : scaled.sub_rim_diameter;
  const writers::Lines header = writers::listing_header(which, diameter);
  to_console(dialog, header);
  to_listing(s.listing, header);
  for (int i = 1; i <= count; ++i) {
    const Real r = design::list_row_radius(start, step, i);
    const std::string row = writers::listing_row(r, p.height(r));
    s.listing.line(row);
    dialog.line(row);
  }
}

template <design::RealType Real>
void surface_file_stage(const design::ScaledDesign<Real>& scaled, Session<Real>& s,
                        Reflector which) {
  const design::Profile<Real> p = scaled.profile(which, s.pause());
  Dialog& dialog = s.dialog;
  OutFile file = create_answered_file(s, "the name of the surface file");
  int& points = s.answers.radius_points;
  dialog.ask(
      " Enter number of radius points ",
      [&] { dialog.read("the number of radius points", points); },
      [&]() -> std::string {
        if (points >= 1 && points <= kMaxSurfacePoints) return {};
        return "A surface file holds from 1 to 9999 points.";
      });
  dialog.ask(" Enter label ",
             [&] { s.answers.surface_label = dialog.read_text("the surface label", 40); });
  writers::write_surface_file(
      [&file](std::string_view text) { file.line(text); }, p, points, s.answers.surface_label);
  file.close();
}

template <design::RealType Real>
void object_file_stage(const design::ScaledDesign<Real>& scaled, Session<Real>& s,
                       Reflector which) {
  const design::Profile<Real> p = scaled.profile(which, s.pause());
  Dialog& dialog = s.dialog;
  OutFile file = create_answered_file(s, "the name of the object file");
  const writers::LineSink out = [&file](std::string_view text) { file.line(text); };
  int& choice = s.answers.length_unit_choice;
  dialog.ask(
      " Enter length units: 1 in., 2 ft., 3 mm, 4 m ",
      [&] { dialog.read("the length unit", choice); },
      [&]() -> std::string {
        if (choice >= 1 && choice <= 4) return {};
        return "The length unit must be 1, 2, 3 or 4.";
      });
  writers::write_object_head(out);
  int& points = s.answers.spline_points;
  dialog.ask(" Enter number of points in spline ",
             [&] { dialog.read("the number of points in the spline", points); });
  writers::write_object_body(out, p, points, which, static_cast<writers::LengthUnit>(choice));
  file.close();
}

#define RAVOST_INSTANTIATE(Real)                                                             \
  template DesignInputs<Real> ask_design_inputs<Real>(Session<Real>&);                       \
  template design::RayTable<Real> run_synthesis<Real>(const DesignInputs<Real>&,             \
                                                      Session<Real>&);                       \
  template void figure_stage<Real>(const design::RayTable<Real>&, Session<Real>&);           \
  template design::ScaledDesign<Real> scaling_stage<Real>(                                   \
      const design::RayTable<Real>&, const DesignInputs<Real>&, Session<Real>&);             \
  template void listing_stage<Real>(const design::ScaledDesign<Real>&, Session<Real>&,       \
                                    Reflector);                                              \
  template void surface_file_stage<Real>(const design::ScaledDesign<Real>&, Session<Real>&,  \
                                         Reflector);                                         \
  template void object_file_stage<Real>(const design::ScaledDesign<Real>&, Session<Real>&,   \
                                        Reflector);
RAVOST_INSTANTIATE(float)
RAVOST_INSTANTIATE(double)
#undef RAVOST_INSTANTIATE

}  // namespace dialog
