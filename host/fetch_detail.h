// The platform half of FetchUrlBytes; not part of the host's public face.
#pragma once

#include "host/fetch.h"

namespace qm::host_detail {

inline constexpr char kFetchAgent[] = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
// Redirect chains longer than this are taken for loops.
inline constexpr int kMaxRedirects = 20;

inline FetchResult Failed(FetchProblem problem) {
  return {{}, problem};
}

// `url` is a RequestAddress. An empty body may come with kNone: the caller
// tells an empty answer from a full one.
FetchResult Download(const Text& url, const FetchLimits& limits);

}  // namespace qm::host_detail
