#include "diag/diagnostic.h"

#include <utility>

namespace diag {

Diagnostic error(std::string message, std::string key) {
  return Diagnostic{Severity::error, std::move(key), {}, 0, std::move(message), {}};
}

Diagnostic warning(std::string message, std::string key) {
  return Diagnostic{Severity::warning, std::move(key), {}, 0, std::move(message), {}};
}

Diagnostic at(Diagnostic d, std::string file, long line) {
  d.file = std::move(file);
  d.line = line;
  return d;
}

std::string sentence_case(std::string_view what) {
  std::string text(what);
  if (text.empty() || text[0] < 'A' || text[0] > 'Z') return text;
  // An ordinary word: its other letters are all lower case ("The", "A");
  // an abbreviation ("TOML") keeps its capitals.
  for (std::size_t i = 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= 'A' && c <= 'Z') return text;
    if (!(c >= 'a' && c <= 'z')) break;
  }
  text[0] = static_cast<char>(text[0] - 'A' + 'a');
  return text;
}

std::string render(const Diagnostic& d) {
  std::string text;
  switch (d.severity) {
    case Severity::error: text = "Error"; break;
    case Severity::warning: text = "Warning"; break;
    case Severity::note: text = "Note"; break;
  }
  if (!d.file.empty()) {
    text += " in " + d.file;
    if (d.line > 0) text += ", line " + std::to_string(d.line);
  }
  return text + ": " + diag::text(d);
}

std::string text(const Diagnostic& d) {
  std::string text;
  if (!d.key.empty()) text = d.key + ": ";
  text += sentence_case(d.message);
  if (!d.suggestion.empty()) text += "\n" + d.suggestion;
  return text;
}

std::string render(const std::vector<Diagnostic>& ds) {
  std::string text;
  for (const Diagnostic& d : ds) {
    if (!text.empty()) text += '\n';
    text += render(d);
  }
  return text;
}

bool has_error(const std::vector<Diagnostic>& ds) {
  for (const Diagnostic& d : ds)
    if (d.is_error()) return true;
  return false;
}

Failure::Failure(Diagnostic d) : Failure(std::vector<Diagnostic>{std::move(d)}) {}

Failure::Failure(std::vector<Diagnostic> ds)
    : std::runtime_error(render(ds)), diagnostics_(std::move(ds)) {}

}  // namespace diag
