// The console dialog: prompts, yes/no answers, free-form numbers and texts,
// read from the console or from the answer file, with the echo of answers
// taken from the file, and the one way every question refuses an answer it
// cannot use.
#pragma once

#include <exception>
#include <functional>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "io/files.h"

namespace dialog {

using io::RunError;

// An answer that could not be read as asked (not a number, a name too long).
// At a terminal the question is asked again; otherwise it ends the run.
class UnreadableAnswer : public RunError {
 public:
  UnreadableAnswer(diag::Diagnostic report, std::string problem)
      : RunError(std::move(report)), problem_(std::move(problem)) {}
  // What is wrong, in one line, for asking again.
  const std::string& problem() const { return problem_; }

 private:
  std::string problem_;
};

// A stop of the design dialog: "Stop - Program terminated." on the console,
// and the reason on the error stream.  A stop produces no design, so the run
// ends with status 1.
class DialogStop : public std::exception {
 public:
  explicit DialogStop(std::string reason) : reason_(std::move(reason)) {}
  const char* what() const noexcept override { return reason_.c_str(); }

 private:
  std::string reason_;
};

// A file name as answered: the text without its trailing blanks.
std::string file_name(std::string_view answer);

// Where answers come from.
enum class AnswerSource { console, answer_file };

class Dialog {
 public:
  // One item of a numeric answer: a real or an integer, read in place (an
  // empty value leaves it unchanged).
  using Item = std::variant<float*, double*, int*>;

  // `interactive` says whether the console input is a terminal a person types
  // at; only then does the interpolation pause wait for lines.
  // Error reports, warnings and refused answers go to `errors` (the first
  // form sends them to `console_out`).
  Dialog(std::istream& console_in, std::ostream& console_out, bool interactive = false);
  Dialog(std::istream& console_in, std::ostream& console_out, std::ostream& errors,
         bool interactive);

  // Called before every wait for a line from the console, so that nothing
  // written so far is lost if the user ends the program there.
  void before_wait(std::function<void()> hook) { before_wait_ = std::move(hook); }

  // A warning or an error report: one or two lines on the error stream.
  void warn(std::string_view text);
  std::ostream& errors() { return err_; }

  // Takes every later answer from `file`, named `name` in reports.
  void use_answer_file(std::istream& file, std::string name);
  AnswerSource source() const { return source_; }
  bool from_file() const { return source_ == AnswerSource::answer_file; }
  bool interactive() const { return interactive_; }

  // Writes a prompt and leaves the cursor after it (flushed).
  void prompt(std::string_view text);
  // Writes one whole console line.
  void line(std::string_view text);
  // Ends a console line that a prompt has left open.
  void end_open_line();
  std::ostream& console() { return out_; }

  // Keeps every line read from the console from now on (typed_answers()),
  // so that a person's answers can be saved as an answer file.
  void record_console() { recording_ = true; }
  const std::vector<std::string>& typed_answers() const { return typed_; }

  // Reads one yes/no answer: true only for a yes.  The first of the letters
  // y, Y, s, S, d, D, j, J (yes) or n, N (no) among the first 20 characters
  // decides.  From an answer file or a pipe anything else is no; at a
  // terminal an answer with neither letter ("abc", "1200") cannot be read
  // (UnreadableAnswer), and only an empty one is no.
  bool read_yes();
  // Asks a yes/no question, again at a terminal after an answer that is
  // neither yes nor no.
  bool ask_yes(std::string_view question) {
    bool yes = false;
    ask(question, [&] { yes = read_yes(); });
    return yes;
  }

  // Reads the items of one numeric answer in free form.  `what` names the
  // answer in error reports ("the calculation interval").
  void read_numbers(std::string_view what, std::span<const Item> items);
  template <class... T>
  void read(std::string_view what, T&... values) {
    const Item items[] = {&values...};
    read_numbers(what, items);
  }
  // Start, stop and step of a dimension listing; echoed as three F9.3 fields.
  template <class Real>
  void read_range(std::string_view what, Real& start, Real& stop, Real& step) {
    const Item items[] = {&start, &stop, &step};
    read_items(what, items);
    echo_range(start, stop, step);
  }

  // Reads one line as a text of `width` characters, cut or padded with
  // blanks.  A `name` longer than `width` is refused at a terminal.
  std::string read_text(std::string_view what, int width, bool name = false);
  // Reads one whole line, without trailing blanks (a name that goes into no
  // field).
  std::string read_line(std::string_view what);

  // Asks one question until its answer passes: writes the prompt, calls
  // read(), then check(), which returns what is wrong or an empty text.  A
  // refused answer goes through reject(); an answer that cannot be read is
  // asked again at a terminal and ends the run otherwise.
  template <class Read, class Check>
  void ask(std::string_view question, Read read, Check check) {
    for (;;) {
      prompt(question);
      // A refused answer is not kept among the typed answers: the saved
      // answer file holds the one that was taken.
      const std::size_t typed = typed_.size();
      try {
        read();
      } catch (const UnreadableAnswer& e) {
        if (!asks_again()) throw;
        typed_.resize(typed);
        reject(e.problem());
        continue;
      }
      const std::string wrong = check();
      if (wrong.empty()) return;
      typed_.resize(typed);
      reject(wrong);
    }
  }
  // A question whose every readable answer is taken.
  template <class Read>
  void ask(std::string_view question, Read read) {
    ask(question, read, [] { return std::string(); });
  }

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
  void echo_range(double start, double stop, double step);
  // The error for what is wrong with the answer just read: at the answer
  // file's line, or without a place for the console.
  diag::Diagnostic report(std::string_view what) const;
  bool asks_again() const;

  std::istream& in_;
  std::ostream& out_;
  std::ostream& err_;
  bool interactive_;
  std::function<void()> before_wait_;
  std::istream* file_ = nullptr;
  std::string file_name_;
  long file_line_ = 0;
  AnswerSource source_ = AnswerSource::console;
  bool line_open_ = false;
  // A prompt is the last thing written: its line is open on the output even
  // when the answer came from a pipe.
  bool prompt_unended_ = false;
  bool recording_ = false;
  std::vector<std::string> typed_;
};

}  // namespace dialog
