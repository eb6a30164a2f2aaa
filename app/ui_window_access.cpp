#include "app/ui_window_access.h"

#include <functional>

#include "app/main_window.h"

namespace qm {
namespace {

void OnWindowThread(const MainWindow& window, const std::function<void()>& task) {
  window.RunOnWindowThread(task);
}

// Once the window is gone the call is dropped and the result stays at its
// default.
template <typename Result, typename Call>
Result OnWindowThread(const MainWindow& window, Call call) {
  Result result{};
  OnWindowThread(window, [&] { result = call(); });
  return result;
}

}  // namespace

Text UiWindowAccess::EditText(EditBox box) {
  return OnWindowThread<Text>(window_, [&] { return window_.EditText(box); });
}

UnheldCharacter UiWindowAccess::FirstCharacterGbkLacks(EditBox box) {
  return OnWindowThread<UnheldCharacter>(window_,
                                         [&] { return window_.FirstCharacterGbkLacks(box); });
}

void UiWindowAccess::SetEditText(EditBox box, const Text& text) {
  OnWindowThread(window_, [&] { window_.SetEditText(box, text); });
}

void UiWindowAccess::SetGroupCaption(GroupBox box, const Text& caption) {
  OnWindowThread(window_, [&] { window_.SetGroupCaption(box, caption); });
}

void UiWindowAccess::SetStatusText(int part, const Text& text) {
  OnWindowThread(window_, [&] { window_.SetStatusText(part, text); });
}

bool UiWindowAccess::IsRadioSelected(RadioBox box) {
  return OnWindowThread<bool>(window_, [&] { return window_.IsRadioSelected(box); });
}

void UiWindowAccess::ClearWorkList() {
  OnWindowThread(window_, [&] { window_.WorkList().Clear(); });
}

void UiWindowAccess::AppendWorkListRow(const Text& column0) {
  OnWindowThread(window_, [&] { window_.WorkList().AppendRow(column0); });
}

void UiWindowAccess::AppendWorkListRows(const std::vector<Text>& rows) {
  OnWindowThread(window_, [&] { window_.WorkList().AppendRows(rows); });
}

int UiWindowAccess::WorkListRowCount() {
  return OnWindowThread<int>(window_, [&] { return window_.WorkList().RowCount(); });
}

Text UiWindowAccess::WorkListRow(int index) {
  return OnWindowThread<Text>(window_, [&] { return window_.WorkList().Row(index); });
}

void UiWindowAccess::SetPictureBytes(const Bytes& bytes) {
  OnWindowThread(window_, [&] { window_.Picture().SetBytes(bytes); });
}

void UiWindowAccess::ShowNotice(const Text& text) {
  OnWindowThread(window_, [&] { window_.ShowNotice(text); });
}

Text UiWindowAccess::SlicePageFolder() {
  return OnWindowThread<Text>(window_, [&] { return window_.SlicePageFolder(); });
}

void UiWindowAccess::SetRunActive(bool active) {
  OnWindowThread(window_, [&] { window_.SetRunActive(active); });
}

}  // namespace qm
