#include <csignal>
#include <cstdio>

#include "cli/cli.h"
#include "host/encoding.h"

namespace qm {

// Terminals here speak UTF-8.
void WriteTerminalLine(std::FILE* stream, const Text& text) {
  std::string line = Utf8FromGbk(text) + "\n";
  std::fwrite(line.data(), 1, line.size(), stream);
  std::fflush(stream);
}

bool WriteStandardOutput(const Bytes& bytes) {
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
  return std::fflush(stdout) == 0 && written;
}

// A reader that went away must be a write error, not the end of the process.
CliPlatform::CliPlatform() {
  std::signal(SIGPIPE, SIG_IGN);
}
CliPlatform::~CliPlatform() = default;

}  // namespace qm
