// Starts the real Quillmar.exe and works it through its controls, as a
// user or an automation tool would.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>

#include "app/control_ids.h"
#include "app/usage_texts.h"
#include "base/text_rules.h"
#include "host/clipboard.h"
#include "host/encoding.h"
#include "support/loopback_server.h"
#include "support/test_files.h"
#include "tests/update/update_test_support.h"
#include "window_driver.h"

namespace qm::test {
namespace {

constexpr char kInitialTip[] = "请粘贴切片代码到上面框中...双击已上传的图片链接框，可清空内容";
constexpr char kSmartModeTip[] = "请任意选择一张切片图片，以便软件识别图片路径...";
constexpr char kByNumberModeTip[] = "请认真看上方说明，否则转换失效...";
constexpr char kPathRecognised[] = "已识别到图片路径，请按说明操作...";
constexpr char kPathMissing[] = "没有识别到图片路径，请重新选择切片图片（任意选一张）...";
constexpr char kBusy[] = "正在处理，请稍候...";
constexpr char kCopied[] = "已复制...";
constexpr char kPreviewOpened[] = "已打开默认浏览器预览效果，请观察弹出多页...";
// The static text of a message box, and the notice's text.
constexpr int kNoticeText = 0xFFFF;

fs::path SourcePath(const char* relative) {
  std::string root = getenv("QM_SOURCE_DIR") ? getenv("QM_SOURCE_DIR") : ".";
  if (!root.empty() && root[0] == '/') root = "Z:" + root;
  return (fs::path(root) / fs::path(relative)).make_preferred();
}

Text ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Text(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Text Replaced(Text text, const Text& from, const Text& to) {
  for (std::size_t at = text.find(from); at != Text::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// A pasted link list: one link per CR LF line.
Text LinkList(const char* file, int port) {
  Text links = Replaced(ReadFile(SourcePath(file)), "\r\n", "\n");
  return Replaced(Replaced(links, "\n", "\r\n"), "@PORT@", std::to_string(port));
}

// Holds the image server's answers until the test lets them go.
class Gate {
 public:
  void Wait() {
    std::unique_lock lock(mutex_);
    opened_.wait(lock, [&] { return open_; });
  }
  void Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    opened_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  bool open_ = false;
};

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = scratch_.path();
    window_ = std::make_unique<QuillmarWindow>();
    ASSERT_TRUE(window_->Start(folder_.wstring())) << "the main window did not come up";
  }

  // Ends the program, which keeps its folder in use, before the folder goes.
  void TearDown() override { window_.reset(); }

  // Serves examples/shop/uploaded; `gate` (optional) holds every answer.
  std::unique_ptr<LoopbackServer> ImageServer(Gate* gate = nullptr) {
    return std::make_unique<LoopbackServer>(
        [gate](const std::string& head, LoopbackServer::Connection& c) {
          if (gate) gate->Wait();
          const std::size_t start = head.find(' ') + 1;
          const std::string path = head.substr(start, head.find(' ', start) - start);
          const Text body = path.rfind("/uploaded/", 0) == 0
                                ? ReadFile(SourcePath("examples/shop") / path.substr(1))
                                : Text();
          const std::string status = body.empty() ? "404 Not Found" : "200 OK";
          c.Send("HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) +
                 "\r\nConnection: close\r\n\r\n" + body);
        });
  }

  // The slice images beside the work folder, as the designer's tool wrote them.
  fs::path CopySliceImages() {
    const fs::path images = folder_ / "images";
    fs::copy(SourcePath("examples/shop/images"), images, fs::copy_options::recursive);
    return images;
  }

  void ChooseInDialog(const fs::path& file) {
    window_->PostClick(kIdChooseButton);
    HWND dialog = window_->WaitForDialog();
    ASSERT_NE(dialog, nullptr);
    QuillmarWindow::ConfirmFileDialog(dialog, file.wstring());
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
    ASSERT_TRUE(WaitUntil([&] { return window_->StatusText(1) == kPathRecognised; }));
  }

  void CancelDialog() {
    window_->PostClick(kIdChooseButton);
    HWND dialog = window_->WaitForDialog();
    ASSERT_NE(dialog, nullptr);
    QuillmarWindow::CancelFileDialog(dialog);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
    WaitUntil([&] {
      return window_->StatusText(1) == kPathMissing || window_->StatusText(1) == kPathRecognised;
    });
  }

  void StartSmartRun(int port) { StartSmartRun(LinkList("examples/shop/links-smart.txt", port)); }
  void StartSmartRun(const Text& links) {
    CopySliceImages();
    StartSmartRun(ReadFile(SourcePath("examples/shop/slices.html")), links);
  }
  // The slice images are in place already.
  void StartSmartRun(const Text& code, const Text& links) {
    window_->SetText(kIdSliceCodeEdit, code);
    ChooseInDialog(folder_ / "images" / L"店铺_02.jpg");
    window_->SetText(kIdLinkEdit, links);
    window_->Click(kIdReplaceButton);
  }

  ScratchFolder scratch_;
  fs::path folder_;
  std::unique_ptr<QuillmarWindow> window_;
};

// Lets `command` open .html files for one scope, then puts back what did.
// Wine's shell reads the classes root only, not the user's classes merged
// into it.
class HtmlOpener {
 public:
  explicit HtmlOpener(const std::wstring& command) {
    wchar_t old[256] = {};
    DWORD size = sizeof(old);
    if (RegGetValueW(HKEY_CLASSES_ROOT, L".html", nullptr, RRF_RT_REG_SZ, nullptr, old, &size) ==
        ERROR_SUCCESS) {
      old_ = old;
    }
    ok_ = Set(L".html", kClass) && Set(std::wstring(kClass) + L"\\shell\\open\\command", command);
  }
  ~HtmlOpener() {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kClass);
    if (old_) {
      Set(L".html", *old_);
    } else {
      RegDeleteKeyValueW(HKEY_CLASSES_ROOT, L".html", nullptr);
    }
  }
  HtmlOpener(const HtmlOpener&) = delete;
  HtmlOpener& operator=(const HtmlOpener&) = delete;
  bool ok() const { return ok_; }

 private:
  static constexpr wchar_t kClass[] = L"QuillmarTest.Preview";
  static bool Set(const std::wstring& key, const std::wstring& value) {
    return RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, value.c_str(),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) ==
           ERROR_SUCCESS;
  }

