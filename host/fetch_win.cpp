#include <windows.h>
// After windows.h:
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
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

// The end of a download's total time. WinINet knows only per-step
// timeouts, so each step gets its own limit or what is left, whichever is
// less, and the body loop checks the clock after every read.
class Deadline {
 public:
  explicit Deadline(int ms) : end_(Clock::now() + std::chrono::milliseconds(ms)) {}

  bool Passed() const { return Clock::now() >= end_; }
  // Never 0, which WinINet would take for "no limit".
  DWORD Within(int limit_ms) const {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end_ - Clock::now()).count();
    return static_cast<DWORD>(std::max<long long>(1, std::min<long long>(limit_ms, left)));
  }

 private:
  using Clock = std::chrono::steady_clock;
  Clock::time_point end_;
};

void SetTimeout(HINTERNET handle, DWORD option, DWORD ms) {
  InternetSetOptionW(handle, option, &ms, sizeof ms);
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

// The Content-Length as sent, read as text: the library's number form
// holds only 32 bits. Absent or not a number gives 0, as no length.
std::uint64_t DeclaredLength(HINTERNET request) {
  const std::wstring text = QueryText(request, HTTP_QUERY_CONTENT_LENGTH);
  std::uint64_t length = 0;
  for (wchar_t c : text) {
    if (c == L' ') continue;
    if (c < L'0' || c > L'9') return 0;
    if (length > (UINT64_MAX - 9) / 10) return UINT64_MAX;
    length = length * 10 + static_cast<std::uint64_t>(c - L'0');
  }
  return length;
}

// The body in chunks sized from Content-Length. A timeout, the end of the
// total time or an oversized body gives nothing; any other broken read
// keeps what arrived.
std::optional<Bytes> ReadBody(HINTERNET request, std::uint64_t length, const FetchLimits& limits,
                              const Deadline& deadline) {
  DWORD chunk = length > 0 ? static_cast<DWORD>(std::min<std::uint64_t>(length + 1, kCappedBuffer))
                           : kDefaultBuffer;
  std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[chunk]);
  Bytes body;
  for (;;) {
    SetTimeout(request, INTERNET_OPTION_RECEIVE_TIMEOUT, deadline.Within(limits.stall_timeout_ms));
    DWORD got = 0;
    const bool read = InternetReadFile(request, buffer.get(), chunk, &got);
    if (deadline.Passed()) return std::nullopt;
    if (!read) {
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

Hop Request(HINTERNET root, const std::wstring& url, const FetchLimits& limits,
            const Deadline& deadline) {
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
  SetTimeout(request.get(), INTERNET_OPTION_CONNECT_TIMEOUT,
             deadline.Within(limits.connect_timeout_ms));
  SetTimeout(request.get(), INTERNET_OPTION_SEND_TIMEOUT, deadline.Within(limits.stall_timeout_ms));
  SetTimeout(request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT,
             deadline.Within(limits.stall_timeout_ms));
  static constexpr wchar_t kHeaders[] = L"Accept: */*\r\n\r\n";
  if (!HttpSendRequestW(request.get(), kHeaders, static_cast<DWORD>(-1), nullptr, 0)) return {};
  if (deadline.Passed()) return {};

  // Refused before any body is read, also on a redirect, as the other
  // platform's library does.
  const std::uint64_t length = DeclaredLength(request.get());
  if (length > limits.max_body_bytes) return Hop{Bytes{}, {}};
  if (IsRedirect(QueryNumber(request.get(), HTTP_QUERY_STATUS_CODE))) {
    std::wstring location = QueryText(request.get(), HTTP_QUERY_LOCATION);
    if (!location.empty()) return Hop{std::nullopt, ResolveLocation(url, location)};
  }
  std::optional<Bytes> body = ReadBody(request.get(), length, limits, deadline);
  return Hop{body ? std::move(body) : Bytes{}, {}};
}

bool IsHttps(const std::wstring& url) {
  return StartsWithNoCase(GbkString(url), "https://");
}

}  // namespace

Bytes Download(const Text& url, const FetchLimits& limits) {
  HINTERNET root = RootHandle();
  if (!root) return {};
  const Deadline deadline(limits.total_timeout_ms);
  // `url` is plain ASCII, so no code page can change it on its way out.
  std::wstring current = WideString(url);
  for (int hop = 0; hop <= kMaxRedirects; ++hop) {
    if (deadline.Passed()) return {};
    Hop result = Request(root, current, limits, deadline);
    if (result.body) return std::move(*result.body);
    if (result.next.empty()) return {};
    if (limits.https_redirects_only && !IsHttps(result.next)) return {};
    current = std::move(result.next);
  }
  return {};
}

}  // namespace qm::host_detail
