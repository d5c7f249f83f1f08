#include "design/feed_model.h"

#include <cmath>

// Boost's pchip calls isnan unqualified; its declaration must be visible
// where the template is defined.
namespace boost::math::interpolators {
using std::isnan;
}

#include <algorithm>
#include <boost/math/interpolators/pchip.hpp>
#include <boost/math/quadrature/gauss.hpp>
#include <cmath>
#include <cstdio>
#include <limits>

namespace design {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kPi = Constants<double>::pi;
// Gauss-Legendre points per table interval: the interpolant is a cubic times
// sin(theta) there, integrated to rounding by far fewer.
constexpr int kIntervalPoints = 10;
// Gauss-Legendre points per interval of the Gaussian's table, and the
// intervals' width: at most pi/1024 and 0.08 of the angle over which the
// pattern falls by a factor e, narrow enough for so few points to be exact
// to rounding (checked against 50-digit quadrature: within 2 units of the
// last place from 1e-4 degrees to 180).
constexpr int kGaussianPoints = 6;
constexpr double kGaussianWidths = 0.08;
constexpr double kGaussianMaxStep = kPi / 1024.0;
// Beyond exp(-800) the pattern is 0 in double: the table ends there.
constexpr double kGaussianUnderflow = 800.0;
// The most intervals a table holds (an extreme negative taper, whose pattern
// rises, may want more; it then gets these, wider).
constexpr std::size_t kGaussianMaxIntervals = 1u << 16;

// The angle in [lo, hi] at which a rising enclosed power F reaches f,
// by Newton steps on F' = P sin, kept inside a shrinking bracket.
template <class F, class P>
double solve_enclosed(F enclosed, P pattern, double f, double lo, double hi) {
  double x = 0.5 * (lo + hi);
  for (int i = 0; i < 200 && hi - lo > 1e-15 * std::max(1.0, hi); ++i) {
    const double g = enclosed(x) - f;
    if (g == 0.0) return x;
    if (g < 0.0) lo = x; else hi = x;
    const double slope = pattern(x) * std::sin(x);
    double next = slope > 0.0 ? x - g / slope : kNaN;
    if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
    if (std::fabs(next - x) < 1e-16 * std::max(1.0, x)) return next;
    x = next;
  }
  return x;
}

std::string number(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.6g", v);
  return buffer;
}

}  // namespace

std::string table_fault(const FeedTable& t) {
  const std::size_t n = t.theta_deg.size();
  if (t.power.size() != n) return "the table's columns differ in length";
  if (n < kMinFeedTableAngles) {
    return "the table holds " + std::to_string(n) + " angles; it needs at least " +
           std::to_string(kMinFeedTableAngles);
  }
  bool some_power = false;
  for (std::size_t i = 0; i < n; ++i) {
    if (!std::isfinite(t.theta_deg[i])) return "an angle is not a finite number";
    if (i > 0 && !(t.theta_deg[i] > t.theta_deg[i - 1])) return "the angles do not increase";
    if (!std::isfinite(t.power[i]) || t.power[i] < 0.0) return "a power is not a finite level";
    some_power = some_power || t.power[i] > 0.0;
  }
  if (t.theta_deg.front() < 0.0 || t.theta_deg.back() > 180.0) {
    return "the angles lie outside 0 to 180 degrees";
  }
  if (!some_power) return "the table holds no power";
  return {};
}

namespace {

std::vector<double> radians_of(const FeedTable& t) {
  std::vector<double> r(t.theta_deg.size());
  for (std::size_t i = 0; i < r.size(); ++i) r[i] = t.theta_deg[i] * Constants<double>::deg;
  return r;
}

// The pattern's scale: the power on the axis when there is some there, else
// the largest power, so that the pattern is 1 on the axis where it can be.
double scale_of(const FeedTable& t) {
  const double peak = *std::max_element(t.power.begin(), t.power.end());
  const double axis = t.power.front();
  if (axis > 0.0 && std::isfinite(peak / axis)) return axis;
  return peak;
}

}  // namespace

// The pattern is even in theta, so its slope on the axis is 0; a table that
// starts elsewhere takes the monotone one-sided slope.
TabulatedPattern::TabulatedPattern(const FeedTable& t)
    : theta_(radians_of(t)),
      spline_(boost::math::interpolators::pchip<std::vector<double>>(
          radians_of(t), std::vector<double>(t.power), t.theta_deg.front() == 0.0 ? 0.0 : kNaN)),
      scale_(scale_of(t)) {
  cumulative_.assign(theta_.size(), 0.0);
  for (std::size_t i = 1; i < theta_.size(); ++i) {
    const auto f = [this](double x) { return pattern(x) * std::sin(x); };
    cumulative_[i] = cumulative_[i - 1] +
                     boost::math::quadrature::gauss<double, kIntervalPoints>::integrate(
                         f, theta_[i - 1], theta_[i]);
  }
}

