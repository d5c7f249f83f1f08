// A design as a value: what the user chooses (DesignSpec), every problem with
// those choices (validate), and the design derived from them (make_design).
//
// A DesignSpec holds the answers and nothing derived from them.  Its reals are
// doubles; a 32-bit design rounds each to float (round_to_precision), so a
// choices read from the dialog, from a design file or built in code gives the
// same design bit for bit.  (The dialog rounds a decimal straight to float, a
// design file through double: a decimal of more than nine significant digits
// lying within a double's rounding of the midpoint between two floats can
// round to the other float.  The decimals people and --to-toml write do not.)
// validate() returns the problems it finds as structured Problems; the front
// ends turn them into their own sentences.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "design/aperture.h"
#include "design/feed.h"
#include "design/feed_model.h"

namespace design {

// The real type a design is computed in.
enum class Precision { single, double_ };

// The normalised geometry: the main reflector's outer radius is 1.
struct GeometrySpec {
  double main_hole_to_feed = 0;  // axial distance from the main hole rim to the feed
  double feed_to_sub_rim = 0;    // axial distance from the feed to the subreflector rim
  double sub_radius = 0;
  double main_inner_radius = 0;  // radius of the main reflector's hole
  // The family the four keys describe ("ade", "cassegrain", "gregorian",
  // "adc", "adh" or "adg") and whether its surfaces are shaped for the
  // aperture distribution or are the family's classical conic pair.
  std::string family = "ade";
  bool classical = false;
};

// The feed: by default a beamwidth (full angle, degrees) at a level below the
// axis (dB; its sign is ignored).  A Gaussian model takes a taper (dB below
// the axis) at an angle; a tabulated model takes the table a file gave (read
// by the front end; `file` is the name as written in the design file).
struct FeedSpec {
  double beamwidth_deg = 0;
  double level_db = 0;
  FeedModelKind model = FeedModelKind::beamwidth;
  double taper_db = 0;
  double taper_angle_deg = 0;
  std::string file = {};
  std::shared_ptr<const FeedTable> table = {};
  // Where the pattern's phase centre stands on the axis, from the geometry's
  // feed point towards the subreflector (0: at the feed point).  No front end
  // sets it yet.
  double phase_centre_z = 0;
  // Where a tabulated feed's phase centre lies from the file's reference
  // point, along the axis towards the subreflector: not said (the reference
  // point is the phase centre), given (phase_centre_offset, in the unit of
  // the diameter) or the best fit to the table's phase over the cone.  The
  // design puts the phase centre at its feed point whatever this says; the
  // analyses take the phase about it and the report places the horn.
  enum class PhaseCentre { reference, given, fit };
  PhaseCentre phase_centre = PhaseCentre::reference;
  double phase_centre_offset = 0;
  // The feed's phase centre as the report analyses it: displaced this far
  // along the axis (in the unit of the diameter, towards the subreflector)
  // from where the design puts it.  The synthesis does not use it.
  double axial_offset = 0;
};

// The wanted aperture distribution.  `kind` may hold a value outside the
// three kinds when a front end read a number; validate() names it.
struct ApertureSpec {
  Distribution kind = Distribution::uniform;
  double taper_db = 0;     // Gaussian edge taper, sign kept
  double sidelobe_db = 0;  // Taylor sidelobe level (its size is used)
  int nbar = 0;            // Taylor: first unchanged zero, 1..20
  int power = 0;           // parabolic on a pedestal: the parabola's power, 1 or 2
};

// The two synthesis intervals as answered; the synthesis uses their sizes.
struct SynthesisSpec {
  double calc_interval = 0;
  double output_interval = 0;
};

struct DesignSpec {
  GeometrySpec geometry;
  FeedSpec feed;
  ApertureSpec aperture;
  SynthesisSpec synthesis;
  Precision precision = Precision::single;
};

// Every real of the choices as the design's precision holds it.
DesignSpec round_to_precision(const DesignSpec& choices);

// The inputs a user chooses, by name.  The output requests are listed too, so
// that one problem type serves the design and its outputs.
enum class Input {
  main_hole_to_feed,
  feed_to_sub_rim,
  sub_radius,
  main_inner_radius,
  feed_beamwidth,
  feed_taper,        // the Gaussian feed's taper
  feed_taper_angle,  // the Gaussian feed's angle of that taper
  feed_table,        // a tabulated feed
  distribution,
  taper,
  sidelobe,
  nbar,
  calc_interval,
  output_interval,
  // Output requests.
  diameter,
  extrapolation,
  listing,
  surface_points,
  length_unit,
  spline_points,
  file_name,
  label,
  // An input a distribution or another described kind defines: the
  // problem's `key` names it.
  described,
};

// One thing wrong with the inputs: which input, what is wrong, the numbers
// involved (the value, and a limit or a suggestion where one applies).
struct Problem {
  enum class Fault {
    zero,                  // must not be 0
    negative,              // must not be below 0
    not_below_one,         // must be below 1 (the main reflector's radius)
    no_finite_start,       // the geometry gives no finite first ray
    hole_on_sub_rim,       // the first ray has no direction
    behind_hole_plane,     // the subreflector rim behind the hole rim's plane
    beamwidth_range,       // beamwidth 0 or >= 360 degrees
    beamwidth_too_narrow,  // the exponent is not finite
    level_zero,            // the beamwidth's level (`value`) gives an exponent of 0
    no_power_at_rim,       // the pattern is 0 at the subreflector rim
    table_unusable,        // the feed table's numbers are no pattern
    table_not_from_axis,   // the feed table starts at `value` degrees, not 0
    table_short,           // the feed table stops at `value` degrees, before `reference`
    unknown_kind,          // not one of the distributions
    taper_zero,            // a Gaussian needs a taper
    taper_too_large,       // power out of the reals' range
    sidelobe_too_large,    // R^2 overflows
    nbar_below_one,
    nbar_above_max,        // beyond the zeros held (limit)
    too_many_steps,        // more than `limit` integration steps
    too_many_rays,         // more than `limit` rays
    not_whole_multiple,    // of `reference` (the calculation interval); try `suggestion`
    no_row,                // no row after the first
    past_rim,              // last row at `reference`; try `suggestion` (0: none)
    out_of_range,          // outside [limit, upper]
    not_beyond_rim,        // extrapolation not beyond the rim at `reference`
    too_far,               // extrapolation too far to compute
    unusable,              // cannot be used (see the input)
    described,             // a described kind's own check: `text` says it
  };
  Input input;
  Fault fault;
  double value = 0;
  double reference = 0;
  double suggestion = 0;
  double limit = 0;
  double upper = 0;
  // For a described kind's input and check: its design-file key and the
  // sentence of the fault.
  std::string key = {};
  std::string text = {};
};

// The design-file key of an input, e.g. "geometry.sub_radius".  The inputs
// of the outputs that exist once per reflector or per file give their key
// without the reflector: "listing", "surface.points", "surface.label",
// "object.unit", "object.points", "file".
std::string key_of(Input input);
// The key of a problem's input: the key a described input names.
std::string key_of(const Problem& p);

// Every problem of the choices, in the order of its inputs, from one design
// derived from them.  A check that builds on earlier inputs (the feed's power
// at the subreflector rim needs a sound geometry) is made only when those are
// sound, so one mistake is reported once; checks of independent inputs are
// all made.  Keeps no state: safe to call from many threads.
std::vector<Problem> validate(const DesignSpec& choices);
// The problems of one input, given the inputs before it (the dialog's check
// of one answer, the answers before it accepted): every check of the input.
std::vector<Problem> validate_input(const DesignSpec& choices, Input which);

// The design derived from a choices, in reals of type Real.
template <RealType Real>
struct Design {
  DesignSpec choices;  // as chosen, rounded to the precision