  bool ok_ = false;
  std::optional<std::wstring> old_;
};

struct Expected {
  int id;
  int parent;  // 0: the window itself
  RECT place;  // left, top, right, bottom in the parent
  const char* window_class;
  bool visible;
};

// Every control at 96 DPI.
constexpr Expected kLayout[] = {
    {kIdSliceCodeGroup, 0, {10, 6, 634, 214}, "Button", true},
    {kIdSliceCodeEdit, kIdSliceCodeGroup, {12, 19, 612, 192}, "Edit", true},
    {kIdCommandGroup, 0, {10, 217, 634, 281}, "Button", true},
    {kIdClearButton, kIdCommandGroup, {14, 18, 70, 50}, "Button", true},
    {kIdCopyButton, kIdCommandGroup, {86, 19, 142, 51}, "Button", true},
    {kIdSmartRadio, kIdCommandGroup, {178, 27, 234, 51}, "Button", true},
    {kIdChooseButton, kIdCommandGroup, {250, 22, 334, 54}, "Button", true},
    {kIdByNumberRadio, kIdCommandGroup, {362, 27, 418, 51}, "Button", true},
    {kIdReplaceButton, kIdCommandGroup, {456, 19, 536, 51}, "Button", true},
    {kIdPreviewButton, kIdCommandGroup, {553, 19, 609, 51}, "Button", true},
    {kIdLinkGroup, 0, {10, 286, 634, 443}, "Button", true},
    {kIdLinkEdit, kIdLinkGroup, {11, 18, 611, 144}, "Edit", true},
    {kIdSmartUsageEdit, kIdSliceCodeGroup, {254, 24, 358, 104}, "Edit", false},
    {kIdByNumberUsageEdit, 0, {552, 38, 656, 118}, "Edit", false},
    {kIdPathEdit, kIdSliceCodeGroup, {286, 152, 566, 176}, "Edit", false},
    {kIdPicture, kIdSliceCodeGroup, {462, 24, 582, 112}, "Static", false},
    {kIdWorkList, 0, {8, 22, 193, 166}, "SysListView32", false},
};

TEST_F(MainWindowTest, FreshStartShowsTheLayoutAndInitialState) {
  HWND main = window_->Main();
  RECT outer{};
  GetWindowRect(main, &outer);
  EXPECT_EQ(outer.right - outer.left, 650);
  EXPECT_EQ(outer.bottom - outer.top, 502);
  EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - 650) / 2);
  EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - 502) / 2);
  wchar_t caption[64] = {};
  GetWindowTextW(main, caption, 64);
  EXPECT_EQ(std::wstring(caption), L"Quillmar");
  const LONG style = GetWindowLongW(main, GWL_STYLE);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);

  for (const Expected& c : kLayout) {
    SCOPED_TRACE(c.id);
    HWND control = window_->Control(c.id);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(GetParent(control), c.parent ? window_->Control(c.parent) : main);
    const RECT place = window_->PlaceInParent(c.id);
    EXPECT_EQ(place.left, c.place.left);
    EXPECT_EQ(place.top, c.place.top);
    EXPECT_EQ(place.right, c.place.right);
    EXPECT_EQ(place.bottom, c.place.bottom);
    wchar_t name[64] = {};
    GetClassNameW(control, name, 64);
    EXPECT_EQ(GbkString(name), c.window_class);
    EXPECT_EQ(window_->IsVisible(c.id), c.visible);
  }

  EXPECT_EQ(window_->GetText(kIdSliceCodeGroup), "切片代码");
  EXPECT_EQ(window_->GetText(kIdCommandGroup), "图片路径为");
  EXPECT_EQ(window_->GetText(kIdLinkGroup), "已上传的图片链接");
  EXPECT_EQ(window_->GetText(kIdClearButton), "清空 ↑");
  EXPECT_EQ(window_->GetText(kIdCopyButton), "复制 ↑");
  EXPECT_EQ(window_->GetText(kIdSmartRadio), "按智能");
  EXPECT_EQ(window_->GetText(kIdChooseButton), "选择图片路径");
  EXPECT_EQ(window_->GetText(kIdByNumberRadio), "按序号");
  EXPECT_EQ(window_->GetText(kIdReplaceButton), "替换并复制");
  EXPECT_EQ(window_->GetText(kIdPreviewButton), "预览");

  EXPECT_EQ(window_->GetText(kIdSliceCodeEdit), "");
  EXPECT_EQ(window_->GetText(kIdLinkEdit), kSmartUsageText);
  EXPECT_EQ(window_->GetText(kIdLinkEdit).size(), 316u);
  EXPECT_EQ(window_->GetText(kIdSmartUsageEdit), kSmartUsageText);
  EXPECT_EQ(window_->GetText(kIdByNumberUsageEdit).size(), 336u);
  EXPECT_EQ(window_->GetText(kIdByNumberUsageEdit), kByNumberUsageText);
  EXPECT_EQ(window_->GetText(kIdPathEdit), "");

  EXPECT_TRUE(window_->IsChecked(kIdSmartRadio));
  EXPECT_FALSE(window_->IsChecked(kIdByNumberRadio));
  EXPECT_FALSE(window_->IsEnabled(kIdReplaceButton));
  EXPECT_TRUE(window_->IsEnabled(kIdChooseButton));
  for (int id :
       {kIdClearButton, kIdCopyButton, kIdPreviewButton, kIdSmartRadio, kIdByNumberRadio}) {
    EXPECT_TRUE(window_->IsEnabled(id)) << id;
  }

  EXPECT_EQ(window_->StatusText(0), "提示：");
  EXPECT_EQ(window_->StatusText(1), kInitialTip);
  EXPECT_EQ(window_->StatusPartEdges(), (std::vector<int>{50, 650}));
  const auto columns = window_->WorkListColumns();
  ASSERT_EQ(columns.size(), 2u);
  EXPECT_EQ(columns[0].title, "内容");
  EXPECT_EQ(columns[0].width, 220);
  EXPECT_EQ(columns[1].title, "1111");
  EXPECT_EQ(columns[1].width, 220);
  EXPECT_EQ(window_->WorkListRowCount(), 0);
  EXPECT_TRUE(window_->Style(kIdWorkList) & LVS_REPORT);

  // Multi-line boxes: vertical scroll bar, wrapping (no horizontal
  // scrolling), Enter makes a new line; the path box is a plain line.
  for (int id : {kIdSliceCodeEdit, kIdLinkEdit, kIdSmartUsageEdit, kIdByNumberUsageEdit}) {
    const LONG edit = window_->Style(id);
    EXPECT_TRUE(edit & ES_MULTILINE) << id;
    EXPECT_TRUE(edit & WS_VSCROLL) << id;
    EXPECT_FALSE(edit & (ES_AUTOHSCROLL | WS_HSCROLL)) << id;
    EXPECT_TRUE(edit & ES_WANTRETURN) << id;
    EXPECT_FALSE(edit & ES_READONLY) << id;
  }
  EXPECT_FALSE(window_->Style(kIdPathEdit) & ES_MULTILINE);

  for (int id : {kIdSliceCodeEdit, kIdLinkEdit, kIdClearButton, kIdCopyButton, kIdChooseButton,
                 kIdReplaceButton, kIdPreviewButton}) {
    EXPECT_TRUE(window_->Style(id) & WS_TABSTOP) << id;
  }
  // The radio group is one tab stop, held by the selected box (the
  // system moves it as the selection changes).
  EXPECT_TRUE(window_->Style(kIdSmartRadio) & WS_TABSTOP);
  EXPECT_TRUE(window_->Style(kIdSmartRadio) & WS_GROUP);
  for (int id : {kIdSliceCodeGroup, kIdCommandGroup, kIdLinkGroup, kIdStatusBar}) {
    EXPECT_FALSE(window_->Style(id) & WS_TABSTOP) << id;
  }
  EXPECT_EQ(window_->Style(kIdSmartRadio) & BS_TYPEMASK, BS_AUTORADIOBUTTON);
  EXPECT_EQ(window_->Style(kIdByNumberRadio) & BS_TYPEMASK, BS_AUTORADIOBUTTON);
}

