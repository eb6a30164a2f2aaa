#include "app/platform_host.h"

#include <memory>

#include "host/clipboard.h"
#include "host/fetch.h"
#include "host/files.h"

namespace qm {

Bytes PlatformHost::FetchUrlBytes(const Text& url) {
  return qm::FetchUrlBytes(url);
}
FetchResult PlatformHost::FetchUrl(const Text& url) {
  return qm::FetchUrl(url);
}
Bytes PlatformHost::ReadFileBytes(const Text& path) {
  return qm::ReadFileBytes(path);
}
bool PlatformHost::SetClipboardText(const Text& text) {
  return qm::SetClipboardText(text);
}

int PlatformHost::ConcurrentFetches() const {
  return kConcurrentFetchesPerServer;
}

HostServices& PlatformHostServices() {
  // Never destroyed: closing the window ends the process while a run's
  // threads may still be downloading, and the destructors at exit run before
  // the process stops them.
  static PlatformHost* const host = std::make_unique<PlatformHost>().release();
  return *host;
}

}  // namespace qm
