#include "host/fetch.h"

#include "host/fetch_detail.h"

namespace qm {
namespace {

bool StartsWithNoCase(const Text& text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

}  // namespace

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