// A move to a monitor of another DPI: every control, in the window or in a
// group box, takes its place scaled; so do the status bar's parts and the
// work list's columns.
TEST_F(MainWindowTest, ADpiChangeScalesEveryControl) {
  RECT outer{};
  GetWindowRect(window_->Main(), &outer);
  window_->ChangeDpi(144, {outer.left, outer.top, outer.left + 975, outer.top + 753});
  const auto scaled = [](LONG value) { return MulDiv(value, 144, 96); };
  for (const Expected& c : kLayout) {
    SCOPED_TRACE(c.id);
    const RECT place = window_->PlaceInParent(c.id);
    EXPECT_EQ(place.left, scaled(c.place.left));
    EXPECT_EQ(place.top, scaled(c.place.top));
    EXPECT_EQ(place.right - place.left, scaled(c.place.right - c.place.left));
    EXPECT_EQ(place.bottom - place.top, scaled(c.place.bottom - c.place.top));
  }
  EXPECT_EQ(window_->StatusPartEdges(), (std::vector<int>{75, 975}));
  const auto columns = window_->WorkListColumns();
  ASSERT_EQ(columns.size(), 2u);
  EXPECT_EQ(columns[0].width, 330);
  EXPECT_EQ(columns[1].width, 330);
}

// Whether every pixel of the control's outer ring, as shown on the screen,
// has the colour; the first one that differs otherwise.
std::optional<COLORREF> RingDiffersFrom(HWND control, COLORREF colour) {
  RECT r;
  GetWindowRect(control, &r);
  HDC screen = GetDC(nullptr);
  std::optional<COLORREF> differs;
  auto check = [&](int x, int y) {
    const COLORREF seen = GetPixel(screen, x, y);
    if (!differs && seen != colour) differs = seen;
  };
  for (int x = r.left; x < r.right; ++x) {
    check(x, r.top);
    check(x, r.bottom - 1);
  }
  for (int y = r.top; y < r.bottom; ++y) {
    check(r.left, y);
    check(r.right - 1, y);
  }
  ReleaseDC(nullptr, screen);
  return differs;
}

TEST_F(MainWindowTest, TextBoxFramesAreGreenAllRound) {
  constexpr COLORREF kFrame = RGB(164, 185, 127);
  Text many_lines;
  for (int i = 0; i < 200; ++i) many_lines += "<tr><td>第" + std::to_string(i) + "行</td></tr>\r\n";
  for (const Text& text : {Text(), many_lines}) {
    for (int id : {kIdSliceCodeEdit, kIdLinkEdit}) {
      window_->SetText(id, text);
      std::optional<COLORREF> differs;
      WaitUntil([&] { return !(differs = RingDiffersFrom(window_->Control(id), kFrame)); }, 10);
      EXPECT_FALSE(differs) << "control " << id << " with " << text.size()
                            << " bytes: a frame pixel is #" << std::hex << *differs;
    }
  }
}

// The keys go through the program's own message loop, as typed keys do.
TEST_F(MainWindowTest, EscLeavesTheTextBoxesAloneAndTabMovesOn) {
  struct Case {
    int edit, group, next;
  };
  for (const Case& c : {Case{kIdSliceCodeEdit, kIdSliceCodeGroup, kIdClearButton},
                        Case{kIdLinkEdit, kIdLinkGroup, kIdSliceCodeEdit}}) {
    SCOPED_TRACE(c.edit);
    const Text typed = "<table>\r\n<tr><td>用户的文字</td></tr>\r\n</table>";
    window_->SetText(c.edit, typed);
    window_->PostClickInto(c.edit);
    ASSERT_TRUE(WaitUntil([&] { return window_->Focused() == window_->Control(c.edit); }));

    window_->PostKey(c.edit, VK_ESCAPE);
    window_->PostKey(c.edit, VK_ESCAPE);
    window_->WaitForPostedMessages(c.edit);
    HWND group = window_->Control(c.group);
    ASSERT_NE(group, nullptr) << "the group box was destroyed";
    EXPECT_TRUE(IsWindowVisible(group));
    EXPECT_EQ(window_->GetText(c.edit), typed);
    EXPECT_EQ(window_->Focused(), window_->Control(c.edit));

    window_->PostKey(c.edit, VK_TAB);
    EXPECT_TRUE(WaitUntil([&] { return window_->Focused() == window_->Control(c.next); }, 10));
    window_->WaitForPostedMessages(c.edit);
    EXPECT_EQ(window_->GetText(c.edit), typed) << "Tab was typed into the box";
    EXPECT_NE(window_->Control(c.group), nullptr);
  }
  EXPECT_TRUE(IsWindowVisible(window_->Main()));
}

TEST_F(MainWindowTest, ModeBoxesFollowTheEnabledStateRules) {
  // Links already pasted give way to the by-number instructions.
  window_->SetText(kIdLinkEdit, "http://example/1.jpg\r\n");
  window_->Click(kIdByNumberRadio);
  EXPECT_TRUE(window_->IsChecked(kIdByNumberRadio));
  EXPECT_FALSE(window_->IsChecked(kIdSmartRadio));
  EXPECT_FALSE(window_->IsEnabled(kIdChooseButton));
  EXPECT_TRUE(window_->IsEnabled(kIdReplaceButton));
  EXPECT_EQ(window_->GetText(kIdLinkEdit), kByNumberUsageText);
  EXPECT_EQ(window_->StatusText(1), kByNumberModeTip);

  // A path written in ByNumber mode changes neither button.
  window_->SetText(kIdPathEdit, "C:\\x\\a_01.jpg");
  window_->SetText(kIdPathEdit, "");
  EXPECT_TRUE(window_->IsEnabled(kIdReplaceButton));
  EXPECT_FALSE(window_->IsEnabled(kIdChooseButton));

  window_->Click(kIdSmartRadio);
  EXPECT_TRUE(window_->IsEnabled(kIdChooseButton));
  EXPECT_FALSE(window_->IsEnabled(kIdReplaceButton));
  EXPECT_EQ(window_->GetText(kIdLinkEdit), kSmartUsageText);
  EXPECT_EQ(window_->StatusText(1), kSmartModeTip);

  // In Smart mode the replace button follows the path box.
  ChooseInDialog(SourcePath("examples/shop/slices.html"));
  EXPECT_TRUE(window_->IsEnabled(kIdReplaceButton));
  EXPECT_TRUE(window_->IsEnabled(kIdChooseButton));

  // Clicking the selected Smart box again empties the path.
  window_->Click(kIdSmartRadio);
  EXPECT_EQ(window_->GetText(kIdPathEdit), "");
  EXPECT_FALSE(window_->IsEnabled(kIdReplaceButton));
  EXPECT_TRUE(window_->IsEnabled(kIdChooseButton));

  // By-number keeps the path; back in Smart it is emptied again.
  ChooseInDialog(SourcePath("examples/shop/slices.html"));
  window_->Click(kIdByNumberRadio);
  EXPECT_NE(window_->GetText(kIdPathEdit), "");
  window_->Click(kIdSmartRadio);
  EXPECT_EQ(window_->GetText(kIdPathEdit), "");
  EXPECT_FALSE(window_->IsEnabled(kIdReplaceButton));
}

