// "Did you mean ...?": the known name closest to a misspelt one.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

namespace diag {

// Edits (insertions, deletions, replacements, swaps of neighbours) between
// two names, ignoring case.
std::size_t edit_distance(std::string_view a, std::string_view b);

// The known name closest to `name`, when it is close enough to be a slip:
// at most 1 edit from a name of up to 4 characters, 2 up to 8, 3 beyond.
std::optional<std::string_view> closest(std::string_view name, std::span<const std::string_view> known);

}  // namespace diag
