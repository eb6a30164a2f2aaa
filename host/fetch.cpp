#include "host/fetch.h"

#include <algorithm>

#include "host/fetch_detail.h"

namespace qm {
namespace host_detail {
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

Text RequestUrl(const Text& link) {
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

}  // namespace host_detail

Bytes FetchUrlBytesWithLimits(const Text& url, const FetchLimits& limits) {
  // "#" never occurs inside a GBK character, so a byte search is safe.
  Text link = url.substr(0, url.find('#'));
  if (!IsWebLink(link)) return {};
  return host_detail::Download(host_detail::RequestUrl(link), limits);
}

Bytes FetchUrlBytes(const Text& url) {
  return FetchUrlBytesWithLimits(url, FetchLimits{});
}

}  // namespace qm
