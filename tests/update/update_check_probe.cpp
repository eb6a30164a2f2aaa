// Runs the start-up update check for the folder and manifest address given
// on the command line, as the program would; exit code 3 stands for "the
// main window would open now".
#include <windows.h>
// After windows.h:
#include <shellapi.h>

#include "app/update_check.h"
#include "host/encoding.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!arguments || count != 3) return 2;
  auto gbk = [](const wchar_t* wide) {
    const std::wstring text(wide);
    return qm::GbkFromWide(std::u16string(text.begin(), text.end()));
  };
  qm::RunUpdateCheck(gbk(arguments[1]), gbk(arguments[2]));
  return 3;
}
