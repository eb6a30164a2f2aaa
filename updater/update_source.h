// Where the update check learns whether a newer release exists: a small text
// manifest fetched over https, first line the latest version number, second
// line the release's download address.
#pragma once

#include <chrono>
#include <optional>

#include "base/text.h"

namespace qm {

// The two questions the update check asks, in this order; the second only
// when the first said something other than the running version.
class UpdateSource {
 public:
  virtual ~UpdateSource() = default;
  virtual Text LatestVersion() = 0;
  virtual Text DownloadAddress() = 0;
};

struct UpdateManifest {
  Text latest_version;
  Text download_address;
};

// Two lines (LF or CR LF, the last line break optional): one to nine decimal
// digits, then an https release address with its hash. Anything else - an
// error page, a truncated answer, a third line - gives nothing.
std::optional<UpdateManifest> ParseUpdateManifest(const Bytes& body);

// True only for a decimal number (one to nine digits) greater than the
// version this program runs as: anything else, an older or the same
// version included, never hands over.
bool IsNewerVersion(const Text& latest_version);

// The manifest address fixed when the program was built.
Text BuiltInManifestUrl();

inline constexpr std::chrono::milliseconds kManifestDeadline{3000};

// Asks the manifest once, at the first question. A manifest that cannot be
// had within the deadline, or is not well formed, answers the running
// version: start-up must never wait long or hand over by accident.
class ManifestUpdateSource final : public UpdateSource {
 public:
  explicit ManifestUpdateSource(Text manifest_url,
                                std::chrono::milliseconds deadline = kManifestDeadline);
  Text LatestVersion() override;
  Text DownloadAddress() override;

 private:
  const std::optional<UpdateManifest>& Manifest();

  Text manifest_url_;
  std::chrono::milliseconds deadline_;
  bool asked_ = false;
  std::optional<UpdateManifest> manifest_;
};

}  // namespace qm
