#include "host/clipboard.h"

namespace qm {

// The command-line tool writes files; there is no clipboard to fill.
bool SetClipboardText(const Text&) {
  return false;
}

bool GetClipboardUnicodeText(std::u16string&) {
  return false;
}

}  // namespace qm