double TabulatedPattern::pattern(double theta) const {
  if (std::isnan(theta)) return kNaN;
  theta = std::fabs(theta);
  if (theta < theta_.front() || theta > theta_.back()) return 0.0;
  return std::max(0.0, spline_(theta)) / scale_;
}

double TabulatedPattern::enclosed_power(double theta) const {
  if (std::isnan(theta)) return kNaN;
  if (theta <= theta_.front()) return 0.0;
  if (theta >= theta_.back()) return cumulative_.back();
  const auto it = std::upper_bound(theta_.begin(), theta_.end(), theta);
  const std::size_t i = static_cast<std::size_t>(it - theta_.begin()) - 1;
  const auto f = [this](double x) { return pattern(x) * std::sin(x); };
  return cumulative_[i] +
         boost::math::quadrature::gauss<double, kIntervalPoints>::integrate(f, theta_[i], theta);
}

double TabulatedPattern::angle_of_enclosed_power(double f) const {
  if (std::isnan(f)) return kNaN;
  if (f <= 0.0) return theta_.front();
  if (f >= cumulative_.back()) return theta_.back();
  // The interval whose ends enclose f, then Newton inside it.
  const auto it = std::upper_bound(cumulative_.begin(), cumulative_.end(), f);
  const std::size_t i = static_cast<std::size_t>(it - cumulative_.begin());
  return solve_enclosed([this](double x) { return enclosed_power(x); },
                        [this](double x) { return pattern(x); }, f, theta_[i - 1], theta_[i]);
}

GaussianEnclosure::GaussianEnclosure(double taper_db, double taper_angle_rad)
    : taper_db_(taper_db),
      taper_angle_rad_(taper_angle_rad),
      exponent_(taper_db / 10.0 * std::log(10.0) / (taper_angle_rad * taper_angle_rad)) {
  // P = exp(-a theta^2): the width 1/sqrt(|a|) sets the step; for a > 0 the
  // pattern is 0 beyond sqrt(800 / a).
  const double a = exponent_;
  double end = kPi;
  double step = kGaussianMaxStep;
  if (std::isfinite(a) && a != 0.0) {
    step = std::min(step, kGaussianWidths / std::sqrt(std::fabs(a)));
    if (a > 0.0) end = std::min(end, std::sqrt(kGaussianUnderflow / a));
  }
  std::size_t n = 1;
  if (step > 0.0 && std::isfinite(end / step)) {
    n = static_cast<std::size_t>(std::clamp(std::ceil(end / step), 1.0,
                                            static_cast<double>(kGaussianMaxIntervals)));
  }
  step_ = end / static_cast<double>(n);
  cumulative_.assign(n + 1, 0.0);
  // Summed with the rounding of each addition carried (Neumaier), so that
  // many intervals lose no digit.
  double sum = 0.0, carried = 0.0;
  for (std::size_t i = 1; i <= n; ++i) {
    const double v = from_knot(i - 1, static_cast<double>(i) * step_);
    const double t = sum + v;
    carried += std::fabs(sum) >= std::fabs(v) ? (sum - t) + v : (v - t) + sum;
    sum = t;
    cumulative_[i] = sum + carried;
  }
}

// The integral of P sin from knot i to theta.
double GaussianEnclosure::from_knot(std::size_t i, double theta) const {
  const double from = static_cast<double>(i) * step_;
  if (!(theta > from)) return 0.0;
  const auto f = [this](double x) { return pattern(x) * std::sin(x); };
  return boost::math::quadrature::gauss<double, kGaussianPoints>::integrate(f, from, theta);
}

double GaussianEnclosure::enclosed_power(double theta) const {
  if (std::isnan(theta)) return kNaN;
  if (!(theta > 0.0)) return 0.0;
  const std::size_t n = intervals();
  if (theta >= static_cast<double>(n) * step_) return cumulative_.back();
  const std::size_t i = std::min(static_cast<std::size_t>(theta / step_), n - 1);
  return cumulative_[i] + from_knot(i, theta);
}

double GaussianEnclosure::angle_of_enclosed_power(double f) const {
  if (std::isnan(f)) return kNaN;
  if (f <= 0.0) return 0.0;
  if (f >= cumulative_.back()) return kPi;
  // The interval whose ends enclose f, then Newton inside it.
  const auto it = std::upper_bound(cumulative_.begin(), cumulative_.end(), f);
  const std::size_t i = static_cast<std::size_t>(it - cumulative_.begin());
  return solve_enclosed([this](double x) { return enclosed_power(x); },
                        [this](double x) { return pattern(x); }, f,
                        static_cast<double>(i - 1) * step_, static_cast<double>(i) * step_);
}