  Real main_hole_to_feed = 0;
  Real feed_to_sub_rim = 0;
  Real sub_radius = 0;
  Real main_inner_radius = 0;
  // Half the angle the subreflector subtends at the feed, in both units.
  Real feed_half_angle_deg = 0;
  Real feed_half_angle_rad = 0;

  BeamwidthFeed<Real> feed;      // the beamwidth model's values (all 0 for another model)
  FeedModel<Real> feed_model;    // the pattern the synthesis shapes for
  Aperture<Real> aperture;

  // The intervals as answered (the listing shows them so); the synthesis
  // uses their sizes.
  Real calc_interval_answer = 0;
  Real output_interval_answer = 0;
  Real calc_interval() const { return std::fabs(calc_interval_answer); }
  Real output_interval() const { return std::fabs(output_interval_answer); }

  // Power balance.
  Real feed_power = 0;      // from the axis to the subreflector rim
  Real aperture_power = 0;  // from the hole to the rim
  Real power_ratio = 0;     // feed_power / aperture_power
};

// The design of a choices.  Every value is computed, also for a choices with
// problems (they may then be infinite or NaN): call validate() first.  A
// 64-bit Taylor aperture takes its Chebyshev series from `cache` when one is
// given (callers making many designs of one distribution own one); with_series
// false leaves the series out (see taylor_aperture).
template <RealType Real>
Design<Real> make_design(const DesignSpec& choices, SeriesCache* cache = nullptr,
                         bool with_series = true);

// The pieces of a design the dialog needs before the whole choices is known.
// Half angle in degrees of a subreflector of radius sub_radius whose rim
// lies feed_to_sub_rim ahead of the feed.
template <RealType Real>
Real half_angle_deg(Real sub_radius, Real feed_to_sub_rim) {
  return std::atan(sub_radius / feed_to_sub_rim) / Constants<Real>::deg;
}
template <RealType Real>
Real half_angle_rad(const GeometrySpec& g) {
  return half_angle_deg(static_cast<Real>(g.sub_radius), static_cast<Real>(g.feed_to_sub_rim)) *
         Constants<Real>::deg;
}
template <RealType Real>
Aperture<Real> make_aperture(const ApertureSpec& a, SeriesCache* cache = nullptr,
                             bool with_series = true);

// The ray table holds at most this many rays (output_steps <= 1000).
inline constexpr int kMaxRays = 1001;
// At most this many integration steps across the aperture and per output row.
inline constexpr double kMaxSteps = 1.0e7;

// Where the rows of the ray table land: the number of rows after the first,
// the radius of the last row, and an output interval whose rows end on the
// rim (0 when none fits).
struct RowPlan {
  int output_steps = 0;
  double last_radius = 0.0;
  double fitting_interval = 0.0;
  // The last row falls short of the rim by more than half a calculation step.
  bool short_of_rim = false;
};
template <RealType Real>
RowPlan row_plan(const Design<Real>& d);
RowPlan row_plan(const DesignSpec& choices);

}  // namespace design
