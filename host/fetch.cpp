#include "host/fetch.h"

#include <algorithm>

#include "host/fetch_detail.h"

namespace qm {
namespace {

bool NeedsEscape(unsigned char byte) {
  return byte <= ' ' || byte >= 0x7F;
}

void AppendEscaped(Text& out, unsigned char byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += '%';
  out += kHex[byte >> 4];
  out += kHex[byte & 15];
}

}  // namespace

Text RequestAddress(const Text& url) {
  // "#" never occurs inside a GBK character, so a byte search is safe.
  const Text link = url.substr(0, url.find('#'));
  if (!IsWebLink(link)) return {};
  std::size_t end = link.size();
  while (end > 0 && static_cast<unsigned char>(link[end - 1]) <= ' ') --end;
  // The host ends at the first "/" or "?" behind "://".
  const std::size_t host = link.find("://") + 3;
  const std::size_t path = std::min(link.find_first_of("/?", host), end);
  Text out = link.substr(0, path);
  // Character by character: the second byte of a two-byte character may
  // look like ASCII ("\" in 誠, "[" in 癧) and is escaped with the first.
  for (std::size_t i = path; i < end;) {
    const auto byte = static_cast<unsigned char>(link[i]);
    if (!NeedsEscape(byte)) {
      out += static_cast<char>(byte);
      ++i;
      continue;
    }
    const std::size_t stop = std::min(i + CharLength(link, i), end);
    for (; i < stop; ++i) AppendEscaped(out, static_cast<unsigned char>(link[i]));
  }
  return out;
}

FetchResult FetchUrlWithLimits(const Text& url, const FetchLimits& limits) {
  const Text address = RequestAddress(url);
  if (address.empty()) return {{}, FetchProblem::kUnreachable};
  FetchResult result = host_detail::Download(address, limits);
  if (result.problem != FetchProblem::kNone) result.body.clear();
  if (result.problem == FetchProblem::kNone && result.body.empty()) {
    result.problem = FetchProblem::kEmpty;
  }
  return result;
}

FetchResult FetchUrl(const Text& url) {
  return FetchUrlWithLimits(url, FetchLimits{});
}

Bytes FetchUrlBytesWithLimits(const Text& url, const FetchLimits& limits) {
  return FetchUrlWithLimits(url, limits).body;
}

Bytes FetchUrlBytes(const Text& url) {
  return FetchUrl(url).body;
}

}  // namespace qm
