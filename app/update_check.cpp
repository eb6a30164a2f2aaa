#include "app/update_check.h"

#include <cstdlib>

#include "host/files.h"
#include "host/ini.h"
#include "host/shell.h"
#include "host/zip.h"
#include "updater/payload.h"

namespace qm {
namespace {

constexpr char kVersionNumber[] = "1";

// Quoted: unquoted, a folder with a space in its name would let the system
// try "C:\Program.exe" and the like first.
Text QuotedCommand(const Text& path) {
  Text command;
  command.reserve(path.size() + 2);
  command += '"';
  command += path;
  command += '"';
  return command;
}

}  // namespace

bool HandOverToUpdater(const Text& programFolder, UpdateSource& source,
                       const Bytes& updaterArchive) {
  RemoveFile(programFolder + "\\Quillmar更新.exe");
  if (source.LatestVersion() == kVersionNumber) return false;

  const Text ini = programFolder + "\\gx.ini";
  WriteIniText(ini, "gx", Text("xz"), source.DownloadAddress());
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
