#include "writers/frequency.h"

#include <cctype>
#include <charconv>
#include <cmath>

namespace writers {
namespace {

bool blank(char c) { return c == ' ' || c == '\t'; }

// The multiplier a prefix letter stands for, or 0 for a letter that is none.
double multiplier(char c) {
  switch (c) {
    case 'k':
    case 'K':
      return 1e3;
    case 'M':
      return 1e6;
    case 'G':
    case 'g':
      return 1e9;
    case 'T':
    case 't':
      return 1e12;
    default:
      return 0.0;
  }
}

bool is_hz(std::string_view s) {
  return s.size() == 2 && (s[0] == 'h' || s[0] == 'H') && (s[1] == 'z' || s[1] == 'Z');
}

}  // namespace

double metres_per(LengthUnit unit) {
  switch (unit) {
    case LengthUnit::inch:
      return 0.0254;
    case LengthUnit::foot:
      return 0.3048;
    case LengthUnit::millimetre:
      return 0.001;
    case LengthUnit::metre:
      return 1.0;
  }
  return 1.0;
}

std::string_view unit_name(LengthUnit unit) {
  switch (unit) {
    case LengthUnit::inch:
      return "in";
    case LengthUnit::foot:
      return "ft";
    case LengthUnit::millimetre:
      return "mm";
    case LengthUnit::metre:
      return "m";
  }
  return "?";
}

std::optional<double> parse_frequency(std::string_view text, std::string& problem) {
  const std::string_view example = " (in Hz, such as 12e9, 12GHz or 1.5 MHz)";
  std::size_t at = 0;
  while (at < text.size() && blank(text[at])) ++at;
  if (at < text.size() && text[at] == '+') ++at;  // from_chars takes no '+'
  double value = 0.0;
  const auto [end, ec] = std::from_chars(text.data() + at, text.data() + text.size(), value);
  if (ec == std::errc::result_out_of_range) {
    problem = "is out of range" + std::string(example);
    return std::nullopt;
  }
  if (ec != std::errc() || end == text.data() + at) {
    problem = "is not a frequency" + std::string(example);
    return std::nullopt;
  }
  std::string_view rest = text.substr(static_cast<std::size_t>(end - text.data()));
  while (!rest.empty() && blank(rest.front())) rest.remove_prefix(1);
  while (!rest.empty() && blank(rest.back())) rest.remove_suffix(1);
  double scale = 1.0;
  if (!rest.empty() && !is_hz(rest)) {
    if (rest.front() == 'm' && (rest.size() == 1 || is_hz(rest.substr(1)))) {
      problem = "is in millihertz (\"m\" is milli); write M for mega, as in 12MHz";
      return std::nullopt;
    }
    scale = multiplier(rest.front());
    rest.remove_prefix(1);
    if (scale == 0.0 || !(rest.empty() || is_hz(rest))) {
      problem = "is not a frequency" + std::string(example);
      return std::nullopt;
    }
  }
  const double hertz = value * scale;
  if (!std::isfinite(value) || !std::isfinite(hertz)) {
    problem = "is not a finite frequency" + std::string(example);
    return std::nullopt;
  }
  if (!(hertz > 0.0)) {
    problem = "must be greater than 0 Hz";
    return std::nullopt;
  }
  return hertz;
}

std::optional<double> wavelength_in(double hertz, LengthUnit unit) {
  const double wavelength = kSpeedOfLight / hertz / metres_per(unit);
  if (!std::isfinite(wavelength) || !(wavelength > 0.0)) return std::nullopt;
  return wavelength;
}

std::optional<LengthUnit> length_unit_of(const OutputPlan& plan) {
  if (plan.unit) return plan.unit;
  std::optional<LengthUnit> unit;
  for (const auto* object : {&plan.main_object, &plan.sub_object}) {
    if (!*object) continue;
    if (unit && *unit != (*object)->unit) return std::nullopt;
    unit = (*object)->unit;
  }
  return unit;
}

}  // namespace writers
