// The program run: the stages in their fixed order, once each.
#pragma once

#include <filesystem>
#include <iosfwd>

namespace ravost {

// Runs the whole program on the given console streams.  Files named in the
// answers, and "ravost.out", are created in `dir`.  `interactive` says whether
// a person types at the console.  Returns the exit status: 0 at a normal end
// and at a stop of the dialog, 1 after an error report.
int run(std::istream& console_in, std::ostream& console_out, const std::filesystem::path& dir,
        bool interactive = false);

}  // namespace ravost
