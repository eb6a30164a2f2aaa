// Drives a running Quillmar.exe from another process, as automation tools
// do: controls are found by their IDs and worked with window messages.
// Messages whose results live in the program's memory (status bar, list
// view) go through a buffer allocated in that process.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/text.h"
#include "host/win32/wide_text.h"

namespace qm::test {

// Polls `condition` until it holds or `seconds` have passed.
bool WaitUntil(const std::function<bool()>& condition, int seconds = 60);

// The CF_TEXT bytes on the clipboard; empty when there are none.
Text ClipboardText();

// The built Quillmar.exe, as a Windows path.
std::wstring BuiltProgramPath();

class QuillmarWindow {
 public:
  QuillmarWindow() = default;
  ~QuillmarWindow();  // ends the program it started if that still runs
  QuillmarWindow(const QuillmarWindow&) = delete;
  QuillmarWindow& operator=(const QuillmarWindow&) = delete;

  // Copies the program into `folder` (created) and starts it there, then
  // waits for its main window. False when it did not come up.
  bool Start(const std::wstring& folder);
  // Attaches to the main window of a program started by someone else.
  bool Attach();

  HWND Main() const { return main_; }
  HANDLE Process() const { return process_; }
  HWND Control(int id) const;

  Text GetText(int id) const;
  // The text as the control holds it, also what GBK cannot hold.
  std::wstring GetWideText(int id) const;
  void SetText(int id, const Text& text) const;
  void Click(int id) const;      // returns when the click has been handled
  void PostClick(int id) const;  // for a click that opens a modal dialog
  void DoubleClick(int id) const;
  // Posts a mouse click into the control, which takes the focus.
  void PostClickInto(int id) const;
  // Posts a key's press and release to the control, through the program's
  // message loop, as typing would.
  void PostKey(int id, WPARAM virtual_key) const;
  // Returns once everything posted to the control before has been handled.
  void WaitForPostedMessages(int id) const;
  // The control that has the keyboard focus in the program; null if none.
  HWND Focused() const;
  bool IsEnabled(int id) const { return IsWindowEnabled(Control(id)) != FALSE; }
  bool IsVisible(int id) const { return IsWindowVisible(Control(id)) != FALSE; }
  bool IsChecked(int id) const;
  LONG Style(int id) const { return GetWindowLongW(Control(id), GWL_STYLE); }
  // The control's rectangle in its parent's client coordinates.
  RECT PlaceInParent(int id) const;

  Text StatusText(int part) const;
  // The captions of the window's system menu, top to bottom; none where
  // another process's menus cannot be read (Wine keeps them to the process).
  std::optional<std::vector<Text>> SystemMenu() const;
  std::vector<int> StatusPartEdges() const;
  struct Column {
    Text title;
    int width;
  };
  std::vector<Column> WorkListColumns() const;
  int WorkListRowCount() const;

  // The dialog the window shows (the open-file dialog, a notice); null
  // when none came up.
  HWND WaitForDialog() const;
  // The dialog the window shows now, without waiting for one.
  HWND Dialog() const;
  // The text of a dialog's control, such as a message box's message.
  static Text DialogItemText(HWND dialog, int id);
  // Types `path` into the dialog's file-name box and confirms.
  static void ConfirmFileDialog(HWND dialog, const std::wstring& path);
  static void CancelFileDialog(HWND dialog);
  // What the dialog's file-name box holds.
  static std::wstring FileDialogName(HWND dialog);

  // Hands the window a file as Explorer's drag and drop does.
  void DropFile(const std::wstring& path) const;
  // Tells the window that its monitor now has `dpi`, with the place the
  // system suggests for it, as the system does when it moves.
  void ChangeDpi(UINT dpi, const RECT& suggested) const;

  bool WaitForExit(int seconds) const;

 private:
  // A block of the program's memory for messages that pass pointers.
  class RemoteBuffer;

  HANDLE process_ = nullptr;
  DWORD process_id_ = 0;
  bool started_here_ = false;
  HWND main_ = nullptr;
};

}  // namespace qm::test
