#include "app/update_check.h"

namespace qm {

// No update source is wired up yet: every start finds no newer release.
void RunUpdateCheck() {}

}  // namespace qm
