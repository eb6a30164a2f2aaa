#include <filesystem>

#include "host/encoding.h"
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

bool ShellOpen(const Text&) {
  return false;
}

bool RunProgram(const Text&, bool, int) {
  return false;
}

Text ExecutablePath() {
  std::error_code error;
  std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? Text() : GbkFromUtf8(path.string());
}

}  // namespace qm
