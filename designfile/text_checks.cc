#include "designfile/text_checks.h"

namespace designfile::detail {

std::optional<std::uint32_t> first_invalid_utf8_line(std::string_view text) {
  std::uint32_t line = 1;
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      if (c == '\n') ++line;
      ++i;
      continue;
    }
    // The length of the sequence and the range of its second byte, which
    // excludes overlong forms, surrogates and code points beyond U+10FFFF.
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xbf;
    if (c >= 0xc2 && c <= 0xdf) {
      length = 2;
    } else if (c == 0xe0) {
      length = 3;
      low = 0xa0;
    } else if ((c >= 0xe1 && c <= 0xec) || c == 0xee || c == 0xef) {
      length = 3;
    } else if (c == 0xed) {
      length = 3;
      high = 0x9f;
    } else if (c == 0xf0) {
      length = 4;
      low = 0x90;
    } else if (c >= 0xf1 && c <= 0xf3) {
      length = 4;
    } else if (c == 0xf4) {
      length = 4;
      high = 0x8f;
    } else {
      return line;
    }
    if (n - i < length) return line;
    const auto second = static_cast<unsigned char>(text[i + 1]);
    if (second < low || second > high) return line;
    for (std::size_t k = 2; k < length; ++k) {
      const auto b = static_cast<unsigned char>(text[i + k]);
      if (b < 0x80 || b > 0xbf) return line;
    }
    i += length;
  }
  return std::nullopt;
}

std::optional<ControlCharacter> first_control_character(std::string_view text) {
  std::uint32_t line = 1;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '\n') {
      ++line;
    } else if ((c < 0x20 && c != '\t' && c != '\r') || c == 0x7f) {
      return ControlCharacter{line, c};
    }
  }
  return std::nullopt;
}

std::size_t structural_dots(std::string_view t) {
  std::size_t dots = 0;
  const std::size_t n = t.size();
  std::size_t i = 0;
  while (i < n) {
    const char c = t[i];
    if (c == '#') {
      while (i < n && t[i] != '\n') ++i;
      continue;
    }
    if (c == '"' || c == '\'') {
      const bool basic = c == '"';
      if (i + 2 < n && t[i + 1] == c && t[i + 2] == c) {
        // A multi-line string ends at the first run of three or more
        // unescaped quotes (up to two of them belong to the string).
        i += 3;
        while (i < n) {
          if (basic && t[i] == '\\') {
            i += 2;
            continue;
          }
          if (t[i] == c) {
            std::size_t run = 0;
            while (i < n && t[i] == c) {
              ++run;
              ++i;
            }
            if (run >= 3) break;
            continue;
          }
          ++i;
        }
        continue;
      }
      // A one-line string ends at its quote or, unterminated, at the line end.
      ++i;
      while (i < n && t[i] != c && t[i] != '\n') {
        if (basic && t[i] == '\\' && i + 1 < n && t[i + 1] != '\n') ++i;
        ++i;
      }
      if (i < n && t[i] == c) ++i;
      continue;
    }
    if (c == '.') ++dots;
    ++i;
  }
  return dots;
}

std::string printable(std::string_view text, std::size_t width) {
  std::string out;
  std::size_t i = 0;
  for (; i < text.size() && out.size() < width; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7f) {
      static constexpr char hex[] = "0123456789abcdef";
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 0xf];
    } else {
      out += static_cast<char>(c);
    }
  }
  if (i < text.size()) {
    // A character cut in two loses the bytes of it already kept.
    if ((static_cast<unsigned char>(text[i]) & 0xc0) == 0x80) {
      while (!out.empty() && (static_cast<unsigned char>(out.back()) & 0xc0) == 0x80) {
        out.pop_back();
      }
      if (!out.empty() && static_cast<unsigned char>(out.back()) >= 0xc0) out.pop_back();
    }
    out += "...";
  }
  return out;
}

bool has_control_character(std::string_view text) {
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c < 0x20 && c != '\t') || c == 0x7f) return true;
  }
  return false;
}

}  // namespace designfile::detail
