#include <windows.h>
// After windows.h:
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "host/encoding.h"
#include "host/fetch_detail.h"
#include "host/win32/wide_text.h"

namespace qm::host_detail {
namespace {

constexpr DWORD kCappedBuffer = 102'400;
constexpr DWORD kDefaultBuffer = 10'240;

struct InternetCloser {
  void operator()(HINTERNET handle) const { InternetCloseHandle(handle); }
};
using InternetHandle = std::unique_ptr<void, InternetCloser>;

// The library holds back requests beyond 4 to one HTTP/1.0 server and 2 to
// an HTTP/1.1 one until earlier ones finish; our requests are HTTP/1.0 and
// the smart run keeps kConcurrentFetchesPerServer going. The limits are
// process-wide (set on no handle) and count only when set before the first
// connection.
void AllowConcurrentFetches() {
  DWORD connections = kConcurrentFetchesPerServer;
  InternetSetOptionW(nullptr, INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, &connections,
                     sizeof connections);
  InternetSetOptionW(nullptr, INTERNET_OPTION_MAX_CONNS_PER_SERVER, &connections,
                     sizeof connections);
}

// One root handle for the process, opened by the first download and kept.
// Two threads may race to open it; the loser closes its spare.
HINTERNET RootHandle() {
  static std::atomic<HINTERNET> root{nullptr};
  if (HINTERNET existing = root.load()) return existing;
  AllowConcurrentFetches();
  std::wstring agent = WideString(kFetchAgent);
  HINTERNET opened = InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  if (!opened) return nullptr;
  HINTERNET expected = nullptr;
  if (!root.compare_exchange_strong(expected, opened)) {
    InternetCloseHandle(opened);
    return expected;
  }
  return opened;
}

struct UrlParts {
  bool secure = false;
  INTERNET_PORT port = 0;
  std::wstring host, user, password, object;
};

// Splits without decoding or escaping anything; only http and https pass.
bool SplitUrl(const std::wstring& url, UrlParts& parts) {
  URL_COMPONENTSW c{};
  c.dwStructSize = sizeof c;
  c.dwHostNameLength = c.dwUserNameLength = c.dwPasswordLength = 1;
  c.dwUrlPathLength = c.dwExtraInfoLength = c.dwSchemeLength = 1;
  if (!InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &c)) return false;
  if (c.nScheme != INTERNET_SCHEME_HTTP && c.nScheme != INTERNET_SCHEME_HTTPS) return false;
  if (!c.lpszHostName || c.dwHostNameLength == 0) return false;
  auto take = [](const wchar_t* text, DWORD length) {
    return text ? std::wstring(text, length) : std::wstring();
  };
  parts.secure = c.nScheme == INTERNET_SCHEME_HTTPS;
  parts.port = c.nPort;
  parts.host = take(c.lpszHostName, c.dwHostNameLength);
  parts.user = take(c.lpszUserName, c.dwUserNameLength);
  parts.password = take(c.lpszPassword, c.dwPasswordLength);
  parts.object =
      take(c.lpszUrlPath, c.dwUrlPathLength) + take(c.lpszExtraInfo, c.dwExtraInfoLength);
  if (parts.object.empty()) parts.object = L"/";
  return true;
}

void SetTimeout(HINTERNET handle, DWORD option, int ms) {
  DWORD value = static_cast<DWORD>(ms);
  InternetSetOptionW(handle, option, &value, sizeof value);
}

DWORD QueryNumber(HINTERNET request, DWORD what) {
  DWORD value = 0;
  DWORD size = sizeof value;
  if (!HttpQueryInfoW(request, what | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr)) return 0;
  return value;
}

std::wstring QueryText(HINTERNET request, DWORD what) {
  DWORD size = 0;
  HttpQueryInfoW(request, what, nullptr, &size, nullptr);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return {};
  std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (!HttpQueryInfoW(request, what, text.data(), &size, nullptr)) return {};
  text.resize(size / sizeof(wchar_t));
  return text;
}

bool IsRedirect(DWORD status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::wstring ResolveLocation(const std::wstring& base, std::wstring location) {
  location = location.substr(0, location.find(L'#'));
  DWORD size = 0;
  InternetCombineUrlW(base.c_str(), location.c_str(), nullptr, &size, ICU_NO_ENCODE);
  if (size == 0) return {};
  std::wstring combined(size + 1, L'\0');
  size = static_cast<DWORD>(combined.size());
  if (!InternetCombineUrlW(base.c_str(), location.c_str(), combined.data(), &size, ICU_NO_ENCODE)) {
    return {};
  }
  combined.resize(size);
  return combined;
}

bool IsTimeout(DWORD error) {
  return error == ERROR_INTERNET_TIMEOUT || error == WSAETIMEDOUT;
}

// The body in chunks sized from Content-Length. A timeout or an oversized
// body gives nothing; any other broken read keeps what arrived.
std::optional<Bytes> ReadBody(HINTERNET request, const FetchLimits& limits) {
  DWORD length = QueryNumber(request, HTTP_QUERY_CONTENT_LENGTH);
  DWORD chunk = length > 0 ? std::min<DWORD>(length + 1, kCappedBuffer) : kDefaultBuffer;
  std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[chunk]);
  Bytes body;
  for (;;) {
    DWORD got = 0;
    if (!InternetReadFile(request, buffer.get(), chunk, &got)) {
      if (IsTimeout(GetLastError())) return std::nullopt;
      break;
    }
    if (got == 0) break;
    if (got > limits.max_body_bytes - body.size()) return std::nullopt;
    body.insert(body.end(), buffer.get(), buffer.get() + got);
  }
  return body;
}

struct Hop {
  std::optional<Bytes> body;  // set when the hop produced the result
  std::wstring next;          // set when the server redirected
};

Hop Request(HINTERNET root, const std::wstring& url, const FetchLimits& limits) {
  UrlParts parts;
  if (!SplitUrl(url, parts)) return {};
  InternetHandle connection(InternetConnectW(
      root, parts.host.c_str(), parts.port, parts.user.empty() ? nullptr : parts.user.c_str(),
      parts.password.empty() ? nullptr : parts.password.c_str(), INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection) return {};
  // Redirects are followed here rather than by the library, so that each
  // hop gets the same scheme check and limits.
  DWORD flags =
      INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT;
  if (parts.secure) flags |= INTERNET_FLAG_SECURE;
  InternetHandle request(HttpOpenRequestW(connection.get(), L"GET", parts.object.c_str(),
                                          L"HTTP/1.0", nullptr, nullptr, flags, 0));
  if (!request) return {};
  SetTimeout(request.get(), INTERNET_OPTION_CONNECT_TIMEOUT, limits.connect_timeout_ms);
  SetTimeout(request.get(), INTERNET_OPTION_SEND_TIMEOUT, limits.stall_timeout_ms);
  SetTimeout(request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, limits.stall_timeout_ms);
  static constexpr wchar_t kHeaders[] = L"Accept: */*\r\n\r\n";
  if (!HttpSendRequestW(request.get(), kHeaders, static_cast<DWORD>(-1), nullptr, 0)) return {};

  if (IsRedirect(QueryNumber(request.get(), HTTP_QUERY_STATUS_CODE))) {
    std::wstring location = QueryText(request.get(), HTTP_QUERY_LOCATION);
    if (!location.empty()) return Hop{std::nullopt, ResolveLocation(url, location)};
  }
  std::optional<Bytes> body = ReadBody(request.get(), limits);
  return Hop{body ? std::move(body) : Bytes{}, {}};
}

bool IsHttps(const std::wstring& url) {
  return StartsWithNoCase(GbkString(url), "https://");
}

}  // namespace

Bytes Download(const Text& url, const FetchLimits& limits) {
  HINTERNET root = RootHandle();
  if (!root) return {};
  std::wstring current = WideString(url);
  for (int hop = 0; hop <= kMaxRedirects; ++hop) {
    Hop result = Request(root, current, limits);
    if (result.body) return std::move(*result.body);
    if (result.next.empty()) return {};
    if (limits.https_redirects_only && !IsHttps(result.next)) return {};
    current = std::move(result.next);
  }
  return {};
}

}  // namespace qm::host_detail
