// The quillmar command-line tool: the same runs as the window's button,
// over an in-memory window filled from files.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "base/text.h"

namespace qm {

enum CliExit {
  kExitDone = 0,
  kExitRefused = 1,  // an input check refused the press
  kExitUsage = 2,
  kExitFile = 3,       // a file could not be read or written
  kExitUnmatched = 4,  // done, but some slices are left to replace by hand
};

// `args` are the command-line arguments after the program name, in UTF-8.
int RunCli(const std::vector<std::string>& args);

// Platform pieces (console_win.cpp / console_posix.cpp).
// Writes a GBK text and a line end to `stream` (stdout or stderr) in the
// terminal's encoding.
void WriteTerminalLine(std::FILE* stream, const Text& text);
// Writes bytes to standard output unchanged (no line-end translation);
// false when they could not all be written.
bool WriteStandardOutput(const Bytes& bytes);
// Prepares what the platform needs before images are decoded; the
// returned object keeps it alive.
struct CliPlatform {
  CliPlatform();
  ~CliPlatform();
  CliPlatform(const CliPlatform&) = delete;
  CliPlatform& operator=(const CliPlatform&) = delete;
};

}  // namespace qm
