#include "globals.h"

namespace globals {

int DisableDepth = 0;

} // namespace globals
