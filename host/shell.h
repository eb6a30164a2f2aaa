// Desktop shell services: known folders, shortcuts, opening documents and
// starting programs. They exist for the Windows program; the Linux build has
// no desktop to talk to and gives the failure results.
#pragma once

#include "base/text.h"

namespace qm {

// Known folders, by number.
enum SpecialFolderKind : int {
  kFolderDocuments = 1,
  kFolderFavorites = 2,
  kFolderDesktop = 3,
  kFolderFonts = 4,
  kFolderStartMenu = 5,
  kFolderPrograms = 6,
  kFolderStartup = 7,
  kFolderAppData = 8,
  kFolderWindows = 9,
  kFolderSystem = 10,
  kFolderTemp = 11,
};

// The folder's path with a trailing backslash; empty for a kind outside 1..11
// or when the system cannot say. The folder is not created.
Text SpecialFolderPath(int kind);

// Writes a shell shortcut at `shortcut_path` to `target`, replacing an existing
// one of that name. ".lnk" is appended when the path holds no "." at all.
// Empty description, arguments or working folder are left unset. True when
// the shortcut was saved.
bool CreateShortcut(const Text& shortcut_path, const Text& target, const Text& description = {},
                    const Text& arguments = {}, const Text& working_folder = {});

// Opens a document or URL in its default program. True when the shell
// started it; false for a missing file, a type no program is registered for,
// or a program that would not start.
bool ShellOpen(const Text& target);

// Starts `command_line` as given (a path with spaces must be quoted by the
// caller). With `wait` it returns when the program ends; otherwise once the
// program is ready for input, or after one second at most. `show_mode`:
// 1 hidden, 2 normal, 3 minimised, 4 maximised, 5 shown without activation,
// 6 minimised without activation; values outside 1..6 are clamped. True when
// the program was started.
bool RunProgram(const Text& command_line, bool wait, int show_mode = 2);

// The full path of the running program; empty when it cannot be had.
Text ExecutablePath();

// A program path as one command-line word. Unquoted, a folder with a space
// in its name would let the system try "C:\Program.exe" and the like first.
inline Text QuotedCommand(const Text& path) {
  return "\"" + path + "\"";
}

}  // namespace qm
