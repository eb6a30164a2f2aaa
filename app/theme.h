// Theme 2 of the window's control drawing: the frames of edit boxes, group
// boxes and push buttons in one green; everything else keeps the system's
// visual styles.
#pragma once

#include <windows.h>
// The Win32 headers below need <windows.h> first.
#include <commctrl.h>

namespace qm {

inline constexpr COLORREF kThemeFrameColour = RGB(164, 185, 127);

// Gives an edit box (created without WS_BORDER) a one-pixel border in the
// theme colour around its client area and scroll bar.
void InstallEditFrame(HWND edit);
// Paints a group box: background, frame and caption.
void InstallGroupBoxPainting(HWND group_box);
// For NM_CUSTOMDRAW of a push button: asks for the post-paint stage and
// then draws the frame over the system's button face.
LRESULT PushButtonCustomDraw(const NMCUSTOMDRAW& draw);

}  // namespace qm
