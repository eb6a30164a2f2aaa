// Settings in INI files.
#pragma once

#include <optional>

#include "base/text.h"

namespace qm {

// Sets `key` in `section` of the INI file `file` to `value`. Without a value
// the key is removed; without a key the whole section is removed. Other
// sections and keys stay as they are. A file that does not exist is created
// in Unicode form, so values with any characters survive on any system;
// readers should use the wide-character profile functions. True when
// written. The Linux build has no INI files and gives false.
bool WriteIniText(const Text& file, const Text& section, const std::optional<Text>& key = {},
                  const std::optional<Text>& value = {});

// The value of `key` in `section`, or the empty text when there is none.
// The Linux build has no INI files and gives the empty text.
Text ReadIniText(const Text& file, const Text& section, const Text& key);

}  // namespace qm
