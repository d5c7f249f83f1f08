#include "analysis/aperture.h"
#include "analysis/levels.h"

#include <algorithm>
#include <boost/math/quadrature/gauss.hpp>
#include <boost/math/special_functions/bessel.hpp>
#include <boost/math/tools/minima.hpp>
#include <boost/math/tools/roots.hpp>
#include <cmath>
#include <stdexcept>

namespace analysis {
namespace {

constexpr int kGaussPoints = 15;
constexpr double kStepU = 0.05;      // pattern sampling in k a sin(theta): ~60 samples a lobe
constexpr double kLimitU = 400.0;    // never look further out than this

// Bessel functions in double itself: Boost's default policy would work in
// long double, several times slower for no digit the figures show.
using InDouble = boost::math::policies::policy<boost::math::policies::promote_double<false>>;

double to_db(double power) { return 10.0 * std::log10(std::max(power, kFloorPowerRatio)); }

class FarField {
 public:
  FarField(const ApertureField& field, const Intervals& bands) : q_(bands) {
    f_.reserve(q_.rho().size());
    for (std::size_t k = 0; k < q_.rho().size(); ++k) f_.push_back(field(q_.rho()[k]) * q_.weight()[k]);
  }
  std::complex<double> operator()(double u) const {
    std::complex<double> e = 0;
    for (std::size_t k = 0; k < f_.size(); ++k) e += f_[k] * boost::math::cyl_bessel_j(0, u * q_.rho()[k], InDouble());
    return e;
  }
  double power(double u) const { return std::norm((*this)(u)); }

 private:
  ApertureQuadrature q_;
  std::vector<std::complex<double>> f_;
};

double theta_deg(double u, double ka) { return std::asin(std::min(1.0, u / ka)) * 180.0 / M_PI; }

void fill_levels(Pattern& p, const std::vector<double>& power, double ka) {
  const double peak = *std::max_element(power.begin(), power.end());
  p.theta_deg.clear();
  p.level_db.clear();
  for (std::size_t i = 0; i < power.size(); ++i) {
    p.theta_deg.push_back(theta_deg(p.u[i], ka));
    p.level_db.push_back(peak > 0 ? to_db(power[i] / peak) : kFloorDb);
  }
}

}  // namespace

ApertureQuadrature::ApertureQuadrature(const Intervals& bands, int panels_per_unit) {
  using Gauss = boost::math::quadrature::gauss<double, kGaussPoints>;
  const auto& x = Gauss::abscissa();
  const auto& w = Gauss::weights();
  for (const auto& [from, to] : bands) {
    if (!(to > from)) continue;
    const int panels = std::max(2, static_cast<int>(std::ceil((to - from) * panels_per_unit)));
    const double h = (to - from) / panels;
    for (int p = 0; p < panels; ++p) {
      const double mid = from + (p + 0.5) * h;
      for (std::size_t i = 0; i < x.size(); ++i) {
        const double offsets[2] = {x[i], -x[i]};
        for (int s = 0; s < (x[i] == 0.0 ? 1 : 2); ++s) {
          const double rho = mid + 0.5 * h * offsets[s];
          rho_.push_back(rho);
          weight_.push_back(0.5 * h * w[i] * rho);
        }
      }
    }
  }
}

std::complex<double> ApertureQuadrature::integrate(const ApertureField& field) const {
  std::complex<double> sum = 0;
  for (std::size_t k = 0; k < rho_.size(); ++k) sum += field(rho_[k]) * weight_[k];
  return sum;
}

Pattern far_field_on(const ApertureField& field, const Intervals& bands, double d_over_lambda,
                     const std::vector<double>& u) {
  const FarField ff(field, bands);
  Pattern p;
  p.u = u;
  std::vector<double> power;
  power.reserve(u.size());
  for (double x : u) power.push_back(ff.power(x));
  if (!power.empty()) fill_levels(p, power, M_PI * d_over_lambda);
  return p;
}

Pattern far_field(const ApertureField& field, const Intervals& bands, double d_over_lambda, double u_max,
                  int sidelobes) {
  if (!(d_over_lambda > 0)) throw std::invalid_argument("far field needs a positive D/lambda");
  const double ka = M_PI * d_over_lambda;
  const double limit = std::min(u_max > 0 ? u_max : kLimitU, ka);
  const FarField ff(field, bands);
  Pattern p;
  std::vector<double> power;
  // Sample outwards; count the sidelobes (local maxima past the first minimum)
  // and, when no limit was given, stop half a lobe past the last one wanted.
  int minima = 0;
  double stop_at = limit;
  for (int i = 0;; ++i) {
    const double u = std::min(i * kStepU, limit);
    p.u.push_back(u);
    power.push_back(ff.power(u));
    const std::size_t n = power.size();
    if (n >= 3) {
      const double a = power[n - 3], b = power[n - 2], c = power[n - 1];
      if (b < a && b <= c) ++minima;
      if (minima > 0 && b > a && b >= c) ++p.sidelobes_found;
      if (u_max <= 0 && p.sidelobes_found == sidelobes && stop_at == limit)
        stop_at = std::min(limit, u + 1.6);
    }
    if (u >= stop_at) break;
  }
  const double peak = *std::max_element(power.begin(), power.end());
  fill_levels(p, power, ka);
  if (!(peak > 0)) return p;

  const auto bits = std::numeric_limits<double>::digits / 2;
  std::size_t i = 1;
  while (i < power.size() && power[i] >= 0.5 * peak) ++i;
  // A beam whose axis is below half its peak (a design whose phase error is
  // many wavelengths) has no half-power width to find.
  if (i < power.size() && power[i - 1] >= 0.5 * peak) {
    boost::uintmax_t it = 100;
    const auto half = boost::math::tools::toms748_solve(
        [&](double u) { return ff.power(u) - 0.5 * peak; }, p.u[i - 1], p.u[i],
        boost::math::tools::eps_tolerance<double>(40), it);
    p.hpbw_deg = 2.0 * theta_deg(0.5 * (half.first + half.second), ka);
  }
  // First minimum beyond the half-power point, then the first maximum after it.
  while (i + 1 < power.size() && !(power[i] <= power[i - 1] && power[i] <= power[i + 1])) ++i;
  if (i + 1 < power.size()) {
    boost::uintmax_t it = 100;
    const auto null = boost::math::tools::brent_find_minima([&](double u) { return ff.power(u); },
                                                            p.u[i - 1], p.u[i + 1], bits, it);
    p.first_null_deg = theta_deg(null.first, ka);
    ++i;
    while (i + 1 < power.size() && !(power[i] >= power[i - 1] && power[i] >= power[i + 1])) ++i;
    if (i + 1 < power.size()) {
      it = 100;
      const auto lobe = boost::math::tools::brent_find_minima([&](double u) { return -ff.power(u); },
                                                              p.u[i - 1], p.u[i + 1], bits, it);
      p.first_sidelobe_deg = theta_deg(lobe.first, ka);
      p.first_sidelobe_db = to_db(-lobe.second / peak);
    }
  }
  return p;
}

double illumination_efficiency(const ApertureField& amplitude, const Intervals& bands) {
  const ApertureQuadrature q(bands);
  const std::complex<double> sum = q.integrate(amplitude);
  const double power = q.integrate([&](double rho) { return std::complex<double>(std::norm(amplitude(rho))); }).real();
  // Per 2 pi: |2 pi S|^2 / (pi * 2 pi P) = 2 |S|^2 / P.
  return power > 0 ? 2.0 * std::norm(sum) / power : 0.0;
}

}  // namespace analysis
