#include "app/controls.h"

#include <vector>

#include "base/text_rules.h"
#include "host/clipboard.h"
#include "host/encoding.h"
#include "host/win32/wide_text.h"

namespace qm {
namespace {

constexpr UINT_PTR kEditBehaviourSubclass = 0x5141'0010;
constexpr UINT_PTR kGroupForwardSubclass = 0x5141'0011;
constexpr WPARAM kCtrlA = 0x01;  // the character Ctrl+A types

// Tab and Esc, as key presses or as the characters they type.
bool IsDialogNavigationKey(const MSG* key) {
  if (!key) return false;
  if (key->message != WM_KEYDOWN && key->message != WM_CHAR) return false;
  return key->wParam == VK_TAB || key->wParam == VK_ESCAPE;
}

}  // namespace

HWND CreateControl(HWND parent, const wchar_t* window_class, int id, DWORD style, DWORD ex_style,
                   const Text& text) {
  return CreateWindowExW(ex_style, window_class, WideString(text).c_str(), WS_CHILD | style, 0, 0,
                         0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)),
                         nullptr);
}

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), length + 1)));
  return text;
}

Text Control::GetText() const {
  return GbkString(WindowText(window_));
}

UnheldCharacter Control::FirstCharacterGbkLacks() const {
  const std::wstring text = WindowText(window_);
  return qm::FirstCharacterGbkLacks(
      std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

void Control::SetText(const Text& text) const {
  SetWindowTextW(window_, WideString(text).c_str());
}

void EditControl::Attach(HWND window) {
  Control::Attach(window);
  // No length limit: 0 asks for the largest the control supports.
  SendMessageW(window, EM_SETLIMITTEXT, 0, 0);
  SetWindowSubclass(window, SubclassProc, kEditBehaviourSubclass,
                    reinterpret_cast<DWORD_PTR>(this));
}

void EditControl::ReplaceUndoably(const Text& text) const {
  const std::wstring wide = WideString(text);
  SendMessageW(window_, EM_SETSEL, 0, -1);
  SendMessageW(window_, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(wide.c_str()));
  // The replacement leaves the caret behind the new text; a new text reads
  // from its start, as after SetText.
  SendMessageW(window_, EM_SETSEL, 0, 0);
  SendMessageW(window_, EM_SCROLLCARET, 0, 0);
}

bool EditControl::PasteWithWindowsLineEnds() const {
  if (GetWindowLongW(window_, GWL_STYLE) & ES_READONLY) return false;
  std::u16string pasted;
  if (!GetClipboardUnicodeText(pasted)) return false;
  const std::u16string text = WithWindowsLineEnds(pasted);
  if (text == pasted) return false;
  SendMessageW(window_, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
  return true;
}

LRESULT CALLBACK EditControl::SubclassProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                           UINT_PTR, DWORD_PTR self) {
  auto* box = reinterpret_cast<EditControl*>(self);
  switch (message) {
    case WM_NCDESTROY:
      RemoveWindowSubclass(window, SubclassProc, kEditBehaviourSubclass);
      break;
    case WM_GETDLGCODE: {
      // The message loop's dialog handling asks each key's owner first. A
      // multi-line edit box wants every key, and in that mode it answers
      // Esc by closing its parent - here a group box, which would vanish
      // with the text - and Tab by asking its parent for the next control,
      // which a group box ignores. Leaving both keys to the dialog handling
      // makes Tab move on, as everywhere else, and Esc do nothing.
      LRESULT code = DefSubclassProc(window, message, wparam, lparam);
      if (IsDialogNavigationKey(reinterpret_cast<const MSG*>(lparam))) {
        code &= ~static_cast<LRESULT>(DLGC_WANTALLKEYS | DLGC_WANTTAB | DLGC_WANTMESSAGE);
      }
      return code;
    }
    case WM_CHAR:
      // Multi-line edit boxes of older systems beep at Ctrl+A instead of
      // selecting everything.
      if (wparam == kCtrlA) {
        SendMessageW(window, EM_SETSEL, 0, -1);
        return 0;
      }
      break;
    case WM_PASTE:
      if (box->paste_windows_line_ends && box->PasteWithWindowsLineEnds()) return 0;
      break;
    case WM_LBUTTONDBLCLK: {
      const LRESULT result = DefSubclassProc(window, message, wparam, lparam);
      if (box->on_double_click) box->on_double_click();
      return result;
    }
    default:
      break;
  }
  return DefSubclassProc(window, message, wparam, lparam);
}

void GroupControl::Attach(HWND window) {
  Control::Attach(window);
  SetWindowSubclass(window, SubclassProc, kGroupForwardSubclass, 0);
}

LRESULT CALLBACK GroupControl::SubclassProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                            UINT_PTR, DWORD_PTR) {
  switch (message) {
    case WM_NCDESTROY:
      RemoveWindowSubclass(window, SubclassProc, kGroupForwardSubclass);
      break;
    // Only the user closes the window: a child's request to close its
    // parent must not take the group box and its controls away.
    case WM_CLOSE:
      return 0;
    // A group box ignores what its children tell it; the window behind it
    // handles their commands, notifications and colours.
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_DRAWITEM:
      return SendMessageW(GetParent(window), message, wparam, lparam);
    default:
      break;
  }
  return DefSubclassProc(window, message, wparam, lparam);
}

void StatusBarControl::SetPartWidths(int first, int second) const {
  int right_edges[kPartCount] = {first, first + second};
  SendMessageW(window_, SB_SETPARTS, kPartCount, reinterpret_cast<LPARAM>(right_edges));
}

void StatusBarControl::SetPartText(int part, const Text& text) const {
  if (part < 0 || part >= kPartCount) return;
  const std::wstring wide = WideString(text);
  SendMessageW(window_, SB_SETTEXTW, static_cast<WPARAM>(part),
               reinterpret_cast<LPARAM>(wide.c_str()));
}

Text StatusBarControl::PartText(int part) const {
  if (part < 0 || part >= kPartCount) return {};
  const LRESULT info = SendMessageW(window_, SB_GETTEXTLENGTHW, static_cast<WPARAM>(part), 0);
  std::wstring text(static_cast<std::size_t>(LOWORD(info)) + 1, L'\0');
  SendMessageW(window_, SB_GETTEXTW, static_cast<WPARAM>(part),
               reinterpret_cast<LPARAM>(text.data()));
  text.resize(LOWORD(info));
  return GbkString(text);
}

void ListViewControl::AddColumn(int index, const Text& title, int width) const {
  std::wstring wide = WideString(title);
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH;
  column.cx = width;
  column.pszText = wide.data();
  SendMessageW(window_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index),
               reinterpret_cast<LPARAM>(&column));
}

