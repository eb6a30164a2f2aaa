#include "engine/runs.h"

#include <algorithm>
#include <system_error>

#include "engine/scanning.h"
#include "image/image_key.h"

namespace qm {
namespace {

constexpr char kBadSliceCodeText[] = "软件无法识别切片代码，请检查上面的代码是否为切片代码...";
constexpr char kBadLinksText[] = "已上传的图片链接 有误，请复制链接，不是复制代码哦...";
constexpr char kBusyText[] = "正在处理，请稍候...";
constexpr char kByNumberDoneText[] = "替换完成并已复制...";
constexpr char kLineBreak[] = "\r\n";

bool Contains(const Text& text, const char* marker) {
  return Find(text, marker, 1) != kNotFound;
}

void ShowStatus(WindowAccess& window, const Text& text) {
  window.SetStatusText(kStatusMessagePart, text);
}

// Every substitution reads the box afresh and writes the whole text back,
// so the window shows the result growing one pairing at a time.
void ReplaceInBox(WindowAccess& window, EditBox box, const Text& needle, const Text& replacement) {
  window.SetEditText(box, ReplaceFirst(window.EditText(box), needle, replacement));
}

// A used link leaves the list together with one line break.
void RemoveUsedLink(WindowAccess& window, const Text& link) {
  ReplaceInBox(window, EditBox::kLinkList, link, "");
  ReplaceInBox(window, EditBox::kLinkList, kLineBreak, "");
}

}  // namespace

void RunByNumber(WindowAccess& window, HostServices& host) {
  RegexObject regex;
  window.ClearWorkList();
  Text body = TableBody(window.EditText(EditBox::kSliceCode));
  for (const Text& source : FindReferences(regex, body)) window.AppendWorkListRow(source);

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
}

void RunSmart(WindowAccess& window, HostServices& host) {
  RegexObject regex;
  RegexObject suffix_regex;
  window.ClearWorkList();

  // The chosen slice's path less its sequence number and extension is the
  // stem every slice file shares.
  const Text chosen = window.EditText(EditBox::kImagePath);
  window.SetEditText(EditBox::kImagePath, ReplaceFirst(chosen, SliceSuffixOf(regex, chosen), ""));
  window.SetGroupCaption(GroupBox::kLinkList, "图片路径为:" + window.EditText(EditBox::kImagePath));

  Text body = TableBody(window.EditText(EditBox::kSliceCode));
  for (const Text& source : FindReferences(regex, body)) {
    Text file = window.EditText(EditBox::kImagePath) + SliceSuffixOf(suffix_regex, source);
    Bytes bytes = host.ReadFileBytes(file);
    window.SetPictureBytes(bytes);
    Text key = ImageKey(bytes);
    ReplaceInBox(window, EditBox::kSliceCode, source, key);
    window.AppendWorkListRow(key);
  }
  window.SetGroupCaption(GroupBox::kSliceCode,
                         "切片代码(共计：" + DecimalText(window.WorkListRowCount()) + " 第图片）");

  const std::vector<Text> links = SplitLines(window.EditText(EditBox::kLinkList));
  int replaced = 0;
  for (std::size_t i = 1; i <= links.size(); ++i) {
    const Text& link = links[i - 1];
    Bytes bytes = host.FetchUrlBytes(link);
    window.SetPictureBytes(bytes);
    Text key = ImageKey(bytes);
    // Equal keys pair in document order: the first occurrence still holding
    // the key takes the link.
    if (Find(window.EditText(EditBox::kSliceCode), key, 1) == kNotFound) continue;
    ReplaceInBox(window, EditBox::kSliceCode, key, link);
    RemoveUsedLink(window, link);
    ShowStatus(window, "正在处理第：" + DecimalText(static_cast<long long>(i)) + " 第图片...");
    ++replaced;
  }

  host.SetClipboardText(window.EditText(EditBox::kSliceCode));
  ShowStatus(window,
             "处理完成...共替换了：" + DecimalText(replaced) + " 张图片....并已复制处理结果...");
  window.SetEditText(EditBox::kImagePath, "");
}

ReplaceCommand::ReplaceCommand(WindowAccess& window, HostServices& host)
    : window_(window), host_(host) {}

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
    ShowStatus(window_, kBusyText);
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

  void (*run)(WindowAccess&, HostServices&) = nullptr;
  if (window_.IsRadioSelected(RadioBox::kByNumber)) {
    run = RunByNumber;
  } else if (window_.IsRadioSelected(RadioBox::kSmart)) {
    run = RunSmart;
  }
  if (!run) return PressResult::kNoMode;

  WaitForRun();  // the previous run has ended; collect its thread
  running_ = true;
  try {
    worker_ = std::thread([this, run] {
      run(window_, host_);
      if (onRunFinished) onRunFinished();
      // Last: once a press can see the run ended, this thread touches the
      // window no more, so joining it cannot wait on the window's thread.
      running_ = false;
    });
  } catch (const std::system_error&) {
    // No thread, no run; the appended line break stays, as after any press.
    running_ = false;
    return PressResult::kNoMode;
  }
  return PressResult::kStarted;
}

}  // namespace qm
