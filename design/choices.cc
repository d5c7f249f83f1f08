#include "design/choices.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

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

Problem problem(Input input, Problem::Fault fault, double value = 0) {
  Problem p{input, fault};
  p.value = value;
  return p;
}

bool known_kind(Distribution kind) {
  return kind == Distribution::uniform || kind == Distribution::gaussian ||
         kind == Distribution::taylor;
}

// The synthesis divides by the pattern at the subreflector rim and by the
// feed power inside it: both must be finite and above 0.
template <RealType Real>
void check_feed_power(const Design<Real>& d, Input which, double value,
                      std::vector<Problem>& out) {
  const Real rim = d.feed_model.pattern(d.feed_half_angle_rad);
  if (!(rim > Real(0)) || !std::isfinite(rim) || !(d.feed_power > Real(0)) ||
      !std::isfinite(d.feed_power)) {
    Problem p = problem(which, Problem::Fault::no_power_at_rim, value);
    p.reference = static_cast<double>(d.feed_half_angle_deg);
    out.push_back(p);
  }
}

template <RealType Real>
void check(const DesignSpec& choices, Input which, std::vector<Problem>& out) {
  using Fault = Problem::Fault;
  const Design<Real> d = make_design<Real>(choices);
  switch (which) {
    case Input::main_hole_to_feed:
      return;

    case Input::feed_to_sub_rim:
      if (!(d.feed_to_sub_rim > Real(0))) {
        out.push_back(problem(which, d.feed_to_sub_rim == Real(0) ? Fault::zero : Fault::negative,
                              choices.geometry.feed_to_sub_rim));
        return;
      }
      // The subreflector rim must stand in front of the plane of the main
      // reflector's hole rim, or the first ray runs backwards.
      if (!(d.main_hole_to_feed + d.feed_to_sub_rim > Real(0))) {
        Problem p = problem(which, Fault::behind_hole_plane, choices.geometry.feed_to_sub_rim);
        p.reference = choices.geometry.main_hole_to_feed;
        out.push_back(p);
      }
      return;

    case Input::sub_radius: {
      if (d.sub_radius < Real(0)) {
        out.push_back(problem(which, Fault::negative, choices.geometry.sub_radius));
        return;
      }
      const StartValues<Real> st = start_values(d);
      if (std::isfinite(st.theta) && std::isfinite(st.distance)) return;
      out.push_back(problem(which, d.sub_radius == Real(0) ? Fault::zero : Fault::no_finite_start,
                            choices.geometry.sub_radius));
      return;
    }

    case Input::main_inner_radius: {
      if (d.main_inner_radius < Real(0)) {
        out.push_back(problem(which, Fault::negative, choices.geometry.main_inner_radius));
        return;
      }
      if (!(d.main_inner_radius < Real(1))) {
        out.push_back(problem(which, Fault::not_below_one, choices.geometry.main_inner_radius));
        return;
      }
      // A subreflector that gives no first ray is the subreflector's problem.
      const StartValues<Real> st = start_values(d);
      if (std::isfinite(st.theta) && std::isfinite(st.distance) && !std::isfinite(st.phi)) {
        out.push_back(problem(which, Fault::hole_on_sub_rim, choices.geometry.main_inner_radius));
      }
      return;
    }

    case Input::feed_beamwidth: {
      if (choices.feed.model != FeedModelKind::beamwidth) return;
      const Real b = std::fabs(d.feed.beamwidth_deg);
      if (b == Real(0) || b >= Real(360)) {
        out.push_back(problem(which, Fault::beamwidth_range, choices.feed.beamwidth_deg));
        return;
      }
      if (!std::isfinite(d.feed.exponent)) {
        out.push_back(problem(which, Fault::beamwidth_too_narrow, choices.feed.beamwidth_deg));
        return;
      }
      // The synthesis divides by the pattern at the subreflector rim.
      if (d.feed.pattern(d.feed_half_angle_rad) == Real(0)) {
        out.push_back(problem(which, Fault::no_power_at_rim, choices.feed.beamwidth_deg));
      }
      return;
    }

    case Input::feed_taper:
      if (choices.feed.model != FeedModelKind::gaussian) return;
      if (d.feed_model.taper_db == Real(0)) out.push_back(problem(which, Fault::taper_zero));
      return;

    case Input::feed_taper_angle: {
      if (choices.feed.model != FeedModelKind::gaussian) return;
      const Real angle = d.feed_model.taper_angle_rad;
      if (!(angle > Real(0))) {
        out.push_back(problem(which, angle == Real(0) ? Fault::zero : Fault::negative,
                              choices.feed.taper_angle_deg));
        return;
      }
      check_feed_power(d, which, choices.feed.taper_angle_deg, out);
      return;
    }

    case Input::feed_table: {
      if (choices.feed.model != FeedModelKind::table && choices.feed.model != FeedModelKind::cut) {
        return;
      }
      const FeedTable* t = choices.feed.table.get();
      if (t == nullptr || !d.feed_model.table) {
        out.push_back(problem(which, Fault::table_unusable));
        return;
      }
      if (t->theta_deg.front() != 0.0) {
        out.push_back(problem(which, Fault::table_not_from_axis, t->theta_deg.front()));
        return;
      }
      if (t->theta_deg.back() < static_cast<double>(d.feed_half_angle_deg)) {
        Problem p = problem(which, Fault::table_short, t->theta_deg.back());
        p.reference = static_cast<double>(d.feed_half_angle_deg);
        out.push_back(p);
        return;
      }
      check_feed_power(d, which, 0.0, out);
      return;
    }

    case Input::distribution:
      if (!known_kind(choices.aperture.kind)) {
        out.push_back(
            problem(which, Fault::unknown_kind, static_cast<double>(choices.aperture.kind)));
      }
      return;

    case Input::taper: {
      if (choices.aperture.kind != Distribution::gaussian) return;
      if (d.aperture.edge_taper_db == Real(0)) {
        out.push_back(problem(which, Fault::taper_zero));
        return;
      }
      if (!(d.main_inner_radius < Real(1))) return;  // no integration step is taken
      // The synthesis needs a finite, non-zero power ratio and a finite
      // density wherever it integrates.
      const Real ratio = d.feed_power / d.aperture_power;
      if (std::isfinite(ratio) && ratio != Real(0) &&
          std::isfinite(d.aperture.density(d.main_inner_radius)) &&
          std::isfinite(d.aperture.density(Real(1)))) {
        return;
      }
      out.push_back(problem(which, Fault::taper_too_large, choices.aperture.taper_db));
      return;
    }

    case Input::sidelobe: {
      if (choices.aperture.kind != Distribution::taylor) return;
      // The zeros need R^2 for R = 10^(S/20).
      const Real ratio = std::pow(Real(10), d.aperture.sidelobe_level_db / Real(20));
      if (!std::isfinite(ratio * ratio)) {
        out.push_back(problem(which, Fault::sidelobe_too_large, choices.aperture.sidelobe_db));
      }
      return;
    }

    case Input::nbar: {
      if (choices.aperture.kind != Distribution::taylor) return;
      const int nbar = choices.aperture.nbar;
      if (nbar < 1) out.push_back(problem(which, Fault::nbar_below_one, nbar));
      if (nbar > kMaxNbar) {
        Problem p = problem(which, Fault::nbar_above_max, nbar);
        p.limit = kMaxNbar;
        out.push_back(p);
      }
      return;
    }

    case Input::calc_interval: {
      const Real h = d.calc_interval();
      if (h == Real(0)) {
        out.push_back(problem(which, Fault::zero));
        return;
      }
      if (d.main_inner_radius < Real(1) &&
          !((Real(1) - d.main_inner_radius) / h <= kStepLimit<Real>)) {
        Problem p = problem(which, Fault::too_many_steps, choices.synthesis.calc_interval);
        p.limit = kMaxSteps;
        out.push_back(p);
      }
      return;
    }

    case Input::output_interval: {
      const double value = choices.synthesis.output_interval;
      const Real outv = d.output_interval();
      if (outv == Real(0)) {
        out.push_back(problem(which, Fault::zero));
        return;
      }
      // output_steps = trunc((1 - main_inner_radius) / output_interval + 0.1) <= 1000
      const Real outputs = (Real(1) - d.main_inner_radius) / outv + Constants<Real>::tenth;
      if (!(outputs < static_cast<Real>(kMaxRays))) {
        Problem p = problem(which, Fault::too_many_rays, value);
        p.limit = kMaxRays;
        out.push_back(p);
        return;
      }
      // steps_per_output = trunc(output_interval / calc_interval + 0.1) <= the limit
      const Real per_output = outv / d.calc_interval() + Constants<Real>::tenth;
      if (!(per_output < kStepLimit<Real> + Real(1))) {
        Problem p = problem(which, Fault::too_many_steps, value);
        p.limit = kMaxSteps;
        out.push_back(p);
        return;
      }
      // Each row stands a whole number of integration steps after the last.
      const double calc = static_cast<double>(d.calc_interval());
      const double ratio = static_cast<double>(outv) / calc;
      const double whole = std::round(ratio);
      if (whole < 1.0 || std::fabs(ratio - whole) > kWholeMultiple * whole) {
        Problem p = problem(which, Fault::not_whole_multiple, value);
        p.reference = calc;
        p.suggestion = std::max(whole, 1.0) * calc;
        out.push_back(p);
        return;
      }
      const RowPlan plan = row_plan(d);
      if (plan.output_steps < 1) {
        out.push_back(problem(which, Fault::no_row, value));
        return;
      }
      // Beyond the rim the integration leaves real surfaces.
      if (plan.last_radius - 1.0 > kRimAllowance * calc + kRounding) {
        Problem p = problem(which, Fault::past_rim, value);
        p.reference = plan.last_radius;
        p.suggestion = plan.fitting_interval;
        out.push_back(p);
      }
      return;
    }

    default:
      return;
  }
}

