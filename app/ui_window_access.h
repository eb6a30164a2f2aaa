// The runs' access to the real window. Every call is carried out on the
// window's thread, wherever it comes from, so a run on its worker thread
// never touches a control directly.
#pragma once

#include "engine/window_access.h"

namespace qm {

class MainWindow;

class UiWindowAccess final : public WindowAccess {
 public:
  explicit UiWindowAccess(MainWindow& window) : window_(window) {}

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

 private:
  MainWindow& window_;
};

}  // namespace qm
