// GLINT is a template (glint.h, glint_impl.h); this unit checks that the
// header stands on its own.
#include "numerics/glint.h"
