#include "analysis/spline.h"

#include <algorithm>
#include <stdexcept>

namespace analysis {

NaturalSpline::NaturalSpline(std::vector<double> x, std::vector<double> y)
    : x_(std::move(x)), y_(std::move(y)) {
  const std::size_t n = x_.size();
  if (n < 2 || y_.size() != n)
    throw std::invalid_argument("spline needs at least two points and as many ordinates as abscissae");
  for (std::size_t i = 1; i < n; ++i)
    if (!(x_[i] > x_[i - 1])) throw std::invalid_argument("spline abscissae must increase strictly");
  m_.assign(n, 0.0);
  if (n == 2) return;
  // Tridiagonal system for the inner second derivatives (Thomas algorithm);
  // the natural ends keep m = 0.
  std::vector<double> diag(n, 0.0), rhs(n, 0.0);
  for (std::size_t i = 1; i + 1 < n; ++i) {
    const double h0 = x_[i] - x_[i - 1], h1 = x_[i + 1] - x_[i];
    diag[i] = 2.0 * (h0 + h1);
    rhs[i] = 6.0 * ((y_[i + 1] - y_[i]) / h1 - (y_[i] - y_[i - 1]) / h0);
  }
  for (std::size_t i = 2; i + 1 < n; ++i) {
    const double sub = x_[i] - x_[i - 1];
    const double f = sub / diag[i - 1];
    diag[i] -= f * sub;
    rhs[i] -= f * rhs[i - 1];
  }
  for (std::size_t i = n - 2; i >= 1; --i) {
    const double sup = x_[i + 1] - x_[i];
    m_[i] = (rhs[i] - (i + 2 < n ? sup * m_[i + 1] : 0.0)) / diag[i];
  }
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
