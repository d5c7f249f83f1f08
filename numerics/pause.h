// The pause of SPLINT and POLINT on equal abscissae.  The numerical routines
// never touch the console: the caller passes the handler that shows the
// message (and, at a terminal, waits), and the computation goes on when it
// returns.  An empty handler skips the pause.
#pragma once

#include <functional>
#include <string_view>

namespace numerics {

// Called with the message ("bad xa input in splint", "failure in polint").
using PauseHandler = std::function<void(std::string_view message)>;

}  // namespace numerics
