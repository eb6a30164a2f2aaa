// Downloading a link's body. Nothing here throws or shows anything: a
// download that fails gives empty bytes, and says why.
#pragma once

#include <cstddef>

#include "base/text.h"

namespace qm {

// Downloads from one server at once, as a browser allows itself: the smart
// run keeps this many going, and the Windows session is opened to allow it.
inline constexpr int kConcurrentFetchesPerServer = 6;

// The bounds every download keeps. The defaults are the ones FetchUrlBytes
// uses; tests pass smaller ones so that a stalled server costs a second, not
// half a minute.
struct FetchLimits {
  int connect_timeout_ms = 15'000;                     // the server must accept within this
  int stall_timeout_ms = 30'000;                       // longest wait for the next byte
  int total_timeout_ms = 60'000;                       // the whole download, redirects included
  std::size_t max_body_bytes = std::size_t{64} << 20;  // also the largest Content-Length taken
  // For downloads that must stay on https: a redirect to any other scheme
  // (plain http included) gives empty bytes. The first address is the
  // caller's to check.
  bool https_redirects_only = false;
};

// Why a download gave no body.
enum class FetchProblem {
  kNone,         // a body arrived
  kUnreachable,  // no answer: no such host, refused, broken off, no web address
  kTimedOut,     // the server did not answer or send within the limits
  kEmpty,        // an answer without a body
  kTooLarge,     // a body (or a declared Content-Length) beyond the body limit
};

struct FetchResult {
  Bytes body;  // empty unless the problem is kNone
  FetchProblem problem = FetchProblem::kNone;
};

// The address a download of `url` asks for, plain ASCII: without the
// fragment and trailing blanks, and behind the host with every blank,
// control byte and byte of a two-byte character percent-encoded (the GBK
// bytes, whatever the system's code page). Empty when `url` is no http or
// https address.
Text RequestAddress(const Text& url);

// HTTP or HTTPS GET of `url`; the result is the response body whatever the
// status code (a 404 page is returned as it is). The fragment ("#" onwards)
// and blanks at the end are cut off and the rest is sent as RequestAddress
// writes it. Redirects are followed, but only to http and https: any other
// scheme, also after a redirect, gives empty bytes, so a link can never read
// a local file. TLS certificates are verified. A timeout, a download that
// outlasts its total limit, or a body (or a declared Content-Length) larger
// than the limit gives empty bytes; a connection that drops part-way gives
// the bytes that arrived. Safe to call from several threads at once.
Bytes FetchUrlBytes(const Text& url);

// FetchUrlBytes with the reason when no body came.
FetchResult FetchUrl(const Text& url);

// Both with explicit limits.
FetchResult FetchUrlWithLimits(const Text& url, const FetchLimits& limits);
Bytes FetchUrlBytesWithLimits(const Text& url, const FetchLimits& limits);

}  // namespace qm
