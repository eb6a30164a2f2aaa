#include "app/program.h"

#include <windows.h>

#include <cstdlib>
#include <string>

#include "app/controls.h"
#include "host/shell.h"

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
  const Text path = ExecutablePath();
  const std::size_t slash = path.rfind('\\');
  program_folder = slash == Text::npos ? Text() : path.substr(0, slash);
  program_file_name = slash == Text::npos ? path : path.substr(slash + 1);
  SetCurrentDirectoryW(WideString(program_folder).c_str());
  std::atexit(EndRoutine);
}

}  // namespace qm