template <RealType Real>
std::vector<Problem> validate_input_in(const DesignSpec& choices, Input which) {
  std::vector<Problem> out;
  check<Real>(round_to_precision(choices), which, out);
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
  std::vector<Problem> all;
  // A later input's check is only meaningful once the inputs it builds on
  // can be used: stop at the first input of a group that has problems.
  const Input order[] = {Input::main_hole_to_feed, Input::feed_to_sub_rim, Input::sub_radius,
                         Input::main_inner_radius, Input::feed_beamwidth,  Input::feed_taper,
                         Input::feed_taper_angle,  Input::feed_table,      Input::distribution,
                         Input::taper,             Input::sidelobe,        Input::nbar,
                         Input::calc_interval,     Input::output_interval};
  for (Input which : order) {
    std::vector<Problem> found = validate_input(choices, which);
    all.insert(all.end(), found.begin(), found.end());
    // The geometry must be sound before the feed, the feed before the
    // aperture, the aperture before the intervals.
    const bool gate = which == Input::main_inner_radius || which == Input::feed_table ||
                      which == Input::nbar || which == Input::calc_interval;
    if (gate && !all.empty()) break;
  }
  return all;
}

template <RealType Real>
Aperture<Real> make_aperture(const ApertureSpec& a) {
  switch (a.kind) {
    case Distribution::gaussian:
      return gaussian_aperture(static_cast<Real>(a.taper_db));
    case Distribution::taylor:
      return taylor_aperture(std::fabs(static_cast<Real>(a.sidelobe_db)), a.nbar);
    case Distribution::uniform:
      break;
  }
  return uniform_aperture<Real>();
}

