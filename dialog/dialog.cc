#include "dialog/dialog.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <istream>
#include <ostream>

#include "fields/fields.h"
#include "io/interrupt.h"

namespace dialog {

std::string file_name(std::string_view answer) {
  size_t end = answer.find_last_not_of(' ');
  return std::string(end == std::string_view::npos ? std::string_view{} : answer.substr(0, end + 1));
}
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Shortest text that reads back as the same real.
template <class Real>
std::string shortest(Real v) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

// A real in free form: optional sign, digits with or without a point, an
// optional exponent introduced by E or D.  False when it is not such a number
// or not a finite 32-bit real.
template <class Real>
bool parse_real(std::string_view token, Real& value) {
  std::string s(token);
  if (!s.empty() && s[0] == '+') s.erase(0, 1);
  if (s.empty() || s[0] == '+') return false;
  for (char& c : s) {
    if (c == 'd' || c == 'D') c = 'e';
    bool ok = (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-';
    if (!ok) return false;  // no names such as nan or inf
  }
  Real v = 0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (r.ptr != s.data() + s.size()) return false;
  if (r.ec == std::errc::result_out_of_range) {
    // Too small for the real reads as zero; too large is unreadable.
    long double d = 0.0;
    auto rd = std::from_chars(s.data(), s.data() + s.size(), d);
    if (rd.ec != std::errc() || !(std::fabs(d) < 1.0L)) return false;
    v = std::signbit(d) ? -Real(0) : Real(0);
  } else if (r.ec != std::errc()) {
    return false;
  }
  if (!std::isfinite(v)) return false;
  value = v;
  return true;
}

bool parse_int(std::string_view token, int& value) {
  if (!token.empty() && token[0] == '+') token.remove_prefix(1);
  if (token.empty()) return false;
  int v = 0;
  auto r = std::from_chars(token.data(), token.data() + token.size(), v);
  if (r.ec != std::errc() || r.ptr != token.data() + token.size()) return false;
  value = v;
  return true;
}

}  // namespace

Dialog::Dialog(std::istream& console_in, std::ostream& console_out, bool interactive)
    : Dialog(console_in, console_out, console_out, interactive) {}

Dialog::Dialog(std::istream& console_in, std::ostream& console_out, std::ostream& errors,
               bool interactive)
    : in_(console_in), out_(console_out), err_(errors), interactive_(interactive) {}

void Dialog::warn(std::string_view text) {
  out_.flush();
  err_ << text << '\n' << std::flush;
}

void Dialog::use_answer_file(std::istream& file, std::string name) {
  file_ = &file;
  file_name_ = std::move(name);
  file_line_ = 0;
  source_ = AnswerSource::answer_file;
}

void Dialog::prompt(std::string_view text) {
  out_ << text << std::flush;
  line_open_ = true;
  prompt_unended_ = true;
}

void Dialog::line(std::string_view text) {
  out_ << text << '\n';
  line_open_ = false;
  prompt_unended_ = false;
}

void Dialog::end_open_line() {
  if (line_open_) line({});
}

bool Dialog::next_line(std::string& line) {
  std::istream& s = from_file() ? *file_ : in_;
  io::check_interrupt();
  if (!from_file() && before_wait_) before_wait_();
  if (!std::getline(s, line)) {
    // A signal ends a wait for a typed line as an end of input would.
    io::check_interrupt();
    return false;
  }
  if (!from_file() && recording_) typed_.push_back(line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (from_file()) {
    ++file_line_;
  } else {
    line_open_ = false;  // the user's Enter ended the prompt line
  }
  return true;
}

diag::Diagnostic Dialog::report(std::string_view what) const {
  diag::Diagnostic d = diag::error(std::string(what));
  return from_file() ? diag::at(std::move(d), file_name_, file_line_) : d;
}

void Dialog::end_of_input(std::string_view what) {
  if (from_file()) {
    throw RunError(diag::at(diag::error("the file ends without an answer for " + std::string(what) + "."),
                            file_name_, file_line_ + 1));
  }
  throw RunError(diag::error("the console input ends without an answer for " + std::string(what) + "."));
}

void Dialog::unreadable(std::string_view token, std::string_view kind, std::string_view what) {
  std::string problem = "\"";
  problem.append(token).append("\" is not ").append(kind);
  throw UnreadableAnswer(report(problem + " (" + std::string(what) + ")."),
                         problem + "; give " + std::string(what) + " again.");
}

bool Dialog::asks_again() const { return !from_file() && interactive_; }

bool Dialog::read_yes() {
  int code = 0;
  std::string line;
  if (!next_line(line)) end_of_input("a yes/no question");
  std::string buffer = fields::A(line, 20);
  if (from_file()) this->line(buffer);
  for (char c : buffer) {
    if (c == 'y' || c == 'Y' || c == 's' || c == 'S' || c == 'd' || c == 'D' || c == 'j' ||
        c == 'J') {
      code = 1;
      break;
    }
    if (c == 'n' || c == 'N') {
      code = -1;
      break;
    }
  }
  if (code == 0 && asks_again()) {
    const std::string answer = file_name(buffer.substr(std::min(buffer.find_first_not_of(" \t"), buffer.size())));
    if (!answer.empty()) {
      const std::string problem = "\"" + answer + "\" is neither yes nor no; answer y or n.";
      throw UnreadableAnswer(report(problem), problem);
    }
  }
  return code == 1;
}

namespace {

// "0,12" alone on a line: digits, one comma, digits.  Where one value is
// asked it reads as 0, though a person may have meant a decimal comma.
bool looks_like_decimal_comma(std::string_view line) {
  std::size_t p = 0;
  while (p < line.size() && is_blank(line[p])) ++p;
  if (p < line.size() && (line[p] == '+' || line[p] == '-')) ++p;
  const std::size_t first = p;
  while (p < line.size() && line[p] >= '0' && line[p] <= '9') ++p;
  if (p == first || p == line.size() || line[p] != ',') return false;
  const std::size_t second = ++p;
  while (p < line.size() && line[p] >= '0' && line[p] <= '9') ++p;
  if (p == second) return false;
  while (p < line.size() && is_blank(line[p])) ++p;
  return p == line.size();
}

}  // namespace

void Dialog::read_items(std::string_view what, std::span<const Item> items) {
  size_t index = 0;
  bool comma_is_empty_value = true;  // a comma now stands for an empty value
  std::string line;
  while (index < items.size()) {
    if (!next_line(line)) end_of_input(what);
    if (!from_file() && interactive_ && items.size() == 1 && looks_like_decimal_comma(line)) {
      const std::string text = file_name(line.substr(line.find_first_not_of(" \t")));
      std::string decimal = text;
      decimal[decimal.find(',')] = '.';
      warn(diag::render(diag::warning("\"" + text + "\" reads as " + text.substr(0, text.find(',')) +
                                      ": a comma separates values; write " + decimal + " for a decimal point.")));
    }
    size_t p = 0;
    const size_t end = line.size();
    while (index < items.size()) {
      while (p < end && is_blank(line[p])) ++p;
      if (p == end) break;  // the answer goes on on the next line
      if (line[p] == ',') {
        if (comma_is_empty_value) ++index;
        comma_is_empty_value = true;
        ++p;
        continue;
      }
      if (line[p] == '/') return;  // a slash ends the answer; the rest stays
      size_t start = p;
      while (p < end && !is_blank(line[p]) && line[p] != ',' && line[p] != '/') ++p;
      std::string_view token(line.data() + start, p - start);

      // r*c repeats the value c (or an empty value) r times.
      long repeat = 1;
      if (size_t star = token.find('*'); star != std::string_view::npos) {
        int r = 0;
        if (!parse_int(token.substr(0, star), r) || r < 1) {
          unreadable(token, "a repeated value", what);
        }
        repeat = r;
        token.remove_prefix(star + 1);
      }
      for (long k = 0; k < repeat && index < items.size(); ++k, ++index) {
        if (token.empty()) continue;
        const Item& item = items[index];
        if (auto* f = std::get_if<float*>(&item)) {
          if (!parse_real(token, **f)) unreadable(token, "a number", what);
        } else if (auto* d = std::get_if<double*>(&item)) {
          if (!parse_real(token, **d)) unreadable(token, "a number", what);
        } else {
          if (!parse_int(token, *std::get<int*>(item))) unreadable(token, "an integer", what);
        }
      }
      comma_is_empty_value = false;
      while (p < end && is_blank(line[p])) ++p;
      if (p < end && line[p] == ',') {
        ++p;
        comma_is_empty_value = true;
      }
    }
  }
}

void Dialog::read_numbers(std::string_view what, std::span<const Item> items) {
  read_items(what, items);
  if (!from_file()) return;
  std::string echo;
  for (const Item& item : items) {
    echo += ' ';
    if (auto* f = std::get_if<float*>(&item)) {
      echo += shortest(**f);
    } else if (auto* d = std::get_if<double*>(&item)) {
      echo += shortest(**d);
    } else {
      echo += std::to_string(*std::get<int*>(item));
    }
  }
  line(echo);
}

void Dialog::echo_range(double start, double stop, double step) {
  if (from_file()) line(fields::F(start, 9, 3) + fields::F(stop, 9, 3) + fields::F(step, 9, 3));
}

std::string Dialog::read_text(std::string_view what, int width, bool name) {
  std::string text;
  if (!next_line(text)) end_of_input(what);
  // A name longer than its field is refused rather than cut to a name the
  // user never gave: asked again at a terminal, the end of the run otherwise.
  if (name && static_cast<int>(file_name(text).size()) > width) {
    const std::string problem = "The name \"" + file_name(text) + "\" has " +
                                std::to_string(file_name(text).size()) + " characters; a name here" +
                                " has at most " + std::to_string(width) + ".";
    throw UnreadableAnswer(report(problem), problem);
  }
  text = fields::A(text, width);
  if (from_file()) line(text);
  return text;
}

std::string Dialog::read_line(std::string_view what) {
  std::string text;
  if (!next_line(text)) end_of_input(what);
  text = file_name(text);
  if (from_file()) line(text);
  return text;
}

void Dialog::reject(std::string_view problem) {
  if (from_file()) {
    throw RunError(report(problem));
  }
  end_open_line();
  std::string text(" ");
  text += problem;
  warn(text);
}

void Dialog::pause(std::string_view message) {
  // A prompt whose answer came through a pipe is still open on the output,
  // though the answer was read; at a terminal the typed Enter ended it.
  if (line_open_ || (prompt_unended_ && !interactive_)) line({});
  line(message);
  if (!interactive_) return;
  if (before_wait_) before_wait_();
  std::string command;
  while (std::getline(in_, command)) {
    if (!command.empty() && command.back() == '\r') command.pop_back();
    if (command.empty()) return;
    out_.flush();
    [[maybe_unused]] int status = std::system(command.c_str());
    line(message);
  }
  // A signal ends the wait as the end of input would.
  io::check_interrupt();
}

}  // namespace dialog
