#include "updater/hand_over.h"

namespace qm {

ProgramLocation SplitProgramPath(const Text& path) {
  // Character by character: the second byte of a GBK character such as
  // "誠" is a backslash's byte too, and a file name holding one must not be
  // cut there.
  std::size_t slash = Text::npos;
  for (std::size_t at = 0; at < path.size(); at += CharLength(path, at)) {
    if (path[at] == '\\') slash = at;
  }
  if (slash == Text::npos) return {Text(), path};
  return {path.substr(0, slash), path.substr(slash + 1)};
}

}  // namespace qm
