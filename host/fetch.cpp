#include "host/fetch.h"

#include "host/fetch_detail.h"

namespace qm {
namespace {}  // namespace

Bytes FetchUrlBytesWithLimits(const Text& url, const FetchLimits& limits) {
  // "#" never occurs inside a GBK character, so a byte search is safe.
  Text link = url.substr(0, url.find('#'));
  if (!StartsWithNoCase(link, "http://") && !StartsWithNoCase(link, "https://")) return {};
  return host_detail::Download(link, limits);
}

Bytes FetchUrlBytes(const Text& url) {
  return FetchUrlBytesWithLimits(url, FetchLimits{});
}

}  // namespace qm
