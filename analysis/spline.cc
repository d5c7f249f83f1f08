#include "analysis/spline.h"

#include <algorithm>
#include <stdexcept>

namespace analysis {

NaturalSpline::NaturalSpline(std::vector<double> x, std::vector<double> y)
    : NaturalSpline(std::move(x), std::move(y), std::nullopt, std::nullopt) {}

NaturalSpline::NaturalSpline(std::vector<double> x, std::vector<double> y, std::optional<double> front_slope,
                             std::optional<double> back_slope)
    : x_(std::move(x)), y_(std::move(y)) {
  const std::size_t n = x_.size();
  if (n < 2 || y_.size() != n)
    throw std::invalid_argument("spline needs at least two points and as many ordinates as abscissae");
  for (std::size_t i = 1; i < n; ++i)
    if (!(x_[i] > x_[i - 1])) throw std::invalid_argument("spline abscissae must increase strictly");
  m_.assign(n, 0.0);
  // Tridiagonal system sub[i] m[i-1] + diag[i] m[i] + sup[i] m[i+1] = rhs[i]
  // for the second derivatives m, solved by the Thomas algorithm.  A natural
  // end keeps m = 0; a clamped end matches the given slope.
  std::vector<double> sub(n, 0.0), diag(n, 1.0), sup(n, 0.0), rhs(n, 0.0);
  for (std::size_t i = 1; i + 1 < n; ++i) {
    const double h0 = x_[i] - x_[i - 1], h1 = x_[i + 1] - x_[i];
    sub[i] = h0;
    diag[i] = 2.0 * (h0 + h1);
    sup[i] = h1;
    rhs[i] = 6.0 * ((y_[i + 1] - y_[i]) / h1 - (y_[i] - y_[i - 1]) / h0);
  }
  if (front_slope) {
    const double h = x_[1] - x_[0];
    diag[0] = 2.0 * h;
    sup[0] = h;
    rhs[0] = 6.0 * ((y_[1] - y_[0]) / h - *front_slope);
  }
  if (back_slope) {
    const double h = x_[n - 1] - x_[n - 2];
    sub[n - 1] = h;
    diag[n - 1] = 2.0 * h;
    rhs[n - 1] = 6.0 * (*back_slope - (y_[n - 1] - y_[n - 2]) / h);
  }
  for (std::size_t i = 1; i < n; ++i) {
    const double f = sub[i] / diag[i - 1];
    diag[i] -= f * sup[i - 1];
    rhs[i] -= f * rhs[i - 1];
  }
  m_[n - 1] = rhs[n - 1] / diag[n - 1];
  for (std::size_t i = n - 1; i-- > 0;) m_[i] = (rhs[i] - sup[i] * m_[i + 1]) / diag[i];
}

std::size_t NaturalSpline::interval(double x) const {
  auto it = std::upper_bound(x_.begin() + 1, x_.end() - 1, x);
  return static_cast<std::size_t>(it - x_.begin()) - 1;
}

double NaturalSpline::value(double x) const {
  if (x < x_.front()) return y_.front() + slope(x_.front()) * (x - x_.front());
  if (x > x_.back()) return y_.back() + slope(x_.back()) * (x - x_.back());
  const std::size_t i = interval(x);
  const double h = x_[i + 1] - x_[i];
  const double a = (x_[i + 1] - x) / h, b = (x - x_[i]) / h;
  return a * y_[i] + b * y_[i + 1] + ((a * a * a - a) * m_[i] + (b * b * b - b) * m_[i + 1]) * h * h / 6.0;
}

double NaturalSpline::slope(double x) const {
  x = std::clamp(x, x_.front(), x_.back());
  const std::size_t i = interval(x);
  const double h = x_[i + 1] - x_[i];
  const double a = (x_[i + 1] - x) / h, b = (x - x_[i]) / h;
  return (y_[i + 1] - y_[i]) / h + ((1.0 - 3.0 * a * a) * m_[i] + (3.0 * b * b - 1.0) * m_[i + 1]) * h / 6.0;
}

}  // namespace analysis
