// The dual reflector figure: both profiles, the axis as a chain line with its
// arrowhead, the feed mark and one traced ray, drawn through the HP-GL writer
// from the normalised ray table.
#pragma once

#include "design/synthesis.h"
#include "plothpfa/plothpfa.h"

namespace writers {

// Draws the figure on an initialised plotter.
template <design::RealType Real>
void draw_figure(plothpfa::Plotter& plot, const design::RayTable<Real>& table);

}  // namespace writers
