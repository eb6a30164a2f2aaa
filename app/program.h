// Program-wide values fixed at start-up and the end routine that releases
// them when the program ends by any route.
#pragma once

#include "base/text.h"

namespace qm {

// The folder of the running executable, without a trailing backslash, and
// its file name. Empty until PrepareRuntime() has run.
const Text& ProgramFolder();
const Text& ProgramFileName();

// Fixes the two values from the executable's path, makes the folder the
// current directory and registers the end routine.
void PrepareRuntime();

}  // namespace qm
