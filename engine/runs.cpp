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

// Slice code holds "01." in a slice's file name, or names a slice another
// way: by row and column, or in an export that no longer holds slice 01.
bool LooksLikeSliceCode(const Text& code) {
  return Contains(code, "01.") || !FindReferences(code).empty();
}

// What the user pasted that the program cannot keep: the run would put "?"
// in its place, in the result and on the clipboard.
Text UnheldText(WindowAccess& window) {
  constexpr struct {
    EditBox box;
    const char* name;
  } kBoxes[] = {{EditBox::kSliceCode, "切片代码"}, {EditBox::kLinkList, "已上传的图片链接"}};
  for (const auto& [box, name] : kBoxes) {
    const UnheldCharacter unheld = window.FirstCharacterGbkLacks(box);
    if (unheld.line == 0) continue;
    return Text(name) + "框第 " + DecimalText(static_cast<long long>(unheld.line)) +
           " 行含有 GBK 无法表示的字符（" + CodePointName(unheld.code_point) +
           "），未替换：请删去或换掉这个字符后再试";
  }
  return {};
}

// The links may use either scheme, written in any letter case.
bool HoldsWebAddress(const Text& text) {
  return FindFolded(text, "http:", 1) != kNotFound || FindFolded(text, "https:", 1) != kNotFound;
}

// More slice files than links: pairing went on to the last link, so the
// last files keep their local paths; but an upload missing from the middle
// of the list has moved every later link onto the next slice's place.
Text TooFewLinksText(int missing) {
  const Text count = DecimalText(missing);
  return "已复制，但链接少了 " + count + " 个，最后 " + count +
         " 张图片未替换；中间缺一张上传会让其后每张都配错，请核对或改用按智能";
}

// The links are in the order of the slice numbers, and a rollover picture
// has none: its upload may stand anywhere in the list, or not at all.
Text LocalRolloversText(int rollovers) {
  return "已复制，但 " + DecimalText(rollovers) +
         " 张鼠标经过时显示的图片未替换：按序号配不上这些图片，请改用按智能";
}

Text LocalRolloversNote(int rollovers) {
  if (rollovers == 0) return {};
  return "（另有 " + DecimalText(rollovers) + " 张鼠标经过时显示的图片未替换）";
}

// The first part of the status: what is left local, if anything.
Text ByNumberDoneText(const RunReport& report) {
  if (report.left > 0)
    return TooFewLinksText(report.left) + LocalRolloversNote(report.local_rollovers);
  if (report.local_rollovers > 0) return LocalRolloversText(report.local_rollovers);
  return kByNumberDoneText;
}

Text UnusedLinksNote(int unused) {
  if (unused == 0) return {};
  return "（" + DecimalText(unused) + " 个链接未使用）";
}

}  // namespace

// The k-th link goes to the k-th slice file, and every reference to that
// file gets it. Rollover pictures keep their paths.
RunReport RunByNumber(WindowAccess& window, HostServices& host) {
  RunReport report;
  const Text code = window.EditText(EditBox::kSliceCode);
  const SliceCodeReading reading = ReadOrSayNone(window, code);
  if (reading.files.empty()) {
    report.outcome = RunOutcome::kNothingFound;
    return report;
  }
  std::vector<Text> contents;
  for (const SliceFile& file : reading.files) contents.push_back(file.source);
  FillWorkList(window, contents);

  const Text list = window.EditText(EditBox::kLinkList);
  const LinkLines lines = ReadLinkLines(list);
  const std::size_t paired = std::min(reading.files.size(), lines.links.size());
  std::vector<std::size_t> used;
  for (std::size_t k = 0; k < paired; ++k) {
    contents[k] = lines.links[k].link;
    used.push_back(lines.links[k].line);
  }
  report.slices = static_cast<int>(reading.files.size());
  report.replaced = static_cast<int>(paired);
  report.left = report.slices - report.replaced;
  report.unused_links = static_cast<int>(lines.links.size() - paired);
  report.not_links = lines.not_links;
  report.local_rollovers = static_cast<int>(reading.rollovers.size());

  Text done = ByNumberDoneText(report);
  done += UnusedLinksNote(report.unused_links) + NotLinksNote(report.not_links);
  FinishRun(window, host, WithFileContents(code, reading, contents), WithoutLines(list, used), done,
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
  if (!LooksLikeSliceCode(window_.EditText(EditBox::kSliceCode))) {
    ShowStatus(window_, kBadSliceCodeText);
    return PressResult::kBadSliceCode;
  }
  const Text links = window_.EditText(EditBox::kLinkList);
  if (!HoldsWebAddress(links)) {
    ShowStatus(window_, kBadLinksText);
    return PressResult::kBadLinks;
  }
  if (const Text unheld = UnheldText(window_); !unheld.empty()) {
    ShowStatus(window_, unheld);
    return PressResult::kUnheldText;
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