TEST_F(MainWindowTest, ChoosingTheImagePathKeepsThePreviousChoiceOnCancel) {
  CancelDialog();
  EXPECT_EQ(window_->StatusText(1), kPathMissing);
  EXPECT_EQ(window_->GetText(kIdPathEdit), "");
  EXPECT_FALSE(window_->IsEnabled(kIdReplaceButton));

  const fs::path chosen = CopySliceImages() / L"店铺_03.jpg";
  ChooseInDialog(chosen);
  EXPECT_EQ(window_->GetText(kIdPathEdit), GbkString(chosen.wstring()));
  EXPECT_TRUE(window_->IsEnabled(kIdReplaceButton));

  // The dialog offers the last choice; Cancel writes it back, and that
  // write still counts as a change although the text stays the same.
  EnableWindow(window_->Control(kIdReplaceButton), FALSE);
  window_->PostClick(kIdChooseButton);
  HWND dialog = window_->WaitForDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(fs::path(QuillmarWindow::FileDialogName(dialog)).filename(), chosen.filename());
  QuillmarWindow::CancelFileDialog(dialog);
  ASSERT_TRUE(WaitUntil([&] { return window_->IsEnabled(kIdReplaceButton); }));
  EXPECT_EQ(window_->GetText(kIdPathEdit), GbkString(chosen.wstring()));
  EXPECT_EQ(window_->StatusText(1), kPathRecognised);
}

TEST_F(MainWindowTest, EveryWriteToThePathBoxRunsItsChangeHandling) {
  // An empty box written empty again still re-evaluates the button.
  EnableWindow(window_->Control(kIdReplaceButton), TRUE);
  CancelDialog();
  EXPECT_FALSE(window_->IsEnabled(kIdReplaceButton));

  // A change that does not come from the program itself counts too.
  window_->SetText(kIdPathEdit, "C:\\slices\\a_01.jpg");
  EXPECT_TRUE(window_->IsEnabled(kIdReplaceButton));
  window_->SetText(kIdPathEdit, "");
  EXPECT_FALSE(window_->IsEnabled(kIdReplaceButton));
}

TEST_F(MainWindowTest, DroppedFileCountsAsChosenInSmartModeOnly) {
  const fs::path file = CopySliceImages() / L"店铺_01.jpg";
  window_->Click(kIdByNumberRadio);
  window_->DropFile(file.wstring());
  EXPECT_EQ(window_->GetText(kIdPathEdit), "");

  window_->Click(kIdSmartRadio);
  window_->DropFile(file.wstring());
  EXPECT_EQ(window_->GetText(kIdPathEdit), GbkString(file.wstring()));
  EXPECT_EQ(window_->StatusText(1), kPathRecognised);
  EXPECT_TRUE(window_->IsEnabled(kIdReplaceButton));

  // A folder is no image.
  window_->Click(kIdSmartRadio);
  window_->DropFile(folder_.wstring());
  EXPECT_EQ(window_->GetText(kIdPathEdit), "");
}

// An exported page dropped on the window fills the code box in either mode
// and says how many slices it names; what is no page GBK can hold, or too
// large to be one, leaves everything as it was and says why.
TEST_F(MainWindowTest, DroppedPageFillsTheCodeBox) {
  const Text gbk_page = ReadFile(SourcePath("examples/shop/slices.html"));
  const fs::path shop = folder_ / L"店铺首页";
  fs::create_directories(shop);
  const auto write = [](const fs::path& file, const Text& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
  };
  write(shop / L"slices.html", gbk_page);
  // The same page as a UTF-8 export declares it.
  const Text utf8_page = Utf8FromGbk(Replaced(gbk_page, "charset=gb2312", "charset=utf-8"));
  write(shop / L"utf8.HTM", utf8_page);
  write(shop / L"emoji.html", utf8_page + "<p>\xF0\x9F\x98\x80</p>");
  write(shop / L"large.html", Text(21 << 20, ' '));

  struct Case {
    const char* name;
    const wchar_t* file;
    Text code;  // the box afterwards
    Text status;
  } cases[] = {
      {"a GBK page", L"slices.html", gbk_page, "已读取切片网页：4 张切片图片"},
      {"a UTF-8 page", L"utf8.HTM", Replaced(gbk_page, "charset=gb2312", "charset=utf-8"),
       "已读取切片网页：4 张切片图片"},
      {"a character GBK lacks", L"emoji.html", "kept", "切片网页含有 GBK 无法表示的字符，未读取："},
      {"a file too large", L"large.html", "kept", "切片网页超过 20 MB，未读取："},
      {"a file that is not there", L"gone.html", "kept", "无法读取切片网页："},
  };
  for (const Case& c : cases) {
    window_->SetText(kIdSliceCodeEdit, "kept");
    const fs::path file = shop / c.file;
    window_->DropFile(file.wstring());
    EXPECT_EQ(window_->GetText(kIdSliceCodeEdit), c.code) << c.name;
    const Text status = window_->StatusText(1);
    EXPECT_EQ(status.substr(0, std::min(status.size(), c.status.size())), c.status) << c.name;
  }
  // By number too; and the smart mode needs no image while the page stands.
  window_->Click(kIdByNumberRadio);
  window_->DropFile((shop / L"slices.html").wstring());
  EXPECT_EQ(window_->GetText(kIdSliceCodeEdit), gbk_page);
  window_->Click(kIdSmartRadio);
  EXPECT_TRUE(window_->IsEnabled(kIdReplaceButton));
  // A key typed makes the code the user's own: choose an image again.
  SendMessageW(window_->Control(kIdSliceCodeEdit), WM_CHAR, L' ', 1);
  EXPECT_FALSE(window_->IsEnabled(kIdReplaceButton));
  window_->DropFile((shop / L"slices.html").wstring());
  EXPECT_TRUE(window_->IsEnabled(kIdReplaceButton));
}

