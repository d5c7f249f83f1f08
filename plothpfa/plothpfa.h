// plothpfa: an HP-GL plot-file writer (pens, absolute moves, patterned lines,
// arrowheads).
#pragma once

namespace plothpfa {

// The plotting library's settings.
struct PLOTIF {
  float dash_length = 0.1f;  // inches, one step of a patterned line
};

}  // namespace plothpfa
