// The update check at start-up, before any window is shown.
#pragma once

#include "app/program.h"
#include "base/text.h"
#include "updater/update_source.h"

namespace qm {

// Returns when no newer release exists; otherwise hands over to the updater
// and ends the program with exit code 0 without returning.
void RunUpdateCheck(const Text& program_folder, const Text& manifest_url);

// The check as the program runs it: its own folder, and the manifest
// address it was built with.
inline void RunUpdateCheck() {
  RunUpdateCheck(ProgramFolder(), BuiltInManifestUrl());
}

// The check's steps up to the hand-over: removes a leftover download, asks
// `source` and, when it names a greater version number than this one's and
// a release that is neither installed already nor failed today, writes
// the hand-over file, unpacks `updater_archive` into `program_folder`,
// starts the updater and removes the archive (updater/hand_over.h). True when it handed over; the
// caller then ends the program. When writing, unpacking or starting fails, what was written is
// removed, the release is recorded as failed for today and the result is
// false: start-up goes on with the main window.
bool HandOverToUpdater(const Text& program_folder, UpdateSource& source,
                       const Bytes& updater_archive);

}  // namespace qm
