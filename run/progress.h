// A one-line progress indicator for long work, on a terminal's error stream:
// nothing for the first second, then "what: done/total unit, about N s left",
// rewritten in place at most a few times a second and cleared when the work
// ends.  Without a stream (the error stream is not a terminal) it does
// nothing.
#pragma once

#include <chrono>
#include <ostream>
#include <string>

namespace run {

class ProgressLine {
 public:
  // "what: done/total unit, about N s left".
  ProgressLine(std::ostream* out, std::string what, std::string unit);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  void update(int done, int total);
  void clear();

 private:
  using Clock = std::chrono::steady_clock;
  std::ostream* out_;
  std::string what_;
  std::string unit_;
  Clock::time_point start_;
  Clock::time_point last_;
  bool shown_ = false;
};

}  // namespace run
