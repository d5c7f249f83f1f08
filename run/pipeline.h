// The run of one design, as one value: every stage's result (the design,
// the synthesis, the scaled design, the report's figures, the files written
// and the diagnostics) kept in a RunResult that the stages fill in order.
//
// run_design() runs a design and its output plan from start to end; the
// console dialog, which asks its questions between the stages, drives the
// same stages one by one through a Pipeline.  Without a console the run
// writes no file and prints nothing: sweeps, the optimiser and callers that
// want only the figures use it that way.
#pragma once

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "analysis/analysis.h"
#include "design/check.h"
#include "design/choices.h"
#include "design/scaled.h"
#include "diag/diagnostic.h"
#include "run/context.h"
#include "writers/output_plan.h"

namespace run {

struct RunOptions {
  // The reals of the run whatever the design names (--double), or the
  // design's own.
  std::optional<design::Precision> precision;
  // The design report in place of the plan's (--report).
  std::optional<writers::ReportRequest> report;
  // Compute the report's figures even when no report is to be written
  // (sweeps and the optimiser judge a design by them), with this wavelength
  // (0: the report's assumed D/lambda).
  bool report_figures = false;
  double wavelength = 0;
  // With those figures, the physical optics of the design (a plan's report
  // request says so itself); with figures_only, its figures alone (see
  // analysis::Options::po_figures_only), on this many threads (0: the
  // machine's).
  bool physical_optics = false;
  bool physical_optics_figures_only = false;
  int physical_optics_threads = 0;
  // With those figures, the loss of a random surface error of this RMS (in
  // the unit of the diameter; a plan's report request says so itself).
  double surface_rms = 0;
  // Trace the written profiles beside the design's own in the report.
  bool compare_written = true;
  // Where progress of long work is shown (a terminal's error stream), or
  // nothing; only a run with a console shows it.
  std::ostream* progress = nullptr;
  // Asked now and then during the synthesis and the report; true ends the
  // run with run::Stopped (a caller's Ctrl-C).  May be empty.
  std::function<bool()> stop;
  // The Taylor series built so far, shared by the runs given the same cache
  // (a sweep's designs share their distribution); none: each run builds its own.
  std::shared_ptr<design::SeriesCache> series;
};

// Which stage a run reached last, in the order they run.
enum class Stage { none, checked, designed, synthesised, figure, scaled, extrapolated, listings, files, report };

// The stages' results in the reals of the design.
template <design::RealType Real>
struct Made {
  std::optional<design::Design<Real>> design;
  std::optional<design::Synthesis<Real>> synthesis;  // the ray table and its summary
  std::optional<design::ScaledDesign<Real>> scaled;  // with the extrapolation when asked
  std::optional<design::Extrapolation<Real>> extrapolation;
};

struct RunResult {
  design::DesignSpec spec;
  writers::OutputPlan plan;
  std::variant<Made<float>, Made<double>> made;
  // What the report is told about the design, and its figures (with the
  // physical optics in report->physical_optics when asked).
  std::optional<analysis::DesignInput> report_input;
  std::optional<analysis::Report> report;
  // The files the run wrote, by the names the plan gives them, in order
  // (the report by its folder).
  std::vector<std::string> files;
  // Every warning the stages gave and the errors that ended the run, in
  // the order given.
  std::vector<diag::Diagnostic> diagnostics;
  Stage reached = Stage::none;
  // The stage that could not go on, or Stage::none.
  Stage failed = Stage::none;

  bool ok() const { return failed == Stage::none; }
  bool double_precision() const { return made.index() == 1; }
  template <design::RealType Real>
  Made<Real>& in() { return std::get<Made<Real>>(made); }
  template <design::RealType Real>
  const Made<Real>& in() const { return std::get<Made<Real>>(made); }
  // The synthesis summary, when the synthesis ran.
  const design::SynthesisSummary* summary() const;
};

// The stages of one run in the reals `Real`, each filling its part of the
// result.  A stage that cannot go on records why and throws (io::RunError
// with the report the console shows); `result().failed` names it.
template <design::RealType Real>
class Pipeline {
 public:
  explicit Pipeline(Context& c, RunOptions options = {});

  RunResult& result() { return result_; }
  const RunResult& result() const { return result_; }
  Made<Real>& made() { return result_.in<Real>(); }
  const RunOptions& options() const { return options_; }
  RunOptions& options() { return options_; }

