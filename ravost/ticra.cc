#include "ravost/stages.h"

namespace ravost {
void write_surface_file(const Design&, Session&, Reflector) {}
void write_object_file(const Design&, Session&, Reflector) {}
}  // namespace ravost
