#include "design/choices.h"
#include "design/kind_helpers.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "design/distributions.h"
#include "design/families.h"
#include "design/feeds.h"
#include "design/synthesis.h"

namespace design {
namespace {

// The step limit in the design's reals: a smaller calculation interval is
// below the resolution of 32-bit reals near r = 1 and would only make the run
// seem to hang.
template <RealType Real>
constexpr Real kStepLimit = Real(10000000);

// An output interval within this relative distance of a whole multiple of
// the calculation interval counts as that multiple.
constexpr double kWholeMultiple = 1.0e-3;
// The last row may stand past the rim by rounding: this share of a
// calculation step, plus the rounding of the answers themselves.
constexpr double kRimAllowance = 1.0e-3;
constexpr double kRounding = 1.0e-6;

using kinds::problem;

// The checks of a design's inputs, on a design derived once.  Each input has
// checks of its own value, always made, and checks that use the inputs it
// builds on (the geometry for the feed's power at the rim, say), made only
// when `built_on` says those are sound: a problem of an earlier input is then
// not reported again as a problem of a later one.  The dialog checks one
// answer at a time, after the answers before it were accepted, and so makes
// every check.
template <RealType Real>
class Checks {
 public:
  Checks(const DesignSpec& choices, const Design<Real>& d, std::vector<Problem>& out)
      : s_(choices), d_(d), out_(out) {}

  // Each returns whether its inputs are sound: it added no problem (the
  // geometry says so for the feed's checks and for the intervals' apart).
  // The geometry family's checks, all or those of the input `only`.
  GeometryCheck geometry(const Input* only);
  // The feed model's own checks, all or those of the input `only`.
  // built_on: the geometry is sound.
  bool feed(const Input* only, bool built_on);
  // dialog: the kind must be one the positional dialog offers.
  bool distribution(bool dialog);
  // The distribution's own checks, all or those of the input `only`.
  // built_on: the geometry and the feed are sound.
  bool aperture(const Input* only, bool built_on);
  bool calc_interval(bool built_on);
  bool output_interval(bool hole_sound, bool calc_sound);

