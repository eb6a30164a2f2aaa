#include <windows.h>

#include <atomic>
#include <filesystem>

#include "host/encoding.h"
#include "host/files.h"
#include "host/win32/wide_text.h"
#include "tests/update/update_test_support.h"

namespace qm::test {
namespace {

std::wstring ImageOf(DWORD pid) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!process) return {};
  std::wstring image(1024, L'\0');
  DWORD size = static_cast<DWORD>(image.size());
  const bool ok = QueryFullProcessImageNameW(process, 0, image.data(), &size);
  CloseHandle(process);
  image.resize(ok ? size : 0);
  return image;
}

struct Search {
  std::wstring image;
  std::vector<HWND> boxes;
};

BOOL CALLBACK CollectBox(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<Search*>(context);
  wchar_t window_class[16] = {};
  GetClassNameW(window, window_class, 16);
  if (std::wstring(window_class) != L"#32770" || !IsWindowVisible(window)) return TRUE;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (CompareStringOrdinal(ImageOf(pid).c_str(), -1, search->image.c_str(), -1, TRUE) ==
      CSTR_EQUAL) {
    search->boxes.push_back(window);
  }
  return TRUE;
}

}  // namespace

Bytes BuiltFile(const char* name) {
  wchar_t self[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring folder(self, length);
  folder = folder.substr(0, folder.rfind(L'\\'));
  return ReadFileBytes(GbkString(folder) + "\\" + name);
}

bool FileExists(const Text& path) {
  const DWORD attributes = GetFileAttributesW(WideString(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES;
}

Text IniValue(const Text& file, const char* section, const char* key) {
  wchar_t value[1024] = {};
  GetPrivateProfileStringW(WideString(section).c_str(), WideString(key).c_str(), L"<missing>",
                           value, 1024, WideString(file).c_str());
  return GbkString(value);
}

std::vector<std::string> StartedSizes(const Text& folder) {
  const Text log = TextFromBytes(ReadFileBytes(folder + "\\started.txt"));
  std::vector<std::string> sizes;
  std::size_t at = 0;
  for (std::size_t end; (end = log.find('\n', at)) != Text::npos; at = end + 1) {
    sizes.push_back(log.substr(at, end - at));
  }
  return sizes;
}

bool WaitFor(const std::function<bool()>& done, int timeout_ms) {
  for (int waited = 0; waited < timeout_ms; waited += 50) {
    if (done()) return true;
    Sleep(50);
  }
  return done();
}

std::vector<std::wstring> AnswerMessageBoxes(const Text& image, const std::function<bool()>& done,
                                             int timeout_ms) {
  std::vector<std::wstring> texts;
  std::vector<HWND> answered;
  WaitFor(
      [&] {
        Search search{WideString(image), {}};
        EnumWindows(CollectBox, reinterpret_cast<LPARAM>(&search));
        for (HWND box : search.boxes) {
          if (std::find(answered.begin(), answered.end(), box) != answered.end()) continue;
          answered.push_back(box);
          wchar_t text[512] = {};
          GetDlgItemTextW(box, 0xFFFF, text, 512);
          texts.push_back(text);
          PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
        return done();
      },
      timeout_ms);
  return texts;
}

int RunAndAnswer(const Text& command_line, const Text& image, std::vector<std::wstring>& messages) {
  std::wstring command = WideString(command_line);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return kNotRun;
  }
  CloseHandle(process.hThread);
  messages = AnswerMessageBoxes(
      image, [&] { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; }, 60'000);
  int result = kNotRun;
  if (WaitForSingleObject(process.hProcess, 0) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 99);
  } else {
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    result = static_cast<int>(code);
  }
  CloseHandle(process.hProcess);
  return result;
}

}  // namespace qm::test
