#include "numerics/pause.h"

#include <iostream>
#include <utility>

namespace numerics {
namespace {
PauseHandler& handler() {
  static PauseHandler h;
  return h;
}
}  // namespace

void set_pause_handler(PauseHandler h) { handler() = std::move(h); }

void pause(std::string_view message) {
  if (handler()) {
    handler()(message);
  } else {
    std::cout << message << '\n' << std::flush;
  }
}
}  // namespace numerics
