#include "app/program.h"

#include <windows.h>

#include <cstdlib>
#include <string>
#include <utility>

#include "host/shell.h"
#include "host/win32/wide_text.h"
#include "updater/hand_over.h"

namespace qm {
namespace {

Text program_folder;
Text program_file_name;

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
  ProgramLocation location = SplitProgramPath(ExecutablePath());
  program_folder = std::move(location.folder);
  program_file_name = std::move(location.file_name);
  SetCurrentDirectoryW(WideString(program_folder).c_str());
  std::atexit(EndRoutine);
}

}  // namespace qm
