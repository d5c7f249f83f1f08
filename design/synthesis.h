// The surface synthesis: integrates feed angle, subreflector distance and
// main-reflector Z over the main-aperture radius and returns the ray table.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "design/choices.h"

namespace design {

// The vector the synthesis integrates.  Element 0 is the abscissa (the
// main-reflector radius), 1 to 3 the integrated values, the rest parameters.
template <RealType Real>
using RayState = std::array<Real, 11>;
namespace ray {
inline constexpr std::size_t radius = 0;         // r, main-reflector radius
inline constexpr std::size_t feed_angle = 1;     // theta, radians
inline constexpr std::size_t sub_distance = 2;   // R, feed to subreflector point
inline constexpr std::size_t main_z = 3;         // z_m, main-reflector Z
inline constexpr std::size_t hole_to_feed = 4;   // main_hole_to_feed
inline constexpr std::size_t feed_to_sub = 5;    // feed_to_sub_rim
inline constexpr std::size_t power_ratio = 8;    // K
inline constexpr std::size_t feed_exponent = 9;  // n
}  // namespace ray

// The values the first derivative needs to be finite, from the geometry.
template <RealType Real>
struct StartValues {
  Real theta;     // feed half angle, radians
  Real distance;  // feed to subreflector rim
  Real phi;       // direction of the ray from the subreflector rim to the hole rim
};
template <RealType Real>
StartValues<Real> start_values(const Design<Real>& in);

// The vector at the subreflector-rim ray, where the integration starts.
template <RealType Real>
RayState<Real> start_state(const Design<Real>& in);

// The derivatives of feed angle, subreflector distance and main-reflector Z
// with respect to the main-reflector radius, for RUNGE.  The geometry is
// evaluated on the call for component 1; components 2 and 3 hand out what
// that call remembered, so RUNGE must ask for 1, 2, 3 with the same vector
// (it does).  The aperture density is a pure function of the radius, so the
// last radius and its density are remembered as well: a Runge-Kutta step meets
// only two distinct radii (the midpoint twice, and the end point again as the
// next step's start), which halves the aperture evaluations.
template <RealType Real>
class SurfaceDerivatives {
 public:
  // memoise = false evaluates the aperture density on every call; it exists
  // to check that remembering it changes no bit.
  explicit SurfaceDerivatives(const Aperture<Real>& aperture, bool memoise = true)
      : aperture_(aperture), memoise_(memoise) {}
  // The derivatives of a design: its aperture and its feed model.  The
  // beamwidth model is evaluated from the exponent in the vector, as it
  // always has been; another model through the design's feed model, which
  // must outlive this object.
  explicit SurfaceDerivatives(const Design<Real>& in, bool memoise = true)
      : aperture_(in.aperture),
        memoise_(memoise),
        feed_(in.feed_model.kind == FeedModelKind::beamwidth ? nullptr : &in.feed_model) {}

  // dY(component + 1)/dr at v.
  Real operator()(std::span<const Real> v, int component);

  long density_evaluations() const { return density_evaluations_; }

  // Tells a remembering SurfaceDerivatives that the integrator is about to
  // take `steps` steps of h from radius r0: it will ask for the density at
  // each step's midpoint and end, which are worked out here as the integrator
  // forms them and evaluated together a few steps ahead of the calls.  A call
  // at a radius other than the one expected next is evaluated on its own, so
  // a wrong expectation costs time, never a bit.
  void expect_steps(Real r0, Real h, int steps);

 private:
  Real density(Real r);
  void evaluate_ahead();

  static constexpr std::size_t kStepsAhead = 24;

