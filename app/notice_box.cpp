#include "app/notice_box.h"

#include <algorithm>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "app/controls.h"
#include "app/dpi.h"
#include "base/text_rules.h"
#include "engine/runs.h"
#include "host/win32/gdi.h"
#include "host/win32/wide_text.h"

namespace qm {
namespace {

constexpr char kCaption[] = "提示";
constexpr char kOkCaption[] = "确定";
constexpr char kViewCaption[] = "查看对照";
// Lists longer than this show their first lines and how many more they hold.
constexpr int kMostListLines = 30;

// Message boxes give their text this ID; whatever reads theirs reads this one.
constexpr int kTextId = 0xFFFF;
constexpr int kIconId = 0x14;

// Sizes at 96 DPI.
constexpr int kMargin = 12;
constexpr int kIconSize = 32;
constexpr int kMostTextWidth = 560;
constexpr SIZE kButtonSize = {88, 26};

constexpr DWORD kBoxStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
constexpr DWORD kTextStyle = WS_VISIBLE | ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL;

// One list of the notice: its title, in the lines it is shown in, and its
// entries.
struct NoticeList {
  std::vector<Text> title;
  std::vector<Text> entries;
};

// A long title reads better broken after its comma than wherever the box's
// edge would fall.
std::vector<Text> TitleLines(const Text& title) {
  return SplitLines(ReplaceAll(title, "，", "，\r\n"));
}

std::vector<NoticeList> NoticeLists(const Text& notice) {
  std::vector<NoticeList> lists;
  for (const Text& line : SplitLines(notice)) {
    if (lists.empty() || line == kFailedLinksTitle) {
      lists.push_back({TitleLines(line), {}});
    } else if (!line.empty()) {
      lists.back().entries.push_back(line);
    }
  }
  return lists;
}

// How many entries of each list `room` lines show: one to each list in
// turn, so that a short list shows whole beside a long one.
std::vector<std::size_t> ShownEntries(const std::vector<NoticeList>& lists, int room) {
  std::vector<std::size_t> shown(lists.size(), 0);
  for (bool gave = true; gave && room > 0;) {
    gave = false;
    for (std::size_t i = 0; i < lists.size() && room > 0; ++i) {
      if (shown[i] == lists[i].entries.size()) continue;
      ++shown[i];
      --room;
      gave = true;
    }
  }
  return shown;
}

// The box's lines when `room` lines fit on the screen: every title, a blank
// line between the lists, at most kMostListLines entries in all, and under a
// list cut short how many of its entries are not shown.
std::vector<Text> ShownLines(const std::vector<NoticeList>& lists, int room) {
  // Each list may add a line for what it does not show, each but the first
  // a blank line before it.
  int fixed = 2 * static_cast<int>(lists.size()) - 1;
  for (const NoticeList& list : lists) fixed += static_cast<int>(list.title.size());
  const std::vector<std::size_t> shown =
      ShownEntries(lists, std::min(kMostListLines, room - fixed));

  std::vector<Text> lines;
  for (std::size_t i = 0; i < lists.size(); ++i) {
    const NoticeList& list = lists[i];
    if (i > 0) lines.emplace_back();
    lines.insert(lines.end(), list.title.begin(), list.title.end());
    const auto cut = list.entries.begin() + static_cast<std::ptrdiff_t>(shown[i]);
    lines.insert(lines.end(), list.entries.begin(), cut);
    if (cut != list.entries.end()) {
      lines.push_back("…还有 " + DecimalText(list.entries.end() - cut) + " 张");
    }
  }
  return lines;
}

int TextWidth(HDC dc, const std::wstring& text) {
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  return size.cx;
}

// The line as it fits into `most_width`: whole, or with its middle given up
// for an ellipsis, since the start and the end of a path or a link tell most.
std::wstring FittedLine(HDC dc, const std::wstring& line, int most_width) {
  if (line.empty() || TextWidth(dc, line) <= most_width) return line;
  const auto shortened = [&](std::size_t kept) {
    const std::size_t head = (kept + 1) / 2;
    return line.substr(0, head) + L"…" + line.substr(line.size() - (kept - head));
  };
  // The most characters that fit with the ellipsis, found by halving.
  std::size_t low = 0;
  std::size_t high = line.size() - 1;
  while (low < high) {
    const std::size_t kept = (low + high + 1) / 2;
    if (TextWidth(dc, shortened(kept)) <= most_width) {
      low = kept;
    } else {
      high = kept - 1;
    }
  }
  return shortened(low);
}

// The box and what it keeps while it is open.
struct NoticeBox {
  const Text& notice;
  const std::function<void()>& view;  // the second button's, when it has one
  Font font;
  EditControl text;  // read-only, but the user can select and copy from it
};

RECT WorkAreaOf(HWND window) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
  return monitor.rcWork;
}

// Centred on `owner`, but inside the work area, also when the owner is not;
// over a minimised owner, in the middle of the work area.
POINT PlaceOnScreen(HWND owner, SIZE size, const RECT& work) {
  RECT over = work;
  if (!IsIconic(owner)) GetWindowRect(owner, &over);
  const LONG x = (over.left + over.right - size.cx) / 2;
  const LONG y = (over.top + over.bottom - size.cy) / 2;
  return {std::max(work.left, std::min(x, work.right - size.cx)),
          std::max(work.top, std::min(y, work.bottom - size.cy))};
}

void PlaceControl(HWND control, int x, int y, int width, int height, HFONT font) {
  SetWindowPos(control, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

// Everything that depends on the owner's monitor: the font at its DPI, how
// many lines fit its height and how wide a line may be.
void LayOut(HWND box, NoticeBox& notice) {
  HWND owner = GetWindow(box, GW_OWNER);
  const UINT dpi = WindowDpi(owner);
  const LOGFONTW message_font = MessageFont(dpi);
  notice.font.Reset(CreateFontIndirectW(&message_font));
  const RECT work = WorkAreaOf(owner);
  const SIZE frame = OuterSizeForClient({0, 0}, static_cast<DWORD>(GetWindowLongW(box, GWL_STYLE)),
                                        static_cast<DWORD>(GetWindowLongW(box, GWL_EXSTYLE)), dpi);
  const int margin = Scale(kMargin, dpi);
  const int icon = Scale(kIconSize, dpi);
  const SIZE button = {Scale(kButtonSize.cx, dpi), Scale(kButtonSize.cy, dpi)};

  WindowDc screen(nullptr, nullptr, 0);
  SelectedObject font(screen.Get(), notice.font.Get());
  TEXTMETRICW metrics{};
  GetTextMetricsW(screen.Get(), &metrics);
  const int line_height = std::max<int>(1, metrics.tmHeight);
  const int room = (work.bottom - work.top - frame.cy - 3 * margin - button.cy) / line_height;
  const int most_width = std::min<int>(Scale(kMostTextWidth, dpi),
                                       work.right - work.left - frame.cx - 3 * margin - icon);

  const std::vector<Text> lines = ShownLines(NoticeLists(notice.notice), room);
  std::wstring text;
  int text_width = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::wstring line = FittedLine(screen.Get(), WideString(lines[i]), most_width);
    text_width = std::max(text_width, TextWidth(screen.Get(), line));
    text += (i > 0 ? L"\r\n" : L"") + line;
  }
  text_width += Scale(2, dpi);  // the caret after the widest line
  const int text_height = static_cast<int>(lines.size()) * line_height;
  const int buttons = notice.view ? 2 : 1;
  const int buttons_width = buttons * button.cx + (buttons - 1) * margin;
  const SIZE client = {std::max<LONG>(3 * margin + icon + text_width, 2 * margin + buttons_width),
                       3 * margin + std::max(icon, text_height) + button.cy};

  HWND icon_control = CreateControl(box, WC_STATICW, kIconId, WS_VISIBLE | SS_ICON, 0, "");
  SendMessageW(icon_control, STM_SETICON,
               reinterpret_cast<WPARAM>(LoadIconW(nullptr, IDI_INFORMATION)), 0);
  PlaceControl(icon_control, margin, margin, icon, icon, nullptr);

  HWND text_control = CreateControl(box, WC_EDITW, kTextId, kTextStyle, 0, "");
  notice.text.Attach(text_control);  // Ctrl+A selects all; Esc closes the box
  PlaceControl(text_control, 2 * margin + icon, margin + std::max(0, (icon - text_height) / 2),
               text_width, text_height, notice.font.Get());
  SendMessageW(text_control, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
  SetWindowTextW(text_control, text.c_str());

  // The buttons side by side in the middle, 确定 first.
  const int buttons_left = (client.cx - buttons_width) / 2;
  const int buttons_top = client.cy - margin - button.cy;
  HWND ok = CreateControl(box, WC_BUTTONW, IDOK, WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0,
                          kOkCaption);
  PlaceControl(ok, buttons_left, buttons_top, button.cx, button.cy, notice.font.Get());
  if (notice.view) {
    HWND view = CreateControl(box, WC_BUTTONW, kIdNoticeComparisonButton,
                              WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, kViewCaption);
    PlaceControl(view, buttons_left + button.cx + margin, buttons_top, button.cx, button.cy,
                 notice.font.Get());
  }

  const SIZE outer = {client.cx + frame.cx, client.cy + frame.cy};
  const POINT at = PlaceOnScreen(owner, outer, work);
  SetWindowPos(box, nullptr, at.x, at.y, outer.cx, outer.cy, SWP_NOZORDER | SWP_NOACTIVATE);
  SetWindowTextW(box, WideString(kCaption).c_str());
  SetFocus(ok);
}

INT_PTR CALLBACK NoticeProc(HWND box, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrW(box, DWLP_USER, lparam);
      LayOut(box, *reinterpret_cast<NoticeBox*>(lparam));
      return FALSE;  // the focus is on the button already, not on the text
    case WM_COMMAND:
      // 确定, Enter, Esc and the close box end the box; 查看对照 leaves it
      // open, so the list stays beside the page.
      if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
        EndDialog(box, IDOK);
      } else if (LOWORD(wparam) == kIdNoticeComparisonButton && HIWORD(wparam) == BN_CLICKED) {
        const auto* notice = reinterpret_cast<const NoticeBox*>(GetWindowLongPtrW(box, DWLP_USER));
        if (notice && notice->view) notice->view();
      }
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void ShowNoticeBox(HWND owner, const Text& notice, const std::function<void()>& view) {
  // A box without controls: they are laid out once it knows its monitor.
  struct alignas(DWORD) {
    DLGTEMPLATE header{kBoxStyle, 0, 0, 0, 0, 0, 0};
    WORD menu = 0;
    WORD window_class = 0;  // the dialog box class
    WORD title = 0;
  } empty_box;
  NoticeBox box{notice, view, {}, {}};
  MessageBeep(MB_ICONINFORMATION);
  const INT_PTR shown = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), &empty_box.header, owner,
                                                NoticeProc, reinterpret_cast<LPARAM>(&box));
  // Without the resources for a box of its own, the notice still reaches
  // the user.
  if (shown == -1) {
    MessageBoxW(owner, WideString(notice).c_str(), WideString(kCaption).c_str(),
                MB_OK | MB_ICONINFORMATION);
  }
}

}  // namespace qm
