// The window program's host services: the host/ library behind the engine's
// seam.
#pragma once

#include "engine/host_services.h"

namespace qm {

class PlatformHost : public HostServices {
 public:
  Bytes FetchUrlBytes(const Text& url) override;
  FetchResult FetchUrl(const Text& url) override;
  Bytes ReadFileBytes(const Text& path) override;
  bool SetClipboardText(const Text& text) override;
  int ConcurrentFetches() const override;
};

// The one instance, which lives as long as the process.
HostServices& PlatformHostServices();

}  // namespace qm
