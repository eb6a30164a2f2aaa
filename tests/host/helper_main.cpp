// A windowed program the shell tests start. It never reads its message queue,
// so it never becomes ready for input.
//   helper write <file>   waits a little, then writes "done" to <file>
//   helper hang <ms>      sleeps
//   helper                writes "<own path>.ran" (for a start without arguments)
#include <windows.h>
// After windows.h:
#include <shellapi.h>

#include <string>

namespace {

void WriteDone(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD wrote = 0;
  WriteFile(file, "done", 4, &wrote, nullptr);
  CloseHandle(file);
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!args) return 1;
  std::wstring mode = count > 1 ? args[1] : L"";
  if (mode == L"write" && count > 2) {
    Sleep(500);
    WriteDone(args[2]);
  } else if (mode == L"hang" && count > 2) {
    Sleep(static_cast<DWORD>(_wtoi(args[2])));
  } else if (count == 1) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    WriteDone(std::wstring(self) + L".ran");
  }
  LocalFree(args);
  return 0;
}
