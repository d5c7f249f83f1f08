// The sentences of a run: what is wrong with an input, in one line, as the
// dialog shows it before asking again and as a design file's report names it.
#pragma once

#include <string>

#include "design/choices.h"

namespace run {

// One sentence, starting with a capital and ending with a full stop.
std::string sentence(const design::Problem& p);

// The warning for a ray table whose last row falls short of the rim, or an
// empty text.
std::string interval_warning(const design::RowPlan& plan);

}  // namespace run
