#include "app/dpi.h"

namespace qm {
namespace {

template <typename Function>
Function User32Function(const char* name) {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  return user32 ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name)))
                : nullptr;
}

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
using SystemParametersForDpiFn = BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT);

RECT AdjustedRect(SIZE client, DWORD style, DWORD ex_style, UINT dpi) {
  RECT rect{0, 0, client.cx, client.cy};
  static const auto adjust = User32Function<AdjustForDpiFn>("AdjustWindowRectExForDpi");
  if (adjust) {
    adjust(&rect, style, FALSE, ex_style, dpi);
  } else {
    AdjustWindowRectEx(&rect, style, FALSE, ex_style);
  }
  return rect;
}

}  // namespace

UINT WindowDpi(HWND window) {
  static const auto for_window = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
  if (for_window) {
    if (UINT dpi = for_window(window)) return dpi;
  }
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : kDesignDpi;
}

SIZE OuterSizeForClient(SIZE client, DWORD style, DWORD ex_style, UINT dpi) {
  const RECT rect = AdjustedRect(client, style, ex_style, dpi);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

SIZE ClientSizeForOuter(SIZE outer, DWORD style, DWORD ex_style, UINT dpi) {
  const SIZE frame = OuterSizeForClient({0, 0}, style, ex_style, dpi);
  return {outer.cx - frame.cx, outer.cy - frame.cy};
}

LOGFONTW MessageFont(UINT dpi) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  static const auto for_dpi =
      User32Function<SystemParametersForDpiFn>("SystemParametersInfoForDpi");
  if (for_dpi && for_dpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi)) {
    return metrics.lfMessageFont;
  }
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
  // Without per-monitor support the system metrics are at the system DPI.
  const UINT system_dpi = WindowDpi(nullptr);
  metrics.lfMessageFont.lfHeight =
      MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpi), static_cast<int>(system_dpi));
  return metrics.lfMessageFont;
}

}  // namespace qm
