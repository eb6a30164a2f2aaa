// The platform half of FetchUrlBytes; not part of the host's public face.
#pragma once

#include "host/fetch.h"

namespace qm::host_detail {

inline constexpr char kFetchAgent[] = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
// Redirect chains longer than this are taken for loops.
inline constexpr int kMaxRedirects = 20;

// The link as both backends send it: without trailing blanks, and with
// every byte behind the host that is a blank, a control byte or part of a
// two-byte character percent-encoded, so that the request is plain ASCII.
// `link` has no fragment and starts with http:// or https://.
Text RequestUrl(const Text& link);

// `url` is a RequestUrl.
Bytes Download(const Text& url, const FetchLimits& limits);

}  // namespace qm::host_detail
