// Control identifiers of the main window. Automation and the window tests
// find the controls by these IDs (GetDlgItem on the control's parent); the
// window's control table (main_window.cpp) gives each its row. The comments
// name the controls as the window's design does.
#pragma once

namespace qm {

enum ControlId : int {
  kIdSliceCodeGroup = 1001,     // 分组框1
  kIdSliceCodeEdit = 1002,      // 编辑框1
  kIdCommandGroup = 1003,       // 分组框2
  kIdClearButton = 1004,        // 按钮1
  kIdCopyButton = 1005,         // 按钮3
  kIdSmartRadio = 1006,         // 单选框1
  kIdChooseButton = 1007,       // 超级按钮1
  kIdByNumberRadio = 1008,      // 单选框2
  kIdReplaceButton = 1009,      // 按钮2
  kIdPreviewButton = 1010,      // 按钮4
  kIdLinkGroup = 1011,          // 分组框3
  kIdLinkEdit = 1012,           // 编辑框2
  kIdStatusBar = 1013,          // 状态条1
  kIdSmartUsageEdit = 1014,     // 编辑框_按智能说明
  kIdByNumberUsageEdit = 1015,  // 编辑框_按序号说明
  kIdPathEdit = 1016,           // 编辑框_路径
  kIdPicture = 1017,            // 图片框1
  kIdWorkList = 1018,           // 超级列表框1
};

// The system-menu command "发送到桌面快捷方式". System commands below
// 0xF000 are the program's own; the low four bits must stay clear.
inline constexpr unsigned kSysCommandDesktopShortcut = 0x0110;
// "查看上次的对照页", there while the window holds a comparison page.
inline constexpr unsigned kSysCommandComparisonPage = 0x0120;

// The notice box's "查看对照" button.
inline constexpr int kIdNoticeComparisonButton = 1101;

// Window class of the main window.
inline constexpr wchar_t kMainWindowClass[] = L"QuillmarMainWindow";

}  // namespace qm
