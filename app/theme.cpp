#include "app/theme.h"

#include <string>

#include "app/controls.h"
#include "app/dpi.h"
#include "host/win32/gdi.h"

namespace qm {
namespace {

constexpr UINT_PTR kEditFrameSubclass = 0x5141'0001;
constexpr UINT_PTR kGroupPaintSubclass = 0x5141'0002;
// One pixel at every DPI, as the system's own control borders are.
constexpr int kEditFrameWidth = 1;

void FrameInThemeColour(HDC dc, const RECT& rect) {
  Brush brush(CreateSolidBrush(kThemeFrameColour));
  FrameRect(dc, &rect, brush.Get());
}

// The border of an edit box is the theme's own one-pixel ring outside the
// client area and the scroll bar. A WS_BORDER edit box cannot be used: it
// gives up its non-client border and draws one inside its client area with
// every WM_PAINT, and its scroll bar then reaches the window's edge and is
// redrawn over any frame there whenever it scrolls.
LRESULT CALLBACK EditFrameProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                               DWORD_PTR) {
  switch (message) {
    case WM_NCDESTROY:
      RemoveWindowSubclass(window, EditFrameProc, kEditFrameSubclass);
      break;
    case WM_NCCALCSIZE: {
      // The default takes off the scroll bar, which sits beside the client
      // area; both move inside the ring.
      const LRESULT result = DefSubclassProc(window, message, wparam, lparam);
      InflateRect(reinterpret_cast<RECT*>(lparam), -kEditFrameWidth, -kEditFrameWidth);
      return result;
    }
    case WM_NCPAINT: {
      const LRESULT result = DefSubclassProc(window, message, wparam, lparam);
      WindowDc dc(window, nullptr, DCX_WINDOW | DCX_CACHE);
      if (!dc.Get()) return result;
      RECT rect;
      GetWindowRect(window, &rect);
      OffsetRect(&rect, -rect.left, -rect.top);
      FrameInThemeColour(dc.Get(), rect);
      return result;
    }
    default:
      break;
  }
  return DefSubclassProc(window, message, wparam, lparam);
}

void PaintGroupBox(HWND window, HDC dc) {
  RECT client;
  GetClientRect(window, &client);
  FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));

  const auto font = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
  SelectedObject selected_font(
      dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);

  // The frame runs through the middle of the caption's line, as a system
  // group box's does.
  RECT frame = client;
  frame.top += metrics.tmHeight / 2;
  FrameInThemeColour(dc, frame);

  const std::wstring caption = WindowText(window);
  if (caption.empty()) return;
  const int indent = Scale(8, WindowDpi(window));
  RECT text{client.left + indent, client.top, client.right - indent, client.top + metrics.tmHeight};
  SetBkMode(dc, OPAQUE);
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  // A space either side keeps the frame line off the caption's letters.
  const std::wstring padded = L" " + caption + L" ";
  DrawTextW(dc, padded.c_str(), static_cast<int>(padded.size()), &text,
            DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
}

LRESULT CALLBACK GroupPaintProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                DWORD_PTR) {
  switch (message) {
    case WM_NCDESTROY:
      RemoveWindowSubclass(window, GroupPaintProc, kGroupPaintSubclass);
      break;
    case WM_ERASEBKGND:
      return 1;  // painted whole in WM_PAINT, without flicker
    case WM_PAINT: {
      PaintDc dc(window);
      PaintGroupBox(window, dc.Get());
      return 0;
    }
    case WM_PRINTCLIENT:
      // Themed children ask for their parent's background this way.
      PaintGroupBox(window, reinterpret_cast<HDC>(wparam));
      return 0;
    case WM_SETTEXT: {
      // The system group box paints the new caption at once, outside
      // WM_PAINT; repaint it in the theme instead.
      const LRESULT result = DefSubclassProc(window, message, wparam, lparam);
      InvalidateRect(window, nullptr, TRUE);
      return result;
    }
    default:
      break;
  }
  return DefSubclassProc(window, message, wparam, lparam);
}

}  // namespace

void InstallEditFrame(HWND edit) {
  SetWindowSubclass(edit, EditFrameProc, kEditFrameSubclass, 0);
  // The ring takes its place now, whatever size the box already has.
  SetWindowPos(edit, nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void InstallGroupBoxPainting(HWND group_box) {
  SetWindowSubclass(group_box, GroupPaintProc, kGroupPaintSubclass, 0);
}

LRESULT PushButtonCustomDraw(const NMCUSTOMDRAW& draw) {
  if (draw.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYPOSTPAINT;
  if (draw.dwDrawStage == CDDS_POSTPAINT) FrameInThemeColour(draw.hdc, draw.rc);
  return CDRF_DODEFAULT;
}

}  // namespace qm
