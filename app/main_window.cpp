#include "app/main_window.h"

#include <commctrl.h>
#include <shellapi.h>

#include <functional>
#include <iterator>

#include "app/control_ids.h"
#include "app/dpi.h"
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
constexpr char kNoticeCaption[] = "提示";
constexpr char kInitialTip[] = "请粘贴切片代码到上面框中...双击已上传的图片链接框，可清空内容";

// Where each control sits at 96 DPI, relative to its parent: the window's
// client area or the group box that holds it.
struct Placement {
  int id;
  int x, y, width, height;
};

constexpr Placement kPlacements[] = {
    {kIdSliceCodeGroup, 10, 6, 624, 208},  {kIdSliceCodeEdit, 12, 19, 600, 173},
    {kIdCommandGroup, 10, 217, 624, 64},   {kIdClearButton, 14, 18, 56, 32},
    {kIdCopyButton, 86, 19, 56, 32},       {kIdSmartRadio, 178, 27, 56, 24},
    {kIdChooseButton, 250, 22, 84, 32},    {kIdByNumberRadio, 362, 27, 56, 24},
    {kIdReplaceButton, 456, 19, 80, 32},   {kIdPreviewButton, 553, 19, 56, 32},
    {kIdLinkGroup, 10, 286, 624, 157},     {kIdLinkEdit, 11, 18, 600, 126},
    {kIdSmartUsageEdit, 254, 24, 104, 80}, {kIdByNumberUsageEdit, 552, 38, 104, 80},
    {kIdPathEdit, 286, 152, 280, 24},      {kIdPicture, 462, 24, 120, 88},
    {kIdWorkList, 8, 22, 185, 144},
};

constexpr DWORD kMultiLineEdit =
    WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | ES_LEFT;
constexpr DWORD kGroupBox = WS_VISIBLE | WS_CLIPCHILDREN | BS_GROUPBOX;
constexpr DWORD kPushButton = WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;

constexpr bool IsPushButton(int id) {
  return id == kIdClearButton || id == kIdCopyButton || id == kIdChooseButton ||
         id == kIdReplaceButton || id == kIdPreviewButton;
}

}  // namespace

MainWindow::MainWindow() = default;
MainWindow::~MainWindow() = default;

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
  replace_ = std::make_unique<ReplaceCommand>(*access_, PlatformHostServices());
}

