// The validated inputs of a design: the normalised geometry (main-reflector
// outer radius = 1), the feed, the aperture distribution and the two
// synthesis intervals, with the feed and aperture powers balanced.  The
// checks below say what is wrong with a value in one sentence, or return an
// empty text when the value can be used; the dialog shows the sentence and
// asks again.
#pragma once

#include <cmath>
#include <string>

#include "design/aperture.h"

namespace design {

// The ray table holds at most this many rays (output_steps <= 1000).
inline constexpr int kMaxRays = 1001;

template <RealType Real>
struct DesignInputs {
  Real main_hole_to_feed = 0;  // axial distance from the main hole rim to the feed
  Real feed_to_sub_rim = 0;    // axial distance from the feed to the subreflector rim
  Real sub_radius = 0;
  Real main_inner_radius = 0;  // radius of the main reflector's hole
  // Half the angle the subreflector subtends at the feed, in both units.
  Real feed_half_angle_deg = 0;
  Real feed_half_angle_rad = 0;

  Real feed_beamwidth_deg = 0;
  Real beamwidth_level_db = 0;
  Aperture<Real> aperture;

  // The intervals as answered (the listing shows them so); the synthesis
  // uses their sizes.
  Real calc_interval_answer = 0;
  Real output_interval_answer = 0;
  Real calc_interval() const { return std::fabs(calc_interval_answer); }
  Real output_interval() const { return std::fabs(output_interval_answer); }

  // Feed model and power balance.
  Real feed_exponent = 0;
  Real feed_power = 0;
  Real aperture_power = 0;
  Real power_ratio = 0;  // feed_power / aperture_power
};

// Half angle in degrees of a subreflector of radius sub_radius whose rim lies
// feed_to_sub_rim ahead of the feed.
template <RealType Real>
Real half_angle_deg(Real sub_radius, Real feed_to_sub_rim) {
  return std::atan(sub_radius / feed_to_sub_rim) / Constants<Real>::deg;
}

// Sets the half angle in degrees from the geometry, and in radians from that.
template <RealType Real>
void set_half_angle(DesignInputs<Real>& in) {
  in.feed_half_angle_deg = half_angle_deg(in.sub_radius, in.feed_to_sub_rim);
  in.feed_half_angle_rad = in.feed_half_angle_deg * Constants<Real>::deg;
}

// Sets the feed exponent and power from the beamwidth and level.
template <RealType Real>
void set_feed(DesignInputs<Real>& in);
// Sets the aperture power of in.aperture and the power ratio.
template <RealType Real>
void set_aperture(DesignInputs<Real>& in);

// The checks, each of the answer just given with everything answered before.
template <RealType Real>
std::string sub_radius_problem(const DesignInputs<Real>& in);
template <RealType Real>
std::string inner_radius_problem(const DesignInputs<Real>& in);
template <RealType Real>
std::string feed_problem(const DesignInputs<Real>& in);
std::string distribution_kind_problem(int kind);
// A Gaussian taper: in.aperture and in.aperture_power hold the answer.
template <RealType Real>
std::string taper_problem(const DesignInputs<Real>& in);
template <RealType Real>
std::string sidelobe_problem(Real sidelobe_level_db);
std::string nbar_problem(int nbar);
template <RealType Real>
std::string calc_interval_problem(const DesignInputs<Real>& in);
template <RealType Real>
std::string output_interval_problem(const DesignInputs<Real>& in);

// Where the rows of the ray table land: the number of rows after the first,
// the radius of the last row, and an output interval whose rows end on the
// rim (0 when none fits).
struct RowPlan {
  int output_steps = 0;
  double last_radius = 0.0;
  double fitting_interval = 0.0;
};
template <RealType Real>
RowPlan row_plan(const DesignInputs<Real>& in);

// A warning when the last row falls short of the rim by more than half a
// calculation step, or an empty text.
template <RealType Real>
std::string interval_warning(const DesignInputs<Real>& in);

}  // namespace design
