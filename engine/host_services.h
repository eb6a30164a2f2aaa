// The desktop operations the runs need, behind one interface so the tests
// can fake them. PlatformHostServices() forwards to the host/ library.
#pragma once

#include "base/text.h"

namespace qm {

// Fetches and file reads come from several threads at once.
class HostServices {
 public:
  virtual ~HostServices() = default;
  // The response body whatever the status; empty when the request fails.
  virtual Bytes FetchUrlBytes(const Text& url) = 0;
  // The whole file; empty when it cannot be read.
  virtual Bytes ReadFileBytes(const Text& path) = 0;
  // Plain ANSI text on the clipboard; false when it could not be placed.
  virtual bool SetClipboardText(const Text& text) = 0;
  // How many fetches may run at once.
  virtual int ConcurrentFetches() const { return 1; }
};

// The real services of the host/ library.
class PlatformHost : public HostServices {
 public:
  Bytes FetchUrlBytes(const Text& url) override;
  Bytes ReadFileBytes(const Text& path) override;
  bool SetClipboardText(const Text& text) override;
  int ConcurrentFetches() const override;
};

HostServices& PlatformHostServices();

}  // namespace qm