template <RealType Real>
std::shared_ptr<const GaussianEnclosure> FeedModel<Real>::gaussian_table() const {
  const double t = static_cast<double>(taper_db), angle = static_cast<double>(taper_angle_rad);
  if (gaussian && gaussian->is_of(t, angle)) return gaussian;
  return std::make_shared<const GaussianEnclosure>(t, angle);
}

template <RealType Real>
double FeedModel<Real>::pattern_double(double theta) const {
  switch (kind) {
    case FeedModelKind::beamwidth:
      return BeamwidthFeed<double>::pattern_of(theta, static_cast<double>(beamwidth.exponent));
    case FeedModelKind::gaussian:
      return gaussian_pattern(theta, static_cast<double>(taper_db),
                              static_cast<double>(taper_angle_rad));
    case FeedModelKind::table:
    case FeedModelKind::cut:
      return table ? table->pattern(theta) : kNaN;
  }
  return kNaN;
}

template <RealType Real>
double FeedModel<Real>::enclosed_power_double(double theta) const {
  switch (kind) {
    case FeedModelKind::beamwidth:
      return BeamwidthFeed<Real>::enclosed_power_exact(theta,
                                                       static_cast<double>(beamwidth.exponent));
    case FeedModelKind::gaussian:
      return gaussian_table()->enclosed_power(theta);
    case FeedModelKind::table:
    case FeedModelKind::cut:
      return table ? table->enclosed_power(theta) : kNaN;
  }
  return kNaN;
}

template <RealType Real>
double FeedModel<Real>::angle_of_enclosed_power_double(double f) const {
  switch (kind) {
    case FeedModelKind::beamwidth: {
      // F = 4 (1 - c^(2n+2)) / (2n+2), c = cos(theta/2)
      const double m = 2.0 * static_cast<double>(beamwidth.exponent) + 2.0;
      const double c = std::pow(1.0 - f * m / 4.0, 1.0 / m);
      return 2.0 * std::acos(std::clamp(c, 0.0, 1.0));
    }
    case FeedModelKind::gaussian:
      return gaussian_table()->angle_of_enclosed_power(f);
    case FeedModelKind::table:
    case FeedModelKind::cut:
      return table ? table->angle_of_enclosed_power(f) : kNaN;
  }
  return kNaN;
}

template <RealType Real>
double FeedModel<Real>::last_angle_double() const {
  if (analytic()) return kPi;
  return table ? table->last_angle() : kNaN;
}

template <RealType Real>
Real FeedModel<Real>::pattern(Real theta) const {
  switch (kind) {
    case FeedModelKind::beamwidth:
      return beamwidth.pattern(theta);
    case FeedModelKind::gaussian:
      return gaussian_pattern(theta, taper_db, taper_angle_rad);
    case FeedModelKind::table:
    case FeedModelKind::cut:
      break;
  }
  return static_cast<Real>(pattern_double(static_cast<double>(theta)));
}

template <RealType Real>
Real FeedModel<Real>::enclosed_power(Real theta) const {
  // The beamwidth model keeps the rule the power balance has always used.
  if (kind == FeedModelKind::beamwidth) return beamwidth.enclosed_power(theta);
  return static_cast<Real>(enclosed_power_double(static_cast<double>(theta)));
}

template <RealType Real>
Real FeedModel<Real>::angle_of_enclosed_power(Real f) const {
  return static_cast<Real>(angle_of_enclosed_power_double(static_cast<double>(f)));
}

template <RealType Real>
Real FeedModel<Real>::last_angle() const {
  if (analytic()) return Constants<Real>::pi;
  return static_cast<Real>(last_angle_double());
}

template <RealType Real>
std::string FeedModel<Real>::description() const {
  switch (kind) {
    case FeedModelKind::beamwidth:
      return "cos^2n(theta/2), beamwidth " + number(static_cast<double>(beamwidth.beamwidth_deg)) +
             " deg at " + number(-std::fabs(static_cast<double>(beamwidth.level_db))) +
             " dB (n = " + number(static_cast<double>(beamwidth.exponent)) + ")";
    case FeedModelKind::gaussian:
      return "Gaussian, " + number(-static_cast<double>(taper_db)) + " dB at " +
             number(static_cast<double>(taper_angle_rad) / Constants<double>::deg) + " deg";
    case FeedModelKind::table:
    case FeedModelKind::cut: {
      if (!source) return "table";
      const std::size_t n = source->theta_deg.size();
      std::string s = std::string(kind == FeedModelKind::cut ? "pattern cuts" : "table") +
                      " from " + source->source + ", " + std::to_string(n) + " angles";
      if (n >= 2) {
        s += " from " + number(source->theta_deg.front()) + " to " +
             number(source->theta_deg.back()) + " deg";
      }
      return s;
    }
  }
  return {};
}

template struct FeedModel<float>;
template struct FeedModel<double>;

}  // namespace design
