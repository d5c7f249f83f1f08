// The design report at the end of a normal run: the design as it stands after
// all stages handed to the analysis, its files written into the folder asked
// for on the command line.
#pragma once

#include <filesystem>

#include "design/inputs.h"
#include "design/scaled.h"

namespace dialog {

struct ReportRequest {
  std::filesystem::path dir;
  double wavelength = 0.0;  // in the unit of the diameter; 0: D/lambda = 100
};

// Analyses the design and writes the report; a failure ends the run with a
// report of its own (RunError).
template <design::RealType Real>
void write_design_report(const design::DesignInputs<Real>& in,
                         const design::ScaledDesign<Real>& scaled, const ReportRequest& request);

}  // namespace dialog
