#include "support/platform.h"

namespace qm::test {

bool RunningUnderWine() {
  return false;
}

}  // namespace qm::test
