// A release whose installation failed is not handed over again the same
// day. Without this, a download that keeps failing would make every start
// hand over, fail, show its message and restart the program, without end;
// a new release (a new address, since it carries the hash) is tried at once.
#pragma once

#include "base/text.h"

namespace qm {

bool ReleaseFailedToday(const Text& ini_path, const Text& address);
void RecordFailedRelease(const Text& ini_path, const Text& address);
void ForgetFailedRelease(const Text& ini_path);

// The local date as YYYYMMDD.
Text TodayStamp();

}  // namespace qm
