// The pause of SPLINT and POLINT on equal abscissae.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

namespace numerics {

// Called with the message ("bad xa input in splint", "failure in polint");
// returns when the computation may go on.
using PauseHandler = std::function<void(std::string_view message)>;

// Hands one command line to the operating system's command interpreter and
// waits for it to finish.
using CommandRunner = std::function<void(const std::string& command)>;

// Installs the handler used by pause(); an empty handler restores the default.
// The default writes the message as a line on standard output; only when
// standard input is an interactive terminal does it then read lines from it
// (see pause_at_console).  Otherwise it carries on at once without reading,
// so a scripted run neither waits nor runs its input lines as commands.
void set_pause_handler(PauseHandler handler);

// Pauses through the installed handler, or the default one.
void pause(std::string_view message);

// The console pause: writes the message as a line to `out`.  When
// `interactive`, reads lines from `in`: an empty line or the end of the input
// ends the pause; any other line goes to run_command, after which the message
// is written again and the pause goes on.  Not interactive: returns at once
// without touching `in`.
void pause_at_console(std::string_view message, std::istream& in, std::ostream& out,
                      bool interactive, const CommandRunner& run_command);

}  // namespace numerics
