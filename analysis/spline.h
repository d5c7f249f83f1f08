// Cubic spline through points of strictly increasing abscissa: natural
// (no curvature at an end) or clamped (a given slope at an end).
#pragma once

#include <optional>
#include <vector>

namespace analysis {

class NaturalSpline {
 public:
  NaturalSpline() = default;
  // Throws std::invalid_argument unless there are at least two points, the
  // arrays have the same length and x increases strictly.
  NaturalSpline(std::vector<double> x, std::vector<double> y);
  // The same with the slope at either end given (clamped) where it is set.
  NaturalSpline(std::vector<double> x, std::vector<double> y, std::optional<double> front_slope,
                std::optional<double> back_slope);

  // Beyond the end points the spline continues along its end tangents.
  double value(double x) const;
  double slope(double x) const;
  double front() const { return x_.front(); }
  double back() const { return x_.back(); }
  bool empty() const { return x_.empty(); }

 private:
  std::size_t interval(double x) const;
  std::vector<double> x_, y_, m_;  // m_: second derivatives at the knots
};

}  // namespace analysis
