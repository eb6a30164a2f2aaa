#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "cli/cli.h"
#include "host/encoding.h"

namespace qm {
namespace {

HANDLE HandleOf(std::FILE* stream) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return GetConsoleMode(handle, &mode) != 0;
}

}  // namespace

// A console gets UTF-16, which shows right whatever its code page; a pipe or
// file gets UTF-8.
void WriteTerminalLine(std::FILE* stream, const Text& text) {
  std::fflush(stream);
  HANDLE handle = HandleOf(stream);
  if (IsConsole(handle)) {
    std::u16string wide = WideFromGbk(text) + u"\r\n";
    DWORD written = 0;
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  std::string line = Utf8FromGbk(text) + "\n";
  std::fwrite(line.data(), 1, line.size(), stream);
  std::fflush(stream);
}

bool WriteStandardOutput(const Bytes& bytes) {
  // The mark-up already has its CR LF; text mode would double them.
  _setmode(_fileno(stdout), _O_BINARY);
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
  return std::fflush(stdout) == 0 && written;
}

CliPlatform::CliPlatform() = default;
CliPlatform::~CliPlatform() = default;

}  // namespace qm
