// The download address of a release: an https address whose fragment names
// the SHA-256 of the file, "https://host/path/Quillmar.exe#sha256=<64 hex>".
// The fragment never leaves the machine; it only says what must arrive.
#pragma once

#include <optional>

#include "base/text.h"
#include "updater/sha256.h"

namespace qm {

struct ReleaseAddress {
  Text url;  // without the fragment: what is fetched
  Sha256Digest sha256{};
};

enum class SchemeRule {
  kHttpsOnly,
  // Loopback tests have no certificate; nothing in the shipped programs
  // passes this.
  kAlsoPlainHttpForTests,
};

// Nothing for an address with another scheme, without host, without the
// hash fragment or with a malformed hash, or with spaces or control bytes.
std::optional<ReleaseAddress> ParseReleaseAddress(const Text& address,
                                                  SchemeRule rule = SchemeRule::kHttpsOnly);

// Whether the program installed in `program_folder` already is `release`
// (its file has the release's SHA-256).
bool IsInstalled(const Text& program_folder, const ReleaseAddress& release);

}  // namespace qm