// Drop the exported page, paste the links, press: the slices are found
// beside the page, also one folder up, with no image chosen.
TEST_F(MainWindowTest, SmartRunFromADroppedPage) {
  auto server = ImageServer();
  ASSERT_TRUE(server->ok());
  const std::string port = std::to_string(server->port());
  const Text expected =
      Replaced(ReadFile(SourcePath("examples/shop/expected/smart.html")), "@PORT@", port);
  CopySliceImages();
  const fs::path pages = folder_ / "pages";
  fs::create_directories(pages);
  std::ofstream(pages / "up.html", std::ios::binary) << Replaced(
      ReadFile(SourcePath("examples/shop/slices.html")), "src=\"images/", "src=\"../images/");
  std::ofstream(folder_ / "slices.html", std::ios::binary)
      << ReadFile(SourcePath("examples/shop/slices.html"));

  struct Case {
    fs::path page;
    Text expected;
  } cases[] = {
      {folder_ / "slices.html", expected},
      {pages / "up.html", Replaced(expected, "src=\"images/spacer", "src=\"../images/spacer")},
  };
  for (const Case& c : cases) {
    window_->DropFile(c.page.wstring());
    window_->SetText(kIdLinkEdit, LinkList("examples/shop/links-smart.txt", server->port()));
    window_->Click(kIdReplaceButton);
    ASSERT_TRUE(WaitUntil([&] { return window_->StatusText(1).rfind("处理完成...", 0) == 0; }));
    // The notice names the link the server does not have; the run ends
    // when it is closed.
    if (HWND notice = window_->WaitForDialog()) PostMessageW(notice, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntil([&] { return !(window_->Style(kIdSliceCodeEdit) & ES_READONLY); }));
    EXPECT_EQ(window_->GetText(kIdSliceCodeEdit), c.expected) << c.page;
    EXPECT_EQ(window_->StatusText(1), "处理完成...共替换了：4 张图片....并已复制处理结果...");
    EXPECT_FALSE(window_->IsEnabled(kIdReplaceButton)) << "the page's text is gone";
  }
}

TEST_F(MainWindowTest, ClearAndCopyWorkOnTheSliceCodeBox) {
  const Text code = "<table>\r\n<img src=\"images/店铺_01.jpg\">\r\n</table>";
  window_->SetText(kIdSliceCodeEdit, code);
  // Ctrl+A types character 1: it selects the whole text.
  SendMessageW(window_->Control(kIdSliceCodeEdit), WM_CHAR, 1, 0);
  const auto selection = SendMessageW(window_->Control(kIdSliceCodeEdit), EM_GETSEL, 0, 0);
  EXPECT_EQ(LOWORD(selection), 0);
  EXPECT_EQ(HIWORD(selection), WideString(code).size());
  EXPECT_EQ(window_->GetText(kIdSliceCodeEdit), code);

  window_->Click(kIdCopyButton);
  EXPECT_EQ(ClipboardText(), code);
  EXPECT_EQ(window_->StatusText(1), kCopied);

  window_->Click(kIdClearButton);
  EXPECT_EQ(window_->GetText(kIdSliceCodeEdit), "");
  EXPECT_EQ(window_->StatusText(1), "已清空...");

  // Empty box: the clipboard becomes empty too.
  window_->Click(kIdCopyButton);
  EXPECT_EQ(ClipboardText(), "");

  // A double-click anywhere in the link box empties it, silently.
  window_->DoubleClick(kIdLinkEdit);
  EXPECT_EQ(window_->GetText(kIdLinkEdit), "");
  EXPECT_EQ(window_->StatusText(1), kCopied);
}

// Links copied from a chat window end their lines with a lone LF, which a
// box on Windows shows as no break at all: pasted into the link box, every
// break becomes CR LF, so the box shows the lines the run reads. The code
// box keeps what is pasted as it is.
TEST_F(MainWindowTest, PastedLinksShowTheirLinesAsTheRunReadsThem) {
  ASSERT_TRUE(SetClipboardText("http://h/1.jpg\nhttp://h/2.jpg\rhttp://h/3.jpg\r\n"));
  for (int id : {kIdLinkEdit, kIdSliceCodeEdit}) {
    window_->SetText(id, "");
    SendMessageW(window_->Control(id), WM_PASTE, 0, 0);
  }
  EXPECT_EQ(window_->GetText(kIdLinkEdit),
            "http://h/1.jpg\r\nhttp://h/2.jpg\r\nhttp://h/3.jpg\r\n");
  EXPECT_EQ(window_->GetText(kIdSliceCodeEdit),
            "http://h/1.jpg\nhttp://h/2.jpg\rhttp://h/3.jpg\r\n");
  // Pasted into the middle, it takes the selection's place, and Ctrl+Z
  // takes it back.
  window_->SetText(kIdLinkEdit, "http://h/0.jpg\r\n");
  SendMessageW(window_->Control(kIdLinkEdit), EM_SETSEL, 16, 16);
  SendMessageW(window_->Control(kIdLinkEdit), WM_PASTE, 0, 0);
  EXPECT_EQ(window_->GetText(kIdLinkEdit),
            "http://h/0.jpg\r\nhttp://h/1.jpg\r\nhttp://h/2.jpg\r\nhttp://h/3.jpg\r\n");
  SendMessageW(window_->Control(kIdLinkEdit), WM_UNDO, 0, 0);
  EXPECT_EQ(window_->GetText(kIdLinkEdit), "http://h/0.jpg\r\n");
}

// Pasted text holding a character GBK cannot hold is refused at the press,
// naming the box and the character; nothing changes.
TEST_F(MainWindowTest, APressRefusesTextGbkCannotHold) {
  window_->Click(kIdByNumberRadio);
  const std::wstring code = L"<html><title>店铺 \U0001F600</title>\r\n" +
                            WideString(ReadFile(SourcePath("examples/shop/slices.html")));
  SendMessageW(window_->Control(kIdSliceCodeEdit), WM_SETTEXT, 0,
               reinterpret_cast<LPARAM>(code.c_str()));
  window_->SetText(kIdLinkEdit, LinkList("examples/shop/links-by-number.txt", 8080));
  const Text links = window_->GetText(kIdLinkEdit);
  window_->Click(kIdReplaceButton);
  EXPECT_EQ(
      window_->StatusText(1),
      "切片代码框第 1 行含有 GBK 无法表示的字符（U+1F600），未替换：请删去或换掉这个字符后再试");
  EXPECT_EQ(window_->GetText(kIdLinkEdit), links);
  EXPECT_EQ(window_->GetWideText(kIdSliceCodeEdit), code);
}

