#include "app/main_window.h"

#include <commctrl.h>
#include <shellapi.h>

#include <functional>
#include <iterator>
#include <string_view>
#include <type_traits>
#include <variant>

#include "app/control_ids.h"
#include "app/dpi.h"
#include "app/notice_box.h"
#include "app/platform_host.h"
#include "app/theme.h"
#include "app/ui_window_access.h"
#include "app/usage_texts.h"

namespace qm {
namespace {

constexpr DWORD kWindowStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = 0;
constexpr SIZE kOuterSize96 = {650, 502};

constexpr int kStatusLabelWidth = 50;
constexpr int kStatusMessageWidth = 600;
constexpr int kWorkListColumnWidth = 220;
constexpr int kBoldFontHeight = 12;

constexpr char kStatusLabel[] = "提示：";
constexpr char kInitialTip[] = "请粘贴切片代码到上面框中...双击已上传的图片链接框，可清空内容";

constexpr DWORD kMultiLineEdit =
    WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | ES_LEFT;
constexpr DWORD kGroupBox = WS_VISIBLE | WS_CLIPCHILDREN | BS_GROUPBOX;
constexpr DWORD kPushButton = WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;

// The parent of a control that sits in the window's client area.
constexpr int kInWindow = 0;

// Left, top, width and height at 96 DPI, relative to the parent's client
// area. A control without a width places itself.
struct Place96 {
  int x = 0, y = 0, width = 0, height = 0;
};

}  // namespace

MainWindow::MainWindow() = default;
MainWindow::~MainWindow() = default;

struct MainWindow::ControlRow {
  // The wrapper member that works the control, if the window's code needs one.
  using Member = std::variant<std::monostate, Control MainWindow::*, GroupControl MainWindow::*,
                              EditControl MainWindow::*, RadioControl MainWindow::*,
                              StatusBarControl MainWindow::*, ListViewControl MainWindow::*,
                              PictureControl MainWindow::*>;

  ControlId id;
  int parent = kInWindow;  // or the ID of the group box that holds it
  const wchar_t* window_class;
  DWORD style;  // WS_CHILD goes without saying
  DWORD ex_style = 0;
  Place96 place = {};
  const char* caption = "";  // GBK at run time
  Member member = {};
  // What a click runs; for an edit box, what a change of its text runs.
  void (MainWindow::*command)() = nullptr;

