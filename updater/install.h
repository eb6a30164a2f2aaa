// Fetching, checking and putting in place a new release of Quillmar.exe.
#pragma once

#include "base/text.h"
#include "host/fetch.h"
#include "updater/release_address.h"

namespace qm {

struct InstallOptions {
  SchemeRule scheme = SchemeRule::kHttpsOnly;
  // Every redirect must stay on https, whatever these say.
  FetchLimits limits{30'000, 60'000, std::size_t{256} << 20};
  // How long the installed program may take to let go of its file.
  int replace_patience_ms = 15'000;
};

// Downloads the release named by `address` to kDownloadFile in `folder`
// and, only when it arrived whole and its SHA-256 is the one the address
// names, replaces kProgramFile there with it (updater/hand_over.h). The installed file
// is kept aside until the new one is in place and put back if that fails.
// On any failure the installed program is as it was and the download is
// gone. True when the new release is installed, also when the installed
// program already has the release's hash: then nothing is fetched.
bool InstallRelease(const Text& folder, const Text& address, const InstallOptions& options = {});

}  // namespace qm
