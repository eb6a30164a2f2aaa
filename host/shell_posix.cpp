#include "host/shell.h"

// The Linux build has no desktop shell: every operation gives its failure
// result.
namespace qm {

Text SpecialFolderPath(int) {
  return {};
}

bool CreateShortcut(const Text&, const Text&, const Text&, const Text&, const Text&) {
  return false;
}

void ShellOpen(const Text&) {}

bool RunProgram(const Text&, bool, int) {
  return false;
}

}  // namespace qm
