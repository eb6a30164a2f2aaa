// Theme 2 of the window's control drawing: the frames of edit boxes, group
// boxes and push buttons in one green; everything else keeps the system's
// visual styles.
#pragma once

#include <windows.h>
// The Win32 headers below need <windows.h> first.
#include <commctrl.h>

namespace qm {

inline constexpr COLORREF kThemeFrameColour = RGB(164, 185, 127);

// Paints the one-pixel border of a WS_BORDER edit box in the theme colour.
void InstallEditFrame(HWND edit);
// Paints a group box: background, frame and caption.
void InstallGroupBoxPainting(HWND group_box);
// For NM_CUSTOMDRAW of a push button: asks for the post-paint stage and
// then draws the frame over the system's button face.
LRESULT PushButtonCustomDraw(const NMCUSTOMDRAW& draw);

}  // namespace qm
