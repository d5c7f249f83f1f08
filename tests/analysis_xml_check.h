// A small well-formedness check for the report's figures and pages.
#pragma once

#include <regex>
#include <string>
#include <vector>

namespace test {

// Whether the text is well-formed XML as far as elements go: every tag closed
// in order, one root element, attribute values quoted, no stray '<' or '&'.
inline std::string xml_fault(const std::string& text) {
  std::vector<std::string> open;
  int roots = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '&') {
      static const std::regex entity("&(amp|lt|gt|quot|apos|#[0-9]+|#x[0-9a-fA-F]+);");
      if (!std::regex_search(text.begin() + static_cast<long>(i), text.end(), entity, std::regex_constants::match_continuous))
        return "stray & at " + std::to_string(i);
    }
    if (text[i] != '<') {
      ++i;
      continue;
    }
    const std::size_t end = text.find('>', i);
    if (end == std::string::npos) return "unclosed tag at " + std::to_string(i);
    const std::string tag = text.substr(i + 1, end - i - 1);
    i = end + 1;
    if (tag.empty()) return "empty tag";
    if (tag[0] == '?' || tag[0] == '!') continue;
    if (tag.find('<') != std::string::npos) return "'<' inside a tag: " + tag;
    if (tag[0] == '/') {
      if (open.empty() || open.back() != tag.substr(1)) return "closing " + tag + " does not match";
      open.pop_back();
      continue;
    }
    static const std::regex element(R"(([A-Za-z][\w:-]*)(\s+[\w:-]+="[^"<]*")*\s*/?)");
    std::smatch m;
    if (!std::regex_match(tag, m, element)) return "malformed tag: " + tag.substr(0, 80);
    if (open.empty() && ++roots > 1) return "more than one root element";
    if (tag.back() != '/') open.push_back(m[1]);
  }
  if (!open.empty()) return "unclosed element " + open.back();
  if (roots != 1) return "no root element";
  return "";
}

}  // namespace test
