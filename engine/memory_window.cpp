#include "engine/memory_window.h"

namespace qm {

Text MemoryWindow::EditText(EditBox box) {
  std::lock_guard lock(mutex_);
  return edits_[box];
}

UnheldCharacter MemoryWindow::FirstCharacterGbkLacks(EditBox box) {
  std::lock_guard lock(mutex_);
  return unheld_[box];
}

void MemoryWindow::SetEditText(EditBox box, const Text& text) {
  std::lock_guard lock(mutex_);
  edits_[box] = text;
  unheld_.erase(box);
  ++edit_writes_[box];
}

void MemoryWindow::SetUnheldCharacter(EditBox box, UnheldCharacter character) {
  std::lock_guard lock(mutex_);
  unheld_[box] = character;
}

void MemoryWindow::SetGroupCaption(GroupBox box, const Text& caption) {
  std::lock_guard lock(mutex_);
  captions_[box] = caption;
}

void MemoryWindow::SetStatusText(int part, const Text& text) {
  {
    std::lock_guard lock(mutex_);
    status_[part] = text;
  }
  if (on_status && part == kStatusMessagePart) on_status(text);
}

bool MemoryWindow::IsRadioSelected(RadioBox box) {
  std::lock_guard lock(mutex_);
  return any_selected_ && selected_ == box;
}

void MemoryWindow::ClearWorkList() {
  std::lock_guard lock(mutex_);
  work_list_.clear();
}

void MemoryWindow::AppendWorkListRow(const Text& column0) {
  std::lock_guard lock(mutex_);
  work_list_.push_back(column0);
}

void MemoryWindow::AppendWorkListRows(const std::vector<Text>& rows) {
  std::lock_guard lock(mutex_);
  work_list_.insert(work_list_.end(), rows.begin(), rows.end());
}

int MemoryWindow::WorkListRowCount() {
  std::lock_guard lock(mutex_);
  return static_cast<int>(work_list_.size());
}

Text MemoryWindow::WorkListRow(int index) {
  std::lock_guard lock(mutex_);
  if (index < 0 || index >= static_cast<int>(work_list_.size())) return {};
  return work_list_[static_cast<std::size_t>(index)];
}

void MemoryWindow::SetPictureBytes(const Bytes& bytes) {
  std::lock_guard lock(mutex_);
  picture_ = bytes;
}

void MemoryWindow::ShowNotice(const Text& text) {
  std::lock_guard lock(mutex_);
  notice_ = text;
}

Text MemoryWindow::SlicePageFolder() {
  std::lock_guard lock(mutex_);
  return edits_[EditBox::kSliceCode] == page_text_ ? page_folder_ : Text();
}

void MemoryWindow::SetSlicePage(const Text& folder, const Text& text) {
  std::lock_guard lock(mutex_);
  edits_[EditBox::kSliceCode] = text;
  ++edit_writes_[EditBox::kSliceCode];
  page_folder_ = folder;
  page_text_ = text;
}

void MemoryWindow::SetRunActive(bool active) {
  std::lock_guard lock(mutex_);
  run_active_ = active;
}

void MemoryWindow::SelectRadio(RadioBox box) {
  std::lock_guard lock(mutex_);
  selected_ = box;
  any_selected_ = true;
}

void MemoryWindow::DeselectRadios() {
  std::lock_guard lock(mutex_);
  any_selected_ = false;
}

Text MemoryWindow::GroupCaption(GroupBox box) {
  std::lock_guard lock(mutex_);
  return captions_[box];
}

Text MemoryWindow::StatusText(int part) {
  std::lock_guard lock(mutex_);
  return status_[part];
}

std::vector<Text> MemoryWindow::WorkList() {
  std::lock_guard lock(mutex_);
  return work_list_;
}

Bytes MemoryWindow::PictureBytes() {
  std::lock_guard lock(mutex_);
  return picture_;
}

int MemoryWindow::EditWriteCount(EditBox box) {
  std::lock_guard lock(mutex_);
  return edit_writes_[box];
}

Text MemoryWindow::Notice() {
  std::lock_guard lock(mutex_);
  return notice_;
}

bool MemoryWindow::RunActive() {
  std::lock_guard lock(mutex_);
  return run_active_;
}

}  // namespace qm
