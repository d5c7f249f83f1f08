#include "io/interrupt.h"

#include <signal.h>

#include <csignal>
#include <string>

namespace io {
namespace {

volatile std::sig_atomic_t g_signal = 0;

extern "C" void on_signal(int signal) {
  g_signal = signal;
  // A second signal takes the default action: the user insists.
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

std::string describe(int signal) {
  return signal == SIGINT ? "interrupted (Ctrl-C)" : "terminated (signal " + std::to_string(signal) + ")";
}

}  // namespace

Interrupted::Interrupted(int signal)
    : RunError(diag::error("the run was " + describe(signal) +
                           "; files not yet complete were removed.")),
      signal_(signal) {}

void install_interrupt_handlers() {
  struct sigaction action {};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a waiting read returns
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int interrupted() { return g_signal; }

void set_interrupted(int signal) { g_signal = signal; }

void check_interrupt() {
  if (const int signal = g_signal; signal != 0) throw Interrupted(signal);
}

}  // namespace io

#include <unistd.h>

namespace io {

InterruptibleInput::int_type InterruptibleInput::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  const ssize_t n = ::read(fd_, buffer_, sizeof buffer_);
  if (n <= 0) return traits_type::eof();  // end of input, an error or a signal
  setg(buffer_, buffer_, buffer_ + n);
  return traits_type::to_int_type(*gptr());
}

}  // namespace io
