// The constants BESJ works with, shared by the scalar routine and its lanes so
// that the two cannot drift apart.
#pragma once

namespace numerics::besj_constants {

// The power series serves x <= 6, the asymptotic expansion above.
inline constexpr float kSwitchPoint = 6.0f;
// The series sums groups of five terms, at most twenty groups.
inline constexpr int kMaxGroups = 20;
inline constexpr int kTermsPerGroup = 5;
// The expansion takes pi as 3.141593 (one unit in the last place above the
// float nearest pi).
inline constexpr float kPiExpansion = 3.141593f;

}  // namespace numerics::besj_constants
