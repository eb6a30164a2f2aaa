#include "engine/runs.h"

#include <algorithm>
#include <system_error>

#include "engine/run_steps.h"

namespace qm {
namespace {

constexpr char kBadSliceCodeText[] = "软件无法识别切片代码，请检查上面的代码是否为切片代码...";
constexpr char kBadLinksText[] = "已上传的图片链接 有误，请复制链接，不是复制代码哦...";
constexpr char kStartedText[] = "正在处理...";
constexpr char kByNumberDoneText[] = "替换完成并已复制...";

bool Contains(const Text& text, const char* marker) {
  return Find(text, marker, 1) != kNotFound;
}

}  // namespace

RunOutcome RunByNumber(WindowAccess& window, HostServices& host) {
  RegexObject regex;
  const std::vector<Text> sources = SliceSourcesOrSayNone(window, regex);
  if (sources.empty()) return RunOutcome::kNothingFound;
  window.ClearWorkList();
  for (const Text& source : sources) window.AppendWorkListRow(source);

  const std::vector<Text> links = SplitLines(window.EditText(EditBox::kLinkList));
  const int rows = window.WorkListRowCount();
  // With fewer links than slices, pairing stops at the last link and the
  // remaining slices keep their local paths; the status says how many.
  const int paired = std::min(rows, static_cast<int>(links.size()));
  for (int k = 1; k <= paired; ++k) {
    const Text source = window.WorkListRow(k - 1);
    const Text& link = links[static_cast<std::size_t>(k) - 1];
    ReplaceInBox(window, EditBox::kSliceCode, source, link);
    RemoveUsedLink(window, link);
  }

  host.SetClipboardText(window.EditText(EditBox::kSliceCode));
  Text done = kByNumberDoneText;
  if (paired < rows) {
    done += "链接数量不足，还有 " + DecimalText(rows - paired) + " 张图片未替换";
  }
  ShowStatus(window, done);
  return RunOutcome::kDone;
}

ReplaceCommand::ReplaceCommand(WindowAccess& window, HostServices& host,
                               SmartRunOptions smart_options)
    : window_(window), host_(host), smart_options_(std::move(smart_options)) {}

ReplaceCommand::~ReplaceCommand() {
  WaitForRun();
}

void ReplaceCommand::WaitForRun() {
  if (worker_.joinable()) worker_.join();
}

PressResult ReplaceCommand::ReplaceAndCopy() {
  // Both runs edit the same boxes step by step; a second run would
  // interleave its edits with the first, so a press during a run is refused.
  if (running_.load()) {
    ShowStatus(window_, kRunBusyText);
    return PressResult::kBusy;
  }
  if (!Contains(window_.EditText(EditBox::kSliceCode), "01.")) {
    ShowStatus(window_, kBadSliceCodeText);
    return PressResult::kBadSliceCode;
  }
  const Text links = window_.EditText(EditBox::kLinkList);
  if (!Contains(links, "http:")) {
    ShowStatus(window_, kBadLinksText);
    return PressResult::kBadLinks;
  }
  window_.SetEditText(EditBox::kLinkList, links + kLineBreak);

  std::function<void()> run;
  if (window_.IsRadioSelected(RadioBox::kByNumber)) {
    run = [this] { outcome_ = RunByNumber(window_, host_); };
  } else if (window_.IsRadioSelected(RadioBox::kSmart)) {
    run = [this] { outcome_ = RunSmart(window_, host_, smart_options_); };
  }
  if (!run) return PressResult::kNoMode;

  WaitForRun();  // the previous run has ended; collect its thread
  running_ = true;
  window_.SetRunActive(true);
  // A long run must not leave the outcome of an earlier press standing.
  ShowStatus(window_, kStartedText);
  try {
    worker_ = std::thread([this, run = std::move(run)] {
      run();
      window_.SetRunActive(false);
      // Last: once a press can see the run ended, this thread touches the
      // window no more, so joining it cannot wait on the window's thread.
      running_ = false;
    });
  } catch (const std::system_error&) {
    // No thread, no run; the appended line break stays, as after any press.
    window_.SetRunActive(false);
    running_ = false;
    return PressResult::kNoMode;
  }
  return PressResult::kStarted;
}

}  // namespace qm
