#include "host/zip.h"
namespace qm {
int ExtractZip(const Text& archivePath, const Text& destFolder) {
  if (archivePath.empty() || destFolder.empty()) return -1;
  return 0;
}
}  // namespace qm
