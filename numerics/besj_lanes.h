// J0 for many arguments at once, several in SIMD lanes (4 with SSE, 8 with
// AVX where the processor has it).  Every result has the bits BESJ(x, 0.0f)
// gives for the same argument: each lane carries out BESJ's float operations
// in BESJ's order, takes the series or the expansion by the same test, stops
// its series at the same group, and calls the same cos and sin.
#pragma once

#include <span>

namespace numerics {

// How many lanes BESJ0_many uses: automatic takes 8 when the processor has
// AVX, 4 otherwise.  eight falls back to four on a processor without AVX.
enum class BesjLanes { automatic, four, eight };

// Whether the processor (and operating system) can run the 8-lane path.
bool besj_eight_lanes_available();

// j0[i] = BESJ(x[i], 0.0f) for every i < min(x.size(), j0.size()); elements
// of j0 beyond that are left as they are.
void BESJ0_many(std::span<const float> x, std::span<float> j0,
                BesjLanes lanes = BesjLanes::automatic);

}  // namespace numerics
