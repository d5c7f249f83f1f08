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

// The error line for a feed read from a file that does not suit the design:
// it names the file and the line of the table the problem lies at (the last
// angle for a table that stops short, the first angle at or past the
// subreflector's rim for one without power there).
std::string feed_table_report(const design::Problem& p, const design::FeedSpec& feed);

}  // namespace run
