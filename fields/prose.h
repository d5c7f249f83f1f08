// Numbers in sentences, reports and pages (not in fixed-width fields): the
// one formatter for prose, so every message rounds the same way.
#pragma once

#include <string>

namespace fields {

// v with `significant` significant digits, as short as they allow ("%g").
std::string number(double v, int significant = 6);
// v with `decimals` digits after the point ("%f").
std::string fixed(double v, int decimals);

}  // namespace fields
