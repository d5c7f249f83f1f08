#include "run/pipeline.h"

#include "io/interrupt.h"

#include <cmath>
#include <exception>
#include <string>
#include <type_traits>
#include <utility>

#include "fields/prose.h"
#include "io/files.h"
#include "io/interrupt.h"
#include "run/messages.h"
#include "run/report.h"
#include "run/stages.h"

namespace run {
namespace {

using design::Reflector;

// A file of the plan, opened or the run ends with what is wrong.
void open_or_fail(Context& c, io::OutFile& file, const std::string& name) {
  if (c.in_use(name)) {
    throw RunError(diag::error("the file \"" + name +
                               "\" is the listing or the answer file of this run; give another name."));
  }
  if (std::string problem = c.open(file, name); !problem.empty()) {
    throw RunError(diag::error(problem));
  }
}

const char* listing_key(Reflector which) { return which == Reflector::main ? "listing.main" : "listing.sub"; }

// The length unit of the diameter: the plan's own (a design file's [scale]
// unit), else as the plan's object files name it (they are written in it),
// or "" when they do not or disagree.
std::string length_unit(const writers::OutputPlan& plan) {
  const auto symbol = [](writers::LengthUnit unit) -> std::string {
    switch (unit) {
      case writers::LengthUnit::inch: return "in";
      case writers::LengthUnit::foot: return "ft";
      case writers::LengthUnit::millimetre: return "mm";
      case writers::LengthUnit::metre: return "m";
    }
    return {};
  };
  if (plan.unit) return symbol(*plan.unit);
  const std::string main = plan.main_object ? symbol(plan.main_object->unit) : std::string();
  const std::string sub = plan.sub_object ? symbol(plan.sub_object->unit) : std::string();
  if (!main.empty() && !sub.empty() && main != sub) return {};
  return main.empty() ? sub : main;
}

}  // namespace

const design::SynthesisSummary* RunResult::summary() const {
  return std::visit(
      [](const auto& m) -> const design::SynthesisSummary* { return m.synthesis ? &m.synthesis->summary : nullptr; },
      made);
}

template <design::RealType Real>
Pipeline<Real>::Pipeline(Context& c, RunOptions options) : c_(c), options_(std::move(options)) {
  result_.made = Made<Real>{};
  result_.spec.precision = std::is_same_v<Real, double> ? design::Precision::double_ : design::Precision::single;
}

template <design::RealType Real>
void Pipeline<Real>::take_warnings() {
  for (diag::Diagnostic& w : c_.warnings) result_.diagnostics.push_back(std::move(w));
  c_.warnings.clear();
}

template <design::RealType Real>
void Pipeline<Real>::fail(Stage s, std::optional<diag::Diagnostic> d) {
  take_warnings();  // a stage's warnings come before the error that ended it
  result_.failed = s;
  if (d) result_.diagnostics.push_back(std::move(*d));
}

template <design::RealType Real>
void Pipeline<Real>::design(const design::DesignSpec& spec) {
  result_.spec = spec;
  result_.spec.precision = std::is_same_v<Real, double> ? design::Precision::double_ : design::Precision::single;
  const std::vector<design::Problem> problems = design::validate(result_.spec);
  if (!problems.empty()) {
    for (const design::Problem& p : problems) {
      diag::Diagnostic d = diagnose(p);
      d.key = design::key_of(p);
      result_.diagnostics.push_back(std::move(d));
    }
    result_.failed = Stage::checked;
    throw RunError(result_.diagnostics);
  }
  reached(Stage::checked);
  design::Design<Real> d = design::make_design<Real>(result_.spec, options_.series.get());
  list_design(c_, d);
  made().design = std::move(d);
  reached(Stage::designed);
}

template <design::RealType Real>
void Pipeline<Real>::take_design(design::Design<Real> d) {
  result_.spec = d.choices;
  made().design = std::move(d);
  reached(Stage::designed);
}

template <design::RealType Real>
void Pipeline<Real>::synthesise() {
  Made<Real>& m = made();
  m.synthesis.emplace();
  try {
    run::synthesise(c_, *m.design, *m.synthesis);
  } catch (const Stopped&) {
    throw;  // the caller's stop, not the design's failure
  } catch (const RunError& e) {
    // The report the console shows, with its advice.
    fail(Stage::synthesised);
    for (const diag::Diagnostic& d : e.diagnostics()) result_.diagnostics.push_back(d);
    throw;
  } catch (const std::exception& e) {
    fail(Stage::synthesised, diag::error(std::string("the synthesis cannot go on: ") + e.what()));
    throw;
  }
  reached(Stage::synthesised);
}

template <design::RealType Real>
void Pipeline<Real>::take_table(design::RayTable<Real> table) {
  made().synthesis.emplace();
  made().synthesis->table = std::move(table);
  reached(Stage::synthesised);
}

template <design::RealType Real>
void Pipeline<Real>::figure(io::OutFile& file) {
  result_.plan.figure_file = file.name();
  wrote(file.name());
  write_figure(c_, table(), file);
  reached(Stage::figure);
}

template <design::RealType Real>
void Pipeline<Real>::figure(const std::string& name) {
  io::OutFile file;
  open_or_fail(c_, file, name);
  figure(file);
}

template <design::RealType Real>
std::string Pipeline<Real>::scaling_problem(Real diameter) const {
  return design::scaling_problem(table(), diameter, the_design().main_inner_radius);
}

// The displaced feed must stay between the reflectors on the axis: in front
// of the main reflector's innermost point (its hole rim, where it lies
// lowest) and short of the subreflector's vertex.  The steps are about the
// design's phase centre: the first at the subreflector's rim and the main
// reflector's hole rim, the last next to the subreflector's vertex.
template <design::RealType Real>
std::string Pipeline<Real>::feed_offset_problem(double diameter) const {
  const double offset = result_.spec.feed.axial_offset;
  const auto& steps = table().step_points;
  if (offset == 0.0 || !(diameter > 0) || steps.empty()) return {};
  const double to_d = 0.5 * diameter;
  const double main_z = static_cast<double>(steps.front().main_z) * to_d;
  const design::StepPoint<Real>& v = steps.back();
  const double vertex_z = static_cast<double>(v.sub_distance) * std::cos(static_cast<double>(v.feed_angle)) * to_d;
  if (!(offset > main_z))
    return "The offset puts the feed's phase centre behind the main reflector, whose hole rim lies " +
           fields::number(-main_z, 6) + " below the feed point; it must be greater than " + fields::number(main_z, 6) + ".";
  if (!(offset < vertex_z))
    return "The offset puts the feed's phase centre through the subreflector, whose vertex lies " +
           fields::number(vertex_z, 6) + " above the feed point; it must be less than " + fields::number(vertex_z, 6) + ".";
  return {};
}

template <design::RealType Real>
void Pipeline<Real>::scale(Real diameter) {
  if (std::string problem = scaling_problem(diameter); !problem.empty()) {
    const diag::Diagnostic d = diag::error(problem, "scale.diameter");
    fail(Stage::scaled, d);
    throw RunError(d);
  }
  result_.plan.diameter = static_cast<double>(diameter);
  made().scaled = run::scale(c_, table(), the_design(), diameter);
  reached(Stage::scaled);
}

template <design::RealType Real>
void Pipeline<Real>::take_scaled(design::ScaledDesign<Real> scaled) {
  result_.plan.diameter = static_cast<double>(scaled.main_diameter);
  made().scaled = std::move(scaled);
  reached(Stage::scaled);
}

template <design::RealType Real>
std::optional<design::Problem> Pipeline<Real>::extrapolation_problem(Real to, design::Extrapolation<Real>& e) {
  return run::extrapolation_problem(c_, scaled(), to, e);
}

template <design::RealType Real>
void Pipeline<Real>::extrapolate(Real to, const design::Extrapolation<Real>& e) {
  result_.plan.extrapolated_sub_diameter = static_cast<double>(to);
  made().extrapolation = e;
  run::extrapolate(c_, *made().scaled, to, e);
  reached(Stage::extrapolated);
}

template <design::RealType Real>
void Pipeline<Real>::extrapolate(Real to) {
  design::Extrapolation<Real> e;
  if (auto problem = extrapolation_problem(to, e)) {
    diag::Diagnostic d = diagnose(*problem);
    d.key = "scale.extrapolate_sub_diameter";
    fail(Stage::extrapolated, d);
    throw RunError(d);
  }
  extrapolate(to, e);
}

template <design::RealType Real>
design::Profile<Real> Pipeline<Real>::profile(Reflector which) const {
  return scaled().profile(which, c_.console.pause);
}

template <design::RealType Real>
void Pipeline<Real>::show_range(const design::Profile<Real>& p) {
  show_radius_range(c_, p);
}

template <design::RealType Real>
void Pipeline<Real>::listing(Reflector which, const design::Profile<Real>& p,
                             const writers::ListingRequest& request) {
  const Real start = static_cast<Real>(request.start);
  const Real stop = static_cast<Real>(request.stop);
  const Real step = static_cast<Real>(request.step);
  if (std::string problem = listing_problem(p, start, stop, step); !problem.empty()) {
    const diag::Diagnostic d = diag::error(problem, listing_key(which));
    fail(Stage::listings, d);
    throw RunError(d);
  }
  (which == Reflector::main ? result_.plan.main_listing : result_.plan.sub_listing) = request;
  write_listing(c_, scaled(), p, which, start, stop, step);
  reached(Stage::listings);
}

template <design::RealType Real>
void Pipeline<Real>::surface_file(Reflector which, const design::Profile<Real>& p,
                                  const writers::SurfaceFileRequest& request, io::OutFile& file) {
  (which == Reflector::main ? result_.plan.main_surface : result_.plan.sub_surface) = request;
  wrote(request.file);
  write_surface_file(p, request, file);
  reached(Stage::files);
}

template <design::RealType Real>
void Pipeline<Real>::surface_file(Reflector which, const writers::SurfaceFileRequest& request) {
  const design::Profile<Real> p = profile(which);
  io::OutFile file;
  open_or_fail(c_, file, request.file);
  surface_file(which, p, request, file);
}

template <design::RealType Real>
void Pipeline<Real>::object_file(Reflector which, const design::Profile<Real>& p,
                                 const writers::ObjectFileRequest& request, io::OutFile& file) {
  (which == Reflector::main ? result_.plan.main_object : result_.plan.sub_object) = request;
  wrote(request.file);
  write_object_file(p, which, request, file);
  reached(Stage::files);
}

template <design::RealType Real>
void Pipeline<Real>::object_file(Reflector which, const writers::ObjectFileRequest& request) {
  const design::Profile<Real> p = profile(which);
  io::OutFile file;
  open_or_fail(c_, file, request.file);
  object_file(which, p, request, file);
}

template <design::RealType Real>
void Pipeline<Real>::report(const std::optional<writers::ReportRequest>& request) {
  result_.plan.report = request;
  const bool write = request && !c_.dry;
  if (!write && !options_.report_figures) return;
  const Made<Real>& m = made();
  result_.report_input = report_input(*m.design, m.synthesis->table, *m.scaled);
  result_.report_input->length_unit = length_unit(result_.plan);
  if (request && request->frequency) result_.report_input->frequency_hz = *request->frequency;
  analysis::Options o;
  o.compare_written = options_.compare_written;
  if (write) {
    result_.report = write_report(c_, *result_.report_input, o, *request);
    wrote(request->dir.string());
  } else {
    o.wavelength = options_.wavelength;
    o.physical_optics = options_.physical_optics;
    o.po_figures_only = options_.physical_optics_figures_only;
    o.po_sampling.threads = options_.physical_optics_threads;
    o.surface_rms = options_.surface_rms;
    if (request) {
      o.wavelength = request->wavelength;
      o.physical_optics = request->physical_optics;
      o.surface_rms = request->surface_rms;
    }
    o.check = [this] {
      if (c_.interruptible) io::check_interrupt();
      if (c_.stop && c_.stop()) throw Stopped();
    };
    try {
      result_.report = analysis::analyse(*result_.report_input, o);
    } catch (const Stopped&) {
      throw;
    } catch (const io::Interrupted&) {
      throw;
    } catch (const std::exception& e) {
      fail(Stage::report, diag::error(std::string("the design cannot be traced: ") + e.what()));
      throw;
    }
  }
  reached(Stage::report);
}

template <design::RealType Real>
void Pipeline<Real>::run_plan(const writers::OutputPlan& plan) {
  synthesise();
  // The horn's place follows from the synthesis; refused before any file.
  const std::optional<writers::ReportRequest>& request = options_.report ? options_.report : plan.report;
  if (auto problem = phase_centre_problem(*made().design, made().synthesis->table, plan.diameter,
                                          request ? request->wavelength : options_.wavelength)) {
    fail(Stage::synthesised, *problem);
    throw RunError(*problem);
  }
  if (std::string problem = feed_offset_problem(plan.diameter); !problem.empty()) {
    // Like a diameter the design cannot take: the inputs' fault, named by its key.
    const diag::Diagnostic d = diag::error(problem, "feed.axial_offset");
    fail(Stage::scaled, d);
    throw RunError(d);
  }
  if (plan.figure_file) figure(*plan.figure_file);
  scale(static_cast<Real>(plan.diameter));
  if (plan.extrapolated_sub_diameter) extrapolate(static_cast<Real>(*plan.extrapolated_sub_diameter));
  const std::pair<const std::optional<writers::ListingRequest>*, Reflector> listings[] = {
      {&plan.main_listing, Reflector::main}, {&plan.sub_listing, Reflector::sub}};
  for (const auto& [request, which] : listings) {
    if (!*request) continue;
    const design::Profile<Real> p = profile(which);
    show_range(p);
    listing(which, p, **request);
  }
  const std::pair<const std::optional<writers::SurfaceFileRequest>*, Reflector> surfaces[] = {
      {&plan.main_surface, Reflector::main}, {&plan.sub_surface, Reflector::sub}};
  for (const auto& [request, which] : surfaces) {
    if (*request) surface_file(which, **request);
  }
  const std::pair<const std::optional<writers::ObjectFileRequest>*, Reflector> objects[] = {
      {&plan.main_object, Reflector::main}, {&plan.sub_object, Reflector::sub}};
  for (const auto& [request, which] : objects) {
    if (*request) object_file(which, **request);
  }
  report(options_.report ? options_.report : plan.report);
}

template class Pipeline<float>;
template class Pipeline<double>;

namespace {

// Runs every stage.  A failure a stage recorded is kept in the result when
// `keep_failure` is set (the run without a console); any other goes on to
// the caller, with the result so far in `so_far` when given.
template <design::RealType Real>
RunResult run_in(const design::DesignSpec& spec, const writers::OutputPlan& plan, const RunOptions& options,
                 Context& c, bool keep_failure, RunResult* so_far) {
  Pipeline<Real> p(c, options);
  try {
    p.design(spec);
    p.run_plan(plan);
  } catch (const std::exception&) {
    p.take_warnings();
    if (!keep_failure || p.result().failed == Stage::none) {
      if (so_far) *so_far = std::move(p.result());
      throw;
    }
  }
  p.take_warnings();
  return std::move(p.result());
}

bool use_double(const design::DesignSpec& spec, const RunOptions& options) {
  return options.precision.value_or(spec.precision) == design::Precision::double_;
}

}  // namespace

RunResult run_design(const design::DesignSpec& spec, const writers::OutputPlan& plan, const RunOptions& options,
                     Context& c, RunResult* so_far) {
  if (options.progress) c.console.progress = options.progress;
  if (options.stop) c.stop = options.stop;
  return use_double(spec, options) ? run_in<double>(spec, plan, options, c, false, so_far)
                                   : run_in<float>(spec, plan, options, c, false, so_far);
}

RunResult run_design(const design::DesignSpec& spec, const writers::OutputPlan& plan, const RunOptions& options) {
  // No console, no listing (an unopened file takes its lines and keeps
  // nothing), no pause, no signal stops it; the plan's files are left out,
  // and the report's folder is written only when the options ask for one.
  io::OutFile no_listing;
  const auto nothing = [](std::string_view) {};
  Context c{Console{nothing, {}, {}}, no_listing, {}};
  c.dry = !options.report;
  c.interruptible = false;
  c.stop = options.stop;
  writers::OutputPlan quiet = plan;
  quiet.figure_file.reset();
  quiet.main_surface.reset();
  quiet.sub_surface.reset();
  quiet.main_object.reset();
  quiet.sub_object.reset();
  return use_double(spec, options) ? run_in<double>(spec, quiet, options, c, true, nullptr)
                                   : run_in<float>(spec, quiet, options, c, true, nullptr);
}

RunResult make_scaled(const design::DesignSpec& spec, double diameter, const RunOptions& options) {
  writers::OutputPlan plan;
  plan.diameter = diameter;
  RunResult r = run_design(spec, plan, options);
  if (!r.ok()) throw diag::Failure(r.diagnostics);
  if (!r.report_input) {
    std::visit([&r](const auto& m) { r.report_input = report_input(*m.design, m.synthesis->table, *m.scaled); },
               r.made);
  }
  return r;
}

}  // namespace run
