#include "host/ini.h"

namespace qm {

// No INI files outside Windows.
bool WriteIniText(const Text&, const Text&, const std::optional<Text>&,
                  const std::optional<Text>&) {
  return false;
}

Text ReadIniText(const Text&, const Text&, const Text&) {
  return {};
}

}  // namespace qm
