// Scaling of the window's 96-DPI layout to the DPI of the monitor it is on.
// The per-monitor functions exist from Windows 10 1607 on; on older systems
// the window falls back to the system DPI, which the manifest asks for.
#pragma once

#include <windows.h>

namespace qm {

inline constexpr UINT kDesignDpi = 96;

UINT WindowDpi(HWND window);
inline int Scale(int value, UINT dpi) {
  return MulDiv(value, static_cast<int>(dpi), kDesignDpi);
}

// Outer rectangle size of a window with the given styles whose client area
// is `client` at `dpi`.
SIZE OuterSizeForClient(SIZE client, DWORD style, DWORD ex_style, UINT dpi);
// The client size that a window of `outer` size has at `dpi`.
SIZE ClientSizeForOuter(SIZE outer, DWORD style, DWORD ex_style, UINT dpi);

// The system's message font at `dpi`: the default user-interface font.
LOGFONTW MessageFont(UINT dpi);

}  // namespace qm
