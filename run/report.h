// What the design report is told about a design: its written profiles, its
// integration steps, its feed and its inputs for the page.
#pragma once

#include "analysis/analysis.h"
#include "design/choices.h"
#include "design/scaled.h"
#include "design/synthesis.h"

namespace run {

template <design::RealType Real>
analysis::DesignInput report_input(const design::Design<Real>& in, const design::RayTable<Real>& table,
                                   const design::ScaledDesign<Real>& scaled);

}  // namespace run