  // Validates the choices (every problem a diagnostic), makes the design and
  // lists it whole.
  void design(const design::DesignSpec& spec);
  // A design made and listed by the caller (the dialog, block by block).
  void take_design(design::Design<Real> d);
  // Synthesises the design taken, prints the ray table and checks it.
  void synthesise();
  // A ray table made elsewhere, in place of the synthesis.
  void take_table(design::RayTable<Real> table);
  // The dual reflector figure into an opened plot file (closed after), or
  // into the file of that name.
  void figure(io::OutFile& file);
  void figure(const std::string& name);
  // What is wrong with scaling to `diameter`, or nothing.
  std::string scaling_problem(Real diameter) const;
  // What is wrong with the feed's axial offset for the synthesised
  // surfaces at this diameter (empty: nothing).
  std::string feed_offset_problem(double diameter) const;
  // The design scaled to `diameter` and printed; a diameter with a problem
  // ends the run.
  void scale(Real diameter);
  // A scaled design made elsewhere.
  void take_scaled(design::ScaledDesign<Real> scaled);
  // What is wrong with extrapolating the subreflector to `to`, or nothing;
  // `e` receives the extrapolation.
  std::optional<design::Problem> extrapolation_problem(Real to, design::Extrapolation<Real>& e);
  // The subreflector extended to `to` as `e` says, printed.
  void extrapolate(Real to, const design::Extrapolation<Real>& e);
  // The subreflector extended to `to`; a diameter it cannot reach ends the run.
  void extrapolate(Real to);
  // The profile of one reflector of the scaled design.
  design::Profile<Real> profile(design::Reflector which) const;
  // A dimension listing of a profile: the range line (shown before a
  // request is asked), then the listing; a request with a problem ends the
  // run.
  void show_range(const design::Profile<Real>& p);
  void listing(design::Reflector which, const design::Profile<Real>& p, const writers::ListingRequest& request);
  // A surface or object file of one reflector's profile, into an opened file
  // (closed after) or the file the request names.
  void surface_file(design::Reflector which, const design::Profile<Real>& p,
                    const writers::SurfaceFileRequest& request, io::OutFile& file);
  void surface_file(design::Reflector which, const writers::SurfaceFileRequest& request);
  void object_file(design::Reflector which, const design::Profile<Real>& p,
                   const writers::ObjectFileRequest& request, io::OutFile& file);
  void object_file(design::Reflector which, const writers::ObjectFileRequest& request);
  // The report's figures and, given a request, the report's folder (not in
  // a dry run).
  void report(const std::optional<writers::ReportRequest>& request);

  // Every stage the plan asks for, in order, after `design`.
  void run_plan(const writers::OutputPlan& plan);

  // Moves the warnings the stages gave (Context::warnings) into the
  // result's diagnostics; each stage does so when it ends.
  void take_warnings();

  const design::Design<Real>& the_design() const { return *result_.in<Real>().design; }
  const design::RayTable<Real>& table() const { return result_.in<Real>().synthesis->table; }
  const design::ScaledDesign<Real>& scaled() const { return *result_.in<Real>().scaled; }

 private:
  // Each stage's end: its warnings kept, and what it put in the listing on
  // disk, so that a run killed later (a hard time limit, the OOM killer)
  // leaves the listing of every stage it finished.
  void reached(Stage s) {
    take_warnings();
    result_.reached = s;
    c_.listing.flush();
  }
  // A file of the run, unless a dry run sent it to /dev/null.
  void wrote(const std::string& name) {
    if (!c_.dry) result_.files.push_back(name);
  }
  // Records that stage `s` cannot go on, with `d` when it says why.
  void fail(Stage s, std::optional<diag::Diagnostic> d = std::nullopt);

  Context& c_;
  RunOptions options_;
  RunResult result_;
};

// Runs a design and its output plan from start to end on the console and
// listing of `c`: the front end of design files.  A stage that cannot go on
// ends the run as it reports (io::RunError), and `so_far` (when given)
// receives the result up to there, with the diagnostics gathered.
RunResult run_design(const design::DesignSpec& spec, const writers::OutputPlan& plan,
                     const RunOptions& options, Context& c, RunResult* so_far = nullptr);

// The same run without a console: nothing printed, no file written, nothing
// thrown for a design that cannot be made; the result says how far it got
// and why it stopped.  Safe to call on many threads at once.
RunResult run_design(const design::DesignSpec& spec, const writers::OutputPlan& plan,
                     const RunOptions& options);

// A design made, synthesised and scaled to `diameter` with no console and no
// file, with what the report is told about it (report_input): the one
// set-up of tests, benchmarks and callers that want the values alone.  A
// design that cannot be made throws diag::Failure with the run's
// diagnostics.
RunResult make_scaled(const design::DesignSpec& spec, double diameter, const RunOptions& options = {});

}  // namespace run
