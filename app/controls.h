// Thin wrappers over the Win32 controls of the main window. They only
// translate between the program's GBK texts and the controls' messages;
// the window owns the control windows themselves.
#pragma once

#include <windows.h>
// The Win32 headers below need <windows.h> first.
#include <commctrl.h>

#include <functional>
#include <string>

#include "base/text.h"
#include "host/win32/wide_text.h"

namespace qm {

// Creates a child control; `text` is GBK.
HWND CreateControl(HWND parent, const wchar_t* window_class, int id, DWORD style, DWORD ex_style,
                   const Text& text);

// A window's whole text or caption; empty for no window.
std::wstring WindowText(HWND window);

class Control {
 public:
  void Attach(HWND window) { window_ = window; }
  HWND Handle() const { return window_; }

  Text GetText() const;
  // The first character of the text that GetText cannot keep.
  UnheldCharacter FirstCharacterGbkLacks() const;
  void SetText(const Text& text) const;
  void Enable(bool enabled) const { EnableWindow(window_, enabled ? TRUE : FALSE); }
  bool IsEnabled() const { return IsWindowEnabled(window_) != FALSE; }
  void SetFont(HFONT font) const {
    SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }

 protected:
  HWND window_ = nullptr;
};

// An edit box: Ctrl+A selects all, a double-click can be observed.
class EditControl : public Control {
 public:
  void Attach(HWND window);
  // Replaces the whole text as an edit of the box's own, which Ctrl+Z and
  // the box's 撤消 take back; SetText cannot be taken back.
  void ReplaceUndoably(const Text& text) const;
  // Called after the control's own double-click handling.
  std::function<void()> on_double_click;
  // Pasted text has every line break as CR LF: the run ends a line at any
  // break, and a box on Windows shows a lone LF as no break at all, so the
  // box shows the lines the run will read.
  bool paste_windows_line_ends = false;

 private:
  // False when the box keeps the paste to itself: nothing to change, or
  // nothing it may take.
  bool PasteWithWindowsLineEnds() const;
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                       UINT_PTR id, DWORD_PTR self);
};

class RadioControl : public Control {
 public:
  bool IsSelected() const { return SendMessageW(window_, BM_GETCHECK, 0, 0) == BST_CHECKED; }
  void Select(bool selected) const {
    SendMessageW(window_, BM_SETCHECK, selected ? BST_CHECKED : BST_UNCHECKED, 0);
  }
};

// A group box that holds controls of its own: their notifications go on to
// the window that handles them, and dialog navigation enters it.
class GroupControl : public Control {
 public:
  void Attach(HWND window);

 private:
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                       UINT_PTR id, DWORD_PTR data);
};

class StatusBarControl : public Control {
 public:
  static constexpr int kPartCount = 2;
  // Part widths in pixels at the window's DPI.
  void SetPartWidths(int first, int second) const;
  // An index outside the parts does nothing.
  void SetPartText(int part, const Text& text) const;
  Text PartText(int part) const;
};

// The report-style list used as a work list of texts in column 0.
class ListViewControl : public Control {
 public:
  void AddColumn(int index, const Text& title, int width) const;
  void SetColumnWidth(int index, int width) const;
  void Clear() const { SendMessageW(window_, LVM_DELETEALLITEMS, 0, 0); }
  void AppendRow(const Text& column0) const;
  void AppendRows(const std::vector<Text>& rows) const;
  int RowCount() const { return static_cast<int>(SendMessageW(window_, LVM_GETITEMCOUNT, 0, 0)); }
  Text Row(int index) const;
};

// The picture holder: keeps the bytes of the image being worked on.
class PictureControl : public Control {
 public:
  void SetBytes(const Bytes& bytes) { bytes_ = bytes; }
  const Bytes& GetBytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

}  // namespace qm
