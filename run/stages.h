// The stages of a run, each given the values it works on.  A front end asks
// or reads those values and calls the stages in this order: the normalised
// design, the synthesis, the figure, the scaled design with its optional
// extrapolation, the listings, the surface and object files.  The pipeline
// (run/pipeline.h) calls them in that order and keeps their results.
// A stage that cannot go on throws RunError with its report.
#pragma once

#include "design/scaled.h"
#include "design/choices.h"
#include "design/check.h"
#include "design/synthesis.h"
#include "run/context.h"
#include "writers/output_plan.h"

namespace run {

template <design::RealType Real>
using Design = design::Design<Real>;

// The normalised design, block by block as a dialog completes it: the
// geometry (listing), the subtended angle (console), the feed (listing), the
// Taylor table (console, Taylor only), the distribution (listing), the
// intervals (warning when the table ends short of the rim; listing).
template <design::RealType Real>
void list_geometry(Context& c, const Design<Real>& d);
template <design::RealType Real>
void show_subtended_angle(Context& c, const Design<Real>& d);
template <design::RealType Real>
void list_feed(Context& c, const Design<Real>& d);
template <design::RealType Real>
void show_taylor_heading(Context& c, const Design<Real>& d);
template <design::RealType Real>
void list_distribution(Context& c, const Design<Real>& d);
template <design::RealType Real>
void list_intervals(Context& c, const Design<Real>& d);
// All of the above, in that order.
template <design::RealType Real>
void list_design(Context& c, const Design<Real>& d);

// Integrates both surfaces and prints the ray table; a breakdown or a table
// that fails its self-check ends the run with a report.
template <design::RealType Real>
design::RayTable<Real> synthesise(Context& c, const Design<Real>& d);
// The same, with the table and its summary in `out` (filled before the run
// ends on a table that breaks down or fails its check).
template <design::RealType Real>
void synthesise(Context& c, const Design<Real>& d, design::Synthesis<Real>& out);

// The dual reflector figure into an opened plot file, which is closed.
template <design::RealType Real>
void write_figure(Context& c, const design::RayTable<Real>& table, io::OutFile& file);

// The design scaled to `diameter` (scaling_problem must be empty), printed.
template <design::RealType Real>
design::ScaledDesign<Real> scale(Context& c, const design::RayTable<Real>& table,
                                 const Design<Real>& d, Real diameter);
// What is wrong with extrapolating the subreflector to `new_diameter`, or
// nothing; `e` receives the extrapolation.
template <design::RealType Real>
std::optional<design::Problem> extrapolation_problem(Context& c,
                                                     const design::ScaledDesign<Real>& scaled,
                                                     Real new_diameter,
                                                     design::Extrapolation<Real>& e);
// Extends the subreflector to the extrapolated point and prints it.
template <design::RealType Real>
void extrapolate(Context& c, design::ScaledDesign<Real>& scaled, Real new_diameter,
                 const design::Extrapolation<Real>& e);

// A dimension listing of one reflector's profile: the range line (before
// the question), the problem of a request, and the table.
template <design::RealType Real>
void show_radius_range(Context& c, const design::Profile<Real>& p);
template <design::RealType Real>
std::string listing_problem(const design::Profile<Real>& p, Real start, Real stop, Real step);
template <design::RealType Real>
void write_listing(Context& c, const design::ScaledDesign<Real>& scaled,
                   const design::Profile<Real>& p, design::Reflector which, Real start, Real stop,
                   Real step);

// A surface file and an object file of one reflector's profile into opened
// files, which are closed.
template <design::RealType Real>
void write_surface_file(const design::Profile<Real>& p,
                        const writers::SurfaceFileRequest& request, io::OutFile& file);
template <design::RealType Real>
void write_object_file(const design::Profile<Real>& p, design::Reflector which,
                       const writers::ObjectFileRequest& request, io::OutFile& file);

}  // namespace run
