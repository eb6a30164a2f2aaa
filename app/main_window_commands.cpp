// The commands of the main window's buttons, mode boxes and menu.
#include <windows.h>
// The Win32 headers below need <windows.h> first.
#include <commdlg.h>

#include <algorithm>
#include <vector>

#include "app/main_window.h"
#include "app/program.h"
#include "engine/comparison_page.h"
#include "engine/run_steps.h"
#include "engine/runs.h"
#include "engine/scanning.h"
#include "engine/slice_page.h"
#include "host/clipboard.h"
#include "host/files.h"
#include "host/shell.h"

namespace qm {
namespace {

constexpr char kSmartModeTip[] = "请任意选择一张切片图片，以便软件识别图片路径...";
constexpr char kByNumberModeTip[] = "请认真看上方说明，否则转换失效...";
constexpr char kPathRecognised[] = "已识别到图片路径，请按说明操作...";
constexpr char kPathMissing[] = "没有识别到图片路径，请重新选择切片图片（任意选一张）...";
constexpr char kCleared[] = "已清空...";
constexpr char kCopied[] = "已复制...";
constexpr char kPreviewFileName[] = "yl.html";

// What the status says when a page is shown in the default browser.
struct BrowserTexts {
  const char* opened;
  const char* not_opened;  // followed by the file's path
  const char* not_written;
};
constexpr BrowserTexts kPreviewTexts = {
    "已打开默认浏览器预览效果，请观察弹出多页...",
    "无法打开默认浏览器预览，请手工打开预览文件：",
    "无法保存预览文件，程序文件夹和临时文件夹都不能写入...",
};
constexpr BrowserTexts kComparisonTexts = {
    "已打开默认浏览器显示对照页...",
    "无法打开默认浏览器显示对照页，请手工打开对照页文件：",
    "无法保存对照页文件，程序文件夹和临时文件夹都不能写入...",
};

constexpr char kPageRead[] = "已读取切片网页：";

Text PageProblemText(SlicePageProblem problem) {
  switch (problem) {
    case SlicePageProblem::kTooLarge:
      return "切片网页超过 20 MB，未读取：";
    case SlicePageProblem::kNotText:
      return "拖入的文件不是网页文本，未读取：";
    case SlicePageProblem::kNotGbk:
      return "切片网页含有 GBK 无法表示的字符，未读取：";
    case SlicePageProblem::kUnreadable:
    case SlicePageProblem::kNone:
      break;
  }
  return "无法读取切片网页：";
}

bool IsWebPage(const std::wstring& path) {
  const std::size_t dot = path.rfind(L'.');
  if (dot == std::wstring::npos) return false;
  std::wstring extension = path.substr(dot + 1);
  for (wchar_t& c : extension) c = static_cast<wchar_t>(towlower(c));
  return extension == L"htm" || extension == L"html";
}

// The page's text; a file too large is refused before it is read, one that
// cannot be read reports as unreadable.
SlicePageText ReadSlicePage(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return {{}, SlicePageProblem::kUnreadable};
  }
  const std::uint64_t size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  if (size > kMaxSlicePageBytes) return {{}, SlicePageProblem::kTooLarge};
  const Bytes bytes = ReadFileBytes(GbkString(path));
  if (bytes.empty() && size > 0) return {{}, SlicePageProblem::kUnreadable};
  return DecodeSlicePage(bytes);
}

// Room for the longest path the system allows.
constexpr std::size_t kFileNameCapacity = 32768;

// Shows the open-file dialog with `file_name` filled in; true with the
// chosen path in `file_name` when the user confirms. A dialog that cannot be
// shown counts as cancelled.
bool ChooseFile(HWND owner, std::wstring& file_name) {
  std::vector<wchar_t> buffer(kFileNameCapacity, L'\0');
  file_name.copy(buffer.data(), std::min(file_name.size(), buffer.size() - 1));
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = owner;
  dialog.lpstrFile = buffer.data();
  dialog.nMaxFile = static_cast<DWORD>(buffer.size());
  // The program's folder stays the current directory.
  dialog.Flags =
      OFN_EXPLORER | OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  if (!GetOpenFileNameW(&dialog)) return false;
  file_name = buffer.data();
  return true;
}

// Writes a page the program shows into its own folder, as the preview
// always was, or where that takes no file (the program under Program Files,
// on a read-only share) into the user's temporary folder. The file's path;
// empty when neither took it.
Text WriteBesideProgram(const char* name, const Bytes& page) {
  for (const Text& folder : {ProgramFolder() + "\\", SpecialFolderPath(kFolderTemp)}) {
    if (folder.empty()) continue;
    const Text file = folder + name;
    if (WriteFileBytes(file, {page})) return file;
  }
  return {};
}

// Writes the page and opens it in the default browser; the status that
// says how that went.
Text ShowInBrowser(const char* name, const Bytes& page, const BrowserTexts& texts) {
  const Text file = WriteBesideProgram(name, page);
  if (file.empty()) return texts.not_written;
  if (!ShellOpen(file)) return texts.not_opened + file;
  return texts.opened;
}

}  // namespace

