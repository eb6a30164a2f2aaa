// Whole-file reads, writes and deletes by path. Paths are GBK texts with
// backslash separators; they are converted explicitly, so folders with
// Chinese names work whatever the system's code page is. On Linux paths are
// converted to UTF-8 and backslashes become slashes.
#pragma once

#include <vector>

#include "base/text.h"

namespace qm {

// The whole file. Empty bytes for an empty path, a missing, unreadable or
// empty file, or a folder. Other writers are kept out while it is read.
Bytes ReadFileBytes(const Text& path);

// Creates the file, or truncates an existing one, and writes the blocks in
// order (empty blocks are skipped). False for an empty path or when the file
// cannot be created or written; a partly written file may then remain.
bool WriteFileBytes(const Text& path, const std::vector<Bytes>& blocks);

// Deletes a file (never a folder); false when it is missing or locked.
bool RemoveFile(const Text& path);

}  // namespace qm
