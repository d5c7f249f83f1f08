#include "run/progress.h"

#include <cmath>

namespace run {
namespace {
constexpr std::chrono::milliseconds kQuiet{1000};  // show nothing for quick work
constexpr std::chrono::milliseconds kEvery{200};   // between updates
}  // namespace

ProgressLine::ProgressLine(std::ostream* out, std::string what, std::string unit)
    : out_(out), what_(std::move(what)), unit_(std::move(unit)), start_(Clock::now()), last_(start_) {}

ProgressLine::~ProgressLine() { clear(); }

void ProgressLine::update(int done, int total) {
  if (!out_ || total <= 0) return;
  const Clock::time_point now = Clock::now();
  if (now - start_ < kQuiet || (shown_ && now - last_ < kEvery)) return;
  last_ = now;
  const double elapsed = std::chrono::duration<double>(now - start_).count();
  const double left = done > 0 ? elapsed * (total - done) / done : 0.0;
  *out_ << '\r' << what_ << ": " << done << '/' << total << ' ' << unit_ << ", about "
        << static_cast<long>(std::ceil(left)) << " s left\x1b[K" << std::flush;
  shown_ = true;
}

void ProgressLine::clear() {
  if (!shown_ || !out_) return;
  *out_ << "\r\x1b[K" << std::flush;
  shown_ = false;
}

}  // namespace run
