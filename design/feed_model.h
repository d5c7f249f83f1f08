// The feed models behind one interface: the power pattern P(theta) (1 on the
// axis), the enclosed power F(theta) = integral of P(t) sin(t) over [0, theta]
// (the common factor 2 pi left out, as in the power balance), the angle at
// which F reaches a given value, and the last angle the model knows.
//
// - beamwidth: (cos(theta/2))^(2n) through one beamwidth at one level
//   (BeamwidthFeed, whose 32-bit arithmetic the established listings use);
// - gaussian: P = 10^(-T/10 (theta/theta_T)^2), a taper of T dB at theta_T,
//   its enclosed power from a table of the integral at knots made once per
//   feed (GaussianEnclosure) and Gauss-Legendre quadrature inside a knot's
//   interval;
// - table: a tabulated pattern (from a table or a pattern-cut file): the
//   phi-averaged linear power interpolated in angle by a monotone cubic
//   (pchip), its enclosed power by Gauss-Legendre quadrature over each
//   interval, summed at the knots.
//
// Every model answers in the design's reals and in double (the report).
#pragma once

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "design/feed.h"
#include "design/real.h"

namespace design {

enum class FeedModelKind { beamwidth, gaussian, table, cut };

// A pattern as a file gives it: angles from the axis (degrees, increasing,
// from 0), the power averaged over phi in linear units, and for figures the
// E and H planes in dB (empty when the file has no such cuts) and the phase
// in degrees (empty when the file gives none): per plane, unwrapped along the
// angle, and phase_deg their mean (the one column of a table that gives one
// phase for every plane).  The phase is that of the far field E e^{-jkr}/r
// (time dependence e^{jwt}) about the file's reference point.
struct FeedTable {
  std::string source;  // the file's name as given
  std::vector<double> theta_deg;
  std::vector<double> power;
  std::vector<double> e_db;
  std::vector<double> h_db;
  std::vector<double> phase_deg;
  std::vector<double> phase_e_deg, phase_h_deg;
  // The line of the file each angle came from (for reports; may be empty).
  std::vector<long> lines;
};

// The largest table a file may hold (angles).
inline constexpr std::size_t kMaxFeedTableAngles = 100000;
// A table needs this many angles for its monotone cubic.
inline constexpr std::size_t kMinFeedTableAngles = 4;

// What is wrong with a table's numbers as a pattern, or empty: too few
// angles, angles not increasing or not finite, power negative or not finite,
// no power anywhere.
std::string table_fault(const FeedTable& t);

// The interpolated pattern of a sound table, in double.
class TabulatedPattern {
 public:
  explicit TabulatedPattern(const FeedTable& t);

  double pattern(double theta) const;
  double enclosed_power(double theta) const;
  double angle_of_enclosed_power(double f) const;
  double last_angle() const { return theta_.back(); }
  double first_angle() const { return theta_.front(); }
  // The table's sampling as read (radians).
  const std::vector<double>& angles() const { return theta_; }

 private:
  std::vector<double> theta_;       // radians
  std::vector<double> cumulative_;  // F at each knot
  std::function<double(double)> spline_;  // the monotone cubic, on [first, last]
  double scale_ = 1.0;  // the table's power over the pattern's (1 on the axis)
};

// The Gaussian pattern in closed form, for both reals.
template <RealType Real>
Real gaussian_pattern(Real theta, Real taper_db, Real taper_angle_rad) {
  const Real u = theta / taper_angle_rad;
  return std::pow(Real(10), -(taper_db / Real(10)) * (u * u));
}

// The enclosed power of a Gaussian pattern (in double): the integral of
// P sin over equal intervals, summed once at their ends, so that a value
// costs one short quadrature inside one interval.  The intervals are a
// small fraction of the Gaussian's width, which keeps a 6-point rule at the
// rounding of double, and stop where the pattern has underflowed to 0.
class GaussianEnclosure {
 public:
  GaussianEnclosure(double taper_db, double taper_angle_rad);

  double enclosed_power(double theta) const;
  double angle_of_enclosed_power(double f) const;
  // Whether the table is that of this taper and angle.
  bool is_of(double taper_db, double taper_angle_rad) const {
    return taper_db == taper_db_ && taper_angle_rad == taper_angle_rad_;
  }
  std::size_t intervals() const { return cumulative_.size() - 1; }

 private:
  // The pattern as exp(-a theta^2): the same function as gaussian_pattern
  // to rounding, at half the cost of its power of 10.
  double pattern(double theta) const { return std::exp(-exponent_ * (theta * theta)); }
  double from_knot(std::size_t i, double theta) const;

  double taper_db_;
  double taper_angle_rad_;
  double exponent_;                 // a of exp(-a theta^2)
  double step_ = 0;                 // the intervals' width, radians
  std::vector<double> cumulative_;  // the enclosed power at each knot i * step_
};

// The feed model of a design.
template <RealType Real>
struct FeedModel {
  FeedModelKind kind = FeedModelKind::beamwidth;
  BeamwidthFeed<Real> beamwidth;     // the beamwidth model
  Real taper_db = 0;                 // the Gaussian model
  Real taper_angle_rad = 0;
  std::shared_ptr<const FeedTable> source;        // tables: as read
  std::shared_ptr<const TabulatedPattern> table;  // tables: null when unusable
  // The Gaussian model's enclosed power, made with the model; one made for
  // another taper or angle is not used.
  std::shared_ptr<const GaussianEnclosure> gaussian;
  // The phase centre's position on the axis, from the geometry's feed point
  // towards the subreflector: the point the rays leave from.
  Real phase_centre_z = 0;

  bool analytic() const { return kind == FeedModelKind::beamwidth || kind == FeedModelKind::gaussian; }

  Real pattern(Real theta) const;
  Real enclosed_power(Real theta) const;
  Real angle_of_enclosed_power(Real f) const;
  Real last_angle() const;

  double pattern_double(double theta) const;
  double enclosed_power_double(double theta) const;
  double angle_of_enclosed_power_double(double f) const;
  double last_angle_double() const;
  // One line saying what the model is, e.g. "Gaussian, 12 dB at 20 deg".
  std::string description() const;

 private:
  // The Gaussian model's table of its enclosed power, made now when it is
  // missing or for another taper or angle.
  std::shared_ptr<const GaussianEnclosure> gaussian_table() const;
};

}  // namespace design
