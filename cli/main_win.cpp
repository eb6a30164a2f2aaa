#include <windows.h>

#include "cli/cli.h"
#include "host/encoding.h"

// Wide arguments, so paths with Chinese names arrive intact on any Windows.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    args.push_back(qm::Utf8FromWide(reinterpret_cast<const char16_t*>(argv[i])));
  }
  return qm::RunCli(args);
}