bool MainWindow::RefusedDuringRun() const {
  if (!run_active_) return false;
  ShowMessage(kRunBusyText);
  return true;
}

bool MainWindow::ModeChangeRefusedDuringRun() {
  if (!RefusedDuringRun()) return false;
  smart_radio_.Select(run_in_smart_mode_);
  by_number_radio_.Select(!run_in_smart_mode_);
  return true;
}

void MainWindow::SelectSmartMode() {
  if (ModeChangeRefusedDuringRun()) return;
  if (smart_radio_.IsSelected()) {
    ReplaceEditText(EditBox::kLinkList, smart_usage_.GetText());
    choose_button_.Enable(true);
    SetEditText(EditBox::kImagePath, "");
  } else {
    choose_button_.Enable(false);
  }
  ShowMessage(kSmartModeTip);
}

void MainWindow::SelectByNumberMode() {
  if (ModeChangeRefusedDuringRun()) return;
  if (by_number_radio_.IsSelected()) {
    choose_button_.Enable(false);
    ReplaceEditText(EditBox::kLinkList, by_number_usage_.GetText());
    replace_button_.Enable(true);
  } else {
    choose_button_.Enable(true);
  }
  ShowMessage(kByNumberModeTip);
}

void MainWindow::ChooseImagePath() {
  if (RefusedDuringRun()) return;
  // After Cancel the dialog's file name is still the last confirmed one.
  ChooseFile(window_, dialog_file_name_);
  SetImagePathFromChoice();
}

void MainWindow::UseDroppedFile(const std::wstring& path) {
  if (RefusedDuringRun()) return;
  if (IsWebPage(path)) {
    UseDroppedPage(path);
    return;
  }
  if (!smart_radio_.IsSelected()) return;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  // The dialog only ever yields files; a dropped folder is no choice.
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
  dialog_file_name_ = path;
  SetImagePathFromChoice();
}

void MainWindow::SetImagePathFromChoice() {
  SetEditText(EditBox::kImagePath, GbkString(dialog_file_name_));
  ShowMessage(path_edit_.GetText().empty() ? kPathMissing : kPathRecognised);
}

void MainWindow::UseDroppedPage(const std::wstring& path) {
  const Text name = GbkString(path);
  const SlicePageText page = ReadSlicePage(path);
  if (page.problem != SlicePageProblem::kNone) {
    ShowMessage(PageProblemText(page.problem) + name);
    return;
  }
  SetEditText(EditBox::kSliceCode, page.text);
  // After the write, whose change event forgets any earlier page.
  page_folder_ = FolderOf(name);
  ImagePathChanged();
  const std::size_t slices = ReadSliceCode(page.text).files.size();
  ShowMessage(slices == 0
                  ? Text(kNothingFoundText)
                  : kPageRead + DecimalText(static_cast<long long>(slices)) + " 张切片图片");
}

void MainWindow::SliceCodeChanged() {
  if (page_folder_.empty()) return;
  page_folder_.clear();
  ImagePathChanged();
}

void MainWindow::ImagePathChanged() {
  if (!smart_radio_.IsSelected()) return;
  // A dropped page names the slice files itself; otherwise the chosen
  // image's path does.
  replace_button_.Enable(!path_edit_.GetText().empty() || !page_folder_.empty());
}

void MainWindow::ClearLinkList() {
  if (RefusedDuringRun()) return;
  ReplaceEditText(EditBox::kLinkList, "");
}

void MainWindow::ClearSliceCode() {
  if (RefusedDuringRun()) return;
  ReplaceEditText(EditBox::kSliceCode, "");
  ShowMessage(kCleared);
}

void MainWindow::CopySliceCode() {
  // The message stands whether or not the clipboard took the text.
  SetClipboardText(EditText(EditBox::kSliceCode));
  ShowMessage(kCopied);
}

void MainWindow::PreviewInBrowser() {
  ShowMessage(
      ShowInBrowser(kPreviewFileName, BytesFromText(EditText(EditBox::kSliceCode)), kPreviewTexts));
}

bool MainWindow::KeepComparisonPage(const RunReport& report) {
  Bytes page = BytesFromText(ComparisonPage(report));
  bool written = false;
  RunOnWindowThread([&] {
    comparison_page_ = std::move(page);
    OfferComparisonPage(true);
    written = !WriteBesideProgram(kComparisonPageFileName, comparison_page_).empty();
  });
  return written;
}

void MainWindow::ForgetComparisonPage() {
  OfferComparisonPage(false);
  comparison_page_.clear();
}

void MainWindow::ViewComparisonPage() const {
  if (!has_comparison_page_) return;
  ShowMessage(ShowInBrowser(kComparisonPageFileName, comparison_page_, kComparisonTexts));
}

void MainWindow::SendDesktopShortcut() {
  const Text target = ProgramFolder() + "\\" + ProgramFileName();
  CreateShortcut(SpecialFolderPath(kFolderDesktop) + "Quillmar.lnk", target, "Quillmar");
}

void MainWindow::ReplaceAndCopy() {
  // The command checks the input, starts the run on its own thread and
  // reports a press during a run itself; the window stays responsive.
  replace_->ReplaceAndCopy();
}

}  // namespace qm