  bool IsButton() const { return std::wstring_view(window_class) == WC_BUTTONW; }
  bool IsPushButton() const { return IsButton() && (style & BS_TYPEMASK) == BS_PUSHBUTTON; }
  bool IsGroupBox() const { return IsButton() && (style & BS_TYPEMASK) == BS_GROUPBOX; }
  bool IsEditBox() const { return std::wstring_view(window_class) == WC_EDITW; }
  // The notification that runs the command.
  int CommandCode() const { return IsEditBox() ? EN_CHANGE : BN_CLICKED; }
};

std::span<const MainWindow::ControlRow> MainWindow::ControlTable() {
  static constexpr ControlRow kRows[] = {
      {.id = kIdSliceCodeGroup,
       .window_class = WC_BUTTONW,
       .style = kGroupBox,
       .ex_style = WS_EX_CONTROLPARENT,
       .place = {10, 6, 624, 208},
       .caption = "切片代码",
       .member = &MainWindow::slice_group_},
      {.id = kIdSliceCodeEdit,
       .parent = kIdSliceCodeGroup,
       .window_class = WC_EDITW,
       .style = WS_VISIBLE | WS_TABSTOP | kMultiLineEdit,
       .place = {12, 19, 600, 173},
       .member = &MainWindow::slice_edit_,
       .command = &MainWindow::SliceCodeChanged},
      // The hidden helpers of the first group box; never shown.
      {.id = kIdSmartUsageEdit,
       .parent = kIdSliceCodeGroup,
       .window_class = WC_EDITW,
       .style = kMultiLineEdit,
       .place = {254, 24, 104, 80},
       .caption = kSmartUsageText,
       .member = &MainWindow::smart_usage_},
      {.id = kIdPathEdit,
       .parent = kIdSliceCodeGroup,
       .window_class = WC_EDITW,
       .style = ES_AUTOHSCROLL,
       .place = {286, 152, 280, 24},
       .member = &MainWindow::path_edit_,
       .command = &MainWindow::ImagePathChanged},
      {.id = kIdPicture,
       .parent = kIdSliceCodeGroup,
       .window_class = WC_STATICW,
       .style = SS_BITMAP,
       .place = {462, 24, 120, 88},
       .member = &MainWindow::picture_},

      {.id = kIdCommandGroup,
       .window_class = WC_BUTTONW,
       .style = kGroupBox,
       .ex_style = WS_EX_CONTROLPARENT,
       .place = {10, 217, 624, 64},
       .caption = "图片路径为",
       .member = &MainWindow::command_group_},
      {.id = kIdClearButton,
       .parent = kIdCommandGroup,
       .window_class = WC_BUTTONW,
       .style = kPushButton,
       .place = {14, 18, 56, 32},
       .caption = "清空 ↑",
       .command = &MainWindow::ClearSliceCode},
      {.id = kIdCopyButton,
       .parent = kIdCommandGroup,
       .window_class = WC_BUTTONW,
       .style = kPushButton,
       .place = {86, 19, 56, 32},
       .caption = "复制 ↑",
       .command = &MainWindow::CopySliceCode},
      // The two mode boxes form one group: the first starts it, the control
      // after the second starts the next.
      {.id = kIdSmartRadio,
       .parent = kIdCommandGroup,
       .window_class = WC_BUTTONW,
       .style = WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON,
       .place = {178, 27, 56, 24},
       .caption = "按智能",
       .member = &MainWindow::smart_radio_,
       .command = &MainWindow::SelectSmartMode},
      {.id = kIdByNumberRadio,
       .parent = kIdCommandGroup,
       .window_class = WC_BUTTONW,
       .style = WS_VISIBLE | WS_TABSTOP | BS_AUTORADIOBUTTON,
       .place = {362, 27, 56, 24},
       .caption = "按序号",
       .member = &MainWindow::by_number_radio_,
       .command = &MainWindow::SelectByNumberMode},
      {.id = kIdChooseButton,
       .parent = kIdCommandGroup,
       .window_class = WC_BUTTONW,
       .style = kPushButton | WS_GROUP,
       .place = {250, 22, 84, 32},
       .caption = "选择图片路径",
       .member = &MainWindow::choose_button_,
       .command = &MainWindow::ChooseImagePath},
      {.id = kIdReplaceButton,
       .parent = kIdCommandGroup,
       .window_class = WC_BUTTONW,
       .style = kPushButton | WS_DISABLED,
       .place = {456, 19, 80, 32},
       .caption = "替换并复制",
       .member = &MainWindow::replace_button_,
       .command = &MainWindow::ReplaceAndCopy},
      {.id = kIdPreviewButton,
       .parent = kIdCommandGroup,
       .window_class = WC_BUTTONW,
       .style = kPushButton,
       .place = {553, 19, 56, 32},
       .caption = "预览",
       .command = &MainWindow::PreviewInBrowser},

      {.id = kIdLinkGroup,
       .window_class = WC_BUTTONW,
       .style = kGroupBox,
       .ex_style = WS_EX_CONTROLPARENT,
       .place = {10, 286, 624, 157},
       .caption = "已上传的图片链接",
       .member = &MainWindow::link_group_},
      {.id = kIdLinkEdit,
       .parent = kIdLinkGroup,
       .window_class = WC_EDITW,
       .style = WS_VISIBLE | WS_TABSTOP | kMultiLineEdit,
       .place = {11, 18, 600, 126},
       .caption = kSmartUsageText,
       .member = &MainWindow::link_edit_},

      // Hidden helpers of the window itself.
      {.id = kIdByNumberUsageEdit,
       .window_class = WC_EDITW,
       .style = kMultiLineEdit,
       .place = {552, 38, 104, 80},
       .caption = kByNumberUsageText,
       .member = &MainWindow::by_number_usage_},
      {.id = kIdWorkList,
       .window_class = WC_LISTVIEWW,
       .style = LVS_REPORT | WS_BORDER,
       .place = {8, 22, 185, 144},
       .member = &MainWindow::work_list_},
      // Docks itself along the bottom edge when the window tells it its size.
      {.id = kIdStatusBar,
       .window_class = STATUSCLASSNAMEW,
       .style = WS_VISIBLE,
       .member = &MainWindow::status_bar_},
  };
  return kRows;
}

const MainWindow::ControlRow* MainWindow::FindControlRow(int id) {
  for (const ControlRow& row : ControlTable()) {
    if (row.id == id) return &row;
  }
  return nullptr;
}

HWND MainWindow::ParentWindow(const ControlRow& row) const {
  return row.parent == kInWindow ? window_ : ControlWindow(row.parent);
}

HWND MainWindow::ControlWindow(int id) const {
  const ControlRow* row = FindControlRow(id);
  return row ? GetDlgItem(ParentWindow(*row), id) : nullptr;
}

void MainWindow::RunCommandOf(int id) {
  const ControlRow* row = FindControlRow(id);
  if (row && row->command) (this->*row->command)();
}

bool MainWindow::Create(HINSTANCE instance, int show) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  window_class.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                       GetSystemMetrics(SM_CXSMICON),
                                                       GetSystemMetrics(SM_CYSMICON), 0));
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kMainWindowClass;
  if (!RegisterClassExW(&window_class)) return false;

  // Created hidden at the default place first: its DPI is known only once
  // it exists, and the size and centre depend on it.
  if (!CreateWindowExW(kWindowExStyle, kMainWindowClass, L"Quillmar", kWindowStyle, CW_USEDEFAULT,
                       CW_USEDEFAULT, kOuterSize96.cx, kOuterSize96.cy, nullptr, nullptr, instance,
                       this)) {
    return false;
  }
  CentreOnScreen();
  ShowWindow(window_, show);
  UpdateWindow(window_);
  return true;
}