  const Aperture<Real>& aperture_;
  bool memoise_;
  const FeedModel<Real>* feed_ = nullptr;  // null: the beamwidth model
  Real d_distance_ = 0;  // dR/dr from the last call for component 1
  Real d_main_z_ = 0;    // dz_m/dr from the last call for component 1
  bool have_density_ = false;
  Real density_r_ = 0;  // the radius of density_, compared bit for bit
  Real density_ = 0;
  long density_evaluations_ = 0;
  // Expected radii and their densities; the next one expected is at ahead_next_.
  std::array<Real, 2 * kStepsAhead> ahead_r_{};
  std::array<Real, 2 * kStepsAhead> ahead_density_{};
  std::size_t ahead_count_ = 0;
  std::size_t ahead_next_ = 0;
  Real ahead_from_ = 0;  // the radius the steps not yet evaluated start from
  Real ahead_h_ = 0;
  long ahead_steps_ = 0;  // steps not yet evaluated
};

// One ray of the table: where it meets both reflectors, the feed angle at
// which it leaves the feed and its path length to the aperture plane z = 0.
template <RealType Real>
struct Ray {
  Real feed_angle_deg;
  Real sub_z;
  Real sub_r;
  Real main_z;
  Real main_r;
  Real path_length;
};

// Step counts of the synthesis from the two intervals, or the reason there
// are none.
struct StepCounts {
  int steps_per_output = 0;  // integration steps per output row
  int output_steps = 0;      // rows after the first ray
  std::string problem;       // empty when the counts can be used
};
template <RealType Real>
StepCounts step_counts(const Design<Real>& in);

// The state of the integration after a step: the main-reflector radius and
// height, the feed angle and the feed-to-subreflector distance, about the
// feed's phase centre (main_z and the subreflector point are its
// phase_centre_z below the geometry's; the same at the feed point).  These
// give both profile points of one ray.
template <RealType Real>
struct StepPoint {
  Real radius;
  Real feed_angle;  // radians
  Real sub_distance;
  Real main_z;
};

// Integration steps beyond which the synthesis keeps only every k-th step
// point, k dividing the steps between rows, so memory stays small.
inline constexpr long kMaxStepPoints = 100000;

// The stride at which step points are kept: the smallest divisor of
// steps_per_output that keeps at most kMaxStepPoints of them.
int step_point_stride(int steps_per_output, int output_steps);

// The synthesised rays in ray order: ray 1, the subreflector-rim ray, meets
// the main reflector at its hole rim.  When the integration left the range of
// real surfaces, `rays` holds the rays before it and `broken_ray` (1-based)
// and `broken_radius` say where.
template <RealType Real>
struct RayTable {
  std::vector<Ray<Real>> rays;
  StepCounts counts;
  std::optional<int> broken_ray;
  Real broken_radius = 0;
  long steps = 0;        // integration steps taken
  bool stopped = false;  // the caller stopped the synthesis before the rim
  // The design as integrated: the state at the start and after every
  // `step_stride`-th step, in the design's precision; the rows are among
  // them (row i at index i * steps_per_output / step_stride).
  std::vector<StepPoint<Real>> step_points;
  int step_stride = 1;
  // The rays cross the axis between the reflectors (a family other than the
  // established one): a ray's main-reflector point lies at -main_r in the
  // meridian half-plane of its feed ray.
  bool rays_cross_axis = false;
};

// How a synthesis runs.
struct SynthesisOptions {
  // Called after each row of the table with the rows done and the rows in
  // all; returning false stops the synthesis there (for a run that is being
  // interrupted).  Progress reports hang off it too.
  std::function<bool(int done, int total)> on_row;
  // Asked every kStepsBetweenAsks integration steps within a row; returning
  // false stops the synthesis there, so that a row of many steps does not
  // keep an interrupted run waiting.  May be empty.
  std::function<bool()> keep_going;
};

// Integration steps between two questions to SynthesisOptions::keep_going.
inline constexpr int kStepsBetweenAsks = 4096;

// Integrates both surfaces.  The counts must have no problem.
template <RealType Real>
RayTable<Real> synthesize(const Design<Real>& in, SurfaceDerivatives<Real>& derivatives,
                          const SynthesisOptions& options = {});
template <RealType Real>
RayTable<Real> synthesize(const Design<Real>& in, const SynthesisOptions& options = {});

}  // namespace design