template <RealType Real>
Design<Real> make_design(const DesignSpec& chosen) {
  Design<Real> d;
  d.choices = round_to_precision(chosen);
  const DesignSpec& s = d.choices;
  d.main_hole_to_feed = static_cast<Real>(s.geometry.main_hole_to_feed);
  d.feed_to_sub_rim = static_cast<Real>(s.geometry.feed_to_sub_rim);
  d.sub_radius = static_cast<Real>(s.geometry.sub_radius);
  d.main_inner_radius = static_cast<Real>(s.geometry.main_inner_radius);
  d.feed_half_angle_deg = half_angle_deg(d.sub_radius, d.feed_to_sub_rim);
  d.feed_half_angle_rad = d.feed_half_angle_deg * Constants<Real>::deg;

  d.feed_model.kind = s.feed.model;
  switch (s.feed.model) {
    case FeedModelKind::beamwidth:
      d.feed = BeamwidthFeed<Real>::make(static_cast<Real>(s.feed.beamwidth_deg),
                                         static_cast<Real>(s.feed.level_db));
      d.feed_model.beamwidth = d.feed;
      break;
    case FeedModelKind::gaussian:
      d.feed_model.taper_db = static_cast<Real>(s.feed.taper_db);
      d.feed_model.taper_angle_rad = static_cast<Real>(s.feed.taper_angle_deg) * Constants<Real>::deg;
      break;
    case FeedModelKind::table:
    case FeedModelKind::cut:
      d.feed_model.source = s.feed.table;
      if (s.feed.table && table_fault(*s.feed.table).empty()) {
        d.feed_model.table = std::make_shared<const TabulatedPattern>(*s.feed.table);
      }
      break;
  }
  d.feed_power = d.feed_model.enclosed_power(d.feed_half_angle_rad);

  d.aperture = make_aperture<Real>(s.aperture);
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
  return choices.precision == Precision::double_ ? row_plan(make_design<double>(choices))
                                              : row_plan(make_design<float>(choices));
}

#define RAVOST_INSTANTIATE(Real)                                       \
  template Aperture<Real> make_aperture<Real>(const ApertureSpec&);    \
  template Design<Real> make_design<Real>(const DesignSpec&);          \
  template RowPlan row_plan<Real>(const Design<Real>&);
RAVOST_INSTANTIATE(float)
RAVOST_INSTANTIATE(double)
#undef RAVOST_INSTANTIATE

}  // namespace design
