// The console dialog: prompts, yes/no answers, free-form numbers and texts,
// read from the console or from the answer file, with the echo of answers
// taken from the file.
#pragma once

#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "ravost/ravost.h"

namespace ravost {

class Dialog {
 public:
  // One item of a numeric answer: a 32-bit real or an integer, read in place
  // (an empty value leaves it unchanged).
  using Item = std::variant<float*, int*>;

  // `interactive` says whether the console input is a terminal a person types
  // at; only then does the interpolation pause wait for lines.
  Dialog(std::istream& console_in, std::ostream& console_out, bool interactive = false);

  // Takes every later answer from `file`, named `name` in reports.
  void use_answer_file(std::istream& file, std::string name);
  bool from_file() const { return inputl_.stream == INPUTL::kAnswerFile; }
  const INPUTL& inputl() const { return inputl_; }

  // Writes a prompt and leaves the cursor after it (flushed).
  void prompt(std::string_view text);
  // Writes one whole console line.
  void line(std::string_view text);
  // Ends a console line that a prompt has left open.
  void end_open_line();
  std::ostream& console() { return out_; }

  // Reads one yes/no answer: 1 yes, -1 no, 0 neither.  Stored in `code` and
  // returned.
  int NYES(int& code);

  // Reads the items of one numeric answer in free form.  `what` names the
  // answer in error reports ("the calculation interval").
  void read_numbers(std::string_view what, std::span<const Item> items);
  void read(std::string_view what, float& a);
  void read(std::string_view what, float& a, float& b);
  void read(std::string_view what, int& a);
  // Start, stop and step of a dimension listing; echoed as three F9.3 fields.
  void read_range(std::string_view what, float& start, float& stop, float& step);

  // Reads one line as a text of `width` characters, cut or padded with blanks.
  std::string read_text(std::string_view what, int width);

  // A bad answer that the program cannot use.  From the console: writes
  // `problem` as one line and returns, and the caller asks again.  From the
  // answer file: ends the run with a report naming the line of the file.
  void reject(std::string_view problem);

  // The pause of the interpolation routines: writes the message; when a
  // person types at the console, waits for an empty line, handing any other
  // line to the command interpreter.
  void pause(std::string_view message);

 private:
  bool next_line(std::string& line);
  [[noreturn]] void end_of_input(std::string_view what);
  [[noreturn]] void unreadable(std::string_view token, std::string_view kind, std::string_view what);
  void read_items(std::string_view what, std::span<const Item> items);
  std::string where() const;

  std::istream& in_;
  std::ostream& out_;
  bool interactive_;
  std::istream* file_ = nullptr;
  std::string file_name_;
  long file_line_ = 0;
  INPUTL inputl_;
  bool line_open_ = false;
};

}  // namespace ravost
