// Folders, files and processes for the update tests under Wine.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/text.h"
#include "support/test_files.h"

namespace qm::test {

// A file built beside the test executable.
Bytes BuiltFile(const char* name);

bool FileExists(const Text& path);
Text IniValue(const Text& file, const char* section, const char* key);

// The sizes the stand-in program wrote each time it was started.
std::vector<std::string> StartedSizes(const Text& folder);
bool WaitFor(const std::function<bool()>& done, int timeout_ms);

// Answers with OK every message box of a process whose executable is
// `image`, until `done()` or the time is up; gives the boxes' texts.
std::vector<std::wstring> AnswerMessageBoxes(const Text& image, const std::function<bool()>& done,
                                             int timeout_ms);

// What RunAndAnswer gives for a program that could not start or hung; no
// program ends with it (-1 is a fault's exit code).
inline constexpr int kNotRun = -100'000;

// Starts `command_line` and waits for it to end, answering its message
// boxes; its exit code, or kNotRun.
int RunAndAnswer(const Text& command_line, const Text& image, std::vector<std::wstring>& messages);

}  // namespace qm::test
