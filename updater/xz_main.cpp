// xz.exe: the updater Quillmar hands over to when a newer release exists.
// It is started from Quillmar's folder, without arguments, while Quillmar
// ends; the release's address waits in gx.ini beside it.
#include <windows.h>
// After windows.h:
#include <tlhelp32.h>

#include <memory>
#include <string>

#include "host/encoding.h"
#include "host/ini.h"
#include "host/shell.h"
#include "host/win32/handle.h"
#include "host/win32/wide_text.h"
#include "updater/failed_release.h"
#include "updater/hand_over.h"
#include "updater/install.h"

namespace {

constexpr DWORD kWaitForProgramMs = 30'000;

DWORD ParentProcessId() {
  qm::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return 0;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  const DWORD self = GetCurrentProcessId();
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == self) return entry.th32ParentProcessID;
  }
  return 0;
}

// Quillmar started us and is ending: wait for it, so that its file can be
// replaced. Only a parent that really is this folder's Quillmar.exe is
// waited for; otherwise the replacement's own retries cover the moment.
void WaitForProgramToEnd(const std::wstring& program) {
  const DWORD parent = ParentProcessId();
  if (parent == 0) return;
  qm::UniqueHandle process(
      OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, parent));
  if (!process) return;
  std::wstring image(MAX_PATH * 2, L'\0');
  DWORD size = static_cast<DWORD>(image.size());
  if (!QueryFullProcessImageNameW(process.get(), 0, image.data(), &size)) return;
  image.resize(size);
  if (CompareStringOrdinal(image.c_str(), -1, program.c_str(), -1, TRUE) != CSTR_EQUAL) return;
  WaitForSingleObject(process.get(), kWaitForProgramMs);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const qm::Text folder = qm::SplitProgramPath(qm::ExecutablePath()).folder;
  const qm::Text program = qm::FileInFolder(folder, qm::kProgramFile);
  const qm::Text ini = qm::FileInFolder(folder, qm::kHandOverIniFile);
  const qm::Text address = qm::ReadIniText(ini, qm::kHandOverSection, qm::kReleaseAddressKey);
  const bool handed_over =
      qm::ReadIniText(ini, qm::kHandOverSection, qm::kHandOverKey) == qm::kHandOverSignal;

  WaitForProgramToEnd(qm::WideString(program));
  const bool installed = handed_over && !folder.empty() && qm::InstallRelease(folder, address);
  if (installed) {
    qm::ForgetFailedRelease(ini);
  } else {
    qm::RecordFailedRelease(ini, address);
    // Before the program starts again: it would otherwise ask for the
    // update once more while this message is still up.
    MessageBoxW(nullptr, L"更新失败，将继续使用当前版本。", L"Quillmar", MB_OK | MB_ICONWARNING);
  }
  qm::RunProgram(qm::QuotedCommand(program), false);
  return installed ? 0 : 1;
}
