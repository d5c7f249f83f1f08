// RAVOST: synthesis of shaped, axially symmetric dual-reflector antennas.
#include <unistd.h>

#include <iostream>

#include "ravost/driver.h"

int main() {
  std::ios::sync_with_stdio(false);
  return ravost::run(std::cin, std::cout, ".", ::isatty(STDIN_FILENO) != 0);
}