// What a click puts in place of the user's text - nothing, or a usage text
// - Ctrl+Z takes back, and so does the box's 撤消 (WM_UNDO), which is
// offered while the box can undo.
TEST_F(MainWindowTest, WhatAClickReplacesComesBackWithUndo) {
  const Text links = "http://example/1.jpg\r\nhttp://example/2.jpg\r\n";
  const Text code = "<table>\r\n<img src=\"images/店铺_01.jpg\">\r\n</table>";
  struct Case {
    const char* click;
    int box;
    Text before;
    std::function<void()> give;
    Text after;
    bool by_menu;
  };
  const Case cases[] = {
      {"double-click", kIdLinkEdit, links, [&] { window_->DoubleClick(kIdLinkEdit); }, "", false},
      {"按序号", kIdLinkEdit, links, [&] { window_->Click(kIdByNumberRadio); }, kByNumberUsageText,
       true},
      {"按序号 again", kIdLinkEdit, links, [&] { window_->Click(kIdByNumberRadio); },
       kByNumberUsageText, false},
      {"按智能", kIdLinkEdit, links, [&] { window_->Click(kIdSmartRadio); }, kSmartUsageText, true},
      {"按智能 again", kIdLinkEdit, links, [&] { window_->Click(kIdSmartRadio); }, kSmartUsageText,
       false},
      {"清空", kIdSliceCodeEdit, code, [&] { window_->Click(kIdClearButton); }, "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.click);
    HWND box = window_->Control(c.box);
    window_->SetText(c.box, c.before);
    c.give();
    ASSERT_EQ(window_->GetText(c.box), c.after);
    EXPECT_TRUE(SendMessageW(box, EM_CANUNDO, 0, 0));
    if (c.by_menu) {
      SendMessageW(box, WM_UNDO, 0, 0);
    } else {
      constexpr WPARAM kCtrlZ = 0x1A;  // the character Ctrl+Z types
      PostMessageW(box, WM_CHAR, kCtrlZ, 0);
    }
    EXPECT_TRUE(WaitUntil([&] { return window_->GetText(c.box) == c.before; }, 10));
  }
}

// The program's folder first; where it takes no file (here a folder of that
// name stands in the way, as good as a folder the user may not write to),
// the temporary folder. The status says when neither takes the file, and
// when no program opens it.
TEST_F(MainWindowTest, PreviewOpensTheFileItWroteAndSaysWhatFailed) {
  // The program's temporary folder is the test's.
  const fs::path temp = fs::temp_directory_path();
  const auto clear_temp = [&] {
    fs::remove_all(temp / "yl.html");
    fs::remove(temp / "yl.html.opened");
  };
  clear_temp();
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  // The stand-in browser keeps a copy of what it was given to open.
  auto browser = std::make_unique<HtmlOpener>(L"\"" + std::wstring(system) +
                                              L"\\cmd.exe\" /c copy \"%1\" \"%1.opened\"");
  ASSERT_TRUE(browser->ok()) << "the .html association cannot be changed here";
  const auto opened = [](fs::path file, const Text& code) {
    file += L".opened";
    return WaitUntil([&] { return ReadFile(file) == code; }, 20);
  };

  const Text code = "<table>\r\n<img src=\"images/店铺_01.jpg\">\r\n</table>";
  window_->SetText(kIdSliceCodeEdit, code);
  window_->Click(kIdPreviewButton);
  EXPECT_EQ(ReadFile(folder_ / "yl.html"), code);
  EXPECT_EQ(window_->StatusText(1), kPreviewOpened);
  EXPECT_TRUE(opened(folder_ / "yl.html", code));

  // An empty box previews an empty file.
  window_->SetText(kIdSliceCodeEdit, "");
  window_->Click(kIdPreviewButton);
  EXPECT_TRUE(fs::exists(folder_ / "yl.html"));
  EXPECT_EQ(fs::file_size(folder_ / "yl.html"), 0u);
  EXPECT_EQ(window_->StatusText(1), kPreviewOpened);

  fs::remove(folder_ / "yl.html");
  fs::create_directory(folder_ / "yl.html");
  window_->SetText(kIdSliceCodeEdit, code);
  window_->Click(kIdPreviewButton);
  EXPECT_EQ(ReadFile(temp / "yl.html"), code);
  EXPECT_EQ(window_->StatusText(1), kPreviewOpened);
  EXPECT_TRUE(opened(temp / "yl.html", code));

  browser.reset();
  // The browser .html names is gone. (A type no program is named for fails
  // too, but Wine then tries to start the file itself as a program, which
  // may still hold it when the test reads it.)
  browser = std::make_unique<HtmlOpener>(L"\"C:\\no such browser\\browser.exe\" \"%1\"");
  window_->Click(kIdPreviewButton);
  EXPECT_EQ(ReadFile(temp / "yl.html"), code);
  EXPECT_EQ(window_->StatusText(1),
            "无法打开默认浏览器预览，请手工打开预览文件：" + GbkPath(temp / "yl.html"));

  fs::remove(temp / "yl.html");
  fs::create_directory(temp / "yl.html");
  window_->Click(kIdPreviewButton);
  EXPECT_EQ(window_->StatusText(1), "无法保存预览文件，程序文件夹和临时文件夹都不能写入...");
  clear_temp();
}

TEST_F(MainWindowTest, SystemMenuSendsOneShortcutToTheDesktop) {
  wchar_t desktop[MAX_PATH] = {};
  ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, FALSE));
  const fs::path shortcut = fs::path(desktop) / L"Quillmar.lnk";
  if (fs::exists(shortcut)) GTEST_SKIP() << "a Quillmar shortcut is already on this desktop";

  SendMessageW(window_->Main(), WM_SYSCOMMAND, kSysCommandDesktopShortcut, 0);
  SendMessageW(window_->Main(), WM_SYSCOMMAND, kSysCommandDesktopShortcut, 0);
  EXPECT_TRUE(fs::exists(shortcut));
  std::size_t shortcuts = 0;
  for (const auto& entry : fs::directory_iterator(desktop)) {
    const fs::path& name = entry.path().filename();
    if (name.wstring().rfind(L"Quillmar", 0) == 0 && name.extension() == L".lnk") ++shortcuts;
  }
  EXPECT_EQ(shortcuts, 1u);
  std::error_code ignored;
  fs::remove(shortcut, ignored);
}

TEST_F(MainWindowTest, ByNumberRunThroughTheWindow) {
  window_->Click(kIdByNumberRadio);
  window_->Click(kIdReplaceButton);
  EXPECT_EQ(window_->StatusText(1), "软件无法识别切片代码，请检查上面的代码是否为切片代码...");

  window_->SetText(kIdSliceCodeEdit, ReadFile(SourcePath("examples/shop/slices.html")));
  window_->SetText(kIdLinkEdit, LinkList("examples/shop/links-by-number.txt", 8080));
  window_->Click(kIdReplaceButton);
  ASSERT_TRUE(
      WaitUntil([&] { return window_->StatusText(1).rfind("替换完成并已复制...", 0) == 0; }));

  const Text expected =
      Replaced(ReadFile(SourcePath("examples/shop/expected/by-number.html")), "@PORT@", "8080");
  EXPECT_EQ(window_->GetText(kIdSliceCodeEdit), expected);
  EXPECT_EQ(ClipboardText(), expected);
  EXPECT_EQ(window_->GetText(kIdLinkEdit),
            ReadFile(SourcePath("examples/shop/expected/by-number-left.txt")));
}

