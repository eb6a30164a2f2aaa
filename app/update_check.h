// The update check at start-up, before any window is shown.
#pragma once

namespace qm {

// Returns when no newer release exists; otherwise hands over to the updater
// and ends the program with exit code 0 without returning.
void RunUpdateCheck();

}  // namespace qm
