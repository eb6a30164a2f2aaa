// Unpacking ZIP archives.
#pragma once

#include "base/text.h"

namespace qm {

// Unpacks every entry of the ZIP archive at `archive_path` (stored or deflate
// entries, in central-directory order) under `dest_folder`, creating the
// folder and any missing parents. Existing files are replaced, read-only and
// hidden ones included. Results:
//   1  every entry written;
//   0  stopped: the archive is not a readable ZIP, or an entry cannot be
//      written, uses another compression method, fails its CRC or size check,
//      or names a path outside `dest_folder` (absolute, drive letter, ".."),
//      which is never written; entries written before the stop remain;
//  -1  an argument is empty or the archive file does not exist.
int ExtractZip(const Text& archive_path, const Text& dest_folder);

}  // namespace qm
