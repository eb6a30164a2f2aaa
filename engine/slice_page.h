// The page a slicing tool exported, taken whole: its text as the slice-code
// box holds it, and its slice files found from its own folder, each by the
// path its reference names.
#pragma once

#include <cstddef>

#include "base/text.h"

namespace qm {

// Larger files are no exported page.
inline constexpr std::size_t kMaxSlicePageBytes = std::size_t{20} << 20;

enum class SlicePageProblem {
  kNone,
  kTooLarge,  // over kMaxSlicePageBytes
  kNotText,   // empty, or holding a NUL byte
  kNotGbk,    // UTF-8 text with characters GBK lacks
};

struct SlicePageText {
  Text text;  // GBK; empty when there is a problem
  SlicePageProblem problem = SlicePageProblem::kNone;
};

// GBK as stored; UTF-8 (with a byte-order mark, declared by a <meta>
// charset, or valid UTF-8 that is not plain ASCII) converted to GBK when GBK
// holds it exactly. Text GBK cannot hold is refused, never changed.
SlicePageText DecodeSlicePage(const Bytes& bytes);

// The file a slice reference names, from the folder of the page it stands
// in: "/" and "\" both separate, "." and ".." steps are taken (never above
// the folder tree's root), "?" and what follows is no part of a file name,
// %XX is the byte it stands for. An absolute path or a file: address is
// taken as it stands. The separator is the folder's own. Empty when the
// path leads nowhere.
Text ResolveSliceFile(const Text& page_folder, const Text& source);

// The folder part of a path, without the separator after it ("" for none).
Text FolderOf(const Text& path);
// The file name of a path: what follows its last separator.
Text FileNameOf(const Text& path);

}  // namespace qm
