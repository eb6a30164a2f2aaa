#include "app/update_check.h"

#include <cstdlib>

#include "host/files.h"
#include "host/ini.h"
#include "host/shell.h"
#include "host/zip.h"
#include "updater/failed_release.h"
#include "updater/hand_over.h"
#include "updater/payload.h"
#include "updater/release_address.h"

namespace qm {
namespace {

// The installed program already is that release: handing over would only
// restart it, and with a manifest that names too high a number, at every
// start.
bool AlreadyInstalled(const Text& program_folder, const Text& address) {
  const std::optional<ReleaseAddress> release = ParseReleaseAddress(address);
  return release && IsInstalled(program_folder, *release);
}

// Writes the hand-over file, unpacks the updater and starts it. False, with
// everything it wrote removed again, when any of that fails.
bool StartUpdater(const Text& program_folder, const Text& ini, const Text& address,
                  const Bytes& updater_archive) {
  const Text archive = FileInFolder(program_folder, kUpdaterArchiveFile);
  const Text updater = FileInFolder(program_folder, kUpdaterFile);
  const bool started =
      WriteIniText(ini, kHandOverSection, Text(kReleaseAddressKey), address) &&
      WriteIniText(ini, kHandOverSection, Text(kHandOverKey), Text(kHandOverSignal)) &&
      WriteFileBytes(archive, {updater_archive}) && ExtractZip(archive, program_folder) == 1 &&
      RunProgram(QuotedCommand(updater), false);
  RemoveFile(archive);
  if (started) return true;
  RemoveFile(updater);
  WriteIniText(ini, kHandOverSection, Text(kReleaseAddressKey));
  WriteIniText(ini, kHandOverSection, Text(kHandOverKey));
  return false;
}

}  // namespace

bool HandOverToUpdater(const Text& program_folder, UpdateSource& source,
                       const Bytes& updater_archive) {
  RemoveFile(FileInFolder(program_folder, kDownloadFile));
  if (!IsNewerVersion(source.LatestVersion())) return false;

  const Text ini = FileInFolder(program_folder, kHandOverIniFile);
  const Text address = source.DownloadAddress();
  if (ReleaseFailedToday(ini, address) || AlreadyInstalled(program_folder, address)) return false;
  if (StartUpdater(program_folder, ini, address, updater_archive)) return true;
  // A folder the updater cannot be put into stays so all day: ask again
  // tomorrow, or for another release, rather than at every start.
  RecordFailedRelease(ini, address);
  return false;
}

void RunUpdateCheck(const Text& program_folder, const Text& manifest_url) {
  ManifestUpdateSource source(manifest_url);
  if (HandOverToUpdater(program_folder, source, EmbeddedUpdaterArchive())) std::exit(0);
}

}  // namespace qm
