#include "dialog/stages.h"

#include <cmath>
#include <string>

#include "run/messages.h"
#include "run/stages.h"

namespace dialog {
namespace {

using design::Input;
using design::Reflector;

// The one-line complaint for an answered name that is in use by the run.
std::string in_use_problem(std::string_view name) {
  return "The file \"" + std::string(name) +
         "\" is the listing or the answer file of this run; give another name.";
}

// The first problem of one input of the choices, as a sentence, or empty.
std::string problem_of(const design::DesignSpec& choices, Input which) {
  const std::vector<design::Problem> found = design::validate_input(choices, which);
  return found.empty() ? std::string() : run::sentence(found.front());
}

// The first problem of the beamwidth answer.  The dialog has always taken a
// level of 0 dB and designed for a feed that radiates alike in every
// direction, and the listings of such answers stay as they were; only a run
// that ends with a report, which needs a falling pattern, refuses it.
template <design::RealType Real>
std::string beamwidth_problem(const Session<Real>& s) {
  for (const design::Problem& p : design::validate_input(s.choices, Input::feed_beamwidth)) {
    if (p.fault == design::Problem::Fault::level_zero && !s.report) continue;
    return run::sentence(p);
  }
  return {};
}

std::string sentence_of(const std::optional<design::Problem>& p) {
  return p ? run::sentence(*p) : std::string();
}

// Asks for the name of a file until a file of that name can be created, and
// creates it.  `answer` receives the answer as read.
template <design::RealType Real>
io::OutFile ask_output_file(Session<Real>& s, std::string_view question, std::string_view what,
                            int width, std::string& answer) {
  io::OutFile file;
  std::string name;
  s.dialog.ask(
      question,
      [&] {
        answer = s.dialog.read_text(what, width, true);
        name = file_name(answer);
      },
      [&]() -> std::string {
        if (s.run.in_use(name)) return in_use_problem(name);
        std::string problem = s.run.open(file, name);
        // Only a person at a terminal can give another name; a pipe ends the
        // run here, as an answer file does with its line.
        if (!problem.empty() && !s.dialog.from_file() && !s.dialog.interactive()) {
          throw RunError(diag::error(problem));
        }
        return problem;
      });
  return file;
}

template <design::RealType Real>
io::OutFile create_answered_file(Session<Real>& s, std::string_view what) {
  return ask_output_file(s, " Enter file ", what, writers::kFileNameWidth,
                         s.answers.output_file_name);
}

}  // namespace

namespace {

// The answers in the design's reals, as read; an empty value keeps the
// earlier one.
template <design::RealType Real>
struct DesignAnswers {
  Real hole_to_feed = 0, feed_to_sub = 0, sub_radius = 0, inner_radius = 0;
  Real beamwidth = 0, level = 0, taper = 0, sidelobe = 0, calc = 0, output = 0;
};

template <design::RealType Real>
double widen(Real v) {
  return static_cast<double>(v);
}

// The banner, then the geometry, listed.
template <design::RealType Real>
void ask_geometry(Session<Real>& s, DesignAnswers<Real>& a) {
  Dialog& dialog = s.dialog;
  design::DesignSpec& choices = s.choices;
  dialog.line(" Dual Shaped Axisymmetric Displaced Axis Reflector");
  dialog.line("");
  dialog.line(" Supplement to Tarnwick by Quessary");
  dialog.line("");
  dialog.line(" Initial design normalized to radius of one");
  dialog.ask(" Enter Axis Distance from Main Hole Rim to Feed ", [&] {
    dialog.read("the axis distance from the main hole rim to the feed", a.hole_to_feed);
    choices.geometry.main_hole_to_feed = widen(a.hole_to_feed);
  });
  dialog.ask(
      " Enter Axis Distance from Feed to Subreflector Rim ",
      [&] {
        dialog.read("the axis distance from the feed to the subreflector rim", a.feed_to_sub);
        choices.geometry.feed_to_sub_rim = widen(a.feed_to_sub);
      },
      [&] { return problem_of(choices, Input::feed_to_sub_rim); });
  dialog.ask(
      " Radius of subreflector ",
      [&] {
        dialog.read("the radius of the subreflector", a.sub_radius);
        choices.geometry.sub_radius = widen(a.sub_radius);
      },
      [&] { return problem_of(choices, Input::sub_radius); });
  dialog.ask(
      " Enter Inner Radius of Main Reflector ",
      [&] {
        dialog.read("the inner radius of the main reflector", a.inner_radius);
        choices.geometry.main_inner_radius = widen(a.inner_radius);
      },
      [&] { return problem_of(choices, Input::main_inner_radius); });
  run::list_geometry(s.run, design::make_design<Real>(choices));
}

// The feed: the subtended angle, then the beamwidth asked (or the feed file
// checked against the geometry), listed.
template <design::RealType Real>
void ask_feed(Session<Real>& s, DesignAnswers<Real>& a) {
  Dialog& dialog = s.dialog;
  design::DesignSpec& choices = s.choices;
  run::show_subtended_angle(s.run, design::make_design<Real>(choices));
  if (s.given_feed) {
    // The pattern comes from a file: nothing to ask, and a table that does
    // not suit the geometry ends the run naming the file.
    choices.feed = *s.given_feed;
    const std::vector<design::Problem> found = design::validate_input(choices, Input::feed_table);
    if (!found.empty()) throw RunError(run::feed_table_report(found.front(), choices.feed));
  } else {
    dialog.ask(
        " Enter Feed Beamwidth, Beamwidth level dB ",
        [&] {
          dialog.read("the feed beamwidth and its level", a.beamwidth, a.level);
          choices.feed = {widen(a.beamwidth), widen(a.level)};
        },
        [&] { return beamwidth_problem(s); });
  }
  run::list_feed(s.run, design::make_design<Real>(choices));
}

// The Taylor distribution's sidelobe level and first unchanged zero.
template <design::RealType Real>
void ask_taylor(Session<Real>& s, DesignAnswers<Real>& a) {
  Dialog& dialog = s.dialog;
  design::DesignSpec& choices = s.choices;
  run::show_taylor_heading(s.run, design::make_design<Real>(choices));
  dialog.ask(
      " Enter Sidelobe Level ",
      [&] {
        dialog.read("the sidelobe level", a.sidelobe);
        a.sidelobe = std::fabs(a.sidelobe);
        choices.aperture.sidelobe_db = widen(a.sidelobe);
      },
      [&] { return problem_of(choices, Input::sidelobe); });
  int nbar = 0;
  dialog.ask(
      " Enter Number of First Unchanged Zero of Uniform Distribution ",
      [&] {
        dialog.read("the number of the first unchanged zero", nbar);
        if (nbar > design::kMaxNbar) {
          throw DialogStop("a first unchanged zero above " + std::to_string(design::kMaxNbar) +
                           " is beyond the zeros the program holds");
        }
        choices.aperture.nbar = nbar;
      },
      [&] { return problem_of(choices, Input::nbar); });
}

// The aperture distribution by its number and its parameters, listed.
template <design::RealType Real>
void ask_distribution(Session<Real>& s, DesignAnswers<Real>& a) {
  Dialog& dialog = s.dialog;
  design::DesignSpec& choices = s.choices;
  int kind = 0;
  dialog.ask(
      " Enter aperture distr: 1 Uniform, 2 Gaussian, 3 Taylor ",
      [&] {
        dialog.read("the aperture distribution", kind);
        choices.aperture.kind = static_cast<design::Distribution>(kind);
      },
      [&] { return problem_of(choices, Input::distribution); });
  switch (choices.aperture.kind) {
    case design::Distribution::uniform:
      break;

    case design::Distribution::gaussian:
      dialog.ask(
          " Enter edge taper (dB) ",
          [&] {
            dialog.read("the edge taper", a.taper);
            if (a.taper == Real(0)) {
              throw DialogStop("a Gaussian edge taper of 0 dB describes no Gaussian distribution");
            }
            choices.aperture.taper_db = widen(a.taper);
          },
          [&] { return problem_of(choices, Input::taper); });
      break;

    case design::Distribution::taylor:
      ask_taylor(s, a);
      break;
    default:  // not offered here: refused above
      break;
  }
  run::list_distribution(s.run, design::make_design<Real>(choices));
}

// The synthesis intervals, listed as entered and used by their size.
template <design::RealType Real>
design::Design<Real> ask_intervals(Session<Real>& s, DesignAnswers<Real>& a) {
  Dialog& dialog = s.dialog;
  design::DesignSpec& choices = s.choices;
  dialog.ask(
      " Enter Calculation Main Aperture Interval ",
      [&] {
        dialog.read("the calculation interval", a.calc);
        choices.synthesis.calc_interval = widen(a.calc);
      },
      [&] { return problem_of(choices, Input::calc_interval); });
  dialog.ask(
      " Enter Output Aperture Interval ",
      [&] {
        dialog.read("the output interval", a.output);
        choices.synthesis.output_interval = widen(a.output);
      },
      [&] { return problem_of(choices, Input::output_interval); });
  design::Design<Real> d = design::make_design<Real>(choices);
  run::list_intervals(s.run, d);
  return d;
}

}  // namespace

template <design::RealType Real>
design::Design<Real> ask_design(Session<Real>& s) {
  s.choices.precision = std::is_same_v<Real, float> ? design::Precision::single
                                                  : design::Precision::double_;
  DesignAnswers<Real> a;
  ask_geometry(s, a);
  ask_feed(s, a);
  ask_distribution(s, a);
  return ask_intervals(s, a);
}

template <design::RealType Real>
void figure_stage(Session<Real>& s) {
  std::string answer;
  io::OutFile file = ask_output_file(s, " Enter plot file ", "the name of the plot file",
                                     writers::kPlotNameWidth, answer);
  s.plan.figure_file = file.name();
  s.pipeline.figure(file);
}

template <design::RealType Real>
void scaling_stage(Session<Real>& s) {
  Dialog& dialog = s.dialog;
  run::Pipeline<Real>& run = s.pipeline;
  Real diameter = 0;
  dialog.ask(
      " Enter main reflector diameter ",
      [&] { dialog.read("the main reflector diameter", diameter); },
      [&] { return run.scaling_problem(diameter); });
  s.plan.diameter = static_cast<double>(diameter);
  run.scale(diameter);

  // The subreflector may be extended to a larger diameter by one point.
  if (!dialog.ask_yes(" Extrapolate larger diameter? ")) return;
  Real new_diameter = run.scaled().sub_rim_diameter;
  design::Extrapolation<Real> e;
  dialog.ask(
      " Enter new outer diameter ",
      [&] { dialog.read("the new subreflector diameter", new_diameter); },
      [&] { return sentence_of(run.extrapolation_problem(new_diameter, e)); });
  s.plan.extrapolated_sub_diameter = static_cast<double>(new_diameter);
  run.extrapolate(new_diameter, e);
}

template <design::RealType Real>
void listing_stage(Session<Real>& s, Reflector which) {
  const design::Profile<Real> p = s.pipeline.profile(which);
  Dialog& dialog = s.dialog;
  Real& start = s.answers.list_start;
  Real& stop = s.answers.list_stop;
  Real& step = s.answers.list_step;
  dialog.end_open_line();
  s.pipeline.show_range(p);
  dialog.ask(
      " Enter start, stop, step ",
      [&] { dialog.read_range("the start, stop and step of the listing", start, stop, step); },
      [&] { return run::listing_problem(p, start, stop, step); });
  const writers::ListingRequest request{static_cast<double>(start), static_cast<double>(stop),
                                        static_cast<double>(step)};
  (which == Reflector::main ? s.plan.main_listing : s.plan.sub_listing) = request;
  s.pipeline.listing(which, p, request);
}

template <design::RealType Real>
void surface_file_stage(Session<Real>& s, Reflector which) {
  const design::Profile<Real> p = s.pipeline.profile(which);
  Dialog& dialog = s.dialog;
  io::OutFile file = create_answered_file(s, "the name of the surface file");
  int& points = s.answers.radius_points;
  dialog.ask(
      " Enter number of radius points ",
      [&] { dialog.read("the number of radius points", points); },
      [&] { return sentence_of(writers::surface_points_problem(points)); });
  dialog.ask(" Enter label ", [&] {
    s.answers.surface_label = dialog.read_text("the surface label", writers::kLabelWidth);
  });
  // The label is written in a field of its width; the plan keeps its text.
  const writers::SurfaceFileRequest request{file.name(), points,
                                            file_name(s.answers.surface_label)};
  (which == Reflector::main ? s.plan.main_surface : s.plan.sub_surface) = request;
  s.pipeline.surface_file(which, p, request, file);
}

template <design::RealType Real>
void object_file_stage(Session<Real>& s, Reflector which) {
  const design::Profile<Real> p = s.pipeline.profile(which);
  Dialog& dialog = s.dialog;
  io::OutFile file = create_answered_file(s, "the name of the object file");
  int& choice = s.answers.length_unit_choice;
  dialog.ask(
      " Enter length units: 1 in., 2 ft., 3 mm, 4 m ",
      [&] { dialog.read("the length unit", choice); },
      [&] { return sentence_of(writers::length_unit_problem(choice)); });
  int& points = s.answers.spline_points;
  dialog.ask(
      " Enter number of points in spline ",
      [&] { dialog.read("the number of points in the spline", points); },
      [&] { return sentence_of(writers::spline_points_problem(points)); });
  const writers::ObjectFileRequest request{file.name(), static_cast<writers::LengthUnit>(choice),
                                           points};
  (which == Reflector::main ? s.plan.main_object : s.plan.sub_object) = request;
  s.pipeline.object_file(which, p, request, file);
}

template <design::RealType Real>
void figure_stage(const design::RayTable<Real>& table, Session<Real>& s) {
  s.pipeline.take_table(table);
  figure_stage(s);
}

template <design::RealType Real>
design::ScaledDesign<Real> scaling_stage(const design::RayTable<Real>& table,
                                         const design::Design<Real>& d, Session<Real>& s) {
  s.pipeline.take_design(d);
  s.pipeline.take_table(table);
  scaling_stage(s);
  return s.pipeline.scaled();
}

template <design::RealType Real>
void listing_stage(const design::ScaledDesign<Real>& scaled, Session<Real>& s, Reflector which) {
  s.pipeline.take_scaled(scaled);
  listing_stage(s, which);
}

template <design::RealType Real>
void surface_file_stage(const design::ScaledDesign<Real>& scaled, Session<Real>& s, Reflector which) {
  s.pipeline.take_scaled(scaled);
  surface_file_stage(s, which);
}

template <design::RealType Real>
void object_file_stage(const design::ScaledDesign<Real>& scaled, Session<Real>& s, Reflector which) {
  s.pipeline.take_scaled(scaled);
  object_file_stage(s, which);
}

#define RAVOST_INSTANTIATE(Real)                                                             \
  template design::Design<Real> ask_design<Real>(Session<Real>&);                            \
  template void figure_stage<Real>(Session<Real>&);                                          \
  template void figure_stage<Real>(const design::RayTable<Real>&, Session<Real>&);           \
  template void scaling_stage<Real>(Session<Real>&);                                         \
  template design::ScaledDesign<Real> scaling_stage<Real>(                                   \
      const design::RayTable<Real>&, const design::Design<Real>&, Session<Real>&);           \
  template void listing_stage<Real>(Session<Real>&, Reflector);                              \
  template void listing_stage<Real>(const design::ScaledDesign<Real>&, Session<Real>&,       \
                                    Reflector);                                              \
  template void surface_file_stage<Real>(Session<Real>&, Reflector);                         \
  template void surface_file_stage<Real>(const design::ScaledDesign<Real>&, Session<Real>&,  \
                                         Reflector);                                         \
  template void object_file_stage<Real>(Session<Real>&, Reflector);                          \
  template void object_file_stage<Real>(const design::ScaledDesign<Real>&, Session<Real>&,   \
                                        Reflector);
RAVOST_INSTANTIATE(float)
RAVOST_INSTANTIATE(double)
#undef RAVOST_INSTANTIATE

}  // namespace dialog
