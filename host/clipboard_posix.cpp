#include "host/clipboard.h"

namespace qm {

// The command-line tool writes files; there is no clipboard to fill.
bool SetClipboardText(const Text&) {
  return false;
}

}  // namespace qm
