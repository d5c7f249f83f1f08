#include "ravost/stages.h"
