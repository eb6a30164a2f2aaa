#include "updater/update_source.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "host/fetch.h"
#include "updater/hand_over.h"
#include "updater/manifest_url.h"
#include "updater/release_address.h"

namespace qm {
namespace {

constexpr std::size_t kMaxManifestBytes = 4096;
constexpr std::size_t kMaxVersionDigits = 9;

std::vector<std::string_view> ManifestLines(std::string_view text) {
  if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
  std::vector<std::string_view> lines;
  for (;;) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) return lines;
    text.remove_prefix(end + 1);
  }
}

bool IsVersionNumber(std::string_view text) {
  if (text.empty() || text.size() > kMaxVersionDigits) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// The fetch runs on its own thread so that the deadline holds however the
// server behaves (a trickle of bytes keeps any per-read timeout happy). A
// fetch that misses the deadline is abandoned; it ends by itself, within
// its own limits, and nobody reads its result.
struct PendingFetch {
  std::mutex lock;
  std::condition_variable done_signal;
  bool done = false;
  Bytes body;
};

std::optional<Bytes> FetchWithDeadline(const Text& url, std::chrono::milliseconds deadline) {
  auto pending = std::make_shared<PendingFetch>();
  FetchLimits limits;
  limits.connect_timeout_ms = static_cast<int>(deadline.count());
  limits.stall_timeout_ms = static_cast<int>(deadline.count());
  limits.max_body_bytes = kMaxManifestBytes;
  limits.https_redirects_only = true;
  std::thread([pending, url, limits] {
    Bytes body = FetchUrlBytesWithLimits(url, limits);
    std::lock_guard<std::mutex> guard(pending->lock);
    pending->body = std::move(body);
    pending->done = true;
    pending->done_signal.notify_one();
  }).detach();
  std::unique_lock<std::mutex> guard(pending->lock);
  if (!pending->done_signal.wait_for(guard, deadline, [&] { return pending->done; })) {
    return std::nullopt;
  }
  return std::move(pending->body);
}

}  // namespace

std::optional<UpdateManifest> ParseUpdateManifest(const Bytes& body) {
  if (body.empty() || body.size() > kMaxManifestBytes) return std::nullopt;
  const std::string_view text(reinterpret_cast<const char*>(body.data()), body.size());
  const std::vector<std::string_view> lines = ManifestLines(text);
  if (lines.size() != 2 || !IsVersionNumber(lines[0])) return std::nullopt;
  const Text address(lines[1]);
  if (!ParseReleaseAddress(address)) return std::nullopt;
  return UpdateManifest{Text(lines[0]), address};
}

bool IsNewerVersion(const Text& latest_version) {
  if (!IsVersionNumber(latest_version)) return false;
  return std::stol(latest_version) > kRunningVersion;
}

Text BuiltInManifestUrl() {
  return QM_UPDATE_MANIFEST_URL;
}

ManifestUpdateSource::ManifestUpdateSource(Text manifest_url, std::chrono::milliseconds deadline)
    : manifest_url_(std::move(manifest_url)), deadline_(deadline) {}

const std::optional<UpdateManifest>& ManifestUpdateSource::Manifest() {
  if (!asked_) {
    asked_ = true;
    if (std::optional<Bytes> body = FetchWithDeadline(manifest_url_, deadline_)) {
      manifest_ = ParseUpdateManifest(*body);
    }
  }
  return manifest_;
}

Text ManifestUpdateSource::LatestVersion() {
  const std::optional<UpdateManifest>& manifest = Manifest();
  return manifest ? manifest->latest_version : Text(kRunningVersionText);
}

Text ManifestUpdateSource::DownloadAddress() {
  const std::optional<UpdateManifest>& manifest = Manifest();
  return manifest ? manifest->download_address : Text();
}

}  // namespace qm