bool MainWindow::HandleDialogMessage(MSG& message) const {
  return IsDialogMessageW(window_, &message) != FALSE;
}

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wparam, lparam);
  return self->HandleMessage(message, wparam, lparam);
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      OnCreate();
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(wparam), HIWORD(wparam), reinterpret_cast<HWND>(lparam));
      return 0;
    case WM_NOTIFY:
      return OnNotify(*reinterpret_cast<const NMHDR*>(lparam));
    case WM_CTLCOLOREDIT:
      return OnControlColour(reinterpret_cast<HDC>(wparam));
    case WM_SYSCOMMAND:
      if ((wparam & 0xFFF0) == kSysCommandDesktopShortcut) {
        SendDesktopShortcut();
        return 0;
      }
      if ((wparam & 0xFFF0) == kSysCommandComparisonPage) {
        ViewComparisonPage();
        return 0;
      }
      break;
    case WM_SIZE:
      // The status bar docks itself along the bottom edge when told.
      SendMessageW(status_bar_.Handle(), WM_SIZE, 0, 0);
      return 0;
    case WM_DROPFILES:
      OnDropFiles(reinterpret_cast<HDROP>(wparam));
      return 0;
    case WM_DPICHANGED:
      OnDpiChanged(HIWORD(wparam), *reinterpret_cast<const RECT*>(lparam));
      return 0;
    case kRunOnWindowThreadMessage:
      (*reinterpret_cast<const std::function<void()>*>(lparam))();
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
      window_ = nullptr;
      break;
    default:
      break;
  }
  return DefWindowProcW(window_, message, wparam, lparam);
}