TEST_F(MainWindowTest, SmartRunThroughTheWindow) {
  auto server = ImageServer();
  ASSERT_TRUE(server->ok());
  StartSmartRun(server->port());
  ASSERT_TRUE(WaitUntil([&] { return window_->StatusText(1).rfind("处理完成...", 0) == 0; }));

  const std::string port = std::to_string(server->port());
  const Text expected =
      Replaced(ReadFile(SourcePath("examples/shop/expected/smart.html")), "@PORT@", port);
  EXPECT_EQ(window_->GetText(kIdSliceCodeEdit), expected);
  EXPECT_EQ(ClipboardText(), expected);
  EXPECT_EQ(
      window_->GetText(kIdLinkEdit),
      Replaced(ReadFile(SourcePath("examples/shop/expected/smart-left.txt")), "@PORT@", port));
  EXPECT_EQ(window_->StatusText(1), "处理完成...共替换了：4 张图片....并已复制处理结果...");
  // The run empties the path at its end, which disables the button until
  // the next choice; the hidden helpers stay hidden throughout.
  EXPECT_EQ(window_->GetText(kIdPathEdit), "");
  EXPECT_FALSE(window_->IsEnabled(kIdReplaceButton));
  EXPECT_TRUE(window_->GetText(kIdCommandGroup).rfind("图片路径为:", 0) == 0);
  for (int id : {kIdPathEdit, kIdPicture, kIdWorkList, kIdSmartUsageEdit, kIdByNumberUsageEdit}) {
    EXPECT_FALSE(window_->IsVisible(id)) << id;
  }
}

TEST_F(MainWindowTest, SmartRunListsTheSlicesLeftToReplaceByHand) {
  auto server = ImageServer();
  ASSERT_TRUE(server->ok());
  const Text links = LinkList("examples/shop/links-smart.txt", server->port());
  StartSmartRun(Replaced(links, "u03.jpg", "gone.jpg"));
  HWND box = window_->WaitForDialog();
  ASSERT_NE(box, nullptr);
  // The box comes after the result is in place and on the clipboard.
  EXPECT_EQ(window_->StatusText(1), "处理完成...共替换了：3 张图片....并已复制处理结果...");
  const Text result = window_->GetText(kIdSliceCodeEdit);
  EXPECT_NE(result.find("src=\"mivron03\""), Text::npos);
  EXPECT_EQ(ClipboardText(), result);
  // The title breaks after its comma; a blank line parts the two lists.
  const Text address = "http://127.0.0.1:" + std::to_string(server->port()) + "/uploaded/";
  EXPECT_EQ(QuillmarWindow::DialogItemText(box, kNoticeText),
            "以下为不能识别的图片，\r\n请手工替换以 mivron + 数字的内容\r\n"
            "mivron03  images/店铺_03.jpg\r\n\r\n以下链接无法下载或不是图片：\r\n" +
                address + "gone.jpg\r\n" + address + "missing.jpg");
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
}

// The run writes its comparison page beside the program before its notice
// comes up; the notice's 查看对照 shows the page as the preview is shown
// and stays open, and the system menu offers the page until the next run
// starts.
TEST_F(MainWindowTest, TheNoticeAndTheSystemMenuShowTheLastRunsComparisonPage) {
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  // The stand-in browser keeps a copy of what it was given to open.
  HtmlOpener browser(L"\"" + std::wstring(system) + L"\\cmd.exe\" /c copy \"%1\" \"%1.opened\"");
  ASSERT_TRUE(browser.ok()) << "the .html association cannot be changed here";
  auto server = ImageServer();
  ASSERT_TRUE(server->ok());
  const fs::path page = folder_ / "dz.html";
  const fs::path opened = fs::path(page) += ".opened";
  const auto menu_ends_with = [&](const char* caption) {
    if (const auto menu = window_->SystemMenu()) {
      EXPECT_EQ(menu->back(), caption);
    }
  };
  menu_ends_with("发送到桌面快捷方式");

  const Text links = LinkList("examples/shop/links-smart.txt", server->port());
  StartSmartRun(Replaced(links, "u03.jpg", "gone.jpg"));
  HWND box = window_->WaitForDialog();
  ASSERT_NE(box, nullptr);
  const Text written = ReadFile(page);
  EXPECT_NE(written.find("<meta charset=\"utf-8\">"), Text::npos);
  // Each slice file where the run read it, as a file: address of UTF-8.
  EXPECT_NE(written.find("src=\"file:///"), Text::npos);
  EXPECT_NE(written.find("/images/%E5%BA%97%E9%93%BA_01.jpg\""), Text::npos) << written;
  EXPECT_NE(written.find(">mivron03<"), Text::npos);
  EXPECT_NE(written.find(Utf8FromGbk("未配对")), Text::npos);
  EXPECT_NE(written.find("/<wbr>gone.jpg</td>"), Text::npos) << "the dead link, listed";
  menu_ends_with("查看上次的对照页");

  HWND view = GetDlgItem(box, kIdNoticeComparisonButton);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(QuillmarWindow::DialogItemText(box, kIdNoticeComparisonButton), "查看对照");
  fs::remove(page);
  PostMessageW(view, BM_CLICK, 0, 0);
  EXPECT_TRUE(WaitUntil([&] { return ReadFile(opened) == written; }, 20));
  EXPECT_EQ(ReadFile(page), written);
  EXPECT_EQ(window_->StatusText(1), "已打开默认浏览器显示对照页...");
  EXPECT_TRUE(IsWindow(box)) << "the notice closed";
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }));

  fs::remove(opened);
  SendMessageW(window_->Main(), WM_SYSCOMMAND, kSysCommandComparisonPage, 0);
  EXPECT_TRUE(WaitUntil([&] { return ReadFile(opened) == written; }, 20));
  EXPECT_EQ(window_->StatusText(1), "已打开默认浏览器显示对照页...");

  // A run by number has no page to offer.
  window_->Click(kIdByNumberRadio);
  window_->SetText(kIdSliceCodeEdit, ReadFile(SourcePath("examples/shop/slices.html")));
  window_->SetText(kIdLinkEdit, LinkList("examples/shop/links-by-number.txt", server->port()));
  window_->Click(kIdReplaceButton);
  ASSERT_TRUE(
      WaitUntil([&] { return window_->StatusText(1).rfind("替换完成并已复制...", 0) == 0; }));
  menu_ends_with("发送到桌面快捷方式");
  SendMessageW(window_->Main(), WM_SYSCOMMAND, kSysCommandComparisonPage, 0);
  EXPECT_EQ(window_->StatusText(1).rfind("替换完成并已复制...", 0), 0u);
}

