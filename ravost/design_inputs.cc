// The opening dialog: the normalised geometry, the feed, the aperture
// distribution and the two synthesis intervals.  The feed and aperture powers
// are balanced and the Taylor distribution set up at their places in the
// dialog, so that afterwards the design holds everything the synthesis needs.
//
// Answers that would leave the synthesis without finite starting values, an
// undefined feed or aperture model, or step counts past the ray table are
// refused: from the console the problem is shown and the same question asked
// again, from the answer file the run ends with a report naming the line.
// Every other answer is taken as given.
#include <cmath>
#include <string>

#include "fields/fields.h"
#include "ravost/aperture.h"
#include "ravost/feed.h"
#include "ravost/stages.h"

namespace ravost {
namespace {

using fields::F;
using fields::I;

// At most this many integration steps across the aperture and per output row:
// a smaller calculation interval is below the resolution of 32-bit reals near
// r = 1 and would only make the run seem to hang.
constexpr float kMaxSteps = 10000000.0f;

// The synthesis vector's first derivative needs these to be finite.
struct Start {
  float theta;     // feed half angle, radians
  float distance;  // feed to subreflector rim
  float phi;       // direction of the ray from the subreflector rim to the hole rim
};

// The starting values of the synthesis, computed as the synthesis computes
// them, from the half angle in degrees.
Start starting_values(const Design& d, float half_angle_deg) {
  Start st;
  st.theta = half_angle_deg * d.deg;
  st.distance = d.sub_radius / std::sin(st.theta);
  const float xs = st.distance * std::sin(st.theta);
  const float zs = st.distance * std::cos(st.theta);
  const float zm = -d.main_hole_to_feed;
  st.phi = std::atan((d.main_inner_radius - xs) / (zs - zm));
  return st;
}

// What is wrong with the subreflector radius, or empty.
std::string sub_radius_problem(const Design& d) {
  const Start st = starting_values(d, d.feed_half_angle);
  if (std::isfinite(st.theta) && std::isfinite(st.distance)) return {};
  if (d.sub_radius == 0.0f) {
    return "The radius of the subreflector must not be 0: it would subtend no angle at the feed.";
  }
  return "The radius of the subreflector gives no finite distance from the feed to its rim.";
}

// What is wrong with the main reflector's inner radius, or empty.
std::string inner_radius_problem(const Design& d) {
  const Start st = starting_values(d, d.feed_half_angle);
  if (std::isfinite(st.phi)) return {};
  return "The inner radius of the main reflector puts its hole rim on the subreflector rim:"
         " the first ray has no direction.";
}

// What is wrong with the feed beamwidth and level, or empty.  The half angle
// is in radians by now.
std::string feed_problem(const Design& d) {
  const float b = std::fabs(d.feed_beamwidth);
  if (b == 0.0f || b >= 360.0f) {
    return "The feed beamwidth must not be 0 and must be less than 360 degrees.";
  }
  const float n = exponent_for_beamwidth(d.feed_beamwidth, d.beamwidth_level_db, d.deg);
  if (!std::isfinite(n)) return "The feed beamwidth is too narrow to define the feed pattern.";
  // The synthesis divides by the pattern at the subreflector rim.
  if (std::pow(std::cos(d.feed_half_angle / 2.0f), 2.0f * n) == 0.0f) {
    return "The feed beamwidth is too narrow for the subreflector: no feed power reaches its rim.";
  }
  return {};
}

// What is wrong with a Gaussian edge taper, or empty; d.aperture_power holds
// the aperture power of that taper.  The synthesis needs a finite, non-zero
// power ratio and a finite density wherever it integrates.
std::string taper_problem(const Design& d) {
  if (!(d.main_inner_radius < 1.0f)) return {};  // no integration step is taken
  const float ratio = d.feed_power / d.aperture_power;
  const float inner[1] = {d.main_inner_radius};
  const float rim[1] = {1.0f};
  if (std::isfinite(ratio) && ratio != 0.0f && std::isfinite(APPL(d.apert, inner)) &&
      std::isfinite(APPL(d.apert, rim))) {
    return {};
  }
  return "The edge taper is too large: the aperture power is out of the range of 32-bit reals.";
}

// What is wrong with a Taylor sidelobe level (held >= 0), or empty.
std::string sidelobe_problem(float sidelobe_level_db) {
  // The zeros need R^2 for R = 10^(S/20).
  const float ratio = std::pow(10.0f, sidelobe_level_db / 20.0f);
  if (std::isfinite(ratio * ratio)) return {};
  return "The sidelobe level is too large: the Taylor zeros need at most about 385 dB.";
}

// What is wrong with the calculation interval, or empty.
std::string calc_interval_problem(const Design& d) {
  const float h = std::fabs(d.calc_interval);
  if (h == 0.0f) return "The calculation interval must not be 0.";
  if (d.main_inner_radius < 1.0f && !((1.0f - d.main_inner_radius) / h <= kMaxSteps)) {
    return "The calculation interval is too small: more than 10000000 steps across the aperture.";
  }
  return {};
}

// What is wrong with the output interval, or empty.  Uses the step counts the
// synthesis derives from the two intervals.
std::string output_interval_problem(const Design& d) {
  const float out = std::fabs(d.output_interval);
  if (out == 0.0f) return "The output interval must not be 0.";
  // output_steps = trunc((1 - main_inner_radius) / output_interval + 0.1) <= 1000
  const float outputs = (1.0f - d.main_inner_radius) / out + 0.1f;
  if (!(outputs < static_cast<float>(kMaxRays))) {
    return "The output interval is too small: the ray table holds at most 1001 rays.";
  }
  // steps_per_output = trunc(output_interval / calc_interval + 0.1) <= kMaxSteps
  const float per_output = out / std::fabs(d.calc_interval) + 0.1f;
  if (!(per_output < kMaxSteps + 1.0f)) {
    return "The output interval is too large for the calculation interval:"
           " more than 10000000 steps per output.";
  }
  return {};
}

// Asks one question until `problem` finds nothing wrong with the answer.
template <class Read, class Problem>
void ask(Dialog& dialog, std::string_view prompt, Read read, Problem problem) {
  for (;;) {
    dialog.prompt(prompt);
    read();
    const std::string wrong = problem();
    if (wrong.empty()) return;
    dialog.reject(wrong);
  }
}

}  // namespace

void design_inputs(Design& d, Session& s) {
  Dialog& dialog = s.dialog;
  OutFile& listing = s.listing;

  // Banner, then the geometry.
  dialog.line(" Dual Shaped Axisymmetric Displaced Axis Reflector");
  dialog.line("");
  dialog.line(" Supplement to Tarnwick by Quessary");
  dialog.line("");
  dialog.line(" Initial design normalized to radius of one");
  dialog.prompt(" Enter Axis Distance from Main Hole Rim to Feed ");
  dialog.read("the axis distance from the main hole rim to the feed", d.main_hole_to_feed);
  d.ray_state[ray::main_z] = -d.main_hole_to_feed;
  d.ray_state[ray::hole_to_feed] = d.main_hole_to_feed;

  dialog.prompt(" Enter Axis Distance from Feed to Subreflector Rim ");
  dialog.read("the axis distance from the feed to the subreflector rim", d.feed_to_sub_rim);
  d.ray_state[ray::feed_to_sub] = d.feed_to_sub_rim;

  ask(
      dialog, " Radius of subreflector ",
      [&] {
        dialog.read("the radius of the subreflector", d.sub_radius);
        // half angle in degrees = atan(sub_radius / feed_to_sub_rim) / (pi/180)
        d.feed_half_angle = std::atan(d.sub_radius / d.feed_to_sub_rim) / d.deg;
      },
      [&] { return sub_radius_problem(d); });

  ask(
      dialog, " Enter Inner Radius of Main Reflector ",
      [&] { dialog.read("the inner radius of the main reflector", d.main_inner_radius); },
      [&] { return inner_radius_problem(d); });

  listing.line(" Normalized Shaped Axisymmetric Dual ADE Reflector");
  listing.line("");
  listing.line(" Supplement to Tarnwick by Quessary");
  listing.line("");
  listing.line(" Main Hole to Feed along axis:        " + F(d.main_hole_to_feed, 8, 4));
  listing.line(" Feed to Subreflector Rim along axis: " + F(d.feed_to_sub_rim, 8, 4));
  listing.line(" Subreflector max. radius:            " + F(d.sub_radius, 8, 4));
  listing.line(" Main reflector inner radius:         " + F(d.main_inner_radius, 8, 4));
  listing.line(" Feed Half Subtended Angle:           " + F(d.feed_half_angle, 8, 3));

  // From here on the half angle is in radians.
  d.feed_half_angle = d.feed_half_angle * d.deg;
  d.ray_state[ray::feed_angle] = d.feed_half_angle;
  d.ray_state[ray::sub_distance] = d.sub_radius / std::sin(d.feed_half_angle);

  // The feed.
  dialog.line(" Subreflector subtended angle: " + F(2.0f * d.feed_half_angle / d.deg, 8, 2));
  ask(
      dialog, " Enter Feed Beamwidth, Beamwidth level dB ",
      [&] {
        dialog.read("the feed beamwidth and its level", d.feed_beamwidth, d.beamwidth_level_db);
      },
      [&] { return feed_problem(d); });
  listing.line(" Feed beamwidth: " + F(d.feed_beamwidth, 6, 2) + " level dB: " +
               F(d.beamwidth_level_db, 5, 1));
  set_feed_power(d);

  // The aperture distribution.
  APERT& apert = d.apert;
  ask(
      dialog, " Enter aperture distr: 1 Uniform, 2 Gaussian, 3 Taylor ",
      [&] { dialog.read("the aperture distribution", apert.distribution_kind); },
      [&]() -> std::string {
        const int kind = apert.distribution_kind;
        if (kind >= 1 && kind <= 3) return {};
        return "The aperture distribution must be 1 (uniform), 2 (Gaussian) or 3 (Taylor).";
      });

  switch (apert.distribution_kind) {
    case 1:
      listing.line(" Uniform aperture distribution");
      set_aperture_power(d);
      break;

    case 2:
      // The aperture power is computed with the answer so that a taper whose
      // power is out of range can be refused before its line is written.
      ask(
          dialog, " Enter edge taper (dB) ",
          [&] {
            dialog.read("the edge taper", apert.edge_taper_db);
            if (apert.edge_taper_db == 0.0f) throw DialogStop{};
            set_aperture_power(d);
          },
          [&] { return taper_problem(d); });
      listing.line(" Gaussian aperture distribution edge taper dB: " +
                   F(apert.edge_taper_db, 5, 1));
      break;

    case 3:
      dialog.line(" Taylor Circular Distribution");
      ask(
          dialog, " Enter Sidelobe Level ",
          [&] {
            dialog.read("the sidelobe level", apert.sidelobe_level_db);
            apert.sidelobe_level_db = std::fabs(apert.sidelobe_level_db);
          },
          [&] { return sidelobe_problem(apert.sidelobe_level_db); });
      ask(
          dialog, " Enter Number of First Unchanged Zero of Uniform Distribution ",
          [&] {
            dialog.read("the number of the first unchanged zero", apert.nbar);
            if (apert.nbar > kMaxNbar) throw DialogStop{};
          },
          [&]() -> std::string {
            if (apert.nbar >= 1) return {};
            return "The number of the first unchanged zero must be at least 1.";
          });
      TCYZO(apert.sidelobe_level_db, apert.nbar, d.taylor_zeros);
      TCYAC(apert.nbar, d.taylor_zeros, apert.taylor_coefficients, dialog);
      listing.line("");
      listing.line(" Taylor Circular Aperture Distribution");
      listing.line("");
      listing.line(" Sidelobe Level (dB):           " + F(apert.sidelobe_level_db, 7, 2));
      listing.line(" First Unchanged Zero, NB:      " + I(apert.nbar, 7));
      set_aperture_power(d);
      break;
  }
  set_power_ratio(d);

  // The synthesis intervals, listed as entered and used by their size.
  ask(
      dialog, " Enter Calculation Main Aperture Interval ",
      [&] { dialog.read("the calculation interval", d.calc_interval); },
      [&] { return calc_interval_problem(d); });
  ask(
      dialog, " Enter Output Aperture Interval ",
      [&] { dialog.read("the output interval", d.output_interval); },
      [&] { return output_interval_problem(d); });
  listing.line(" Calculation Main Aperture interval: " + F(d.calc_interval, 8, 3));
  listing.line(" Output Aperture Interval: " + F(d.output_interval, 8, 3));
  d.output_interval = std::fabs(d.output_interval);
  d.calc_interval = std::fabs(d.calc_interval);
}

}  // namespace ravost
