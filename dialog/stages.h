// The questions of a run, stage by stage, in the order the driver asks them.
// Each fills its part of the design choices or the output plan and hands the
// values to the run layer, which computes and writes.
#pragma once

#include "design/scaled.h"
#include "design/choices.h"
#include "design/synthesis.h"
#include "dialog/session.h"

namespace dialog {

// The opening dialog: geometry, feed, aperture distribution and intervals.
// The normalised design goes to the listing block by block as it is answered.
template <design::RealType Real>
design::Design<Real> ask_design(Session<Real>& s);

// The output stages work on the design, ray table and scaled design the
// session's pipeline holds, and leave their results there.  Each also takes
// those values made elsewhere (tests hand-make small tables).

// Asks for the plot file and writes the dual reflector figure to it.
template <design::RealType Real>
void figure_stage(Session<Real>& s);
template <design::RealType Real>
void figure_stage(const design::RayTable<Real>& table, Session<Real>& s);

// Asks for the main-reflector diameter, prints the scaled design and offers
// the subreflector extrapolation.
template <design::RealType Real>
void scaling_stage(Session<Real>& s);
template <design::RealType Real>
design::ScaledDesign<Real> scaling_stage(const design::RayTable<Real>& table,
                                         const design::Design<Real>& d, Session<Real>& s);

// A listing of one reflector's height at chosen radii.
template <design::RealType Real>
void listing_stage(Session<Real>& s, design::Reflector which);
template <design::RealType Real>
void listing_stage(const design::ScaledDesign<Real>& scaled, Session<Real>& s,
                   design::Reflector which);

// A surface file of one reflector.
template <design::RealType Real>
void surface_file_stage(Session<Real>& s, design::Reflector which);
template <design::RealType Real>
void surface_file_stage(const design::ScaledDesign<Real>& scaled, Session<Real>& s,
                        design::Reflector which);

// An object file of one reflector's spline with one variable per node.
template <design::RealType Real>
void object_file_stage(Session<Real>& s, design::Reflector which);
template <design::RealType Real>
void object_file_stage(const design::ScaledDesign<Real>& scaled, Session<Real>& s,
                       design::Reflector which);

}  // namespace dialog
