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

// The links may use either scheme, written in any letter case.
bool HoldsWebAddress(const Text& text) {
  return FindFolded(text, "http:", 1) != kNotFound || FindFolded(text, "https:", 1) != kNotFound;
}

}  // namespace

RunReport RunByNumber(WindowAccess& window, HostServices& host) {
  RegexObject regex;
  RunReport report;
  const Text code = window.EditText(EditBox::kSliceCode);
  const std::vector<SliceReference> references = ReferencesOrSayNone(window, regex, code);
  if (references.empty()) {
    report.outcome = RunOutcome::kNothingFound;
    return report;
  }
  std::vector<Text> contents;
  for (const SliceReference& reference : references) contents.push_back(reference.source);
  FillWorkList(window, contents);

  // With fewer links than slices, pairing stops at the last link and the
  // remaining slices keep their local paths; the status says how many.
  const Text list = window.EditText(EditBox::kLinkList);
  const LinkLines lines = ReadLinkLines(list);
  const std::size_t paired = std::min(references.size(), lines.links.size());
  std::vector<std::size_t> used;
  for (std::size_t k = 0; k < paired; ++k) {
    contents[k] = lines.links[k].link;
    used.push_back(lines.links[k].line);
  }
  report.slices = static_cast<int>(references.size());
  report.replaced = static_cast<int>(paired);
  report.left = report.slices - report.replaced;
  report.not_links = lines.not_links;

  Text done = kByNumberDoneText;
  if (report.left > 0) done += "链接数量不足，还有 " + DecimalText(report.left) + " 张图片未替换";
  done += NotLinksNote(report.not_links);
  FinishRun(window, host, WithContents(code, references, contents), WithoutLines(list, used), done,
            report);
  return report;
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
  if (!HoldsWebAddress(links)) {
    ShowStatus(window_, kBadLinksText);
    return PressResult::kBadLinks;
  }
  window_.SetEditText(EditBox::kLinkList, links + kLineBreak);

  std::function<void()> run;
  if (window_.IsRadioSelected(RadioBox::kByNumber)) {
    run = [this] { report_ = RunByNumber(window_, host_); };
  } else if (window_.IsRadioSelected(RadioBox::kSmart)) {
    run = [this] { report_ = RunSmart(window_, host_, smart_options_); };
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
