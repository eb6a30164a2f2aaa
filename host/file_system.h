// Path helpers the host services share; not part of their public face.
#pragma once

#include "base/text.h"

namespace qm::host_detail {

bool IsFolder(const Text& path);
bool PathExists(const Text& path);
// Creates the folder and every missing parent; true when it exists afterwards.
bool CreateFolders(const Text& path);
// Makes an existing file plainly writable again (clears read-only, hidden and
// similar marks) so that it can be replaced.
void ResetFileAttributes(const Text& path);

}  // namespace qm::host_detail
