#include "ravost/stages.h"

namespace ravost {
void dual_reflector_figure(const Design&, Session&) {}
}  // namespace ravost
