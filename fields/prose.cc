#include "fields/prose.h"

#include <cstdio>

namespace fields {

std::string number(double v, int significant) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*g", significant, v);
  return buffer;
}

std::string fixed(double v, int decimals) {
  // Wide enough for any double at up to 20 decimals.
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
  return buffer;
}

}  // namespace fields
