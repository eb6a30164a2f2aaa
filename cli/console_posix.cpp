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

void WriteStandardOutput(const Bytes& bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fflush(stdout);
}

CliPlatform::CliPlatform() = default;
CliPlatform::~CliPlatform() = default;

}  // namespace qm
