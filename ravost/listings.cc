#include "ravost/stages.h"

namespace ravost {
void list_dimensions(const Design&, Session&, Reflector) {}
}  // namespace ravost
