// The update check at start-up, before any window is shown.
#pragma once

#include "app/program.h"
#include "base/text.h"
#include "updater/update_source.h"

namespace qm {

// Returns when no newer release exists; otherwise hands over to the updater
// and ends the program with exit code 0 without returning.
void RunUpdateCheck(const Text& programFolder, const Text& manifestUrl);

// The check as the program runs it: its own folder, and the manifest
// address it was built with.
inline void RunUpdateCheck() {
  RunUpdateCheck(ProgramFolder(), BuiltInManifestUrl());
}

// The check's steps up to the hand-over: removes a leftover download, asks
// `source` and, when it names another version than this one, writes gx.ini,
// unpacks `updaterArchive` into `programFolder`, starts xz.exe and removes
// the archive. True when it handed over; the caller then ends the program.
// No step's failure stops the ones after it.
bool HandOverToUpdater(const Text& programFolder, UpdateSource& source,
                       const Bytes& updaterArchive);

}  // namespace qm
