// The program's main window: its controls, their layout at the monitor's
// DPI, and the commands bound to them.
#pragma once

#include <windows.h>
// The Win32 headers below need <windows.h> first.
#include <shellapi.h>

#include <functional>
#include <memory>
#include <span>
#include <string>

#include "app/controls.h"
#include "engine/runs.h"
#include "engine/window_access.h"
#include "host/win32/gdi.h"

namespace qm {

// Runs the std::function<void()> that LPARAM points at on the window's
// thread: how other threads reach the controls.
inline constexpr UINT kRunOnWindowThreadMessage = WM_APP + 1;

class MainWindow {
 public:
  MainWindow();
  // Never destroyed while a run works: the program leaves through exit().
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Creates the window with its initial contents and shows it centred.
  bool Create(HINSTANCE instance, int show);
  HWND Handle() const { return window_; }
  // Keyboard navigation between the controls; true when the message was used.
  bool HandleDialogMessage(MSG& message) const;

  // The control operations the runs use. Window thread only.
  Text EditText(EditBox box) const;
  UnheldCharacter FirstCharacterGbkLacks(EditBox box) const;
  // Raises the box's content-changed handling exactly once.
  void SetEditText(EditBox box, const Text& text);
  void SetGroupCaption(GroupBox box, const Text& caption) const;
  void SetStatusText(int part, const Text& text) const { status_bar_.SetPartText(part, text); }
  bool IsRadioSelected(RadioBox box) const;
  // A modal box owned by the window; returns when the user has closed it.
  // While the window holds a comparison page, the box offers to show it.
  void ShowNotice(const Text& text) const;
  // While a run works the two text boxes are read-only and the commands
  // that would change a box, the mode or the chosen image refuse to act.
  void SetRunActive(bool active);
  // The folder of a dropped slice page while the code box holds its text.
  Text SlicePageFolder() const;
  // Any change of the code box but the drop's own write ends the page's
  // say over where the slice files are.
  void SliceCodeChanged();
  const ListViewControl& WorkList() const { return work_list_; }
  PictureControl& Picture() { return picture_; }
  // Runs `task` on the window's thread and returns once it has; from any
  // thread. Dropped once the window is gone.
  void RunOnWindowThread(const std::function<void()>& task) const;

  // The comparison page of the run that just put its result in place, from
  // the run's thread: the window holds it until the next run starts and
  // writes it beside the program (else into the temporary folder). False
  // when it could not be written.
  bool KeepComparisonPage(const RunReport& report);

  // The commands bound to the controls; each control's row in the control
  // table names its command.
  void SelectSmartMode();
  void SelectByNumberMode();
  void ChooseImagePath();
  void ImagePathChanged();
  void ClearLinkList();
  void ClearSliceCode();
  void CopySliceCode();
  void PreviewInBrowser();
  void SendDesktopShortcut();
  // Shows the last run's comparison page in the default browser, as the
  // preview is shown; nothing while the window holds none.
  void ViewComparisonPage() const;
  void ReplaceAndCopy();
  // A web page dropped on the window is read into the code box; any other
  // file dropped in Smart mode counts as the chosen image.
  void UseDroppedFile(const std::wstring& path);
  void UseDroppedPage(const std::wstring& path);

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);

  void OnCreate();
  void OnCommand(int id, int code, HWND control);
  LRESULT OnNotify(const NMHDR& header);
  LRESULT OnControlColour(HDC dc);
  void OnDpiChanged(UINT dpi, const RECT& suggested);
  void OnDropFiles(HDROP drop);

  // One row per control, in the order they are created, which is also the
  // order Tab visits them in: its ID, class, style, parent, place at 96 DPI
  // and caption, the member that works it and the command it runs.
  // Creation, layout at every DPI and dispatch all read it.
  struct ControlRow;
  static std::span<const ControlRow> ControlTable();
  static const ControlRow* FindControlRow(int id);
  HWND ParentWindow(const ControlRow& row) const;
  HWND ControlWindow(int id) const;
  void RunCommandOf(int id);

  void CreateControls();
  void CreateFonts();
  void ApplyFonts() const;
  void ApplyLayout() const;
  void CentreOnScreen() const;
  SIZE OuterSize() const;
  const EditControl& Edit(EditBox box) const;
  // What a user's command writes into a box: Ctrl+Z brings back the text it
  // replaced. Raises the box's content-changed handling once, as
  // SetEditText does.
  void ReplaceEditText(EditBox box, const Text& text);
  void WriteEditText(EditBox box, const Text& text, bool undoable);
  void ShowMessage(const Text& text) const;
  void SetImagePathFromChoice();
  // True, after saying so, while a run works.
  bool RefusedDuringRun() const;
  // As RefusedDuringRun for a mode box, which selects itself when clicked:
  // the run's mode stays selected.
  bool ModeChangeRefusedDuringRun();
  // A run starts: the page of the one before no longer tells of the boxes.
  void ForgetComparisonPage();
  // The system menu's entry for the page, there while the window holds one.
  void OfferComparisonPage(bool offered);

  HWND window_ = nullptr;
  UINT dpi_ = 96;
  Font ui_font_;
  Font bold_font_;
  Brush white_brush_;

  // The controls the window's code works with; their rows say which is
  // which. The comments give each control's name in the window's design.
  GroupControl slice_group_;      // 分组框1
  EditControl slice_edit_;        // 编辑框1
  GroupControl command_group_;    // 分组框2
  RadioControl smart_radio_;      // 单选框1
  Control choose_button_;         // 超级按钮1
  RadioControl by_number_radio_;  // 单选框2
  Control replace_button_;        // 按钮2
  GroupControl link_group_;       // 分组框3
  EditControl link_edit_;         // 编辑框2
  StatusBarControl status_bar_;   // 状态条1
  EditControl smart_usage_;       // 编辑框_按智能说明
  EditControl by_number_usage_;   // 编辑框_按序号说明
  EditControl path_edit_;         // 编辑框_路径
  PictureControl picture_;        // 图片框1
  ListViewControl work_list_;     // 超级列表框1

  // The file-name property of the open-file dialog 通用对话框1: the last
  // confirmed choice, offered again the next time.
  std::wstring dialog_file_name_;
  bool run_active_ = false;
  bool run_in_smart_mode_ = true;  // the mode a run that works was started in
  // The folder of the slice page dropped last, while the code box holds
  // exactly the text read from it; empty otherwise.
  Text page_folder_;
  // The box whose own change notification a programmatic write swallows.
  HWND write_in_progress_ = nullptr;
  // The comparison page of the last run, while that run was a smart one
  // that put a result in place; the system menu then offers it.
  bool has_comparison_page_ = false;
  Bytes comparison_page_;

  std::unique_ptr<WindowAccess> access_;
  std::unique_ptr<ReplaceCommand> replace_;
};

}  // namespace qm
