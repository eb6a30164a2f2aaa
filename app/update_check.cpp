#include "app/update_check.h"

#include <cstdlib>

#include "host/files.h"
#include "host/ini.h"
#include "host/shell.h"
#include "host/zip.h"
#include "updater/failed_release.h"
#include "updater/payload.h"
#include "updater/release_address.h"
#include "updater/sha256.h"

namespace qm {
namespace {

// The installed program already is that release: handing over would only
// restart it, and with a manifest that names too high a number, at every
// start.
bool AlreadyInstalled(const Text& programFolder, const Text& address) {
  const std::optional<ReleaseAddress> release = ParseReleaseAddress(address);
  if (!release) return false;
  const Bytes installed = ReadFileBytes(programFolder + "\\Quillmar.exe");
  return !installed.empty() && Sha256(installed) == release->sha256;
}

// Writes the hand-over file, unpacks the updater and starts it. False, with
// everything it wrote removed again, when any of that fails.
bool StartUpdater(const Text& programFolder, const Text& ini, const Text& address,
                  const Bytes& updaterArchive) {
  const Text archive = programFolder + "\\xz.zip";
  const Text updater = programFolder + "\\xz.exe";
  const bool started =
      WriteIniText(ini, "gx", Text("xz"), address) &&
      WriteIniText(ini, "gx", Text("gx"), Text("1")) && WriteFileBytes(archive, {updaterArchive}) &&
      ExtractZip(archive, programFolder) == 1 && RunProgram(QuotedCommand(updater), false);
  RemoveFile(archive);
  if (started) return true;
  RemoveFile(updater);
  WriteIniText(ini, "gx", Text("xz"));
  WriteIniText(ini, "gx", Text("gx"));
  return false;
}

}  // namespace

bool HandOverToUpdater(const Text& programFolder, UpdateSource& source,
                       const Bytes& updaterArchive) {
  RemoveFile(programFolder + "\\Quillmar更新.exe");
  if (!IsNewerVersion(source.LatestVersion())) return false;

  const Text ini = programFolder + "\\gx.ini";
  const Text address = source.DownloadAddress();
  if (ReleaseFailedToday(ini, address) || AlreadyInstalled(programFolder, address)) return false;
  if (StartUpdater(programFolder, ini, address, updaterArchive)) return true;
  // A folder the updater cannot be put into stays so all day: ask again
  // tomorrow, or for another release, rather than at every start.
  RecordFailedRelease(ini, address);
  return false;
}

void RunUpdateCheck(const Text& programFolder, const Text& manifestUrl) {
  ManifestUpdateSource source(manifestUrl);
  if (HandOverToUpdater(programFolder, source, EmbeddedUpdaterArchive())) std::exit(0);
}

}  // namespace qm