void MainWindow::CreateControls() {
  HWND w = window_;
  slice_group_.Attach(
      CreateControl(w, WC_BUTTONW, kIdSliceCodeGroup, kGroupBox, WS_EX_CONTROLPARENT, "切片代码"));
  HWND g1 = slice_group_.Handle();
  slice_edit_.Attach(CreateControl(g1, WC_EDITW, kIdSliceCodeEdit,
                                   WS_VISIBLE | WS_TABSTOP | kMultiLineEdit, 0, ""));
  // The hidden helpers of the first group box; never shown.
  smart_usage_.Attach(
      CreateControl(g1, WC_EDITW, kIdSmartUsageEdit, kMultiLineEdit, 0, kSmartUsageText));
  path_edit_.Attach(CreateControl(g1, WC_EDITW, kIdPathEdit, ES_AUTOHSCROLL, 0, ""));
  picture_.Attach(CreateControl(g1, WC_STATICW, kIdPicture, SS_BITMAP, 0, ""));

  command_group_.Attach(
      CreateControl(w, WC_BUTTONW, kIdCommandGroup, kGroupBox, WS_EX_CONTROLPARENT, "图片路径为"));
  HWND g2 = command_group_.Handle();
  clear_button_.Attach(CreateControl(g2, WC_BUTTONW, kIdClearButton, kPushButton, 0, "清空 ↑"));
  copy_button_.Attach(CreateControl(g2, WC_BUTTONW, kIdCopyButton, kPushButton, 0, "复制 ↑"));
  // The two mode boxes form one group: the first starts it, the control
  // after the second starts the next.
  smart_radio_.Attach(CreateControl(g2, WC_BUTTONW, kIdSmartRadio,
                                    WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, 0,
                                    "按智能"));
  by_number_radio_.Attach(CreateControl(g2, WC_BUTTONW, kIdByNumberRadio,
                                        WS_VISIBLE | WS_TABSTOP | BS_AUTORADIOBUTTON, 0, "按序号"));
  choose_button_.Attach(
      CreateControl(g2, WC_BUTTONW, kIdChooseButton, kPushButton | WS_GROUP, 0, "选择图片路径"));
  replace_button_.Attach(
      CreateControl(g2, WC_BUTTONW, kIdReplaceButton, kPushButton | WS_DISABLED, 0, "替换并复制"));
  preview_button_.Attach(CreateControl(g2, WC_BUTTONW, kIdPreviewButton, kPushButton, 0, "预览"));

  link_group_.Attach(CreateControl(w, WC_BUTTONW, kIdLinkGroup, kGroupBox, WS_EX_CONTROLPARENT,
                                   "已上传的图片链接"));
  link_edit_.Attach(CreateControl(link_group_.Handle(), WC_EDITW, kIdLinkEdit,
                                  WS_VISIBLE | WS_TABSTOP | kMultiLineEdit, 0, kSmartUsageText));
  link_edit_.on_double_click = [this] { ClearLinkList(); };

  by_number_usage_.Attach(
      CreateControl(w, WC_EDITW, kIdByNumberUsageEdit, kMultiLineEdit, 0, kByNumberUsageText));
  work_list_.Attach(CreateControl(w, WC_LISTVIEWW, kIdWorkList, LVS_REPORT | WS_BORDER, 0, ""));
  work_list_.AddColumn(0, "内容", Scale(kWorkListColumnWidth, dpi_));
  work_list_.AddColumn(1, "1111", Scale(kWorkListColumnWidth, dpi_));

  status_bar_.Attach(CreateControl(w, STATUSCLASSNAMEW, kIdStatusBar, WS_VISIBLE, 0, ""));
  status_bar_.SetPartWidths(Scale(kStatusLabelWidth, dpi_), Scale(kStatusMessageWidth, dpi_));
  status_bar_.SetPartText(0, kStatusLabel);
  status_bar_.SetPartText(1, kInitialTip);

  smart_radio_.Select(true);

  // The edit boxes have no WS_BORDER: the theme draws their border.
  for (const EditControl* edit :
       {&slice_edit_, &link_edit_, &smart_usage_, &by_number_usage_, &path_edit_}) {
    InstallEditFrame(edit->Handle());
  }
  for (const GroupControl* group : {&slice_group_, &command_group_, &link_group_}) {
    InstallGroupBoxPainting(group->Handle());
  }
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
  for (const Placement& place : kPlacements) {
    HWND control = GetDlgItem(window_, place.id);
    for (HWND group : {slice_group_.Handle(), command_group_.Handle(), link_group_.Handle()}) {
      if (!control) control = GetDlgItem(group, place.id);
    }
    SetWindowPos(control, nullptr, Scale(place.x, dpi_), Scale(place.y, dpi_),
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
  if (code == EN_CHANGE) {
    // A programmatic write raises its own single change event instead.
    if (id == kIdPathEdit && control != write_in_progress_) ImagePathChanged();
    return;
  }
  if (code != BN_CLICKED) return;
  switch (id) {
    case kIdSmartRadio:
      SelectSmartMode();
      break;
    case kIdByNumberRadio:
      SelectByNumberMode();
      break;
    case kIdChooseButton:
      ChooseImagePath();
      break;
    case kIdClearButton:
      ClearSliceCode();
      break;
    case kIdCopyButton:
      CopySliceCode();
      break;
    case kIdPreviewButton:
      PreviewInBrowser();
      break;
    case kIdReplaceButton:
      ReplaceAndCopy();
      break;
    default:
      break;
  }
}

LRESULT MainWindow::OnNotify(const NMHDR& header) {
  if (header.code == NM_CUSTOMDRAW && IsPushButton(static_cast<int>(header.idFrom))) {
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

void MainWindow::SetEditText(EditBox box, const Text& text) {
  const EditControl& edit = Edit(box);
  write_in_progress_ = edit.Handle();
  edit.SetText(text);
  write_in_progress_ = nullptr;
  // The one content-changed event of this write; of the boxes only the
  // path box acts on it.
  if (box == EditBox::kImagePath) ImagePathChanged();
}

void MainWindow::SetGroupCaption(GroupBox box, const Text& caption) const {
  (box == GroupBox::kSliceCode ? slice_group_ : command_group_).SetText(caption);
}

bool MainWindow::IsRadioSelected(RadioBox box) const {
  return (box == RadioBox::kSmart ? smart_radio_ : by_number_radio_).IsSelected();
}

void MainWindow::ShowNotice(const Text& text) const {
  MessageBoxW(window_, WideString(text).c_str(), WideString(kNoticeCaption).c_str(),
              MB_OK | MB_ICONINFORMATION);
}

void MainWindow::ShowMessage(const Text& text) const {
  status_bar_.SetPartText(kStatusMessagePart, text);
}

}  // namespace qm
