#include "app/program.h"

#include <windows.h>

#include <cstdlib>
#include <string>

#include "app/controls.h"

namespace qm {
namespace {

Text program_folder;
Text program_file_name;

std::wstring ExecutablePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);  // a long path was cut: ask again
  }
}

void EndRoutine() {
  Text().swap(program_folder);
  Text().swap(program_file_name);
}

}  // namespace

const Text& ProgramFolder() {
  return program_folder;
}
const Text& ProgramFileName() {
  return program_file_name;
}

void PrepareRuntime() {
  const std::wstring path = ExecutablePath();
  const std::size_t slash = path.rfind(L'\\');
  const std::wstring folder = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
  program_folder = GbkString(folder);
  program_file_name = GbkString(slash == std::wstring::npos ? path : path.substr(slash + 1));
  SetCurrentDirectoryW(folder.c_str());
  std::atexit(EndRoutine);
}

}  // namespace qm
