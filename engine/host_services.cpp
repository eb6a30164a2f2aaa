#include "engine/host_services.h"

#include "host/clipboard.h"
#include "host/fetch.h"
#include "host/files.h"

namespace qm {

Bytes PlatformHost::FetchUrlBytes(const Text& url) {
  return qm::FetchUrlBytes(url);
}
Bytes PlatformHost::ReadFileBytes(const Text& path) {
  return qm::ReadFileBytes(path);
}
bool PlatformHost::SetClipboardText(const Text& text) {
  return qm::SetClipboardText(text);
}

HostServices& PlatformHostServices() {
  static PlatformHost host;
  return host;
}

}  // namespace qm
