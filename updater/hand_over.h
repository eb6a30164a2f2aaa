// How Quillmar.exe hands a newer release over to its updater xz.exe: the
// version this build runs as, the files both programs keep in the program's
// folder and the keys of the settings file between them. The check, the
// updater, the failed-release record and the install all take their names
// from here: the program of one release meets the updater of another (the
// old updater starts the new program, the new program clears up the old
// updater's download), so a name changed on one side only would strand an
// update half-way.
#pragma once

#include <string_view>

#include "base/text.h"
#include "updater/version.h"

namespace qm {

// The release number of this build, from the one configure-time value the
// version resource takes too. Only a greater number in the manifest hands
// over.
inline constexpr int kRunningVersion = QM_VERSION_NUMBER;
inline constexpr char kRunningVersionText[] = QM_VERSION_TEXT;

// The installed program; the updater replaces it and starts it again.
inline constexpr char kProgramFile[] = "Quillmar.exe";
// A release on its way in: downloaded here, then moved onto the program.
// A leftover is removed at every start.
inline constexpr char kDownloadFile[] = "Quillmar更新.exe";
// The updater as the program unpacks and starts it, and the archive it
// travels in while it is written out.
inline constexpr char kUpdaterFile[] = "xz.exe";
inline constexpr char kUpdaterArchiveFile[] = "xz.zip";

// The settings file the release waits in for the updater.
inline constexpr char kHandOverIniFile[] = "gx.ini";
inline constexpr char kHandOverSection[] = "gx";
// The release's address, with its hash.
inline constexpr char kReleaseAddressKey[] = "xz";
// kHandOverSignal while a hand-over waits for the updater.
inline constexpr char kHandOverKey[] = "gx";
inline constexpr char kHandOverSignal[] = "1";
// The release whose installation failed, and the day it did (YYYYMMDD).
inline constexpr char kFailedReleaseKey[] = "failed";
inline constexpr char kFailedOnKey[] = "failedon";

// `name` in `folder`, which has no trailing backslash.
inline Text FileInFolder(const Text& folder, std::string_view name) {
  Text path = folder;
  path += '\\';
  path += name;
  return path;
}

// The running executable's path split at its last backslash: the folder,
// without a trailing backslash, and the file name. A path without one is
// all file name, in no folder. Both programs find their folder this way.
struct ProgramLocation {
  Text folder;
  Text file_name;
};
ProgramLocation SplitProgramPath(const Text& path);

}  // namespace qm