 private:
  using Fault = Problem::Fault;
  bool add(Problem p) {
    out_.push_back(p);
    return false;
  }
  bool add(Input which, Fault fault, double value = 0) { return add(problem(which, fault, value)); }
  const DesignSpec& s_;
  const Design<Real>& d_;
  std::vector<Problem>& out_;
};

template <RealType Real>
GeometryCheck Checks<Real>::geometry(const Input* only) {
  return family_of(s_).check(d_, only, out_);
}

template <RealType Real>
bool Checks<Real>::feed(const Input* only, bool built_on) {
  const FeedKind* kind = find_feed(s_.feed.model);
  return kind == nullptr || kind->check(d_, only, built_on, out_);
}

template <RealType Real>
bool Checks<Real>::distribution(bool dialog) {
  const DistributionKind* kind = find_distribution(s_.aperture.kind);
  if (kind != nullptr && (!dialog || kind->dialog_number() > 0)) return true;
  return add(Input::distribution, Fault::unknown_kind, static_cast<double>(s_.aperture.kind));
}

template <RealType Real>
bool Checks<Real>::aperture(const Input* only, bool built_on) {
  const DistributionKind* kind = find_distribution(s_.aperture.kind);
  return kind == nullptr || kind->check(d_, only, built_on, out_);
}

// built_on: the main reflector's hole is sound.
template <RealType Real>
bool Checks<Real>::calc_interval(bool built_on) {
  const Input which = Input::calc_interval;
  const Real h = d_.calc_interval();
  if (h == Real(0)) return add(which, Fault::zero);
  if (built_on && d_.main_inner_radius < Real(1) &&
      !((Real(1) - d_.main_inner_radius) / h <= kStepLimit<Real>)) {
    Problem p = problem(which, Fault::too_many_steps, s_.synthesis.calc_interval);
    p.limit = kMaxSteps;
    return add(p);
  }
  return true;
}

// hole_sound: the main reflector's hole is; calc_sound: the calculation
// interval is.
template <RealType Real>
bool Checks<Real>::output_interval(bool hole_sound, bool calc_sound) {
  const Input which = Input::output_interval;
  const double value = s_.synthesis.output_interval;
  const Real outv = d_.output_interval();
  if (outv == Real(0)) return add(which, Fault::zero);
  if (!hole_sound) return true;
  // output_steps = trunc((1 - main_inner_radius) / output_interval + 0.1) <= 1000
  const Real outputs = (Real(1) - d_.main_inner_radius) / outv + Constants<Real>::tenth;
  if (!(outputs < static_cast<Real>(kMaxRays))) {
    Problem p = problem(which, Fault::too_many_rays, value);
    p.limit = kMaxRays;
    return add(p);
  }
  if (!calc_sound) return true;
  // steps_per_output = trunc(output_interval / calc_interval + 0.1) <= the limit
  const Real per_output = outv / d_.calc_interval() + Constants<Real>::tenth;
  if (!(per_output < kStepLimit<Real> + Real(1))) {
    Problem p = problem(which, Fault::too_many_steps, value);
    p.limit = kMaxSteps;
    return add(p);
  }
  // Each row stands a whole number of integration steps after the last.
  const double calc = static_cast<double>(d_.calc_interval());
  const double ratio = static_cast<double>(outv) / calc;
  const double whole = std::round(ratio);
  if (whole < 1.0 || std::fabs(ratio - whole) > kWholeMultiple * whole) {
    Problem p = problem(which, Fault::not_whole_multiple, value);
    p.reference = calc;
    p.suggestion = std::max(whole, 1.0) * calc;
    return add(p);
  }
  const RowPlan plan = row_plan(d_);
  if (plan.output_steps < 1) return add(which, Fault::no_row, value);
  // Beyond the rim the integration leaves real surfaces.
  if (plan.last_radius - 1.0 > kRimAllowance * calc + kRounding) {
    Problem p = problem(which, Fault::past_rim, value);
    p.reference = plan.last_radius;
    p.suggestion = plan.fitting_interval;
    return add(p);
  }
  return true;
}

// The design the checks look at: every value make_design gives but the
// 64-bit Taylor series, which no check reads.
template <RealType Real>
Design<Real> design_to_check(const DesignSpec& choices) {
  return make_design<Real>(choices, nullptr, false);
}

// One input's checks, every one made (the inputs before it were accepted).
template <RealType Real>
std::vector<Problem> validate_input_in(const DesignSpec& choices, Input which) {
  std::vector<Problem> out;
  const DesignSpec s = round_to_precision(choices);
  const Design<Real> d = design_to_check<Real>(s);
  Checks<Real> c(s, d, out);
  switch (which) {
    case Input::main_hole_to_feed:
    case Input::feed_to_sub_rim:
    case Input::sub_radius:
    case Input::main_inner_radius: c.geometry(&which); break;
    case Input::feed_beamwidth:
    case Input::feed_taper:
    case Input::feed_taper_angle:
    case Input::feed_table: c.feed(&which, true); break;
    case Input::distribution: c.distribution(true); break;
    case Input::taper:
    case Input::sidelobe:
    case Input::nbar: c.aperture(&which, true); break;
    case Input::calc_interval: c.calc_interval(true); break;
    case Input::output_interval: c.output_interval(true, true); break;
    default: break;
  }
  return out;
}

// Every input's checks, in the order of the inputs, on one derived design.
template <RealType Real>
std::vector<Problem> validate_in(const DesignSpec& choices) {
  std::vector<Problem> out;
  const DesignSpec s = round_to_precision(choices);
  const Design<Real> d = design_to_check<Real>(s);
  Checks<Real> c(s, d, out);
  const GeometryCheck geometry = c.geometry(nullptr);
  // The feed: its power at the rim needs the geometry.
  const bool feed = c.feed(nullptr, geometry.sound);
  // The aperture: the Gaussian's power ratio needs the feed's power.
  c.distribution(false);
  c.aperture(nullptr, geometry.sound && feed);
  // The intervals need the hole, and the output interval the calculation one.
  const bool calc = c.calc_interval(geometry.aperture);
  c.output_interval(geometry.aperture, calc);
  return out;
}

}  // namespace

DesignSpec round_to_precision(const DesignSpec& choices) {
  if (choices.precision == Precision::double_) return choices;
  DesignSpec s = choices;
  // Through a volatile float: GCC 12 at -O2 vectorises a run of
  // double -> float -> double conversions of neighbouring fields into no
  // rounding at all.
  auto round = [](double& v) {
    volatile float narrow = static_cast<float>(v);
    v = static_cast<double>(narrow);
  };
  round(s.geometry.main_hole_to_feed);
  round(s.geometry.feed_to_sub_rim);
  round(s.geometry.sub_radius);
  round(s.geometry.main_inner_radius);
  round(s.feed.beamwidth_deg);
  round(s.feed.level_db);
  round(s.feed.taper_db);
  round(s.feed.taper_angle_deg);
  round(s.feed.phase_centre_z);
  round(s.aperture.taper_db);
  round(s.aperture.sidelobe_db);
  round(s.synthesis.calc_interval);
  round(s.synthesis.output_interval);
  return s;
}

std::vector<Problem> validate_input(const DesignSpec& choices, Input which) {
  return choices.precision == Precision::double_ ? validate_input_in<double>(choices, which)
                                              : validate_input_in<float>(choices, which);
}

std::vector<Problem> validate(const DesignSpec& choices) {
  return choices.precision == Precision::double_ ? validate_in<double>(choices)
                                              : validate_in<float>(choices);
}

template <RealType Real>
Aperture<Real> make_aperture(const ApertureSpec& a, SeriesCache* cache, bool with_series) {
  // A kind that is none of the distributions (validate() names it) gets a
  // uniform aperture.
  const DistributionKind* kind = find_distribution(a.kind);
  if (kind == nullptr) return uniform_aperture<Real>();
  return kind->aperture<Real>(a, cache, with_series);
}

template <RealType Real>
Design<Real> make_design(const DesignSpec& chosen, SeriesCache* cache, bool with_series) {
  Design<Real> d;
  d.choices = round_to_precision(chosen);
  const DesignSpec& s = d.choices;
  d.main_hole_to_feed = static_cast<Real>(s.geometry.main_hole_to_feed);
  d.feed_to_sub_rim = static_cast<Real>(s.geometry.feed_to_sub_rim);
  d.sub_radius = static_cast<Real>(s.geometry.sub_radius);
  d.main_inner_radius = static_cast<Real>(s.geometry.main_inner_radius);
  // The rays leave the feed's phase centre: the half angle is seen from it.
  d.feed_model.phase_centre_z = static_cast<Real>(s.feed.phase_centre_z);
  d.feed_half_angle_deg =
      half_angle_deg(d.sub_radius, d.feed_to_sub_rim - d.feed_model.phase_centre_z);
  d.feed_half_angle_rad = d.feed_half_angle_deg * Constants<Real>::deg;

  d.feed_model.kind = s.feed.model;
  if (const FeedKind* kind = find_feed(s.feed.model)) kind->make(s.feed, d);
  d.feed_power = d.feed_model.enclosed_power(d.feed_half_angle_rad);

  d.aperture = make_aperture<Real>(s.aperture, cache, with_series);
  d.aperture_power = aperture_power(d.aperture, d.main_inner_radius);
  d.power_ratio = d.feed_power / d.aperture_power;

  d.calc_interval_answer = static_cast<Real>(s.synthesis.calc_interval);
  d.output_interval_answer = static_cast<Real>(s.synthesis.output_interval);
  return d;
}

template <RealType Real>
RowPlan row_plan(const Design<Real>& d) {
  RowPlan plan;
  const StepCounts counts = step_counts(d);
  if (!counts.problem.empty()) return plan;
  plan.output_steps = counts.output_steps;
  const double calc = static_cast<double>(d.calc_interval());
  const double hole = static_cast<double>(d.main_inner_radius);
  plan.last_radius =
      hole + static_cast<double>(counts.output_steps) * counts.steps_per_output * calc;
  // An output interval that fits: a whole number of steps that divides the
  // steps from the hole to the rim, as close as may be to the one answered,
  // with at most 1000 rows.
  // Only when whole steps from the hole reach the rim (within the rim
  // allowance) can any output interval end there.
  const double total = std::round((1.0 - hole) / calc);
  const bool steps_reach_rim = std::fabs(hole + total * calc - 1.0) <= kRimAllowance * calc + kRounding;
  if (steps_reach_rim && total >= 1.0 && total <= kMaxSteps) {
    const long steps = static_cast<long>(total);
    long best = 0;
    for (long k = 1; k <= steps; ++k) {
      if (steps % k != 0 || steps / k > kMaxRays - 1) continue;
      if (best == 0 ||
          std::labs(k - counts.steps_per_output) < std::labs(best - counts.steps_per_output)) {
        best = k;
      }
    }
    if (best > 0) plan.fitting_interval = static_cast<double>(best) * calc;
  }
  plan.short_of_rim = plan.output_steps >= 1 && 1.0 - plan.last_radius > 0.5 * calc;
  return plan;
}

RowPlan row_plan(const DesignSpec& choices) {
  return choices.precision == Precision::double_ ? row_plan(design_to_check<double>(choices))
                                              : row_plan(design_to_check<float>(choices));
}

#define RAVOST_INSTANTIATE(Real)                                       \
  template Aperture<Real> make_aperture<Real>(const ApertureSpec&, SeriesCache*, bool); \
  template Design<Real> make_design<Real>(const DesignSpec&, SeriesCache*, bool);     \
  template RowPlan row_plan<Real>(const Design<Real>&);
RAVOST_INSTANTIATE(float)
RAVOST_INSTANTIATE(double)
#undef RAVOST_INSTANTIATE

std::string key_of(const Problem& p) { return p.key.empty() ? key_of(p.input) : p.key; }

std::string key_of(Input input) {
  switch (input) {
    case Input::main_hole_to_feed:
      return "geometry.main_hole_to_feed";
    case Input::feed_to_sub_rim:
      return "geometry.feed_to_sub_rim";
    case Input::sub_radius:
      return "geometry.sub_radius";
    case Input::main_inner_radius:
      return "geometry.main_inner_radius";
    case Input::feed_beamwidth:
      return "feed.beamwidth_deg";
    case Input::feed_taper:
      return "feed.taper_db";
    case Input::feed_taper_angle:
      return "feed.taper_angle_deg";
    case Input::feed_table:
      return "feed.file";
    case Input::distribution:
      return "aperture.distribution";
    case Input::taper:
      return "aperture.taper_db";
    case Input::sidelobe:
      return "aperture.sidelobe_db";
    case Input::nbar:
      return "aperture.nbar";
    case Input::calc_interval:
      return "synthesis.calc_interval";
    case Input::output_interval:
      return "synthesis.output_interval";
    case Input::diameter:
      return "scale.diameter";
    case Input::extrapolation:
      return "scale.extrapolate_sub_diameter";
    case Input::listing:
      return "listing";
    case Input::surface_points:
      return "surface.points";
    case Input::length_unit:
      return "object.unit";
    case Input::spline_points:
      return "object.points";
    case Input::file_name:
      return "file";
    case Input::label:
      return "surface.label";
    case Input::described:
      break;
  }
  return "design";
}

}  // namespace design
