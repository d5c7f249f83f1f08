// Ending a run on Ctrl-C (SIGINT) or SIGTERM without leaving half-written
// files: the handler only records the signal; the run notices it where it
// waits for input or between rows of its work, and unwinds with Interrupted.
// Unwinding removes every file not yet complete (io::OutFile, FolderWriter)
// and closes the listing with what it holds.
#pragma once

#include "io/files.h"

namespace io {

// The run was interrupted by a signal; the exit status is 128 + the signal.
class Interrupted : public RunError {
 public:
  explicit Interrupted(int signal);
  int signal() const { return signal_; }
  int exit_status() const { return 128 + signal_; }

 private:
  int signal_;
};

// Installs the handlers for SIGINT and SIGTERM.  A second signal of either
// kind ends the program at once.  Blocking reads are not restarted, so a
// wait for a typed answer ends when a signal comes (when standard input is
// read through InterruptibleInput).
void install_interrupt_handlers();

// The signal that interrupted the run, or 0.
int interrupted();

// Throws Interrupted when a signal has come.
void check_interrupt();

// Records a signal as the handlers do, or forgets one (0): for a host that
// catches signals itself (the Python module) and stops the run through the
// same flag, then clears it before the next run.
void set_interrupted(int signal);

}  // namespace io

#include <streambuf>

namespace io {

// Standard input read with read(2) itself: a signal that interrupts a wait
// for a typed line ends that read (as an end of input, which the run then
// turns into Interrupted), where the library's own file buffer would retry
// it and leave Ctrl-C unanswered until the next Enter.
class InterruptibleInput : public std::streambuf {
 public:
  explicit InterruptibleInput(int fd = 0) : fd_(fd) {}

 protected:
  int_type underflow() override;

 private:
  int fd_;
  char buffer_[4096];
};

}  // namespace io
