// Levels in dB of powers that may be zero.
#pragma once

namespace analysis {

// A power of zero (no field, no efficiency left) has no level in dB; the
// analysis gives it this floor instead of minus infinity, so that every
// figure of the report stays a number.  Levels at the floor mean "none".
inline constexpr double kFloorDb = -300.0;
// The smallest power ratio given a level of its own: 10^(kFloorDb / 10).
inline constexpr double kFloorPowerRatio = 1e-30;
// The loss in dB of all the power (an efficiency of zero): -kFloorDb.
inline constexpr double kTotalLossDb = 300.0;

}  // namespace analysis
