// The ray table checks itself: the synthesis exists to keep the path length
// from the feed to the aperture plane the same for every ray, and to bring
// the feed angle down to zero exactly at the rim.  A table that does neither
// is not a design, however finite its numbers.
#pragma once

#include <optional>

#include "design/synthesis.h"

namespace design {

// A path length that strays from the first ray's by more than this share of
// it marks a broken design.  Sound designs keep within about 1e-5; broken ones
// (a main reflector that runs into the subreflector's height, a step too
// coarse for the distribution near the axis) stray by 1e-3 to 1 and more.
inline constexpr double kPathStrayLimit = 1.0e-3;
// A smaller stray still shows in the printed digits (1PE12.5) beyond this.
inline constexpr double kPathStrayVisible = 1.0e-5;

struct RayTableCheck {
  enum class Fault { none, path_strays, feed_angle_zero } fault = Fault::none;
  int bad_ray = 0;            // first bad ray, 1-based
  double bad_radius = 0.0;    // its main-reflector radius
  double stray_at_bad = 0.0;  // relative stray of its path length
  double largest_stray = 0.0;  // over the whole table
  int largest_stray_ray = 0;
  // At the first bad ray the main reflector stands at (or above) the
  // subreflector's height: the geometry cannot be shaped.
  bool main_meets_sub = false;
  // A stray below the limit that the printed table still shows.
  bool visible_stray() const { return fault == Fault::none && largest_stray > kPathStrayVisible; }
};

template <RealType Real>
RayTableCheck check_ray_table(const RayTable<Real>& table);

}  // namespace design

namespace design {

// What a synthesis did, beside its table: the steps, where it broke down or
// was stopped, and the table's self-check.
struct SynthesisSummary {
  long steps = 0;
  int steps_per_output = 0;
  int rows = 0;                   // rays in the table
  std::optional<int> broken_ray;  // 1-based, where the surfaces stopped being finite
  double broken_radius = 0.0;
  bool stopped = false;
  RayTableCheck check;
  // The feed's power at the subreflector rim, in dB below its peak (negative).
  double rim_level_db = 0.0;
  // At a breakdown: the last finite ray has the main reflector at (or above)
  // the subreflector's height.
  bool main_meets_sub_at_break = false;
  // A design: finite to the rim, not stopped, and its check found no fault.
  bool sound() const { return !broken_ray && !stopped && check.fault == RayTableCheck::Fault::none; }
};

template <RealType Real>
struct Synthesis {
  RayTable<Real> table;
  SynthesisSummary summary;
};

// Synthesises a design and checks its table.  The design's step counts must
// have no problem (validate() finds them).
template <RealType Real>
Synthesis<Real> synthesise_and_check(const Design<Real>& d, const SynthesisOptions& options = {});

}  // namespace design
