#include "engine/run_steps.h"

#include <algorithm>

namespace qm {
namespace {

// The shortest pause between two showings, and how many times the last
// showing took that the pause lasts at least.
constexpr std::chrono::milliseconds kShortestPause{250};
constexpr int kPauseToShowing = 3;

}  // namespace

SliceCodeReading ReadOrSayNone(WindowAccess& window, const Text& slice_code) {
  SliceCodeReading reading = ReadSliceCode(slice_code);
  if (reading.files.empty()) ShowStatus(window, kNothingFoundText);
  return reading;
}

void FillWorkList(WindowAccess& window, const std::vector<Text>& rows) {
  window.ClearWorkList();
  window.AppendWorkListRows(rows);
}

Text NotLinksNote(int not_links) {
  if (not_links == 0) return {};
  return "（" + DecimalText(not_links) + " 行不是链接，已跳过）";
}

ProgressDisplay::ProgressDisplay(WindowAccess& window)
    : window_(window), next_(Clock::now() + kShortestPause) {}

bool ProgressDisplay::Due() const {
  return Clock::now() >= next_;
}

void ProgressDisplay::Show(const Text& slice_code, const Text& link_list) {
  const Clock::time_point start = Clock::now();
  window_.SetEditText(EditBox::kSliceCode, slice_code);
  window_.SetEditText(EditBox::kLinkList, link_list);
  const Clock::time_point end = Clock::now();
  next_ = end + std::max<Clock::duration>(kShortestPause, kPauseToShowing * (end - start));
}

void PutResult(WindowAccess& window, HostServices& host, const Text& slice_code,
               const Text& link_list, RunReport& report) {
  window.SetEditText(EditBox::kSliceCode, slice_code);
  window.SetEditText(EditBox::kLinkList, link_list);
  // The result is never empty, so a box that reads empty after the write
  // went with its window: the user's clipboard stays as it was.
  if (!window.EditText(EditBox::kSliceCode).empty()) {
    report.copied = host.SetClipboardText(slice_code);
  }
  if (report.outcome != RunOutcome::kNothingFound) {
    const bool left = report.left > 0 || report.failed_links > 0 || report.local_rollovers > 0;
    report.outcome = left ? RunOutcome::kLeftOver : RunOutcome::kDone;
  }
}

void FinishRun(WindowAccess& window, HostServices& host, const Text& slice_code,
               const Text& link_list, const Text& status, RunReport& report) {
  PutResult(window, host, slice_code, link_list, report);
  ShowStatus(window, status);
}

}  // namespace qm
