#include "updater/failed_release.h"

#include <ctime>

#include "host/ini.h"

namespace qm {
namespace {

constexpr char kSection[] = "gx";
constexpr char kFailedAddressKey[] = "failed";
constexpr char kFailedOnKey[] = "failedon";

}  // namespace

Text TodayStamp() {
  // Only start-up and the updater's last step ask, each on its one thread.
  std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  char stamp[16] = "";
  if (local) std::strftime(stamp, sizeof stamp, "%Y%m%d", local);
  return stamp;
}

bool ReleaseFailedToday(const Text& iniPath, const Text& address) {
  return !address.empty() && ReadIniText(iniPath, kSection, kFailedAddressKey) == address &&
         ReadIniText(iniPath, kSection, kFailedOnKey) == TodayStamp();
}

void RecordFailedRelease(const Text& iniPath, const Text& address) {
  WriteIniText(iniPath, kSection, Text(kFailedAddressKey), address);
  WriteIniText(iniPath, kSection, Text(kFailedOnKey), TodayStamp());
}

void ForgetFailedRelease(const Text& iniPath) {
  WriteIniText(iniPath, kSection, Text(kFailedAddressKey));
  WriteIniText(iniPath, kSection, Text(kFailedOnKey));
}

}  // namespace qm