void MainWindow::OnCreate() {
  dpi_ = WindowDpi(window_);
  white_brush_.Reset(CreateSolidBrush(RGB(255, 255, 255)));
  CreateFonts();
  CreateControls();
  ApplyFonts();
  ApplyLayout();

  HMENU system_menu = GetSystemMenu(window_, FALSE);
  AppendMenuW(system_menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(system_menu, MF_STRING, kSysCommandDesktopShortcut,
              WideString("发送到桌面快捷方式").c_str());
  DragAcceptFiles(window_, TRUE);

  access_ = std::make_unique<UiWindowAccess>(*this);
  SmartRunOptions smart;
  smart.keep_comparison_page = [this](const RunReport& report) {
    return KeepComparisonPage(report);
  };
  replace_ = std::make_unique<ReplaceCommand>(*access_, PlatformHostServices(), std::move(smart));
}

void MainWindow::OfferComparisonPage(bool offered) {
  if (offered == has_comparison_page_) return;
  has_comparison_page_ = offered;
  HMENU system_menu = GetSystemMenu(window_, FALSE);
  if (offered) {
    AppendMenuW(system_menu, MF_STRING, kSysCommandComparisonPage,
                WideString("查看上次的对照页").c_str());
  } else {
    DeleteMenu(system_menu, kSysCommandComparisonPage, MF_BYCOMMAND);
  }
}

void MainWindow::CreateControls() {
  for (const ControlRow& row : ControlTable()) {
    const HWND control = CreateControl(ParentWindow(row), row.window_class, row.id, row.style,
                                       row.ex_style, row.caption);
    std::visit(
        [&](auto member) {
          if constexpr (!std::is_same_v<decltype(member), std::monostate>) {
            (this->*member).Attach(control);
          }
        },
        row.member);
    // The edit boxes have no WS_BORDER: the theme draws their border.
    if (row.IsEditBox()) InstallEditFrame(control);
    if (row.IsGroupBox()) InstallGroupBoxPainting(control);
  }

  link_edit_.on_double_click = [this] { ClearLinkList(); };
  link_edit_.paste_windows_line_ends = true;
  work_list_.AddColumn(0, "内容", Scale(kWorkListColumnWidth, dpi_));
  // The design's own title, which nobody sees (docs/architecture.md).
  work_list_.AddColumn(1, "1111", Scale(kWorkListColumnWidth, dpi_));
  status_bar_.SetPartWidths(Scale(kStatusLabelWidth, dpi_), Scale(kStatusMessageWidth, dpi_));
  status_bar_.SetPartText(0, kStatusLabel);
  status_bar_.SetPartText(1, kInitialTip);
  smart_radio_.Select(true);
}

void MainWindow::CreateFonts() {
  LOGFONTW ui = MessageFont(dpi_);
  ui_font_.Reset(CreateFontIndirectW(&ui));

  LOGFONTW bold{};
  bold.lfHeight = -Scale(kBoldFontHeight, dpi_);  // negative: the character height
  bold.lfWeight = FW_BOLD;
  bold.lfCharSet = GB2312_CHARSET;
  bold.lfQuality = DEFAULT_QUALITY;
  // The message font's face where it covers the character set; otherwise
  // the font mapper picks one that does, by the character set.
  std::copy(std::begin(ui.lfFaceName), std::end(ui.lfFaceName), std::begin(bold.lfFaceName));
  bold_font_.Reset(CreateFontIndirectW(&bold));
}

void MainWindow::ApplyFonts() const {
  for (HWND child = GetWindow(window_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(ui_font_.Get()), FALSE);
    for (HWND inner = GetWindow(child, GW_CHILD); inner; inner = GetWindow(inner, GW_HWNDNEXT)) {
      SendMessageW(inner, WM_SETFONT, reinterpret_cast<WPARAM>(ui_font_.Get()), FALSE);
    }
  }
  replace_button_.SetFont(bold_font_.Get());
}

void MainWindow::ApplyLayout() const {
  for (const ControlRow& row : ControlTable()) {
    const Place96& place = row.place;
    if (place.width == 0) continue;
    SetWindowPos(ControlWindow(row.id), nullptr, Scale(place.x, dpi_), Scale(place.y, dpi_),
                 Scale(place.width, dpi_), Scale(place.height, dpi_),
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  work_list_.SetColumnWidth(0, Scale(kWorkListColumnWidth, dpi_));
  work_list_.SetColumnWidth(1, Scale(kWorkListColumnWidth, dpi_));
  SendMessageW(status_bar_.Handle(), WM_SIZE, 0, 0);
  status_bar_.SetPartWidths(Scale(kStatusLabelWidth, dpi_), Scale(kStatusMessageWidth, dpi_));
}

SIZE MainWindow::OuterSize() const {
  // The design's outer size at 96 DPI; at other DPIs its client area
  // scales and the frame takes the system's size for that DPI.
  const SIZE client96 = ClientSizeForOuter(kOuterSize96, kWindowStyle, kWindowExStyle, kDesignDpi);
  const SIZE client = {Scale(client96.cx, dpi_), Scale(client96.cy, dpi_)};
  return OuterSizeForClient(client, kWindowStyle, kWindowExStyle, dpi_);
}

void MainWindow::CentreOnScreen() const {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& screen = monitor.rcMonitor;
  const SIZE size = OuterSize();
  SetWindowPos(window_, nullptr, screen.left + (screen.right - screen.left - size.cx) / 2,
               screen.top + (screen.bottom - screen.top - size.cy) / 2, size.cx, size.cy,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::OnDpiChanged(UINT dpi, const RECT& suggested) {
  dpi_ = dpi;
  CreateFonts();
  ApplyFonts();
  ApplyLayout();
  SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
}

void MainWindow::OnCommand(int id, int code, HWND control) {
  const ControlRow* row = FindControlRow(id);
  if (!row || code != row->CommandCode()) return;
  // A programmatic write raises its own single change event instead.
  if (code == EN_CHANGE && control == write_in_progress_) return;
  RunCommandOf(id);
}

LRESULT MainWindow::OnNotify(const NMHDR& header) {
  const ControlRow* row = FindControlRow(static_cast<int>(header.idFrom));
  if (header.code == NM_CUSTOMDRAW && row && row->IsPushButton()) {
    return PushButtonCustomDraw(reinterpret_cast<const NMCUSTOMDRAW&>(header));
  }
  return 0;
}

LRESULT MainWindow::OnControlColour(HDC dc) {
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  SetBkColor(dc, RGB(255, 255, 255));
  return reinterpret_cast<LRESULT>(white_brush_.Get());
}

void MainWindow::OnDropFiles(HDROP drop) {
  const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
  std::wstring path(length + 1, L'\0');
  path.resize(DragQueryFileW(drop, 0, path.data(), length + 1));
  DragFinish(drop);
  if (!path.empty()) UseDroppedFile(path);
}

const EditControl& MainWindow::Edit(EditBox box) const {
  switch (box) {
    case EditBox::kSliceCode:
      return slice_edit_;
    case EditBox::kLinkList:
      return link_edit_;
    case EditBox::kImagePath:
      break;
  }
  return path_edit_;
}

Text MainWindow::EditText(EditBox box) const {
  return Edit(box).GetText();
}

UnheldCharacter MainWindow::FirstCharacterGbkLacks(EditBox box) const {
  return Edit(box).FirstCharacterGbkLacks();
}

void MainWindow::SetEditText(EditBox box, const Text& text) {
  WriteEditText(box, text, false);
}

void MainWindow::ReplaceEditText(EditBox box, const Text& text) {
  WriteEditText(box, text, true);
}

void MainWindow::WriteEditText(EditBox box, const Text& text, bool undoable) {
  const EditControl& edit = Edit(box);
  write_in_progress_ = edit.Handle();
  if (undoable) {
    edit.ReplaceUndoably(text);
  } else {
    edit.SetText(text);
  }
  write_in_progress_ = nullptr;
  // The one content-changed event of this write: the box's command, where
  // its row names one (only the path box's does).
  RunCommandOf(GetDlgCtrlID(edit.Handle()));
}

void MainWindow::SetGroupCaption(GroupBox box, const Text& caption) const {
  (box == GroupBox::kSliceCode ? slice_group_ : command_group_).SetText(caption);
}

bool MainWindow::IsRadioSelected(RadioBox box) const {
  return (box == RadioBox::kSmart ? smart_radio_ : by_number_radio_).IsSelected();
}

void MainWindow::ShowNotice(const Text& text) const {
  std::function<void()> view;
  if (has_comparison_page_) view = [this] { ViewComparisonPage(); };
  ShowNoticeBox(window_, text, view);
}

void MainWindow::RunOnWindowThread(const std::function<void()>& task) const {
  // SendMessage runs the call on the window's thread and waits for it; from
  // that thread itself it is a plain call.
  SendMessageW(window_, kRunOnWindowThreadMessage, 0, reinterpret_cast<LPARAM>(&task));
}

Text MainWindow::SlicePageFolder() const {
  return page_folder_;
}

void MainWindow::SetRunActive(bool active) {
  run_active_ = active;
  if (active) {
    run_in_smart_mode_ = smart_radio_.IsSelected();
    ForgetComparisonPage();
  }
  for (const EditControl* edit : {&slice_edit_, &link_edit_}) {
    SendMessageW(edit->Handle(), EM_SETREADONLY, active ? TRUE : FALSE, 0);
  }
}

void MainWindow::ShowMessage(const Text& text) const {
  status_bar_.SetPartText(kStatusMessagePart, text);
}

}  // namespace qm
