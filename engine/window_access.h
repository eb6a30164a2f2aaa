// The seam between the runs and the main window: exactly the control
// operations the runs need. The Win32 window implements it over its controls
// (marshalled to the window's thread), the command-line tool and the tests
// in memory. The run code is the same for all of them.
#pragma once

#include <vector>

#include "base/text.h"
#include "host/encoding.h"

namespace qm {

enum class EditBox {
  kSliceCode,  // 编辑框1
  kLinkList,   // 编辑框2
  kImagePath,  // 编辑框_路径 (hidden): the SliceImagePath
};

enum class GroupBox {
  kSliceCode,  // 分组框1
  kCommands,   // 分组框2: the mode and command buttons; its caption shows the image folder
};

enum class RadioBox {
  kSmart,     // 单选框1
  kByNumber,  // 单选框2
};

inline constexpr int kStatusMessagePart = 1;  // 状态条1 part 1; part 0 is the label

class WindowAccess {
 public:
  virtual ~WindowAccess() = default;

  virtual Text EditText(EditBox box) = 0;
  // The first character the box shows that its GBK text cannot hold (the
  // text read has "?" in its place); line 0 when there is none.
  virtual UnheldCharacter FirstCharacterGbkLacks(EditBox box) = 0;
  // Replaces the whole text; raises the box's content-changed handling once.
  virtual void SetEditText(EditBox box, const Text& text) = 0;
  virtual void SetGroupCaption(GroupBox box, const Text& caption) = 0;
  virtual void SetStatusText(int part, const Text& text) = 0;
  virtual bool IsRadioSelected(RadioBox box) = 0;

  // 超级列表框1, used as an ordered list of texts in column 0.
  virtual void ClearWorkList() = 0;
  virtual void AppendWorkListRow(const Text& column0) = 0;
  // Many rows at once: one call where each row would cost a trip to the
  // window's thread.
  virtual void AppendWorkListRows(const std::vector<Text>& rows) = 0;
  virtual int WorkListRowCount() = 0;
  virtual Text WorkListRow(int index) = 0;  // 0-based, as the control counts

  // 图片框1: holds the bytes of the image being worked on.
  virtual void SetPictureBytes(const Bytes& bytes) = 0;

  // A message the user must see before going on (lines separated by CR LF):
  // a box owned by the window. Returns once the user has closed it.
  virtual void ShowNotice(const Text& text) = 0;

  // The folder of the exported page the user dropped on the window, while
  // the slice-code box holds exactly the text read from it; empty
  // otherwise. The smart run then finds each slice file by its own path.
  virtual Text SlicePageFolder() = 0;

  // A run has started (true) or ended (false). While one works, the user
  // must not change what it reads and writes: the window locks the two text
  // boxes and refuses the commands that change a box, the mode or the image.
  virtual void SetRunActive(bool active) = 0;
};

}  // namespace qm
