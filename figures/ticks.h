// Round axis ticks and their labels, shared by every chart and heat map:
// steps of 1, 2, 2.5 or 5 times a power of ten, at least four ticks on an
// axis, labels of at most six significant digits, and a minimum span so that
// values that hardly vary are drawn flat instead of magnified to fill a plot.
#pragma once

#include <string>
#include <vector>

namespace figures {

// The round step (1, 2, 2.5 or 5 times a power of ten) that puts about
// `target` intervals on [lo, hi] and at least four ticks inside it; 0 when
// the range is empty or not finite.
double tick_step(double lo, double hi, int target = 6);

// The multiples of tick_step(lo, hi, target) within [lo, hi] (exact zero
// where a tick falls on zero): at least four of them.
std::vector<double> nice_ticks(double lo, double hi, int target = 6);

// A tick's label: the decimals the step needs and no more ("0.225", "-3",
// "0.0025"), the exponent form for very small or very large numbers
// ("2.5e-05"), at most six significant digits either way.
std::string tick_label(double v, double step);

// [lo, hi] widened about its middle to at least `span` when it is narrower;
// a range of one sign is not widened past zero (it then starts or ends there).
struct Span {
  double lo = 0, hi = 0;
  bool widened = false;  // the range is the minimum span, not the values'
};
Span at_least(double lo, double hi, double span);

// Below this share of its magnitude, a range cannot be labelled in six
// significant digits: every axis is at least this wide.
inline constexpr double kLabelSpanShare = 3e-4;

}  // namespace figures
