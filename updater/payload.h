// The updater xz.exe, packed as a ZIP archive with the one entry "xz.exe",
// carried by Quillmar.exe as constant data.
#pragma once

#include "base/text.h"

namespace qm {

// The archive's bytes exactly as they were packed; empty only if the
// executable was built without them.
Bytes EmbeddedUpdaterArchive();

}  // namespace qm
