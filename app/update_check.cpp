#include "app/update_check.h"

#include <cstdlib>

#include "host/files.h"
#include "host/ini.h"
#include "host/shell.h"
#include "host/zip.h"
#include "updater/failed_release.h"
#include "updater/payload.h"

namespace qm {
namespace {

constexpr char kVersionNumber[] = "1";

}  // namespace

bool HandOverToUpdater(const Text& programFolder, UpdateSource& source,
                       const Bytes& updaterArchive) {
  RemoveFile(programFolder + "\\Quillmar更新.exe");
  if (source.LatestVersion() == kVersionNumber) return false;

  const Text ini = programFolder + "\\gx.ini";
  const Text address = source.DownloadAddress();
  if (ReleaseFailedToday(ini, address)) return false;
  WriteIniText(ini, "gx", Text("xz"), address);
  WriteIniText(ini, "gx", Text("gx"), Text("1"));
  const Text archive = programFolder + "\\xz.zip";
  WriteFileBytes(archive, {updaterArchive});
  ExtractZip(archive, programFolder);
  RunProgram(QuotedCommand(programFolder + "\\xz.exe"), false);
  RemoveFile(archive);
  return true;
}

void RunUpdateCheck(const Text& programFolder, const Text& manifestUrl) {
  ManifestUpdateSource source(manifestUrl);
  if (HandOverToUpdater(programFolder, source, EmbeddedUpdaterArchive())) std::exit(0);
}

}  // namespace qm