// More slices left over than lines fit: the notice shows the first of them,
// says how many more there are, and stays on the screen.
TEST_F(MainWindowTest, ALongNoticeShowsItsFirstLinesAndStaysOnTheScreen) {
  auto server = ImageServer();
  ASSERT_TRUE(server->ok());
  constexpr int kSlices = 55;
  const fs::path images = CopySliceImages();
  Text code = "<table>\r\n";
  for (int k = 1; k <= kSlices; ++k) {
    const std::string number = std::to_string(100 + k).substr(1);  // two digits
    const fs::path image =
        images / (L"店铺_" + std::wstring(number.begin(), number.end()) + L".jpg");
    if (!fs::exists(image)) fs::copy_file(images / L"店铺_01.jpg", image);
    code += "<tr><td><img src=\"images/店铺_" + number + ".jpg\"></td></tr>\r\n";
  }
  code += "</table>";
  StartSmartRun(code, "http://127.0.0.1:" + std::to_string(server->port()) + "/uploaded/gone.jpg");

  HWND box = window_->WaitForDialog();
  ASSERT_NE(box, nullptr);
  const std::vector<Text> lines = SplitLines(QuillmarWindow::DialogItemText(box, kNoticeText));
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0], "以下为不能识别的图片，");
  EXPECT_EQ(lines[1], "请手工替换以 mivron + 数字的内容");
  EXPECT_EQ(lines[2], "mivron01  images/店铺_01.jpg");
  int shown = 0;
  int more = -1;
  for (const Text& line : lines) {
    if (line.rfind("mivron", 0) == 0) ++shown;
    if (line.rfind("…还有 ", 0) == 0 && more < 0)
      more = std::stoi(line.substr(std::string("…还有 ").size()));
  }
  EXPECT_LE(shown, 30);
  EXPECT_EQ(shown + more, kSlices);

  RECT place{}, on_screen{};
  GetWindowRect(box, &place);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(box, MONITOR_DEFAULTTONEAREST), &monitor);
  IntersectRect(&on_screen, &place, &monitor.rcWork);
  EXPECT_TRUE(EqualRect(&on_screen, &place));
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
}

// While a run works, the boxes are locked and every command that would
// change a box, the mode or the chosen image says the run is busy instead;
// copying still works. A press shows at once that the run has started, not
// what an earlier press left in the status.
TEST_F(MainWindowTest, DuringARunOnlyCopyingWorks) {
  Gate gate;
  auto server = ImageServer(&gate);
  ASSERT_TRUE(server->ok());
  StartSmartRun("not a link");
  ASSERT_EQ(window_->StatusText(1), "已上传的图片链接 有误，请复制链接，不是复制代码哦...");
  window_->SetText(kIdLinkEdit, LinkList("examples/shop/links-smart.txt", server->port()));
  window_->Click(kIdReplaceButton);
  const Text started = window_->StatusText(1);
  const bool fetching = WaitUntil([&] { return !server->Requests().empty(); });

  const Text code = window_->GetText(kIdSliceCodeEdit);
  const Text links = window_->GetText(kIdLinkEdit);
  const Text path = window_->GetText(kIdPathEdit);
  const fs::path image = folder_ / "images" / L"店铺_04.jpg";
  const fs::path page = folder_ / "slices.html";
  std::ofstream(page, std::ios::binary) << ReadFile(SourcePath("examples/shop/slices.html"));
  const std::pair<const char*, std::function<void()>> refused[] = {
      {"清空", [&] { window_->PostClick(kIdClearButton); }},
      {"double-click", [&] { window_->DoubleClick(kIdLinkEdit); }},
      {"按序号", [&] { window_->PostClick(kIdByNumberRadio); }},
      {"按智能", [&] { window_->PostClick(kIdSmartRadio); }},
      {"选择图片路径", [&] { window_->PostClick(kIdChooseButton); }},
      {"drop", [&] { window_->DropFile(image.wstring()); }},
      {"page drop", [&] { window_->DropFile(page.wstring()); }},
      {"替换并复制", [&] { window_->PostClick(kIdReplaceButton); }},
  };
  for (const auto& [command, give] : refused) {
    SCOPED_TRACE(command);
    window_->Click(kIdCopyButton);
    EXPECT_EQ(window_->StatusText(1), kCopied);
    give();
    EXPECT_TRUE(WaitUntil([&] { return window_->StatusText(1) == kBusy; }, 10));
    EXPECT_EQ(window_->GetText(kIdSliceCodeEdit), code);
    EXPECT_EQ(window_->GetText(kIdLinkEdit), links);
    EXPECT_EQ(window_->GetText(kIdPathEdit), path);
    EXPECT_TRUE(window_->IsChecked(kIdSmartRadio));
    EXPECT_FALSE(window_->IsChecked(kIdByNumberRadio));
    EXPECT_EQ(window_->Dialog(), nullptr);
  }
  EXPECT_EQ(ClipboardText(), code);
  for (int id : {kIdSliceCodeEdit, kIdLinkEdit}) {
    EXPECT_TRUE(window_->Style(id) & ES_READONLY) << id;
  }
  gate.Open();
  ASSERT_TRUE(fetching);
  EXPECT_EQ(started.rfind("正在处理", 0), 0u) << "status at the press: " << started;

  ASSERT_TRUE(WaitUntil([&] { return window_->StatusText(1).rfind("处理完成...", 0) == 0; }));
  // The run ends once the user has read its notice (a link gave no image).
  HWND notice = window_->WaitForDialog();
  ASSERT_NE(notice, nullptr);
  PostMessageW(notice, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(WaitUntil([&] {
    return !(window_->Style(kIdSliceCodeEdit) & ES_READONLY) &&
           !(window_->Style(kIdLinkEdit) & ES_READONLY);
  }));
  EXPECT_EQ(ClipboardText(), window_->GetText(kIdSliceCodeEdit));
  EXPECT_EQ(window_->GetText(kIdSliceCodeEdit),
            Replaced(ReadFile(SourcePath("examples/shop/expected/smart.html")), "@PORT@",
                     std::to_string(server->port())));
}

TEST_F(MainWindowTest, ClosingDuringARunEndsTheProgramAtOnce) {
  Gate gate;
  auto server = ImageServer(&gate);
  ASSERT_TRUE(server->ok());
  StartSmartRun(server->port());
  const bool fetching = WaitUntil([&] { return !server->Requests().empty(); });
  PostMessageW(window_->Main(), WM_CLOSE, 0, 0);
  const bool ended = window_->WaitForExit(30);
  gate.Open();
  EXPECT_TRUE(fetching);
  EXPECT_TRUE(ended) << "the program waited for the run";
}

// An allocation that must fail, in a program with Quillmar's own
// allocation functions: the fatal-error box names the size, and the
// process ends with -1 once it is answered.
TEST(FatalErrorBox, AFailedAllocationShowsItsSizeAndEndsWithMinusOne) {
  wchar_t self[MAX_PATH];
  const std::wstring path(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
  const std::wstring probe = path.substr(0, path.rfind(L'\\')) + L"\\out_of_memory_probe.exe";
  const std::size_t impossible = SIZE_MAX / 2;
  std::vector<std::wstring> messages;
  const int exit_code = RunAndAnswer(
      GbkString(L"\"" + probe + L"\" " + std::to_wstring(impossible)), GbkString(probe), messages);
  EXPECT_EQ(exit_code, -1);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], L"运行时出错!\r\n\r\n错误信息：分配 " + std::to_wstring(impossible) +
                             L" 字节内存失败!\r\n");
}

}  // namespace
}  // namespace qm::test
