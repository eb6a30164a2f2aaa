// A window held in memory: what the command-line tool and the tests give
// the runs in place of the real controls. Safe to read from another thread
// while a run writes it.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "engine/window_access.h"

namespace qm {

class MemoryWindow : public WindowAccess {
 public:
  Text EditText(EditBox box) override;
  UnheldCharacter FirstCharacterGbkLacks(EditBox box) override;
  void SetEditText(EditBox box, const Text& text) override;
  void SetGroupCaption(GroupBox box, const Text& caption) override;
  void SetStatusText(int part, const Text& text) override;
  bool IsRadioSelected(RadioBox box) override;
  void ClearWorkList() override;
  void AppendWorkListRow(const Text& column0) override;
  void AppendWorkListRows(const std::vector<Text>& rows) override;
  int WorkListRowCount() override;
  Text WorkListRow(int index) override;
  void SetPictureBytes(const Bytes& bytes) override;
  void ShowNotice(const Text& text) override;
  Text SlicePageFolder() override;
  void SetRunActive(bool active) override;

  // The box shows a character its GBK text cannot hold, as a pasted one
  // in the window would; a write of the box's text forgets it.
  void SetUnheldCharacter(EditBox box, UnheldCharacter character);
  // The slice-code box holds `text`, read from a page in `folder`.
  void SetSlicePage(const Text& folder, const Text& text);
  void SelectRadio(RadioBox box);  // the other one is deselected, as in a group
  void DeselectRadios();
  Text GroupCaption(GroupBox box);
  Text StatusText(int part);
  std::vector<Text> WorkList();
  Bytes PictureBytes();
  int EditWriteCount(EditBox box);
  // The last notice shown; empty when there was none.
  Text Notice();
  bool RunActive();

  // Called on the writing thread after each status-bar write.
  std::function<void(const Text&)> on_status;

 private:
  std::mutex mutex_;
  std::map<EditBox, Text> edits_;
  std::map<EditBox, int> edit_writes_;
  std::map<EditBox, UnheldCharacter> unheld_;
  std::map<GroupBox, Text> captions_;
  std::map<int, Text> status_;
  RadioBox selected_ = RadioBox::kSmart;
  bool any_selected_ = true;
  std::vector<Text> work_list_;
  Bytes picture_;
  Text notice_;
  bool run_active_ = false;
  Text page_folder_, page_text_;
};

}  // namespace qm
