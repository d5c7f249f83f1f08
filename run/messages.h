// The sentences of a run: what is wrong with an input, in one line, as the
// dialog shows it before asking again and as a design file's report names it.
#pragma once

#include <optional>
#include <string>

#include "design/choices.h"
#include "diag/diagnostic.h"

namespace run {

// One sentence, starting with a capital and ending with a full stop.
std::string sentence(const design::Problem& p);

// The problem as an error diagnostic: its message is sentence(p).  The one
// place a validation problem becomes something the program reports; readers
// add their key and line to it.
diag::Diagnostic diagnose(const design::Problem& p);

// The warning for a ray table whose last row falls short of the rim, or
// nothing.
std::optional<diag::Diagnostic> interval_warning(const design::RowPlan& plan);

// The error for a feed read from a file that does not suit the design: it
// names the file and the line of the table the problem lies at (the last
// angle for a table that stops short, the first angle at or past the
// subreflector's rim for one without power there).
diag::Diagnostic feed_table_report(const design::Problem& p, const design::FeedSpec& feed);

}  // namespace run
