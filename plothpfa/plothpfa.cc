#include "plothpfa/plothpfa.h"
