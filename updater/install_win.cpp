#include <windows.h>

#include <string>

#include "host/encoding.h"
#include "host/files.h"
#include "host/win32/wide_text.h"
#include "updater/hand_over.h"
#include "updater/install.h"
#include "updater/sha256.h"

namespace qm {
namespace {

constexpr int kRetryPauseMs = 100;

// A file that is still in use (the program only just ended, a scanner has
// it open) frees itself after a moment: try again until patience runs out.
bool MoveWithRetry(const std::wstring& from, const std::wstring& to, int patience_ms) {
  for (int waited = 0;; waited += kRetryPauseMs) {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return true;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return false;
    if (waited >= patience_ms) return false;
    Sleep(kRetryPauseMs);
  }
}

bool FileExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The new file takes the installed one's name; the installed one waits
// beside it until then and comes back if the new one cannot take its place.
bool PutInPlace(const Text& folder, const Text& download, const InstallOptions& options) {
  const Text program = FileInFolder(folder, kProgramFile);
  const std::wstring installed = WideString(program);
  const std::wstring kept = WideString(program + ".old");
  const std::wstring fresh = WideString(download);
  const bool had_installed = FileExists(installed);
  if (had_installed && !MoveWithRetry(installed, kept, options.replace_patience_ms)) return false;
  if (!MoveWithRetry(fresh, installed, options.replace_patience_ms)) {
    if (had_installed) MoveWithRetry(kept, installed, options.replace_patience_ms);
    return false;
  }
  if (had_installed) DeleteFileW(kept.c_str());
  return true;
}

bool DownloadVerified(const ReleaseAddress& release, const Text& download,
                      const InstallOptions& options) {
  FetchLimits limits = options.limits;
  limits.https_redirects_only = true;
  const Bytes body = FetchUrlBytesWithLimits(release.url, limits);
  if (body.empty() || Sha256(body) != release.sha256) return false;
  // Read back: a full disk or a meddling scanner must not slip through.
  return WriteFileBytes(download, {body}) && ReadFileBytes(download) == body;
}

}  // namespace

bool InstallRelease(const Text& folder, const Text& address, const InstallOptions& options) {
  const std::optional<ReleaseAddress> release = ParseReleaseAddress(address, options.scheme);
  if (!release) return false;
  // Nothing to fetch when the installed program already is this release;
  // the caller just starts it again.
  if (IsInstalled(folder, *release)) return true;
  const Text download = FileInFolder(folder, kDownloadFile);
  if (DownloadVerified(*release, download, options) && PutInPlace(folder, download, options))
    return true;
  RemoveFile(download);
  return false;
}

}  // namespace qm
