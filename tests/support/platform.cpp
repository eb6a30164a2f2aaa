#include "support/platform.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace qm::test {

bool RunningUnderWine() {
#ifdef _WIN32
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
#else
  return false;
#endif
}

}  // namespace qm::test
