// RUNGE is a template (runge.h, runge_impl.h); this unit checks that the
// header stands on its own.
#include "numerics/runge.h"
