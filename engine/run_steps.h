// The steps both replacement runs take on the window, in one place.
#pragma once

#include <vector>

#include "base/text.h"
#include "base/text_rules.h"
#include "engine/scanning.h"
#include "engine/window_access.h"

namespace qm {

inline constexpr char kLineBreak[] = "\r\n";
inline constexpr char kNothingFoundText[] = "没有找到切片图片路径，请检查切片代码是否完整...";

inline void ShowStatus(WindowAccess& window, const Text& text) {
  window.SetStatusText(kStatusMessagePart, text);
}

// The slice sources of the slice-code box. When there are none, both runs
// say so and stop before changing anything.
inline std::vector<Text> SliceSourcesOrSayNone(WindowAccess& window, RegexObject& regex) {
  std::vector<Text> sources = FindSliceSources(regex, window.EditText(EditBox::kSliceCode));
  if (sources.empty()) ShowStatus(window, kNothingFoundText);
  return sources;
}

// Every substitution reads the box afresh and writes the whole text back,
// so the window shows the result growing one pairing at a time.
inline void ReplaceInBox(WindowAccess& window, EditBox box, const Text& needle,
                         const Text& replacement) {
  window.SetEditText(box, ReplaceFirst(window.EditText(box), needle, replacement));
}

// A used link leaves the list together with the line break that ended its
// own line. (Taking the first line break of the box instead would join the
// two unused links around it whenever an unused link stands above.) A link
// without a break of its own, or an empty one, takes the first.
inline void RemoveUsedLink(WindowAccess& window, const Text& link) {
  const int at = link.empty() ? kNotFound : FindFolded(window.EditText(EditBox::kLinkList), link);
  ReplaceInBox(window, EditBox::kLinkList, link, "");
  Text list = window.EditText(EditBox::kLinkList);
  const auto offset = static_cast<std::size_t>(at) - 1;
  if (at != kNotFound && list.compare(offset, 2, kLineBreak) == 0) {
    list.erase(offset, 2);
  } else {
    list = ReplaceFirst(list, kLineBreak, "");
  }
  window.SetEditText(EditBox::kLinkList, list);
}

}  // namespace qm
