// One value for every problem the program reports: what is wrong, with which
// input, where it was read, and what would mend it.  Readers, validation and
// the run produce these; render() is the one place their text gets its
// "Error: ..." / "Error in FILE, line N: ..." / "Warning: ..." form.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace diag {

enum class Severity { error, warning, note };

struct Diagnostic {
  Severity severity = Severity::error;
  std::string key;         // the input or design-file key ("geometry.sub_radius"), or empty
  std::string file;        // the file it was read from, or empty
  long line = 0;           // its line in that file (from 1), or 0
  std::string message;     // one or two sentences, without a prefix
  std::string suggestion;  // what would mend it (a sentence, shown on its own line), or empty
  // A warning about the design itself that makes its figures other than
  // asked for (a table short of the rim, a straying path length): a sweep's
  // row with one is not a clean design.
  bool changes_figures = false;

  bool is_error() const { return severity == Severity::error; }
};

// Shorthands for the common cases.
Diagnostic error(std::string message, std::string key = {});
Diagnostic warning(std::string message, std::string key = {});
// The same diagnostic placed at a file's line (0: the file as a whole).
Diagnostic at(Diagnostic d, std::string file, long line);

// `what` with its first letter in lower case when it starts an ordinary
// word ("The file" -> "the file"; "TOML" and "--double" stay).
std::string sentence_case(std::string_view what);

// The line a person reads:
//   Error: <message>
//   Error in <file>: <key>: <message>
//   Error in <file>, line <n>: <key>: <message>
//   Warning: <message>
// The message is in sentence case after the prefix; a suggestion follows on
// a line of its own.
std::string render(const Diagnostic& d);
// What the line says after its severity and place: "<key>: <message>
// <suggestion>", the message in sentence case.  For a text that names the
// problem inside another sentence or a table cell.
std::string text(const Diagnostic& d);
// One line each, separated (not ended) by '\n'.
std::string render(const std::vector<Diagnostic>& ds);

bool has_error(const std::vector<Diagnostic>& ds);

// An exception that carries diagnostics: the way a stage that cannot go on
// ends the run.  what() is their rendered text.
class Failure : public std::runtime_error {
 public:
  explicit Failure(Diagnostic d);
  explicit Failure(std::vector<Diagnostic> ds);
  const std::vector<Diagnostic>& diagnostics() const { return diagnostics_; }

 private:
  std::vector<Diagnostic> diagnostics_;
};

}  // namespace diag