void ListViewControl::SetColumnWidth(int index, int width) const {
  SendMessageW(window_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(index), MAKELPARAM(width, 0));
}

void ListViewControl::AppendRow(const Text& column0) const {
  std::wstring wide = WideString(column0);
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = RowCount();
  item.pszText = wide.data();
  SendMessageW(window_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

void ListViewControl::AppendRows(const std::vector<Text>& rows) const {
  // The list is never shown; nothing needs drawing while it grows.
  SendMessageW(window_, WM_SETREDRAW, FALSE, 0);
  SendMessageW(window_, LVM_SETITEMCOUNT, static_cast<WPARAM>(RowCount()) + rows.size(), 0);
  for (const Text& row : rows) AppendRow(row);
  SendMessageW(window_, WM_SETREDRAW, TRUE, 0);
}

Text ListViewControl::Row(int index) const {
  if (index < 0 || index >= RowCount()) return {};
  // The control copies at most the buffer's size and says how much it
  // copied; a full buffer may mean a cut text, so grow and ask again.
  std::vector<wchar_t> buffer(256);
  for (;;) {
    LVITEMW item{};
    item.iSubItem = 0;
    item.pszText = buffer.data();
    item.cchTextMax = static_cast<int>(buffer.size());
    const auto copied = static_cast<std::size_t>(SendMessageW(
        window_, LVM_GETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)));
    if (copied + 1 < buffer.size()) return GbkString(std::wstring(buffer.data(), copied));
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace qm
