#include "design/inputs.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "design/feed.h"
#include "design/synthesis.h"

namespace design {
namespace {

// At most this many integration steps across the aperture and per output row:
// a smaller calculation interval is below the resolution of 32-bit reals near
// r = 1 and would only make the run seem to hang.
template <RealType Real>
constexpr Real kMaxSteps = Real(10000000);

// An output interval within this relative distance of a whole multiple of
// the calculation interval counts as that multiple.
constexpr double kWholeMultiple = 1.0e-3;
// The last row may stand past the rim by rounding: this share of a
// calculation step, plus the rounding of the answers themselves.
constexpr double kRimAllowance = 1.0e-3;
constexpr double kRounding = 1.0e-6;

// A value in a message, as short as its digits allow.
std::string number_text(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.6g", v);
  return buffer;
}

}  // namespace

template <RealType Real>
void set_feed(DesignInputs<Real>& in) {
  in.feed_exponent = feed_exponent_for(in.feed_beamwidth_deg, in.beamwidth_level_db);
  in.feed_power = feed_power(in.feed_exponent, in.feed_half_angle_rad);
}

template <RealType Real>
void set_aperture(DesignInputs<Real>& in) {
  in.aperture_power = aperture_power(in.aperture, in.main_inner_radius);
  in.power_ratio = in.feed_power / in.aperture_power;
}

template <RealType Real>
std::string sub_radius_problem(const DesignInputs<Real>& in) {
  const StartValues<Real> st = start_values(in);
  if (std::isfinite(st.theta) && std::isfinite(st.distance)) return {};
  if (in.sub_radius == Real(0)) {
    return "The radius of the subreflector must not be 0: it would subtend no angle at the feed.";
  }
  return "The radius of the subreflector gives no finite distance from the feed to its rim.";
}

template <RealType Real>
std::string inner_radius_problem(const DesignInputs<Real>& in) {
  if (!(in.main_inner_radius < Real(1))) {
    return "The inner radius of the main reflector must be less than 1, its outer radius.";
  }
  const StartValues<Real> st = start_values(in);
  if (std::isfinite(st.phi)) return {};
  return "The inner radius of the main reflector puts its hole rim on the subreflector rim:"
         " the first ray has no direction.";
}

template <RealType Real>
std::string feed_problem(const DesignInputs<Real>& in) {
  const Real b = std::fabs(in.feed_beamwidth_deg);
  if (b == Real(0) || b >= Real(360)) {
    return "The feed beamwidth must not be 0 and must be less than 360 degrees.";
  }
  const Real n = feed_exponent_for(in.feed_beamwidth_deg, in.beamwidth_level_db);
  if (!std::isfinite(n)) return "The feed beamwidth is too narrow to define the feed pattern.";
  // The synthesis divides by the pattern at the subreflector rim.
  if (std::pow(std::cos(in.feed_half_angle_rad / Real(2)), Real(2) * n) == Real(0)) {
    return "The feed beamwidth is too narrow for the subreflector: no feed power reaches its rim.";
  }
  return {};
}

std::string distribution_kind_problem(int kind) {
  if (kind >= 1 && kind <= 3) return {};
  return "The aperture distribution must be 1 (uniform), 2 (Gaussian) or 3 (Taylor).";
}

template <RealType Real>
std::string taper_problem(const DesignInputs<Real>& in) {
  if (!(in.main_inner_radius < Real(1))) return {};  // no integration step is taken
  // The synthesis needs a finite, non-zero power ratio and a finite density
  // wherever it integrates.
  const Real ratio = in.feed_power / in.aperture_power;
  if (std::isfinite(ratio) && ratio != Real(0) &&
      std::isfinite(in.aperture.density(in.main_inner_radius)) &&
      std::isfinite(in.aperture.density(Real(1)))) {
    return {};
  }
  return "The edge taper is too large: the aperture power is out of the range of the design's reals.";
}

template <RealType Real>
std::string sidelobe_problem(Real sidelobe_level_db) {
  // The zeros need R^2 for R = 10^(S/20).
  const Real ratio = std::pow(Real(10), sidelobe_level_db / Real(20));
  if (std::isfinite(ratio * ratio)) return {};
  return "The sidelobe level is too large: the Taylor zeros need at most about 385 dB.";
}

std::string nbar_problem(int nbar) {
  if (nbar >= 1) return {};
  return "The number of the first unchanged zero must be at least 1.";
}

template <RealType Real>
std::string calc_interval_problem(const DesignInputs<Real>& in) {
  const Real h = in.calc_interval();
  if (h == Real(0)) return "The calculation interval must not be 0.";
  if (in.main_inner_radius < Real(1) &&
      !((Real(1) - in.main_inner_radius) / h <= kMaxSteps<Real>)) {
    return "The calculation interval is too small: more than 10000000 steps across the aperture.";
  }
  return {};
}

template <RealType Real>
std::string output_interval_problem(const DesignInputs<Real>& in) {
  const Real out = in.output_interval();
  if (out == Real(0)) return "The output interval must not be 0.";
  // output_steps = trunc((1 - main_inner_radius) / output_interval + 0.1) <= 1000
  const Real outputs = (Real(1) - in.main_inner_radius) / out + Constants<Real>::tenth;
  if (!(outputs < static_cast<Real>(kMaxRays))) {
    return "The output interval is too small: the ray table holds at most 1001 rays.";
  }
  // steps_per_output = trunc(output_interval / calc_interval + 0.1) <= kMaxSteps
  const Real per_output = out / in.calc_interval() + Constants<Real>::tenth;
  if (!(per_output < kMaxSteps<Real> + Real(1))) {
    return "The output interval is too large for the calculation interval:"
           " more than 10000000 steps per output.";
  }
  // Each row stands a whole number of integration steps after the last.
  const double calc = static_cast<double>(in.calc_interval());
  const double ratio = static_cast<double>(out) / calc;
  const double whole = std::round(ratio);
  if (whole < 1.0 || std::fabs(ratio - whole) > kWholeMultiple * whole) {
    return "The output interval must be a whole multiple of the calculation interval " +
           number_text(calc) + "; try " + number_text(std::max(whole, 1.0) * calc) + ".";
  }
  const RowPlan plan = row_plan(in);
  if (plan.output_steps < 1) {
    return "The output interval is larger than the aperture from the hole to the rim:"
           " the table would hold no row after the first.";
  }
  // Beyond the rim the integration leaves real surfaces.
  if (plan.last_radius - 1.0 > kRimAllowance * calc + kRounding) {
    std::string text = "The last row would land at r = " + number_text(plan.last_radius) +
                       ", past the rim";
    if (plan.fitting_interval > 0.0) text += "; try an output interval of " + number_text(plan.fitting_interval);
    return text + ".";
  }
  return {};
}

template <RealType Real>
RowPlan row_plan(const DesignInputs<Real>& in) {
  RowPlan plan;
  const StepCounts counts = step_counts(in);
  if (!counts.problem.empty()) return plan;
  plan.output_steps = counts.output_steps;
  const double calc = static_cast<double>(in.calc_interval());
  const double hole = static_cast<double>(in.main_inner_radius);
  plan.last_radius =
      hole + static_cast<double>(counts.output_steps) * counts.steps_per_output * calc;
  // An output interval that fits: a whole number of steps that divides the
  // steps from the hole to the rim, as close as may be to the one answered,
  // with at most 1000 rows.
  const double total = std::round((1.0 - hole) / calc);
  if (total >= 1.0 && total <= 1.0e7) {
    const long steps = static_cast<long>(total);
    long best = 0;
    for (long d = 1; d <= steps; ++d) {
      if (steps % d != 0 || steps / d > kMaxRays - 1) continue;
      if (best == 0 || std::labs(d - counts.steps_per_output) < std::labs(best - counts.steps_per_output)) {
        best = d;
      }
    }
    if (best > 0) plan.fitting_interval = static_cast<double>(best) * calc;
  }
  return plan;
}

template <RealType Real>
std::string interval_warning(const DesignInputs<Real>& in) {
  const RowPlan plan = row_plan(in);
  const double calc = static_cast<double>(in.calc_interval());
  if (plan.output_steps < 1 || !(1.0 - plan.last_radius > 0.5 * calc)) return {};
  std::string text = "Warning: the ray table ends at r = " + number_text(plan.last_radius) +
                     ", short of the rim at 1";
  if (plan.fitting_interval > 0.0) {
    text += "; an output interval of " + number_text(plan.fitting_interval) + " reaches it";
  }
  return text + ".";
}

#define RAVOST_INSTANTIATE(Real)                                                   \
  template void set_feed<Real>(DesignInputs<Real>&);                               \
  template void set_aperture<Real>(DesignInputs<Real>&);                           \
  template std::string sub_radius_problem<Real>(const DesignInputs<Real>&);        \
  template std::string inner_radius_problem<Real>(const DesignInputs<Real>&);      \
  template std::string feed_problem<Real>(const DesignInputs<Real>&);              \
  template std::string taper_problem<Real>(const DesignInputs<Real>&);             \
  template std::string sidelobe_problem<Real>(Real);                               \
  template std::string calc_interval_problem<Real>(const DesignInputs<Real>&);     \
  template std::string output_interval_problem<Real>(const DesignInputs<Real>&);     \
  template RowPlan row_plan<Real>(const DesignInputs<Real>&);                        \
  template std::string interval_warning<Real>(const DesignInputs<Real>&);
RAVOST_INSTANTIATE(float)
RAVOST_INSTANTIATE(double)
#undef RAVOST_INSTANTIATE

}  // namespace design
