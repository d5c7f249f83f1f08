// The stages of a run, in the order the driver calls them.  Each asks its
// questions, hands the answers to the design computation and sends the
// resulting text to the console, the listing file or its own file.
#pragma once

#include "design/inputs.h"
#include "design/scaled.h"
#include "design/synthesis.h"
#include "dialog/session.h"

namespace dialog {

// The opening dialog: geometry, feed, aperture distribution and intervals,
// with the feed and aperture power balance; writes the normalised design to
// the listing file.
template <design::RealType Real>
design::DesignInputs<Real> ask_design_inputs(Session<Real>& s);

// Integrates both surfaces and prints the ray table; ends the run with a
// report when the integration breaks down.
template <design::RealType Real>
design::RayTable<Real> run_synthesis(const design::DesignInputs<Real>& in, Session<Real>& s);

// Asks for the plot file and writes the dual reflector figure to it.
template <design::RealType Real>
void figure_stage(const design::RayTable<Real>& table, Session<Real>& s);

// Asks for the main-reflector diameter, prints the scaled design and offers
// the subreflector extrapolation.
template <design::RealType Real>
design::ScaledDesign<Real> scaling_stage(const design::RayTable<Real>& table,
                                         const design::DesignInputs<Real>& in, Session<Real>& s);

// A listing of one reflector's height at chosen radii.
template <design::RealType Real>
void listing_stage(const design::ScaledDesign<Real>& scaled, Session<Real>& s,
                   design::Reflector which);

// A surface file of one reflector.
template <design::RealType Real>
void surface_file_stage(const design::ScaledDesign<Real>& scaled, Session<Real>& s,
                        design::Reflector which);

// An object file of one reflector's spline with one variable per node.
template <design::RealType Real>
void object_file_stage(const design::ScaledDesign<Real>& scaled, Session<Real>& s,
                       design::Reflector which);

}  // namespace dialog
