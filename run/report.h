// What the design report is told about a design: its written profiles, its
// integration steps, its feed and its inputs for the page.
#pragma once

#include <optional>

#include "analysis/analysis.h"
#include "design/choices.h"
#include "design/scaled.h"
#include "design/synthesis.h"
#include "run/context.h"
#include "writers/output_plan.h"

namespace run {

template <design::RealType Real>
analysis::DesignInput report_input(const design::Design<Real>& in, const design::RayTable<Real>& table,
                                   const design::ScaledDesign<Real>& scaled);

// What is wrong with where the design file puts the feed's phase centre
// (feed.phase_centre), or nothing: the horn's reference point behind the
// main reflector's vertex.  `diameter` the scaled design's, `wavelength` in
// its unit (0: the report's assumed D/lambda).
template <design::RealType Real>
std::optional<diag::Diagnostic> phase_centre_problem(const design::Design<Real>& in,
                                                     const design::RayTable<Real>& table, double diameter,
                                                     double wavelength);

// The report's figures of `d`, with progress shown, and the report's folder
// written whole as `request` asks (its wavelength and physical optics take
// the place of those of `options`).  A design the analysis cannot take ends
// the run with a report.
analysis::Report write_report(Context& c, const analysis::DesignInput& d, analysis::Options options,
                              const writers::ReportRequest& request);

}  // namespace run
