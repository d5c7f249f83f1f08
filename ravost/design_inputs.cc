#include "ravost/stages.h"

namespace ravost {
void design_inputs(Design&, Session&) {}
}  // namespace ravost
