// The pause of SPLINT and POLINT on equal abscissae.
#pragma once

#include <functional>
#include <string_view>

namespace numerics {

// Called with the message ("bad xa input in splint", "failure in polint");
// returns when the computation may go on.
using PauseHandler = std::function<void(std::string_view message)>;

// Installs the handler used by pause(); an empty handler restores the default,
// which writes the message to standard output and carries on at once.
void set_pause_handler(PauseHandler handler);

void pause(std::string_view message);

}  // namespace numerics
