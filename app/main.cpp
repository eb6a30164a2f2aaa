// Start-up and shutdown of Quillmar.exe.
#include <windows.h>
// The Win32 headers below need <windows.h> first.
#include <commctrl.h>
#include <ole2.h>

#include <cstdlib>

#include "app/main_window.h"
#include "app/program.h"
#include "app/update_check.h"
#include "image/gdiplus_support.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  OleInitialize(nullptr);
  qm::PrepareRuntime();
  // Started once for the whole run and never shut down; the decoder shares it.
  qm::EnsureGdiplusStarted();
  qm::RunUpdateCheck();

  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_BAR_CLASSES |
                                                      ICC_LISTVIEW_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);

  qm::MainWindow window;
  int exit_code = 1;
  if (window.Create(instance, show)) {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      if (window.HandleDialogMessage(message)) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    exit_code = static_cast<int>(message.wParam);
  }
  // exit() runs the end routine but skips the destructors of this scope: a
  // run still working on its thread must not be waited for, nor lose the
  // window object it uses, while the process ends.
  std::exit(exit_code);
}
