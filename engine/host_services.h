// The desktop operations the runs need, behind one interface so the tests
// can fake them. The window program and the command-line tool each give the
// engine their own, over the host/ library.
#pragma once

#include <utility>

#include "base/text.h"
#include "host/fetch.h"

namespace qm {

// Fetches and file reads come from several threads at once.
class HostServices {
 public:
  virtual ~HostServices() = default;
  // The response body whatever the status; empty when the request fails.
  virtual Bytes FetchUrlBytes(const Text& url) = 0;
  // The same with the reason when no body came; a host that cannot tell
  // counts every empty body as no answer.
  virtual FetchResult FetchUrl(const Text& url) {
    Bytes body = FetchUrlBytes(url);
    const FetchProblem problem = body.empty() ? FetchProblem::kUnreachable : FetchProblem::kNone;
    return {std::move(body), problem};
  }
  // The whole file; empty when it cannot be read.
  virtual Bytes ReadFileBytes(const Text& path) = 0;
  // Plain ANSI text on the clipboard; false when it could not be placed.
  virtual bool SetClipboardText(const Text& text) = 0;
  // How many fetches may run at once.
  virtual int ConcurrentFetches() const { return 1; }
};

}  // namespace qm
