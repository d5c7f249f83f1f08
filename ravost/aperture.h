// The aperture power distributions: uniform, Gaussian and Taylor circular.
#pragma once

#include <span>

#include "ravost/ravost.h"

namespace ravost {

// Aperture power density at r = v[0] for the distribution in `apert`.
float APPL(const APERT& apert, std::span<const float> v);

}  // namespace ravost
