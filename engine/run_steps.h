// The steps both replacement runs take on the window, in one place.
#pragma once

#include <chrono>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "base/text_rules.h"
#include "engine/host_services.h"
#include "engine/runs.h"
#include "engine/scanning.h"
#include "engine/window_access.h"

namespace qm {

inline constexpr char kLineBreak[] = "\r\n";
inline constexpr char kNothingFoundText[] = "没有找到切片图片路径，请检查切片代码是否完整...";

inline void ShowStatus(WindowAccess& window, const Text& text) {
  window.SetStatusText(kStatusMessagePart, text);
}

// The references of the slice code and the files they name. When there
// are none, both runs say so and stop before changing anything.
SliceCodeReading ReadOrSayNone(WindowAccess& window, const Text& slice_code);

// The work list holds one row per slice file: its source, or the key the
// smart run measured.
void FillWorkList(WindowAccess& window, const std::vector<Text>& rows);

// The status's note on lines of the link list that were passed over; empty
// when there were none.
Text NotLinksNote(int not_links);

// The web address of a link of the list: one written without its scheme
// ("//host/a.jpg") is fetched, and shown, over https.
inline Text LinkAddress(const Text& link) {
  return link.starts_with("//") ? "https:" + link : link;
}

// Both runs work on their own copies of the two texts. Rewriting a box of
// megabytes costs the window far more than a step of the run, so while the
// run works the boxes show its progress a few times a second at most, and
// never for more than a quarter of the time.
class ProgressDisplay {
 public:
  explicit ProgressDisplay(WindowAccess& window);
  bool Due() const;
  void Show(const Text& slice_code, const Text& link_list);

 private:
  using Clock = std::chrono::steady_clock;
  WindowAccess& window_;
  Clock::time_point next_;
};

// A run's result put in place: the boxes get the run's texts, the clipboard
// the run's own result (never a box's, which the user may have emptied),
// the report its outcome. A window that is gone has no boxes to show the
// result in, and then the clipboard is left alone.
void PutResult(WindowAccess& window, HostServices& host, const Text& slice_code,
               const Text& link_list, RunReport& report);

// The end of a run: PutResult, then the status bar `status`.
void FinishRun(WindowAccess& window, HostServices& host, const Text& slice_code,
               const Text& link_list, const Text& status, RunReport& report);

// Slice numbers, counted from 1, have at least two digits, as in file names:
// the placeholders' and the comparison page's.
inline Text SliceNumberText(std::size_t number) {
  Text digits = DecimalText(static_cast<long long>(number));
  return digits.size() < 2 ? "0" + digits : digits;
}

}  // namespace qm
