// The surface synthesis: the derivative routine of the two reflector
// surfaces and the loop that integrates it into the ray table.
#pragma once

#include <cstdint>
#include <span>

#include "ravost/ravost.h"
#include "ravost/stages.h"

namespace ravost {

// The derivatives of feed angle, subreflector distance and main-reflector Z
// with respect to the main-reflector radius, for RUNGE.  The geometry is
// evaluated on the call for component 1; components 2 and 3 hand out what
// that call remembered, so RUNGE must ask for 1, 2, 3 with the same vector
// (it does).  The aperture density is a pure function of the radius, so the
// last radius and its density are remembered as well: a Runge-Kutta step meets
// only two distinct radii (the midpoint twice, and the end point again as the
// next step's start), which halves the aperture evaluations.
class DUREF {
 public:
  // `memoise` = false evaluates the aperture density on every call; it exists
  // to check that remembering it changes no bit.
  explicit DUREF(const APERT& apert, bool memoise = true) : apert_(apert), memoise_(memoise) {}

  // dY(component + 1)/dr at v: v[0] r, v[1] theta, v[2] R, v[3] z_m,
  // v[8] power ratio K, v[9] feed exponent n.
  float operator()(std::span<const float> v, int component);

  // How many times the aperture density has been evaluated.
  long appl_calls() const { return appl_calls_; }

 private:
  float density(float r, std::span<const float> v);

  const APERT& apert_;
  bool memoise_;
  float d_distance_ = 0.0f;  // dR/dr from the last call for component 1
  float d_main_z_ = 0.0f;    // dz_m/dr from the last call for component 1
  bool have_density_ = false;
  std::uint32_t density_r_bits_ = 0;  // the radius of density_, bit for bit
  float density_ = 0.0f;
  long appl_calls_ = 0;
};

// Replaces both intervals by their absolute values and sets steps_per_output
// and output_steps from them.  Refuses (RunError) intervals whose counts are
// not finite, do not fit an int, or give more rays than the table holds; an
// output_steps below 0 (hole radius beyond 1) is held at 0, a table of the
// first ray alone.
void set_synthesis_counts(Design& d);

// The synthesis stage with a given derivative routine (the stage itself uses
// a remembering DUREF on the design's aperture distribution).
void synthesize(Design& d, Session& s, DUREF& duref);

}  // namespace ravost
