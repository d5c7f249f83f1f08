#include "run/evaluate.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>

#include "analysis/analysis.h"
#include "diag/diagnostic.h"
#include "io/files.h"
#include "run/pipeline.h"

namespace run {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

Evaluation not_ok(const char* status, std::string reason, bool physical_optics) {
  Evaluation e;
  e.status = status;
  e.reason = std::move(reason);
  e.figures.fill(kNaN);
  e.physical_optics = physical_optics;
  return e;
}

}  // namespace

int figure_index(std::string_view name) {
  for (std::size_t i = 0; i < kFigureNames.size(); ++i)
    if (kFigureNames[i] == name) return static_cast<int>(i);
  return -1;
}

bool is_physical_optics_figure(std::string_view name) {
  const int i = figure_index(name);
  return i >= static_cast<int>(kPhysicalOpticsFigures);
}

std::vector<std::string_view> figure_names(bool physical_optics) {
  return {kFigureNames.begin(), physical_optics ? kFigureNames.end() : kFigureNames.begin() + kPhysicalOpticsFigures};
}

double Evaluation::figure(std::string_view name) const {
  const int i = figure_index(name);
  return i < 0 || !designed() ? kNaN : figures[static_cast<std::size_t>(i)];
}

namespace {

// The run of one design without a console, in 64-bit reals, to the scaled
// design and its optional extrapolation; `o` asks for the report's
// figures, or its folder.
RunResult run_alone(const design::DesignSpec& choices, const EvaluationOptions& options, RunOptions o) {
  writers::OutputPlan plan;
  plan.diameter = options.diameter;
  plan.extrapolated_sub_diameter = options.extrapolated_sub_diameter;
  o.precision = design::Precision::double_;
  o.series = options.series;
  o.stop = options.stop;
  return run_design(choices, plan, o);
}

// Inputs that make no design are refused; a design that breaks down, fails
// its check or cannot be traced has failed.
const char* status_of(const RunResult& r) {
  switch (r.failed) {
    case Stage::checked:
    case Stage::scaled:
    case Stage::extrapolated:
      return "refused";
    default:
      return "failed";
  }
}

// Why a synthesis gave no design, in one sentence (a sweep's row says it
// without the advice the run's report gives), or empty when its summary
// does not say.
std::string synthesis_failure(const RunResult& r) {
  const design::SynthesisSummary* s = r.summary();
  if (r.failed != Stage::synthesised || !s) return {};
  if (s->broken_ray) return "the surfaces stop being finite at ray " + std::to_string(*s->broken_ray) + ".";
  if (s->check.fault != design::RayTableCheck::Fault::none) {
    return "the ray table fails its self-check (the path length strays).";
  }
  return {};
}

// The sentence of the error that ended the run, with its key when it has one.
std::string reason_of(const RunResult& r) {
  if (std::string failure = synthesis_failure(r); !failure.empty()) return failure;
  for (const diag::Diagnostic& d : r.diagnostics) {
    if (!d.is_error()) continue;
    // A refused choice is named by its sentence alone, as sweeps have
    // always tabulated it.
    if (d.key.empty() || r.failed == Stage::checked) return d.message;
    return d.key + ": " + diag::sentence_case(d.message);
  }
  return {};
}

}  // namespace

Evaluation evaluate(design::DesignSpec choices, const EvaluationOptions& options) {
  try {
    RunOptions o;
    o.report_figures = true;
    o.wavelength = options.wavelength;
    o.surface_rms = options.surface_rms;
    o.physical_optics = options.physical_optics;
    o.physical_optics_figures_only = true;
    o.physical_optics_threads = options.physical_optics_threads;
    // The design's own figures; the written surfaces' column is the
    // report's alone.
    o.compare_written = false;
    const RunResult run = run_alone(choices, options, o);
    if (!run.ok()) return not_ok(status_of(run), reason_of(run), options.physical_optics);
    const analysis::Report& r = *run.report;
    Evaluation e;
    e.physical_optics = options.physical_optics;
    e.figures = {r.directivity_dbi,
                 r.efficiency.total,
                 r.efficiency.spillover,
                 r.efficiency.illumination,
                 r.efficiency.blockage,
                 r.efficiency.phase,
                 r.delivered.hpbw_deg,
                 r.delivered.first_null_deg,
                 r.delivered.first_sidelobe_db,
                 r.path_error_pp_wavelengths,
                 r.feed_edge_taper_db,
                 static_cast<double>(run.in<double>().scaled->sub_rim_diameter),
                 r.efficiency.surface,
                 kNaN, kNaN, kNaN, kNaN, kNaN, kNaN};
    for (std::size_t i = 0; i < kPhysicalOpticsFigures; ++i)
      if (!std::isfinite(e.figures[i])) return not_ok("failed", "a figure of the design is not a number.", options.physical_optics);
    if (options.physical_optics) {
      if (!r.physical_optics) return not_ok("failed", "the physical optics of the design is missing.", true);
      // The report's own figures, null levels as NaN.
      const analysis::PhysicalOpticsFigures po = analysis::figures_of(*r.physical_optics);
      const double values[] = {po.directivity_dbi, po.first_sidelobe_db.value_or(kNaN), po.cross_polar_peak_db.value_or(kNaN),
                               po.hpbw_deg,        po.spillover_past_sub,                 po.spillover_past_main};
      std::copy(std::begin(values), std::end(values), e.figures.begin() + kPhysicalOpticsFigures);
      // A level that does not exist is NaN; any other figure must be a number.
      for (double v : {po.directivity_dbi, po.hpbw_deg, po.spillover_past_sub, po.spillover_past_main})
        if (!std::isfinite(v)) return not_ok("failed", "a physical-optics figure of the design is not a number.", true);
    }
    for (const diag::Diagnostic& d : run.diagnostics) {
      if (d.is_error()) continue;
      e.warnings.push_back(d.key.empty() ? d.message : d.key + ": " + diag::sentence_case(d.message));
      if (d.changes_figures) e.status = "warned";
    }
    return e;
  } catch (const Stopped&) {
    throw;  // the caller's stop: no figures, and no failure either
  } catch (const std::exception& ex) {
    return not_ok("failed", std::string("the design cannot be traced: ") + ex.what(), options.physical_optics);
  }
}

void write_design_report(design::DesignSpec choices, const EvaluationOptions& options,
                         const std::filesystem::path& dir) {
  RunOptions o;
  o.report = writers::ReportRequest{dir, options.wavelength, options.physical_optics};
  o.report->surface_rms = options.surface_rms;
  const RunResult run = run_alone(choices, options, o);
  if (!run.ok()) throw io::RunError(diag::error("the design cannot be reported: " + reason_of(run)));
}

}  // namespace run
