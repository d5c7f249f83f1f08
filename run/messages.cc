#include "run/messages.h"

#include "fields/fields.h"
#include "fields/prose.h"
#include "writers/tables.h"

namespace run {

using design::Input;
using Fault = design::Problem::Fault;
using fields::number;

namespace {

std::string count(double v) { return number(v, 10); }

std::string range_sentence(const design::Problem& p) {
  switch (p.input) {
    case Input::surface_points:
      return "A surface file holds from " + count(p.limit) + " to " + count(p.upper) + " points.";
    case Input::spline_points:
      return "A spline object holds from " + count(p.limit) + " to " + count(p.upper) +
             " points (its node numbers have three digits).";
    case Input::length_unit:
      return "The length unit must be 1, 2, 3 or 4.";
    default:
      return "The value " + number(p.value) + " lies outside " + number(p.limit) + " to " +
             number(p.upper) + ".";
  }
}

}  // namespace

std::string sentence(const design::Problem& p) {
  switch (p.fault) {
    case Fault::described:
      return p.text;
    case Fault::zero:
      switch (p.input) {
        case Input::sub_radius:
          return "The radius of the subreflector must not be 0: it would subtend no angle at the "
                 "feed.";
        case Input::feed_to_sub_rim:
          return "The distance from the feed to the subreflector rim must not be 0.";
        case Input::calc_interval:
          return "The calculation interval must not be 0.";
        case Input::output_interval:
          return "The output interval must not be 0.";
        case Input::feed_taper_angle:
          return "The angle of the Gaussian feed's taper must not be 0.";
        default:
          return "The value must not be 0.";
      }
    case Fault::negative:
      switch (p.input) {
        case Input::sub_radius:
          return "The radius of the subreflector must be greater than 0.";
        case Input::feed_to_sub_rim:
          return "The distance from the feed to the subreflector rim must be greater than 0: the "
                 "subreflector stands in front of the feed.";
        case Input::main_inner_radius:
          return "The inner radius of the main reflector must not be negative (0 for no hole).";
        default:
          return "The value must not be below 0.";
      }
    case Fault::behind_hole_plane:
      return "The subreflector rim would stand behind the plane of the main reflector's hole rim:"
             " the distance from the feed to the subreflector rim must exceed " +
             number(-p.reference) + ".";
    case Fault::no_finite_start:
      return "The radius of the subreflector gives no finite distance from the feed to its rim.";
    case Fault::not_below_one:
      return "The inner radius of the main reflector must be less than 1, its outer radius.";
    case Fault::hole_on_sub_rim:
      return "The inner radius of the main reflector puts its hole rim on the subreflector rim:"
             " the first ray has no direction.";
    case Fault::beamwidth_range:
      return "The feed beamwidth must not be 0 and must be less than 360 degrees.";
    case Fault::beamwidth_too_narrow:
      return "The feed beamwidth is too narrow to define the feed pattern.";
    case Fault::level_zero:
      if (p.value == 0.0) {
        return "The level must not be 0 dB: a beamwidth at the peak's own level defines no feed "
               "pattern; give the level below the peak at which the beamwidth is measured (e.g. "
               "-10).";
      }
      return "The level " + number(p.value) +
             " dB is too close to 0 dB to define the feed pattern; give the level below the peak "
             "at which the beamwidth is measured (e.g. -10).";
    case Fault::no_power_at_rim:
      if (p.input == Input::feed_table) {
        return "The feed table holds no power at the subreflector rim: the design would need "
               "infinite feed power there.";
      }
      if (p.input == Input::feed_taper_angle) {
        return "The Gaussian feed is too narrow for the subreflector: no feed power reaches its "
               "rim.";
      }
      return "The feed beamwidth is too narrow for the subreflector: no feed power reaches its "
             "rim.";
    case Fault::table_unusable:
      return "The feed table cannot be used as a pattern.";
    case Fault::table_not_from_axis:
      return "The feed table starts at " + number(p.value) +
             " degrees; it must start on the axis, at 0 degrees.";
    case Fault::table_short:
      return "The feed table stops at " + number(p.value) +
             " degrees, short of the subreflector's half angle of " + number(p.reference) +
             " degrees.";
    case Fault::unknown_kind:
      return "The aperture distribution must be 1 (uniform), 2 (Gaussian) or 3 (Taylor).";
    case Fault::taper_zero:
      if (p.input == Input::feed_taper) {
        return "A Gaussian feed taper of 0 dB has no Gaussian: give a taper other than 0.";
      }
      return "A Gaussian edge taper of 0 dB has no Gaussian: give a taper other than 0.";
    case Fault::taper_too_large:
      return "The edge taper is too large: the aperture power is out of the range of the "
             "design's reals.";
    case Fault::sidelobe_too_large:
      return "The sidelobe level is too large: the Taylor zeros need at most about 385 dB.";
    case Fault::nbar_below_one:
      return "The number of the first unchanged zero must be at least 1.";
    case Fault::nbar_above_max:
      return "The number of the first unchanged zero must be at most " + count(p.limit) +
             ": no more zeros are held.";
    case Fault::too_many_steps:
      if (p.input == Input::calc_interval) {
        return "The calculation interval is too small: more than " + count(p.limit) +
               " steps across the aperture.";
      }
      return "The output interval is too large for the calculation interval: more than " +
             count(p.limit) + " steps per output.";
    case Fault::too_many_rays:
      return "The output interval is too small: the ray table holds at most " + count(p.limit) +
             " rays.";
    case Fault::not_whole_multiple:
      return "The output interval must be a whole multiple of the calculation interval " +
             number(p.reference) + "; try " + number(p.suggestion) + ".";
    case Fault::no_row:
      return "The output interval is larger than the aperture from the hole to the rim:"
             " the table would hold no row after the first.";
    case Fault::past_rim: {
      std::string text = "The last row would land at r = " + number(p.reference) + ", past the rim";
      if (p.suggestion > 0.0) return text + "; try an output interval of " + number(p.suggestion) + ".";
      return text + "; no output interval ends on the rim when whole calculation steps from this"
                    " hole radius miss it: change the hole radius or the calculation interval.";
    }
    case Fault::out_of_range:
      return range_sentence(p);
    case Fault::not_beyond_rim:
      return "The new subreflector diameter must be larger than the present " +
             writers::trimmed(fields::F(p.reference, 9, 3)) + ".";
    case Fault::too_far:
      return "The new subreflector diameter is too large to extrapolate to.";
    case Fault::unusable:
      switch (p.input) {
        case Input::diameter:
          return "The main reflector diameter must be a number greater than 0.";
        case Input::file_name:
          if (p.value == 0) return "A file needs a name.";
          return "The file name is " + count(p.value) + " characters long; at most " +
                 count(p.limit) + " fit.";
        case Input::label:
          return "The label is " + count(p.value) + " characters long; at most " +
                 count(p.limit) + " fit.";
        default:
          return "The value cannot be used.";
      }
  }
  return "The value cannot be used.";
}

diag::Diagnostic diagnose(const design::Problem& p) { return diag::error(sentence(p)); }

diag::Diagnostic feed_table_report(const design::Problem& p, const design::FeedSpec& feed) {
  const design::FeedTable* t = feed.table.get();
  if (t == nullptr || t->lines.size() != t->theta_deg.size() || t->lines.empty()) {
    return diagnose(p);
  }
  long line = t->lines.front();
  if (p.fault == Fault::table_short) {
    line = t->lines.back();
  } else if (p.fault == Fault::no_power_at_rim) {
    // the first angle at or past the rim (the table reaches the rim here)
    std::size_t i = 0;
    while (i + 1 < t->theta_deg.size() && t->theta_deg[i] < p.reference) ++i;
    line = t->lines[i];
  }
  return diag::at(diagnose(p), t->source, line);
}

std::optional<diag::Diagnostic> interval_warning(const design::RowPlan& plan) {
  if (!plan.short_of_rim) return std::nullopt;
  std::string text = "the ray table ends at r = " + number(plan.last_radius) + ", short of the rim at 1";
  if (plan.fitting_interval > 0.0) {
    text += "; an output interval of " + number(plan.fitting_interval) + " reaches it";
  }
  diag::Diagnostic d = diag::warning(text + ".");
  d.changes_figures = true;
  return d;
}

}  // namespace run
