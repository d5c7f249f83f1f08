// Checks of a design file's raw text, made before the TOML parser sees it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace designfile::detail {

// The line (from 1) of the first byte that does not belong to valid UTF-8
// (overlong forms, surrogates and code points beyond U+10FFFF included), or
// nothing when the whole text is valid.
std::optional<std::uint32_t> first_invalid_utf8_line(std::string_view text);

// The line (from 1) and value of the first control character other than tab,
// line feed and carriage return: TOML allows none anywhere, not even in
// strings or comments.
struct ControlCharacter {
  std::uint32_t line;
  unsigned char byte;
};
std::optional<ControlCharacter> first_control_character(std::string_view text);

// The number of dots outside strings and comments: those of dotted keys and
// section names, and those of numbers.  Each dot of a dotted key nests a
// table one level deeper, and the parser builds and frees nested tables
// recursively; bounding the dots bounds that depth.
std::size_t structural_dots(std::string_view text);

// A text as it may stand in one line of a report: control characters as
// \xNN, cut to `width` bytes (at a character boundary) with "..." after.
std::string printable(std::string_view text, std::size_t width = 60);

// Whether a text holds a control character other than tab (a line break,
// NUL, DEL, ...): a name or a label is one line of an output file.
bool has_control_character(std::string_view text);

}  // namespace designfile::detail
