// Asks for more memory than any machine has, through the program's own
// allocation functions; the fatal-error box must come up and the process
// end with exit code -1. The size arrives on the command line.
#include <windows.h>

#include <cstdint>
#include <cwchar>
#include <new>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR command_line, int) {
  const std::size_t size = std::wcstoull(command_line, nullptr, 10);
  // Called by name: an allocation in a new-expression whose result goes
  // unused may be left out by the compiler.
  void* block = ::operator new[](size);
  return 2 + static_cast<int>(reinterpret_cast<std::uintptr_t>(block) & 1);  // never reached
}
