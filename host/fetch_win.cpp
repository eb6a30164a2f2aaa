#include <windows.h>
// After windows.h:
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "host/encoding.h"
#include "host/fetch_detail.h"
#include "host/win32/handle.h"
#include "host/win32/wide_text.h"

namespace qm::host_detail {
namespace {

constexpr DWORD kCappedBuffer = 102'400;
constexpr DWORD kDefaultBuffer = 10'240;

struct InternetCloser {
  void operator()(HINTERNET handle) const { InternetCloseHandle(handle); }
};
using InternetHandle = std::unique_ptr<void, InternetCloser>;

// Every download is asynchronous, so that no call of the library can hold
// it past its limits: a synchronous read waits until all the bytes asked
// for arrive, however slowly a server drips them, and reading the headers
// has no limit of its own at all. A call either ends at once or reports
// ERROR_IO_PENDING and ends later through OnStatus; the download waits for
// that at most as long as its limits leave, and otherwise closes the
// request, which the library allows for a call that is pending. The
// library's own timeouts stay set as well, but they may fire seconds late.
//
// What a request's calls report to, kept alive by the request handle until
// the library says it is closing, so that a call ending after the download
// gave up still finds it.
struct RequestState {
  UniqueHandle ended{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  INTERNET_ASYNC_RESULT result{};
  // Where calls that end later put what they give.
  std::unique_ptr<std::uint8_t[]> buffer;
  DWORD got = 0;
  DWORD available = 0;
  // The shortest of the library's own timeouts set for the request.
  DWORD library_timeout_ms = INFINITE;
};
using StateShare = std::shared_ptr<RequestState>;

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, void* info, DWORD) {
  if (context == 0) return;
  auto* share = reinterpret_cast<StateShare*>(context);
  if (status == INTERNET_STATUS_REQUEST_COMPLETE) {
    (*share)->result = *static_cast<const INTERNET_ASYNC_RESULT*>(info);
    SetEvent((*share)->ended.get());
  } else if (status == INTERNET_STATUS_HANDLE_CLOSING) {
    // The last report for the handle: its share of the state ends.
    std::unique_ptr<StateShare> ended(share);
  }
}

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
// Two threads may race to open it; the loser closes its spare. Handles
// derived from it inherit its callback.
HINTERNET RootHandle() {
  static std::atomic<HINTERNET> root{nullptr};
  if (HINTERNET existing = root.load()) return existing;
  AllowConcurrentFetches();
  std::wstring agent = WideString(kFetchAgent);
  HINTERNET opened = InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr,
                                   INTERNET_FLAG_ASYNC);
  if (!opened) return nullptr;
  if (InternetSetStatusCallbackW(opened, OnStatus) == INTERNET_INVALID_STATUS_CALLBACK) {
    InternetCloseHandle(opened);
    return nullptr;
  }
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

// The end of a download's total time. The library knows only per-step
// timeouts, so each step gets its own limit or what is left, whichever is
// less.
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

enum class Outcome { kDone, kFailed, kTimedOut };

// Makes a call of the library for the request and gives its error, taken
// at once (ERROR_SUCCESS when it ended well at once). A report left from
// an earlier call cannot be taken for this call's.
template <typename Call>
DWORD Start(RequestState& state, Call&& call) {
  ResetEvent(state.ended.get());
  return call() ? ERROR_SUCCESS : GetLastError();
}

Outcome FailureOf(DWORD error) {
  return error == ERROR_INTERNET_TIMEOUT || error == WSAETIMEDOUT ? Outcome::kTimedOut
                                                                  : Outcome::kFailed;
}

// How a call that ended with `error` ended: at once, or later within
// `wait_ms`. The library's own timeouts count as timeouts too, also where
// it reports one as a broken connection, as Wine does: a call that fails
// no sooner than the library's shortest timeout timed out. The wait starts
// a little after the library's clock, hence the slack.
Outcome Await(DWORD error, RequestState& state, DWORD wait_ms) {
  constexpr ULONGLONG kClockSlackMs = 50;
  if (error == ERROR_SUCCESS) return Outcome::kDone;
  if (error != ERROR_IO_PENDING) return FailureOf(error);
  const ULONGLONG start = GetTickCount64();
  if (WaitForSingleObject(state.ended.get(), wait_ms) != WAIT_OBJECT_0) return Outcome::kTimedOut;
  if (state.result.dwResult) return Outcome::kDone;
  if (GetTickCount64() - start + kClockSlackMs >= state.library_timeout_ms) {
    return Outcome::kTimedOut;
  }
  return FailureOf(state.result.dwError);
}

// The body as it arrives: only the bytes the library holds already are
// read, so no read waits for more; the waits are the library's reports
// that more arrived, each at most the stall limit or the time left. A
// stall, the end of the total time or an oversized body gives nothing; a
// connection that breaks keeps what arrived.
FetchResult ReadBody(HINTERNET request, RequestState& state, std::uint64_t length,
                     const FetchLimits& limits, const Deadline& deadline) {
  const DWORD chunk = length > 0
                          ? static_cast<DWORD>(std::min<std::uint64_t>(length + 1, kCappedBuffer))
                          : kDefaultBuffer;
  state.buffer = std::make_unique<std::uint8_t[]>(chunk);
  Bytes body;
  for (;;) {
    if (deadline.Passed()) return Failed(FetchProblem::kTimedOut);
    state.available = 0;
    const DWORD asking =
        Start(state, [&] { return InternetQueryDataAvailable(request, &state.available, 0, 0); });
    const Outcome asked = Await(asking, state, deadline.Within(limits.stall_timeout_ms));
    if (asked == Outcome::kTimedOut) return Failed(FetchProblem::kTimedOut);
    if (asked == Outcome::kFailed) break;
    // Ended later: the bytes are there now, and asking again says how many.
    if (asking != ERROR_SUCCESS) continue;
    if (state.available == 0) break;
    state.got = 0;
    const DWORD read = Start(state, [&] {
      return InternetReadFile(request, state.buffer.get(), std::min(state.available, chunk),
                              &state.got);
    });
    const Outcome reading = Await(read, state, deadline.Within(limits.stall_timeout_ms));
    if (reading == Outcome::kTimedOut) return Failed(FetchProblem::kTimedOut);
    if (reading == Outcome::kFailed || state.got == 0) break;
    if (state.got > limits.max_body_bytes - body.size()) return Failed(FetchProblem::kTooLarge);
    body.insert(body.end(), state.buffer.get(), state.buffer.get() + state.got);
  }
  return {std::move(body), FetchProblem::kNone};
}

struct Hop {
  FetchResult result;  // what the hop gave, unless it redirected
  std::wstring next;   // set when the server redirected
};

Hop Failing(FetchProblem problem) {
  return {Failed(problem), {}};
}

// A request handle whose calls report to its own state. The handle holds
// a share of the state from its opening to its closing report.
struct OpenedRequest {
  StateShare state = std::make_shared<RequestState>();
  InternetHandle handle;
};

OpenedRequest OpenRequest(HINTERNET connection, const std::wstring& object, DWORD flags) {
  OpenedRequest opened;
  if (!opened.state->ended) return opened;
  auto share = std::make_unique<StateShare>(opened.state);
  opened.handle.reset(HttpOpenRequestW(connection, L"GET", object.c_str(), L"HTTP/1.0", nullptr,
                                       nullptr, flags, reinterpret_cast<DWORD_PTR>(share.get())));
  if (opened.handle) share.release();
  return opened;
}

Hop Request(HINTERNET root, const std::wstring& url, const FetchLimits& limits,
            const Deadline& deadline) {
  UrlParts parts;
  if (!SplitUrl(url, parts)) return Failing(FetchProblem::kUnreachable);
  InternetHandle connection(InternetConnectW(
      root, parts.host.c_str(), parts.port, parts.user.empty() ? nullptr : parts.user.c_str(),
      parts.password.empty() ? nullptr : parts.password.c_str(), INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection) return Failing(FetchProblem::kUnreachable);
  // Redirects are followed here rather than by the library, so that each
  // hop gets the same scheme check and limits.
  DWORD flags =
      INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT;
  if (parts.secure) flags |= INTERNET_FLAG_SECURE;
  OpenedRequest opened = OpenRequest(connection.get(), parts.object, flags);
  HINTERNET request = opened.handle.get();
  if (!request) return Failing(FetchProblem::kUnreachable);
  const DWORD connect_ms = deadline.Within(limits.connect_timeout_ms);
  const DWORD stall_ms = deadline.Within(limits.stall_timeout_ms);
  SetTimeout(request, INTERNET_OPTION_CONNECT_TIMEOUT, connect_ms);
  SetTimeout(request, INTERNET_OPTION_SEND_TIMEOUT, stall_ms);
  SetTimeout(request, INTERNET_OPTION_RECEIVE_TIMEOUT, stall_ms);
  opened.state->library_timeout_ms = std::min(connect_ms, stall_ms);
  // Connecting, sending and the response headers, however slowly they come.
  static constexpr wchar_t kHeaders[] = L"Accept: */*\r\n\r\n";
  const DWORD sent = Start(*opened.state, [&] {
    return HttpSendRequestW(request, kHeaders, static_cast<DWORD>(-1), nullptr, 0);
  });
  switch (Await(sent, *opened.state, deadline.Within(limits.total_timeout_ms))) {
    case Outcome::kDone:
      break;
    case Outcome::kTimedOut:
      return Failing(FetchProblem::kTimedOut);
    case Outcome::kFailed:
      return Failing(FetchProblem::kUnreachable);
  }

  // Refused before any body is read, also on a redirect, as the other
  // platform's library does.
  const std::uint64_t length = DeclaredLength(request);
  if (length > limits.max_body_bytes) return Failing(FetchProblem::kTooLarge);
  if (IsRedirect(QueryNumber(request, HTTP_QUERY_STATUS_CODE))) {
    std::wstring location = QueryText(request, HTTP_QUERY_LOCATION);
    if (!location.empty()) {
      std::wstring next = ResolveLocation(url, location);
      if (next.empty()) return Failing(FetchProblem::kUnreachable);
      return {{}, std::move(next)};
    }
  }
  return {ReadBody(request, *opened.state, length, limits, deadline), {}};
}

bool IsHttps(const std::wstring& url) {
  return StartsWithNoCase(GbkString(url), "https://");
}

}  // namespace

FetchResult Download(const Text& url, const FetchLimits& limits) {
  HINTERNET root = RootHandle();
  if (!root) return Failed(FetchProblem::kUnreachable);
  const Deadline deadline(limits.total_timeout_ms);
  // `url` is plain ASCII, so no code page can change it on its way out.
  std::wstring current = WideString(url);
  for (int hop = 0; hop <= kMaxRedirects; ++hop) {
    if (deadline.Passed()) return Failed(FetchProblem::kTimedOut);
    Hop result = Request(root, current, limits, deadline);
    if (result.next.empty()) return std::move(result.result);
    if (limits.https_redirects_only && !IsHttps(result.next)) {
      return Failed(FetchProblem::kUnreachable);
    }
    current = std::move(result.next);
  }
  return Failed(FetchProblem::kUnreachable);
}

}  // namespace qm::host_detail
