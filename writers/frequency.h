// The report's wavelength from a frequency: a frequency as a person writes it
// (12e9, 12GHz, 1.5 MHz) and the design's length unit.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "writers/output_plan.h"

namespace writers {

// The speed of light in vacuum, m/s (exact by the definition of the metre).
inline constexpr double kSpeedOfLight = 299792458.0;

// Metres in one length unit.
double metres_per(LengthUnit unit);

// A frequency in Hz written as a number (12000000000, 12e9, 1.5E+10) with an
// optional multiplier k, M, G or T, and an optional "Hz" after it, blanks
// allowed between the number and the rest: 12GHz, 12 GHz, 12G, 12e9 Hz.
// "Hz" may be in any case, and k, G and T too (kHz, KHz, ghz), but "m" is
// milli and is refused rather than read as mega.  Returns the frequency
// (finite, above 0) or, in `problem`, a sentence without its subject
// ("is not a frequency...") saying what is wrong.
std::optional<double> parse_frequency(std::string_view text, std::string& problem);

// The wavelength of a frequency in Hz in the length unit `unit`, or none
// when it is not a finite length above 0 (a frequency near 0 or beyond the
// range of reals).
std::optional<double> wavelength_in(double hertz, LengthUnit unit);

// The design's length unit, which a frequency needs to give a wavelength:
// the plan's own (a design file's [scale] unit), else the unit of its object
// files when they name one unit.  None when the plan names no unit or two.
std::optional<LengthUnit> length_unit_of(const OutputPlan& plan);

// The name a design file gives a unit: "in", "ft", "mm" or "m".
std::string_view unit_name(LengthUnit unit);

}  // namespace writers
