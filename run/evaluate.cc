#include "run/evaluate.h"

#include <cmath>
#include <exception>
#include <limits>

#include "analysis/analysis.h"
#include "design/check.h"
#include "design/scaled.h"
#include "fields/prose.h"
#include "io/files.h"
#include "run/messages.h"
#include "run/report.h"

namespace run {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

Evaluation not_ok(const char* status, std::string reason) {
  Evaluation e;
  e.status = status;
  e.reason = std::move(reason);
  e.figures.fill(kNaN);
  return e;
}

}  // namespace

int figure_index(std::string_view name) {
  for (std::size_t i = 0; i < kFigureNames.size(); ++i)
    if (kFigureNames[i] == name) return static_cast<int>(i);
  return -1;
}

double Evaluation::figure(std::string_view name) const {
  const int i = figure_index(name);
  return i < 0 || !ok() ? kNaN : figures[static_cast<std::size_t>(i)];
}

namespace {

// A design made, synthesised, self-checked and scaled in 64-bit reals, or
// the status and sentence of why not.
struct Made {
  std::optional<design::Design<double>> design;
  design::Synthesis<double> synthesis;
  std::optional<design::ScaledDesign<double>> scaled;
  const char* status = "ok";
  std::string reason;
};

Made make(design::DesignSpec choices, const EvaluationOptions& options) {
  Made m;
  choices.precision = design::Precision::double_;
  if (const std::vector<design::Problem> problems = design::validate(choices); !problems.empty()) {
    m.status = "refused";
    m.reason = sentence(problems.front());
    return m;
  }
  m.design = design::make_design<double>(choices, options.series.get());
  m.synthesis = design::synthesise_and_check(*m.design);
  m.status = "failed";
  if (m.synthesis.summary.broken_ray) {
    m.reason = "the surfaces stop being finite at ray " + std::to_string(*m.synthesis.summary.broken_ray) + ".";
    return m;
  }
  if (!m.synthesis.summary.sound()) {
    m.reason = "the ray table fails its self-check (the path length strays).";
    return m;
  }
  m.scaled = design::scale(m.synthesis.table, options.diameter, m.design->main_inner_radius);
  if (options.extrapolated_sub_diameter) {
    const double to = *options.extrapolated_sub_diameter;
    const design::Extrapolation<double> e = design::extrapolation(*m.scaled, to, {});
    if (e.problem != design::Extrapolation<double>::Problem::none) {
      m.status = "refused";
      m.reason = "the subreflector cannot be extrapolated to a diameter of " + fields::number(to) +
                 (e.problem == design::Extrapolation<double>::Problem::not_beyond_rim
                      ? ": it is " + fields::number(m.scaled->sub_rim_diameter) + " across already."
                      : ": that is too far beyond its rim.");
      m.scaled.reset();
      return m;
    }
    design::extend_sub(*m.scaled, to, e);
  }
  m.status = "ok";
  return m;
}

analysis::Options report_options(const EvaluationOptions& options) {
  analysis::Options o;
  o.wavelength = options.wavelength;
  return o;
}

}  // namespace

Evaluation evaluate(design::DesignSpec choices, const EvaluationOptions& options) {
  try {
    const Made m = make(std::move(choices), options);
    if (!m.scaled) return not_ok(m.status, m.reason);
    analysis::Options o = report_options(options);
    // The design's own figures; the written surfaces' column is the
    // report's alone.
    o.compare_written = false;
    const analysis::Report r = analysis::analyse(report_input(*m.design, m.synthesis.table, *m.scaled), o);
    Evaluation e;
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
                 static_cast<double>(m.scaled->sub_rim_diameter)};
    for (double v : e.figures)
      if (!std::isfinite(v)) return not_ok("failed", "a figure of the design is not a number.");
    return e;
  } catch (const std::exception& ex) {
    return not_ok("failed", std::string("the design cannot be traced: ") + ex.what());
  }
}

void write_design_report(design::DesignSpec choices, const EvaluationOptions& options,
                         const std::filesystem::path& dir) {
  const Made m = make(std::move(choices), options);
  if (!m.scaled) throw io::RunError(io::error_text("the design cannot be reported: " + m.reason));
  const analysis::DesignInput input = report_input(*m.design, m.synthesis.table, *m.scaled);
  analysis::write_report(analysis::analyse(input, report_options(options)), input, dir);
}

}  // namespace run
