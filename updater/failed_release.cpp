#include "updater/failed_release.h"

#include <ctime>

#include "host/ini.h"
#include "updater/hand_over.h"

namespace qm {

Text TodayStamp() {
  // Only start-up and the updater's last step ask, each on its one thread.
  std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  char stamp[16] = "";
  if (local) std::strftime(stamp, sizeof stamp, "%Y%m%d", local);
  return stamp;
}

bool ReleaseFailedToday(const Text& ini_path, const Text& address) {
  return !address.empty() &&
         ReadIniText(ini_path, kHandOverSection, kFailedReleaseKey) == address &&
         ReadIniText(ini_path, kHandOverSection, kFailedOnKey) == TodayStamp();
}

void RecordFailedRelease(const Text& ini_path, const Text& address) {
  WriteIniText(ini_path, kHandOverSection, Text(kFailedReleaseKey), address);
  WriteIniText(ini_path, kHandOverSection, Text(kFailedOnKey), TodayStamp());
}

void ForgetFailedRelease(const Text& ini_path) {
  WriteIniText(ini_path, kHandOverSection, Text(kFailedReleaseKey));
  WriteIniText(ini_path, kHandOverSection, Text(kFailedOnKey));
}

}  // namespace qm
