#include <windows.h>
// After windows.h:
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <memory>
#include <string>

#include "host/encoding.h"
#include "host/shell.h"
#include "host/win32/com.h"
#include "host/win32/handle.h"
#include "host/win32/wide_text.h"

namespace qm {
namespace {

int ShellFolderId(int kind) {
  static constexpr int kIds[] = {CSIDL_PERSONAL, CSIDL_FAVORITES, CSIDL_DESKTOPDIRECTORY,
                                 CSIDL_FONTS,    CSIDL_STARTMENU, CSIDL_PROGRAMS,
                                 CSIDL_STARTUP,  CSIDL_APPDATA};
  return kIds[kind - 1];
}

bool QueryFolder(int kind, wchar_t (&buffer)[MAX_PATH + 1]) {
  if (kind <= kFolderAppData) {
    return SHGetSpecialFolderPathW(nullptr, buffer, ShellFolderId(kind), FALSE) != 0;
  }
  UINT length = 0;
  switch (kind) {
    case kFolderWindows:
      length = GetWindowsDirectoryW(buffer, MAX_PATH);
      break;
    case kFolderSystem:
      length = GetSystemDirectoryW(buffer, MAX_PATH);
      break;
    default:
      length = GetTempPathW(MAX_PATH, buffer);
      break;
  }
  return length > 0 && length < MAX_PATH;
}

int ShowCommand(int show_mode) {
  static constexpr int kCommands[] = {SW_HIDE,          SW_SHOWNORMAL,     SW_SHOWMINIMIZED,
                                      SW_SHOWMAXIMIZED, SW_SHOWNOACTIVATE, SW_MINIMIZE};
  if (show_mode < 1) show_mode = 1;
  if (show_mode > 6) show_mode = 6;
  return kCommands[show_mode - 1];
}

}  // namespace

Text SpecialFolderPath(int kind) {
  if (kind < kFolderDocuments || kind > kFolderTemp) return {};
  wchar_t buffer[MAX_PATH + 1] = {};
  if (!QueryFolder(kind, buffer) || buffer[0] == L'\0') return {};
  std::wstring path(buffer);
  if (path.back() != L'\\') path += L'\\';
  return GbkString(path.c_str());
}

bool CreateShortcut(const Text& shortcut_path, const Text& target, const Text& description,
                    const Text& arguments, const Text& working_folder) {
  if (shortcut_path.empty()) return false;
  // Harmless when the thread is already set up; makes the call safe on any.
  ComInit com;
  ComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              link.PutVoid()))) {
    return false;
  }
  ComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.PutVoid()))) return false;

  link->SetPath(WideString(target).c_str());
  link->SetShowCmd(SW_SHOW);
  if (!description.empty()) link->SetDescription(WideString(description).c_str());
  if (!arguments.empty()) link->SetArguments(WideString(arguments).c_str());
  if (!working_folder.empty()) link->SetWorkingDirectory(WideString(working_folder).c_str());

  Text path = shortcut_path;
  if (path.find('.') == Text::npos) path += ".lnk";
  return SUCCEEDED(file->Save(WideString(path).c_str(), TRUE));
}

bool ShellOpen(const Text& target) {
  HWND owner = FindWindowW(nullptr, L"Microsoft Internet Explorer");
  // An instance handle only in name: above 32 it means started, otherwise it
  // is an error code.
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(owner, L"open", WideString(target).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  return result > 32;
}

bool RunProgram(const Text& command_line, bool wait, int show_mode) {
  std::wstring command = WideString(command_line);  // CreateProcessW may write into it
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(ShowCommand(show_mode));
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return false;
  }
  UniqueHandle process_handle(process.hProcess);
  UniqueHandle thread_handle(process.hThread);
  if (wait) {
    WaitForSingleObject(process.hProcess, INFINITE);
  } else {
    WaitForInputIdle(process.hProcess, 1000);
  }
  return true;
}

Text ExecutablePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return GbkString(path);
    }
    path.resize(path.size() * 2);  // a long path was cut: ask again
  }
}

}  // namespace qm
