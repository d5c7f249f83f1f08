// The aperture power distributions: uniform, Gaussian and Taylor circular.
//
// Every distribution is a power density over the normalised main-aperture
// radius r with the value 1 on the axis.  The Taylor kind needs its pattern
// zeros (TCYZO) and series coefficients (TCYAC) computed once before the
// first APPL call; TCYDS then sums the series at each radius.
#pragma once

#include <array>
#include <span>

#include "ravost/dialog.h"
#include "ravost/ravost.h"

namespace ravost {

// The Taylor tables hold this many entries; nbar runs from 1 to it.
inline constexpr int kMaxNbar = static_cast<int>(APERT::j1_zeros.size());

// Aperture power density at r = v[0] for the distribution in `apert`; 0 for a
// kind other than 1, 2 or 3.
float APPL(const APERT& apert, std::span<const float> v);

// Pattern zeros of the Taylor circular distribution with sidelobe level
// `sidelobe_level_db` (>= 0) into taylor_zeros[0 .. nbar-1].  An nbar outside
// 1..20 leaves the table unchanged.
void TCYZO(float sidelobe_level_db, int nbar, std::array<float, 20>& taylor_zeros);

// Series coefficients of the Taylor distribution into
// coefficients[0 .. nbar-1], normalised to a sum of 1.  Writes the table of
// unnormalised coefficients to the console of `dialog`.  An nbar outside 1..20
// leaves the coefficients unchanged and writes nothing.
void TCYAC(int nbar, const std::array<float, 20>& taylor_zeros,
           std::array<float, 20>& coefficients, Dialog& dialog);

// Taylor amplitude at radius r from the first nbar coefficients; 0 for |r| > 1.
float TCYDS(int nbar, std::span<const float> coefficients, float r);

}  // namespace ravost
