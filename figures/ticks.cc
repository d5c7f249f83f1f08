#include "figures/ticks.h"

#include <algorithm>
#include <cmath>

#include "fields/prose.h"

namespace figures {
namespace {

// The number of multiples of `step` within [lo, hi].
long count(double lo, double hi, double step) {
  return static_cast<long>(std::floor(hi / step + 1e-9) - std::ceil(lo / step - 1e-9)) + 1;
}

// The decimals a multiple of `step` needs to be written exactly.
int decimals_of(double step) {
  int d = 0;
  for (double scaled = step; d < 20; ++d, scaled *= 10)
    if (std::abs(scaled - std::round(scaled)) <= 1e-6 * scaled) break;
  return d;
}

}  // namespace

double tick_step(double lo, double hi, int target) {
  if (!std::isfinite(lo) || !std::isfinite(hi) || !(hi > lo)) return 0;
  static constexpr double kMantissas[] = {1, 2, 2.5, 5};
  const double raw = (hi - lo) / std::max(1, target);
  if (!(raw > 0) || !std::isfinite(raw)) return 0;
  // The round step nearest `raw` on a log scale ...
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  std::vector<double> steps;
  for (int k = -1; k <= 1; ++k)
    for (double m : kMantissas) steps.push_back(m * power * std::pow(10.0, k));
  std::size_t best = 0;
  for (std::size_t i = 1; i < steps.size(); ++i)
    if (std::abs(std::log(steps[i] / raw)) < std::abs(std::log(steps[best] / raw))) best = i;
  // ... or a smaller one, until at least four ticks fall in the range.
  while (best > 0 && count(lo, hi, steps[best]) < 4) --best;
  // A range that ends on round values (0 to 180 degrees) keeps ticks at both
  // ends when a neighbouring step gives them and the nearest does not.
  const auto on_ends = [&](double step) {
    return std::abs(std::remainder(lo, step)) <= 1e-9 * step && std::abs(std::remainder(hi, step)) <= 1e-9 * step;
  };
  if (!on_ends(steps[best]))
    for (std::size_t other : {best - 1, best + 1})
      if (other < steps.size() && on_ends(steps[other]) && count(lo, hi, steps[other]) >= 4 &&
          count(lo, hi, steps[other]) <= 11)
        return steps[other];
  return steps[best];
}

std::vector<double> nice_ticks(double lo, double hi, int target) {
  std::vector<double> ticks;
  const double step = tick_step(lo, hi, target);
  if (!(step > 0)) return ticks;
  for (double k = std::ceil(lo / step - 1e-9); k * step <= hi + 1e-9 * step; k += 1.0) {
    const double t = k * step;
    ticks.push_back(std::abs(t) < 1e-9 * step ? 0.0 : t);
  }
  return ticks;
}

std::string tick_label(double v, double step) {
  if (!std::isfinite(v)) return {};
  const int decimals = std::isfinite(step) && step > 0 ? decimals_of(step) : 6;
  // Zero with the axis's decimals (plain on an axis of exponents), never "-0.0".
  if (std::abs(v) < 1e-9 * std::abs(step)) return step < 1e-3 || step >= 1e6 ? "0" : fields::fixed(0.0, decimals);
  const double magnitude = std::abs(v);
  const int integer_digits = magnitude >= 1 ? static_cast<int>(std::floor(std::log10(magnitude))) + 1 : 1;
  const int leading_zeros = magnitude < 1 ? static_cast<int>(-std::floor(std::log10(magnitude))) - 1 : 0;
  const int significant = magnitude >= 1 ? integer_digits + decimals : decimals - leading_zeros;
  if (magnitude >= 1e6 || magnitude < 1e-3 || significant > 6) return fields::number(v, 6);
  return fields::fixed(v, decimals);
}

Span at_least(double lo, double hi, double span) {
  if (!(hi - lo < span) || !std::isfinite(lo) || !std::isfinite(hi)) return {lo, hi, false};
  const double mid = 0.5 * (lo + hi);
  // Values of one sign keep it: the span starts at zero rather than cross it.
  if (lo >= 0 && mid - 0.5 * span < 0) return {0, span, true};
  if (hi <= 0 && mid + 0.5 * span > 0) return {-span, 0, true};
  return {mid - 0.5 * span, mid + 0.5 * span, true};
}

}  // namespace figures
