// Pause on a numerical failure: a message, and at an interactive terminal the
// chance to run system commands before the computation goes on.
#include "numerics/pause.h"

#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <utility>

namespace numerics {
namespace {

PauseHandler& handler() {
  static PauseHandler h;
  return h;
}

void run_system_command(const std::string& command) {
  // The command's own output shows on the console; its status is not used.
  [[maybe_unused]] const int status = std::system(command.c_str());
}

}  // namespace

void set_pause_handler(PauseHandler h) { handler() = std::move(h); }

void pause(std::string_view message) {
  if (handler()) {
    handler()(message);
    return;
  }
  pause_at_console(message, std::cin, std::cout, isatty(STDIN_FILENO) != 0, run_system_command);
}

void pause_at_console(std::string_view message, std::istream& in, std::ostream& out,
                      bool interactive, const CommandRunner& run_command) {
  out << message << '\n' << std::flush;
  if (!interactive) return;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) return;
    run_command(line);
    out << message << '\n' << std::flush;
  }
  // end of input ends the pause
}

}  // namespace numerics
