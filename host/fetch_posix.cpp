#include <curl/curl.h>

#include <algorithm>
#include <memory>
#include <mutex>

#include "host/fetch_detail.h"

namespace qm::host_detail {
namespace {

struct EasyCleanup {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListFree {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

struct Sink {
  Bytes body;
  std::size_t limit = 0;
  bool over_limit = false;
};

std::size_t Append(char* data, std::size_t size, std::size_t count, void* user) {
  auto* sink = static_cast<Sink*>(user);
  std::size_t n = size * count;
  if (n > sink->limit - sink->body.size()) {
    sink->over_limit = true;
    return 0;  // aborts the transfer
  }
  sink->body.insert(sink->body.end(), data, data + n);
  return n;
}

// The protocol lists by name came with 7.85.0; every option below is older.
static_assert(LIBCURL_VERSION_NUM >= 0x075500, "libcurl 7.85.0 or later is needed");

// Sets options and remembers whether the library took every one: a library
// that does not know an option (one older at run time than the headers)
// could otherwise download with a limit or a scheme check missing.
class OptionSetter {
 public:
  explicit OptionSetter(CURL* curl) : curl_(curl) {}
  template <typename Value>
  void operator()(CURLoption option, Value value) {
    if (curl_easy_setopt(curl_, option, value) != CURLE_OK) all_taken_ = false;
  }
  bool AllTaken() const { return all_taken_; }

 private:
  CURL* curl_;
  bool all_taken_ = true;
};

// A connection that breaks after part of the body keeps what arrived; a
// timeout, an oversized body or any other failure gives nothing.
FetchProblem ProblemOf(CURLcode code, const Sink& sink) {
  if (sink.over_limit || code == CURLE_FILESIZE_EXCEEDED) return FetchProblem::kTooLarge;
  switch (code) {
    case CURLE_OK:
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
      return FetchProblem::kNone;
    case CURLE_OPERATION_TIMEDOUT:
      return FetchProblem::kTimedOut;
    default:
      return FetchProblem::kUnreachable;
  }
}

}  // namespace

FetchResult Download(const Text& url, const FetchLimits& limits) {
  // curl_global_init is not thread-safe: once for the process, before any
  // download. Each download then has its own easy handle.
  static std::once_flag global_init;
  std::call_once(global_init, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  std::unique_ptr<CURL, EasyCleanup> curl(curl_easy_init());
  if (!curl) return Failed(FetchProblem::kUnreachable);
  std::unique_ptr<curl_slist, ListFree> headers(curl_slist_append(nullptr, "Accept: */*"));
  if (!headers) return Failed(FetchProblem::kUnreachable);
  Sink sink;
  sink.limit = limits.max_body_bytes;
  long stall_seconds = std::max(1L, static_cast<long>((limits.stall_timeout_ms + 999) / 1000));

  OptionSetter set(curl.get());
  set(CURLOPT_URL, url.c_str());
  set(CURLOPT_PATH_AS_IS, 1L);
  set(CURLOPT_PROTOCOLS_STR, "http,https");
  set(CURLOPT_REDIR_PROTOCOLS_STR, limits.https_redirects_only ? "https" : "http,https");
  set(CURLOPT_FOLLOWLOCATION, 1L);
  set(CURLOPT_MAXREDIRS, static_cast<long>(kMaxRedirects));
  set(CURLOPT_USERAGENT, kFetchAgent);
  set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
  set(CURLOPT_HTTPHEADER, headers.get());
  set(CURLOPT_PROXY, "");  // direct, whatever the environment says
  set(CURLOPT_NOSIGNAL, 1L);
  set(CURLOPT_SSL_VERIFYPEER, 1L);
  set(CURLOPT_SSL_VERIFYHOST, 2L);
  set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connect_timeout_ms));
  // A server that drips a byte now and then never stalls; this ends it.
  set(CURLOPT_TIMEOUT_MS, static_cast<long>(limits.total_timeout_ms));
  set(CURLOPT_LOW_SPEED_LIMIT, 1L);
  set(CURLOPT_LOW_SPEED_TIME, stall_seconds);
  // Refuses a declared Content-Length above the limit before reading the body.
  set(CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.max_body_bytes));
  set(CURLOPT_WRITEFUNCTION, Append);
  set(CURLOPT_WRITEDATA, static_cast<void*>(&sink));
  if (!set.AllTaken()) return Failed(FetchProblem::kUnreachable);

  const CURLcode code = curl_easy_perform(curl.get());
  return {std::move(sink.body), ProblemOf(code, sink)};
}

}  // namespace qm::host_detail
